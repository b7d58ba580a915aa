#include "ui/browser/KoUiV3CategoryDetailDelegate.h"

#include <QPainter>

#include "ui/browser/KoFileModelCommon.h"
#include "ui/widgets/KoItemPainter.h"

void KoUiV3CategoryDetailDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    QStyleOptionViewItem plain(option);
    plain.state &= ~QStyle::State_HasFocus;
    if (index.column() != 0) {
        QStyledItemDelegate::paint(painter, plain, index);
        return;
    }
    const QRect& cell = option.rect;
    KoItemPainter::fillRowBackground(painter, cell, option.state & QStyle::State_Selected,
                                     index.data(KoFileModelRole::Hover).toBool());
    painter->drawPixmap(KoItemPainter::rowIconRect(cell), index.data(Qt::DecorationRole).value<QPixmap>());
    KoItemPainter::drawText(painter, KoItemPainter::rowTextRect(cell, cell.width() - 50, 12), index.data().toString(),
                            12, QColor(0x31, 0x31, 0x31), Qt::ElideRight, Qt::AlignLeft | Qt::AlignVCenter);
}
