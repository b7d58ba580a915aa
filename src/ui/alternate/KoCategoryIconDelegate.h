#pragma once

#include <QStyledItemDelegate>

// An older 130 x 130 category tile (KoRemoteCategoryListModel): the file tile's frame, the
// category's image and its name.
class KoCategoryIconDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit KoCategoryIconDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
