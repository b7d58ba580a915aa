#include "ui/browser/KoFileModelCommon.h"

#include "app/KoCommonUtil.h"
#include "model/KoRemoteFile.h"
#include "ui/widgets/KoImageCache.h"

#include <QHash>

namespace {

const QSize kSmallIconSize(18, 18);

QString smallFileResource(const KoAbstractFile* file)
{
    switch (file->getFileType()) {
    case KoAbstractFile::TypeFolder:
        return file->getSize() < 1 ? QStringLiteral(":/ui_v3/images/icon_file_dir_empty_small")
                                   : QStringLiteral(":/ui_v3/images/icon_file_dir_small");
    case KoAbstractFile::TypeZip:
        return QStringLiteral(":/ui_v3/images/icon_file_zip_small");
    case KoAbstractFile::TypeApk:
        return QStringLiteral(":/ui_v3/images/icon_file_apk_small");
    case KoAbstractFile::TypePhoto:
        return QStringLiteral(":/ui_v3/images/icon_file_img_small");
    case KoAbstractFile::TypeWord:
        return QStringLiteral(":/ui_v3/images/icon_file_word_small");
    case KoAbstractFile::TypeAudio:
        return QStringLiteral(":/ui_v3/images/icon_file_music_small");
    case KoAbstractFile::TypePpt:
        return QStringLiteral(":/ui_v3/images/icon_file_ppt_small");
    case KoAbstractFile::TypeVideo:
        return QStringLiteral(":/ui_v3/images/icon_file_video_small");
    case KoAbstractFile::TypeExcel:
        return QStringLiteral(":/ui_v3/images/icon_file_excel_small");
    case KoAbstractFile::TypePdf:
        return QStringLiteral(":/ui_v3/images/icon_file_pdf_small");
    case KoAbstractFile::TypeTxt:
        return QStringLiteral(":/ui_v3/images/icon_file_doc_small");
    default:
        return QStringLiteral(":/ui_v3/images/icon_file_other_small");
    }
}

} // namespace

namespace KoFileModelCommon {

bool isAcceptableName(const QString& name)
{
    if (!KoCommonUtil::isValidFileName(name))
        return false;
    bool onlyDots = true;
    for (const QChar c : name)
        onlyDots = onlyDots && c == QLatin1Char('.');
    return !onlyDots && name.toUtf8().size() <= kMaxNameBytes;
}

EditOutcome renameFromEdit(KoRemoteFile* file, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !file)
        return EditOutcome::Refused;
    const QString newName = value.toString();
    if (newName.isEmpty() || newName == file->getName())
        return EditOutcome::Unchanged;
    const QString full = file->getSuffix().isEmpty() ? newName : newName + QLatin1Char('.') + file->getSuffix();
    if (!isAcceptableName(newName) || !isAcceptableName(full))
        return EditOutcome::Refused;
    file->setName(newName);
    return EditOutcome::Renamed;
}

QPixmap smallFileIcon(const KoAbstractFile* file, bool cut)
{
    const QString resource = smallFileResource(file);
    if (!cut)
        return KoImageCache::pixmap(resource, kSmallIconSize);
    static QHash<QString, QPixmap> faded;
    auto it = faded.find(resource);
    if (it == faded.end())
        it = faded.insert(resource,
                          KoCommonUtil::transparentPixmap(KoImageCache::pixmap(resource, kSmallIconSize), 128));
    return *it;
}

QPixmap smallCategoryIcon(int categoryType)
{
    switch (categoryType) {
    case 1:
    case 12:
        return KoImageCache::pixmap(QStringLiteral(":/ui_v3/images/icon_category_udisk_small"), kSmallIconSize);
    case 2:
    case 3:
        return KoImageCache::pixmap(QStringLiteral(":/ui_v3/images/icon_category_photo_small"), kSmallIconSize);
    case 9:
        return KoImageCache::pixmap(QStringLiteral(":/ui_v3/images/icon_category_storage_small"), kSmallIconSize);
    case 11:
        return KoImageCache::pixmap(QStringLiteral(":/ui_v3/images/icon_category_sdcard_small"), kSmallIconSize);
    default:
        return QPixmap();
    }
}

const QFont& tableFont()
{
    static const QFont font(QStringLiteral("Microsoft YaHei"));
    return font;
}

QVariant headerData(const char* const texts[3], int section, Qt::Orientation orientation, int role)
{
    if (role == Qt::DisplayRole) {
        if (orientation == Qt::Horizontal && section >= 0 && section < 3)
            return QString::fromUtf8(texts[section]);
        return QVariant();
    }
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::FontRole)
        return tableFont();
    return QVariant();
}

} // namespace KoFileModelCommon
