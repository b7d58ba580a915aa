#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

// Placeholder until the shared image cache lands; same interface.
class KoImageCache
{
public:
    static QPixmap pixmap(const QString& resource, const QSize& size);
    static int renderCount();
};
