#include "KoDeviceRowPainter.h"

#include "ui/widgets/KoImageCache.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

namespace {
QFont pixelFont(int pixels)
{
    QFont font;
    font.setPixelSize(pixels);
    return font;
}
} // namespace

QString KoDeviceRowPainter::deviceIcon(int deviceType, bool enabled)
{
    switch (deviceType) {
    case 2:
        return enabled ? QStringLiteral(":/ui_v3/images/icon_head_android_enable")
                       : QStringLiteral(":/ui_v3/images/icon_head_android_disable");
    case 3:
        return enabled ? QStringLiteral(":/ui_v3/images/icon_head_iphone_enable")
                       : QStringLiteral(":/ui_v3/images/icon_head_iphone_disable");
    case 4:
        return enabled ? QStringLiteral(":/ui_v3/images/icon_head_ipad_enable")
                       : QStringLiteral(":/ui_v3/images/icon_head_ipad_disable");
    default:
        return QString();
    }
}

QString KoDeviceRowPainter::ownDeviceTitle(int deviceType)
{
    switch (deviceType) {
    case 2:
        return QString::fromUtf8("我的Android");
    case 3:
        return QString::fromUtf8("我的iPhone");
    case 4:
        return QString::fromUtf8("我的iPad");
    default:
        return QString();
    }
}

QRect KoDeviceRowPainter::iconRect(const QRect& row)
{
    return QRect(row.left() + 12, row.top() + 10, 40, 40);
}

void KoDeviceRowPainter::paint(QPainter* painter, const QRect& row, const Row& content)
{
    static const QFont titleFont = pixelFont(16);
    static const QFont subtitleFont = pixelFont(12);
    const QFontMetrics titleMetrics(titleFont);
    const QFontMetrics subtitleMetrics(subtitleFont);
    const int h16 = titleMetrics.height();
    const int h12 = subtitleMetrics.height();
    const int textWidth = row.width() - content.rightMargin;
    const int top = row.top() + (52 - h16 - h12) / 2;

    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (!content.icon.isEmpty()) {
        const QRect icon = iconRect(row);
        painter->drawPixmap(icon, KoImageCache::forPainter(painter, content.icon, icon.size()));
    }
    const int flags = Qt::AlignLeft | Qt::AlignVCenter;
    if (!content.title.isEmpty()) {
        painter->setFont(titleFont);
        painter->setPen(content.titleColour);
        painter->drawText(QRect(row.left() + 60, top, textWidth, h16), flags,
                          titleMetrics.elidedText(content.title, Qt::ElideRight, textWidth));
    }
    painter->setFont(subtitleFont);
    painter->setPen(QColor(QStringLiteral("#999")));
    painter->drawText(QRect(row.left() + 60, top + h16 + 8, textWidth, h12), flags,
                      subtitleMetrics.elidedText(content.subtitle, Qt::ElideRight, textWidth));
    painter->restore();
}
