#include "KoUiV3MyFacilityDelegate.h"

#include "model/KoFacilityListModel.h"
#include "ui/widgets/KoDeviceRowPainter.h"

#include <QPainter>

KoUiV3MyFacilityDelegate::KoUiV3MyFacilityDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

void KoUiV3MyFacilityDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const
{
    const int state = index.data(KoFacilityListModel::StateRole).toInt();
    const int type = index.data(KoFacilityListModel::DeviceTypeRole).toInt();
    if (option.state & QStyle::State_MouseOver)
        painter->fillRect(option.rect, QColor(QStringLiteral("#dbe9ff")));

    KoDeviceRowPainter::Row row;
    row.icon = KoDeviceRowPainter::deviceIcon(type, state == 1 || state == 2);
    row.title = KoDeviceRowPainter::ownDeviceTitle(type);
    row.titleColour = QColor(QStringLiteral("#313131"));
    row.subtitle = index.data(KoFacilityListModel::DeviceNameRole).toString();
    row.rightMargin = 72;
    KoDeviceRowPainter::paint(painter, option.rect, row);
}

QSize KoUiV3MyFacilityDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return QSize(option.rect.width(), KoDeviceRowPainter::kRowHeight);
}
