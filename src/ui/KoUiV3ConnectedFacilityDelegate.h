#pragma once

#include <QPoint>
#include <QStyledItemDelegate>

class QPushButton;

// Rows of the connected-phones list: the user's own phone as "我的…" with its icon, another
// user's phone by its nick, the device name below, and on the row under the mouse a 14 x 14
// disconnect button. A left release on the button emits btnClicked (and is consumed); one
// elsewhere on the row emits itemClicked. GUI thread only.
class KoUiV3ConnectedFacilityDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit KoUiV3ConnectedFacilityDelegate(QObject* parent = nullptr);
    ~KoUiV3ConnectedFacilityDelegate() override;

    // The disconnect button inside a row: paint and the hit test both use it.
    static QRect buttonRect(const QRect& row);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

signals:
    void itemClicked(QModelIndex index);
    void btnClicked(QModelIndex index);

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    enum ButtonState { ButtonNone = -1, ButtonHovered = 0, ButtonPressed = 1 };

    QPoint m_mousePos;
    // Never shown: its style sheet gives the painted button its normal and blue images.
    QPushButton* m_styleButton;
    int m_buttonState = ButtonNone;
};
