#include "KoUDiskDelegate.h"

#include "model/KoFacilityListModel.h"
#include "ui/alternate/KoAltItemPainter.h"
#include "ui/widgets/KoItemPainter.h"

#include <QPainter>

KoUDiskDelegate::KoUDiskDelegate(QObject* parent)
    : QAbstractItemDelegate(parent)
{
}

void KoUDiskDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect& item = option.rect;
    const int state = index.data(KoFacilityListModel::StateRole).toInt();
    const int type = index.data(KoFacilityListModel::DeviceTypeRole).toInt();
    const QString name = KoAltItemPainter::cut(index.data(KoFacilityListModel::DeviceNameRole).toString(), 12);

    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->fillRect(item, (option.state & QStyle::State_MouseOver) ? QColor(237, 244, 255) : QColor(Qt::white));
    const QString image = KoAltItemPainter::deviceImage(type, state == 1 || state == 2);
    if (!image.isEmpty())
        KoItemPainter::drawImage(painter, QRect(item.left() + 28, item.top() + 16, 72, 72), image);
    KoItemPainter::drawText(painter, QRect(item.left(), item.top() + 96, 128, 14),
                            KoAltItemPainter::ownDeviceCaption(type), 12, QColor(84, 87, 93), Qt::ElideNone,
                            Qt::AlignCenter);
    KoItemPainter::drawText(painter, QRect(item.left(), item.top() + 116, 128, 14), name, 12, QColor(153, 153, 153),
                            Qt::ElideNone, Qt::AlignCenter);
    painter->restore();
}

QSize KoUDiskDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(128, 154);
}
