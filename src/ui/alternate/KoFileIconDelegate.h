#pragma once

#include <QStyledItemDelegate>

// An older 130 x 130 file tile (KoRemoteFileListModel): frame by state, the type image or the
// photo's or video's cached thumbnail, faded when cut, the name cut at 14 characters. A right
// press on the tile reports rightButtonClicked.
class KoFileIconDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit KoFileIconDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    // The tile inside the item's 1 px margin; also the right-press area. Shared with the
    // category tiles.
    static QRect tileRect(const QRect& item);
    static QRect imageRect(const QRect& item);
    // Frame and the name under the image, as both older tiles draw them.
    static void paintTile(QPainter* painter, const QStyleOptionViewItem& option);
    static void paintName(QPainter* painter, const QRect& item, const QString& name);

signals:
    void rightButtonClicked(QModelIndex modelIndex);
};
