#pragma once

#include <QStyledItemDelegate>

// An older element of the path bar (KoRemoteFilePathListModel): the root as an image, any other
// name cut at 8 characters, an arrow after every element but the last.
class KoFilePathDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit KoFilePathDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The name as drawn: the first 8 characters and "..." when longer.
    static QString shownName(const QString& name);
};
