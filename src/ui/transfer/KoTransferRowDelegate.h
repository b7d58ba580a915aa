#pragma once

#include <QList>
#include <QPoint>
#include <QStyledItemDelegate>

// Base of the three transfer-row delegates: paints the selection and the name column, hands the
// middle columns to the subclass, and owns the action column, whose buttons (image and tool
// tip per slot) the subclass names per row. buttonRect is both the painted place and the hit
// area. Parent: the table view, whose cursor follows the buttons.
class KoTransferRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // The 16 x 16 button of slot 0, 1, 2 at L + 10, L + 50, L + 90 of the action cell.
    static QRect buttonRect(const QRect& cell, int slot);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

protected:
    struct RowButton {
        QString image;
        QString tip;
    };

    explicit KoTransferRowDelegate(QObject* parent);

    // Columns 1 and 2.
    virtual void paintText(QPainter* painter, const QRect& cell, const QModelIndex& index) const = 0;
    // The buttons of a row by slot; none for a blank row.
    virtual QList<RowButton> rowButtons(const QModelIndex& index) const = 0;
    // A left press on the button of that slot.
    virtual void buttonPressed(const QModelIndex& index, int slot) = 0;
    void setViewCursor(Qt::CursorShape shape) const;

private:
    // Hides the tool tip and puts back the arrow cursor.
    void leaveButton();

    QPoint m_lastPos;
    bool m_onButton = false;
};
