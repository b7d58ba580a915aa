#include "KoImageCache.h"

#include <QHash>
#include <QIcon>

namespace {
int g_renders = 0;
}

QPixmap KoImageCache::pixmap(const QString& resource, const QSize& size)
{
    static QHash<QString, QPixmap> cache;
    const QString key = resource + QLatin1Char('@') + QString::number(size.width()) + 'x' + QString::number(size.height());
    auto it = cache.find(key);
    if (it == cache.end()) {
        ++g_renders;
        it = cache.insert(key, QIcon(resource).pixmap(size));
    }
    return *it;
}

int KoImageCache::renderCount() { return g_renders; }
