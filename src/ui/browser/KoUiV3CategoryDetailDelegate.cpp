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
    KoItemPainter::paintNameCell(painter, option, index.data(Qt::DecorationRole).value<QPixmap>(),
                                 index.data().toString(), index.data(KoFileModelRole::Hover).toBool(),
                                 option.rect.width() - 50);
}
