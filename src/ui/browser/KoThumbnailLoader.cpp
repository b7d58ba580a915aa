#include "ui/browser/KoThumbnailLoader.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmapCache>

namespace KoThumbnailLoader {

QPixmap load(const QString& path, const QSize& size)
{
    if (path.isEmpty())
        return QPixmap();
    const QFileInfo info(path);
    if (!info.isFile())
        return QPixmap();
    const QString key = QStringLiteral("thumb:%1:%2:%3x%4")
                            .arg(path)
                            .arg(info.lastModified().toMSecsSinceEpoch())
                            .arg(size.width())
                            .arg(size.height());
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    // A broken or oversized file is remembered as a null pixmap under a marker, so it is not
    // read again at every paint.
    const QString badKey = key + QStringLiteral(":bad");
    if (QPixmapCache::find(badKey, &pixmap))
        return QPixmap();
    QImageReader reader(path);
    const QSize full = reader.size();
    QImage image;
    if (info.size() <= kMaxBytes && full.isValid() && full.width() <= kMaxSide && full.height() <= kMaxSide) {
        reader.setScaledSize(size);
        image = reader.read();
    }
    if (image.isNull()) {
        QPixmapCache::insert(badKey, QPixmap(1, 1));
        return QPixmap();
    }
    pixmap = QPixmap::fromImage(image);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

} // namespace KoThumbnailLoader
