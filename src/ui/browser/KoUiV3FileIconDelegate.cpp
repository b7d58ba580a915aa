#include "ui/browser/KoUiV3FileIconDelegate.h"

#include <QMouseEvent>
#include <QPainter>

#include "model/KoAbstractFile.h"
#include "ui/browser/KoFileModelCommon.h"
#include "ui/browser/KoThumbnailLoader.h"
#include "ui/browser/KoUiV3FileListEditor.h"
#include "ui/widgets/KoItemPainter.h"

QString KoUiV3FileIconDelegate::typeImage(int fileType, qint64 size)
{
    const char* name = "icon_file_other";
    switch (fileType) {
    case KoAbstractFile::TypeFolder:
        name = size < 1 ? "icon_file_dir_empty" : "icon_file_dir";
        break;
    case KoAbstractFile::TypeZip:
        name = "icon_file_zip";
        break;
    case KoAbstractFile::TypeApk:
        name = "icon_file_apk";
        break;
    case KoAbstractFile::TypePhoto:
        name = "icon_file_img";
        break;
    case KoAbstractFile::TypeWord:
        name = "icon_file_word";
        break;
    case KoAbstractFile::TypeAudio:
        name = "icon_file_music";
        break;
    case KoAbstractFile::TypePpt:
        name = "icon_file_ppt";
        break;
    case KoAbstractFile::TypeVideo:
        name = "icon_file_video";
        break;
    case KoAbstractFile::TypeExcel:
        name = "icon_file_excel";
        break;
    case KoAbstractFile::TypePdf:
        name = "icon_file_pdf";
        break;
    case KoAbstractFile::TypeTxt:
        name = "icon_file_doc";
        break;
    default:
        break;
    }
    return QStringLiteral(":/ui_v3/images/") + QLatin1String(name);
}

void KoUiV3FileIconDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const
{
    const QRect& item = option.rect;
    KoItemPainter::fillTile(painter, frameRect(item), option.state & QStyle::State_Selected,
                            option.state & QStyle::State_MouseOver);
    const int type = index.data(KoFileModelRole::FileType).toInt();
    const QRect icon = iconRect(item);
    QPixmap thumbnail;
    if (type == KoAbstractFile::TypePhoto || type == KoAbstractFile::TypeVideo)
        thumbnail = KoThumbnailLoader::load(index.data(KoFileModelRole::FileThumbnail).toString(), icon.size());
    if (!thumbnail.isNull())
        painter->drawPixmap(icon, thumbnail);
    else
        KoItemPainter::drawImage(painter, icon, typeImage(type, index.data(KoFileModelRole::FileSize).toLongLong()));
    if (index.data(KoFileModelRole::FileCut).toBool())
        painter->fillRect(icon, QColor(255, 255, 255, 128));
    KoItemPainter::drawText(painter, nameRect(item), index.data(KoFileModelRole::FileName).toString(), 12,
                            QColor(0x31, 0x31, 0x31), Qt::ElideMiddle, Qt::AlignCenter);
}

QSize KoUiV3FileIconDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(128, 128);
}

bool KoUiV3FileIconDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                         const QModelIndex& index)
{
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton && option.rect.contains(mouse->pos())) {
            emit rightButtonClicked(index);
            return true;
        }
        if (mouse->button() == Qt::LeftButton && (option.state & QStyle::State_HasFocus)
            && nameRect(option.rect).contains(mouse->pos())) {
            emit nameClicked(index);
            return true;
        }
    }
    return KoFileEditDelegate::editorEvent(event, model, option, index);
}

KoFileNameEditor* KoUiV3FileIconDelegate::makeEditor(QWidget* parent) const
{
    return new KoUiV3FileListEditor(parent);
}
