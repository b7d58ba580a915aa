#include "KoAltItemPainter.h"

#include "model/KoAbstractFile.h"
#include "ui/browser/KoUiV3FileIconDelegate.h"

#include <QPainter>

namespace KoAltItemPainter {

QString fileTypeImage(int fileType)
{
    // The older names stand under ":/images/" with the current ones' endings; only the
    // folder's differs, and the older set has no empty folder.
    if (fileType == KoAbstractFile::TypeFolder)
        return QStringLiteral(":/images/icon_file_directory");
    return KoUiV3FileIconDelegate::typeImage(fileType, 0)
        .replace(QLatin1String(":/ui_v3/images/"), QLatin1String(":/images/"));
}

QString deviceImage(int deviceType, bool enabled)
{
    switch (deviceType) {
    case 2:
        return enabled ? QStringLiteral(":/images/icon_android_enable_middle")
                       : QStringLiteral(":/images/icon_android_disable_middle");
    case 3:
        return enabled ? QStringLiteral(":/images/icon_iphone_enable_middle")
                       : QStringLiteral(":/images/icon_iphone_disable_middle");
    case 4:
        return enabled ? QStringLiteral(":/images/icon_ipad_enable_middle")
                       : QStringLiteral(":/images/icon_ipad_disable_middle");
    default:
        return QString();
    }
}

QString ownDeviceCaption(int deviceType)
{
    switch (deviceType) {
    case 2:
        return QStringLiteral("我的 Android");
    case 3:
        return QStringLiteral("我的 iPhone");
    case 4:
        return QStringLiteral("我的 iPad");
    default:
        return QString();
    }
}

QString cut(const QString& text, int maxChars)
{
    // Characters, not UTF-16 units: an emoji in a phone's name is never split in half.
    const QVector<uint> codePoints = text.toUcs4();
    if (codePoints.size() <= maxChars)
        return text;
    return QString::fromUcs4(codePoints.constData(), maxChars) + QStringLiteral("...");
}

void bottomLine(QPainter* painter, const QRect& item)
{
    painter->setPen(QColor(225, 225, 225));
    painter->drawLine(item.left(), item.bottom(), item.right(), item.bottom());
}

} // namespace KoAltItemPainter
