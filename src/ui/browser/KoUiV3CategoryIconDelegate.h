#pragma once

#include <QStyledItemDelegate>

// A category tile of a phone's home in the icon view: the file tile's frame and layout, the
// category's image and its name.
class KoUiV3CategoryIconDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The image of a category type; empty outside 1 to 12.
    static QString categoryImage(int categoryType);

signals:
    void rightButtonClicked(QModelIndex modelIndex);
};
