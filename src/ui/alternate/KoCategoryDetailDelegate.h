#pragma once

#include <QStyledItemDelegate>

// An older cell of the category table (KoRemoteCategoryTableModel): painted by the base class
// without a focus frame.
class KoCategoryDetailDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit KoCategoryDetailDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
