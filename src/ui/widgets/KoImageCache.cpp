#include "KoImageCache.h"

#include <QCoreApplication>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

namespace {

struct Key {
    QString resource;
    QSize size;
    bool operator==(const Key& other) const { return resource == other.resource && size == other.size; }
};

uint qHash(const Key& key, uint seed = 0)
{
    return ::qHash(key.resource, seed) ^ ::qHash(key.size.width() * 65536 + key.size.height(), seed);
}

// Not QPixmapCache: that one evicts, and an evicted icon would be decoded again mid-scroll.
QHash<Key, QPixmap>& store()
{
    static QHash<Key, QPixmap> images;
    return images;
}

int renders = 0;

QPixmap render(const QString& resource, const QSize& size)
{
    ++renders;
    QSvgRenderer svg(resource);
    if (svg.isValid()) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        svg.render(&painter);
        painter.end();
        return QPixmap::fromImage(image);
    }
    // Resources named without a suffix may still be bitmaps.
    QImageReader reader(resource);
    reader.setScaledSize(size);
    const QImage image = reader.read();
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

} // namespace

namespace KoImageCache {

QPixmap pixmap(const QString& resource, const QSize& size)
{
    const Key key{resource, size};
    auto it = store().constFind(key);
    if (it != store().constEnd())
        return *it;
    if (store().isEmpty())
        qAddPostRoutine([] { store().clear(); }); // pixmaps go while the application lives
    const QPixmap image = render(resource, size);
    store().insert(key, image);
    return image;
}

int renderCount()
{
    return renders;
}

} // namespace KoImageCache
