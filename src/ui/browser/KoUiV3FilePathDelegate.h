#pragma once

#include <QStyledItemDelegate>

// One element of the path bar: the name (cut to 8 characters + "..."), coloured by state, and
// an arrow after every element but the last. The pointing hand shows over the text.
class KoUiV3FilePathDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    // The name as shown: 9 or more characters (code points, so no emoji is cut in half) become
    // the first 8 followed by "...".
    static QString displayText(const QString& name);
    static QRect textRect(const QRect& item, const QString& shown);
};
