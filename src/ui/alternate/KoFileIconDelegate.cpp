#include "KoFileIconDelegate.h"

#include "model/KoAbstractFile.h"
#include "ui/alternate/KoAltItemPainter.h"
#include "ui/browser/KoFileModelCommon.h"
#include "ui/browser/KoThumbnailLoader.h"
#include "ui/widgets/KoItemPainter.h"

#include <QMouseEvent>
#include <QPainter>

KoFileIconDelegate::KoFileIconDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QRect KoFileIconDelegate::tileRect(const QRect& item)
{
    return QRect(item.left() + 1, item.top() + 1, 128, 128);
}

QRect KoFileIconDelegate::imageRect(const QRect& item)
{
    return QRect(item.left() + 25, item.top() + 6, 80, 80);
}

void KoFileIconDelegate::paintTile(QPainter* painter, const QStyleOptionViewItem& option)
{
    const QRect tile = tileRect(option.rect);
    const QColor fill(237, 244, 255);
    if (option.state & QStyle::State_Selected) {
        painter->fillRect(tile, fill);
        painter->setPen(QColor(184, 211, 255));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(tile.adjusted(0, 0, -1, -1));
    } else {
        painter->fillRect(tile, (option.state & QStyle::State_MouseOver) ? fill : QColor(Qt::white));
    }
}

void KoFileIconDelegate::paintName(QPainter* painter, const QRect& item, const QString& name)
{
    painter->setFont(KoItemPainter::font(12));
    painter->setPen(QColor(51, 51, 51));
    painter->drawText(QRect(item.left() + 9, item.top() + 90, 112, 35),
                      Qt::AlignCenter | Qt::TextWrapAnywhere | Qt::TextDontClip, name);
}

void KoFileIconDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString name = index.data(KoFileModelRole::FileName).toString();
    if (name.isEmpty())
        return;
    const int type = index.data(KoFileModelRole::FileType).toInt();
    const QRect image = imageRect(option.rect);
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    paintTile(painter, option);
    // Thumbnails come from the phone: bounded decoding, once per file and size.
    QPixmap thumbnail;
    if (type == KoAbstractFile::TypePhoto || type == KoAbstractFile::TypeVideo)
        thumbnail = KoThumbnailLoader::load(index.data(KoFileModelRole::FileThumbnail).toString(), image.size());
    if (!thumbnail.isNull())
        painter->drawPixmap(image, thumbnail);
    else
        KoItemPainter::drawImage(painter, image, KoAltItemPainter::fileTypeImage(type));
    if (index.data(KoFileModelRole::FileCut).toBool())
        painter->fillRect(image, QColor(255, 255, 255, 128));
    paintName(painter, option.rect, KoAltItemPainter::cut(name, 14));
    painter->restore();
}

QSize KoFileIconDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(130, 130);
}

bool KoFileIconDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                     const QModelIndex& index)
{
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton && tileRect(option.rect).contains(mouse->pos())) {
            emit rightButtonClicked(index);
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
