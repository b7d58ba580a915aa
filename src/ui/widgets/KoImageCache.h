#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

// Resource images (SVG or bitmap) rendered once per size and kept for the life of the process,
// so delegates never decode in paint() or data(). GUI thread only.
namespace KoImageCache {

// Rendered on first use for (resource, size), then the same pixmap every time. A resource that
// cannot be read gives a null pixmap (also kept, so it is not retried per paint).
QPixmap pixmap(const QString& resource, const QSize& size);

// How many renders so far (for tests).
int renderCount();

} // namespace KoImageCache
