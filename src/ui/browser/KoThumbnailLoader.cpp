#include "ui/browser/KoThumbnailLoader.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPixmapCache>

namespace KoThumbnailLoader {

QPixmap load(const QString& path, const QSize& size)
{
    if (path.isEmpty() || size.isEmpty())
        return QPixmap();
    const QFileInfo info(path);
    if (!info.isFile())
        return QPixmap();
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1;
    const QString key = QStringLiteral("thumb:%1:%2:%3x%4@%5")
                            .arg(path)
                            .arg(info.lastModified().toMSecsSinceEpoch())
                            .arg(size.width())
                            .arg(size.height())
                            .arg(ratio);
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
    const QSize box = size * ratio;
    QImage image;
    if (info.size() <= kMaxBytes && full.isValid() && full.width() <= kMaxSide && full.height() <= kMaxSide) {
        // Fitted inside the box with its shape kept, never squeezed square.
        reader.setScaledSize(full.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        image = reader.read();
    }
    if (image.isNull()) {
        QPixmapCache::insert(badKey, QPixmap(1, 1));
        return QPixmap();
    }
    // Centred on a transparent square of the asked size, so a caller drawing it into that
    // rectangle keeps the shape.
    QImage framed(box, QImage::Format_ARGB32_Premultiplied);
    framed.fill(Qt::transparent);
    {
        QPainter painter(&framed);
        painter.drawImage((box.width() - image.width()) / 2, (box.height() - image.height()) / 2, image);
    }
    pixmap = QPixmap::fromImage(framed);
    pixmap.setDevicePixelRatio(ratio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

} // namespace KoThumbnailLoader
