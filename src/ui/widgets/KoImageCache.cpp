#include "KoImageCache.h"

#include <QGuiApplication>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

namespace {

struct Key {
    QString resource;
    QSize size;
    int ratioPercent; // the device pixel ratio, in hundredths
    bool operator==(const Key& other) const
    {
        return resource == other.resource && size == other.size && ratioPercent == other.ratioPercent;
    }
};

uint qHash(const Key& key, uint seed = 0)
{
    return ::qHash(key.resource, seed) ^ ::qHash(key.size.width() * 65536 + key.size.height(), seed)
        ^ ::qHash(key.ratioPercent, seed);
}

// Not QPixmapCache: that one evicts, and an evicted icon would be decoded again mid-scroll.
QHash<Key, QPixmap>& store()
{
    static QHash<Key, QPixmap> images;
    return images;
}

int renders = 0;

QPixmap render(const QString& resource, const QSize& size, qreal ratio)
{
    ++renders;
    const QSize pixels = size * ratio;
    QImage image;
    QSvgRenderer svg(resource);
    if (svg.isValid()) {
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        svg.render(&painter);
    } else {
        // Resources named without a suffix may still be bitmaps.
        QImageReader reader(resource);
        reader.setScaledSize(pixels);
        image = reader.read();
    }
    if (image.isNull())
        return QPixmap();
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

} // namespace

namespace KoImageCache {

QPixmap pixmap(const QString& resource, const QSize& size, qreal ratio)
{
    if (ratio <= 0)
        ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1;
    const int percent = qMax(1, qRound(ratio * 100));
    const Key key{resource, size, percent};
    auto it = store().constFind(key);
    if (it != store().constEnd())
        return *it;
    if (store().isEmpty())
        qAddPostRoutine([] { store().clear(); }); // pixmaps go while the application lives
    const QPixmap image = render(resource, size, percent / 100.0);
    store().insert(key, image);
    return image;
}

QPixmap forPainter(const QPainter* painter, const QString& resource, const QSize& size)
{
    const QPaintDevice* device = painter ? painter->device() : nullptr;
    return pixmap(resource, size, device ? device->devicePixelRatioF() : 0);
}

int renderCount()
{
    return renders;
}

} // namespace KoImageCache
