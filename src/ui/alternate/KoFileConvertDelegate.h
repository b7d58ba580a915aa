#pragma once

#include <QStyledItemDelegate>

// An older 600 x 56 row of a transfer record (KoFileConvertInfoListModel): type image, name,
// state line or progress bar, and the row buttons of its state: delete always, retry for a
// failed record, open file and open folder for a finished download. Each button is painted and
// hit in the rectangle its static function gives; a press on it becomes the matching signal.
class KoFileConvertDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit KoFileConvertDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    // Hit areas, relative to the row.
    static QRect deleteRect(const QRect& row);
    static QRect retryRect(const QRect& row);
    static QRect openFileRect(const QRect& row);
    static QRect openDirRect(const QRect& row);
    // The 488 x 4 bar of a transferring row (filled as the transfer tables fill theirs).
    static QRect barRect(const QRect& row);

signals:
    void openDirButtonClicked(QString filePath);
    void openFileButtonClicked(QString filePath);
    void retryButtonClicked(int taskId);
    void delButtonClicked(int taskId, int state);
};
