#pragma once

#include <QStyledItemDelegate>

// Rows of the home page's device list: the device's icon (greyed while it cannot be reached),
// "我的…" by its type and its name. Reads only the model's roles; clicks are the view's.
class KoUiV3MyFacilityDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit KoUiV3MyFacilityDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
