#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

class QPainter;

// Resource images (SVG or bitmap) rendered once per size and device pixel ratio and kept for the
// life of the process, so delegates never decode in paint() or data(). A pixmap is rendered at
// size x ratio device pixels and carries that ratio, so drawn into a rectangle of `size` on a
// device of that ratio it maps pixel for pixel: sharp on high-density screens. GUI thread only.
namespace KoImageCache {

// Rendered on first use for (resource, size, ratio), then the same pixmap every time; a ratio of
// 0 or less means the application's. A resource that cannot be read gives a null pixmap (also
// kept, so it is not retried per paint).
QPixmap pixmap(const QString& resource, const QSize& size, qreal ratio = 0);
// For painting: at the ratio of the painter's device.
QPixmap forPainter(const QPainter* painter, const QString& resource, const QSize& size);

// How many renders so far (for tests).
int renderCount();

} // namespace KoImageCache
