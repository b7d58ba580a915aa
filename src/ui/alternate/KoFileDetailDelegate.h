#pragma once

#include <QStyledItemDelegate>

// An older cell of the file table (KoRemoteFileTableModel): painted by the base class without a
// focus frame. Any right press reports rightButtonClicked.
class KoFileDetailDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit KoFileDetailDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    // The base class's painting without the focus frame (shared with the category table).
    static void paintWithoutFocus(const QStyledItemDelegate* delegate, QPainter* painter,
                                  const QStyleOptionViewItem& option, const QModelIndex& index);

signals:
    void rightButtonClicked(QModelIndex index);
};
