#include "KoAltItemPainter.h"

#include "model/KoAbstractFile.h"

#include <QPainter>

namespace KoAltItemPainter {

QString fileTypeImage(int fileType)
{
    const char* name = "icon_file_other";
    switch (fileType) {
    case KoAbstractFile::TypeFolder: name = "icon_file_directory"; break;
    case KoAbstractFile::TypeZip: name = "icon_file_zip"; break;
    case KoAbstractFile::TypeApk: name = "icon_file_apk"; break;
    case KoAbstractFile::TypePhoto: name = "icon_file_img"; break;
    case KoAbstractFile::TypeWord: name = "icon_file_word"; break;
    case KoAbstractFile::TypeAudio: name = "icon_file_music"; break;
    case KoAbstractFile::TypePpt: name = "icon_file_ppt"; break;
    case KoAbstractFile::TypeVideo: name = "icon_file_video"; break;
    case KoAbstractFile::TypeExcel: name = "icon_file_excel"; break;
    case KoAbstractFile::TypePdf: name = "icon_file_pdf"; break;
    case KoAbstractFile::TypeTxt: name = "icon_file_doc"; break;
    default: break;
    }
    return QStringLiteral(":/images/") + QLatin1String(name);
}

QString deviceImage(int deviceType, bool enabled)
{
    const char* device = nullptr;
    switch (deviceType) {
    case 2: device = "android"; break;
    case 3: device = "iphone"; break;
    case 4: device = "ipad"; break;
    default: return QString();
    }
    return QStringLiteral(":/images/icon_%1_%2_middle")
        .arg(QLatin1String(device), enabled ? QLatin1String("enable") : QLatin1String("disable"));
}

QString ownDeviceCaption(int deviceType)
{
    switch (deviceType) {
    case 2: return QStringLiteral("我的 Android");
    case 3: return QStringLiteral("我的 iPhone");
    case 4: return QStringLiteral("我的 iPad");
    default: return QString();
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
