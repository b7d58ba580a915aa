#pragma once

#include <QStyledItemDelegate>

// An older row of the device list (KoFacilityListModel): avatar or device image, nick or
// "我的 …" for the signed-in user's own device, the device name, and a delete button while
// hovered. A left press on the button reports buttonClicked, elsewhere in the row itemClicked.
class KoSessionDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit KoSessionDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    // The delete button, painted and hit in the same place.
    static QRect deleteRect(const QRect& item);
    // The first line: "我的 …" for the signed-in user's own device of a known type, else the nick.
    static QString caption(int uid, int deviceType, const QString& nick);

signals:
    void itemClicked(QModelIndex index);
    void buttonClicked(QModelIndex index);
};
