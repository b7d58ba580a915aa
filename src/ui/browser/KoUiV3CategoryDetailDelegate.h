#pragma once

#include <QStyledItemDelegate>

// A category row of the table view: column 0 as a file row without buttons; the size columns
// are the base class's, without a focus frame.
class KoUiV3CategoryDetailDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
