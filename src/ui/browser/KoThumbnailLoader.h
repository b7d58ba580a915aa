#pragma once

#include <QPixmap>
#include <QString>

// Thumbnails come from the phone and are not trusted: read with QImageReader, refused above
// 4096 px a side or 8 MB, decoded to fit inside the icon size with their shape kept, centred on a
// transparent square of that size at the screen's pixel ratio, and kept in QPixmapCache by path
// and modification time, so a repaint never decodes again. GUI thread only.
namespace KoThumbnailLoader {

constexpr int kMaxSide = 4096;
constexpr qint64 kMaxBytes = 8 * 1024 * 1024;

// The thumbnail framed at size, or a null pixmap when the path is empty, missing, too large or broken.
QPixmap load(const QString& path, const QSize& size);

} // namespace KoThumbnailLoader
