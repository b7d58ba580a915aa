#include "KoFileDetailDelegate.h"

#include <QMouseEvent>

KoFileDetailDelegate::KoFileDetailDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

void KoFileDetailDelegate::paintWithoutFocus(const QStyledItemDelegate* delegate, QPainter* painter,
                                             const QStyleOptionViewItem& option, const QModelIndex& index)
{
    QStyleOptionViewItem plain(option);
    plain.state &= ~QStyle::State_HasFocus;
    delegate->QStyledItemDelegate::paint(painter, plain, index);
}

void KoFileDetailDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    paintWithoutFocus(this, painter, option, index);
}

bool KoFileDetailDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                       const QModelIndex& index)
{
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        emit rightButtonClicked(index);
        return true;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
