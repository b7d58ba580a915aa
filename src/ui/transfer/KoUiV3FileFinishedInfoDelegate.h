#pragma once

#include <QPoint>
#include <QStyledItemDelegate>

// Paints the rows of the finished table and turns presses on its buttons into signals: a
// finished download has open, open-folder and clear; a finished upload only clear (in the
// first slot). Parent: the table view, whose cursor follows the buttons.
class KoUiV3FileFinishedInfoDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit KoUiV3FileFinishedInfoDelegate(QObject* parent = nullptr);

    // The hit area and painted place of slot 0, 1 or 2 in the action cell.
    static QRect buttonRect(const QRect& cell, int slot);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

signals:
    void btnOpenFileClicked(QString filePath);
    void btnOpenDirClicked(QString filePath);
    void btnDeleteClicked(int taskId);

private:
    void setViewCursor(Qt::CursorShape shape) const;

    QPoint m_lastPos;
};
