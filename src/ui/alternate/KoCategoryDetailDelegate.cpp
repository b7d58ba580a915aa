#include "KoCategoryDetailDelegate.h"

#include "ui/alternate/KoFileDetailDelegate.h"

KoCategoryDetailDelegate::KoCategoryDetailDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

void KoCategoryDetailDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const
{
    KoFileDetailDelegate::paintWithoutFocus(this, painter, option, index);
}
