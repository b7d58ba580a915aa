#pragma once

#include <QPoint>
#include <QStyledItemDelegate>

// Paints the rows of an unfinished transfer table (name, phone, state with its bar, buttons)
// and turns presses on the row buttons into signals. The upload and download delegates differ
// only by their texts. Parent: the table view, whose cursor follows the buttons.
class KoTransferProgressDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // First button by state: pause (0, 1), retry (3), start (4); second: delete.
    enum Button { FirstButton = 0, DeleteButton = 1 };

    // The hit area and painted place of a button in the action cell.
    static QRect buttonRect(const QRect& cell, Button button);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

signals:
    void btnRetryClicked(int taskId);
    void btnDeleteClicked(int taskId, int state);
    void btnPauseClicked(int taskId);

protected:
    struct Texts
    {
        QString waiting;
        QString failed;
        QString paused;
        QString retryTip;
        bool arrowOnRetry;
    };
    KoTransferProgressDelegate(QObject* parent, const Texts& texts);

private:
    void setViewCursor(Qt::CursorShape shape) const;

    Texts m_texts;
    QPoint m_lastPos;
};
