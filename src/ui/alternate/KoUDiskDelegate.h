#pragma once

#include <QAbstractItemDelegate>

// An older tile of the device list (KoFacilityListModel): the device image, coloured while the
// phone is reached (LAN or relay), "我的 …" by type and the device name cut at 12 characters.
class KoUDiskDelegate : public QAbstractItemDelegate
{
    Q_OBJECT
public:
    explicit KoUDiskDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
