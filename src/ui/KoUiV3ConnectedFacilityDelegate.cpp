#include "KoUiV3ConnectedFacilityDelegate.h"

#include "model/KoFacilityListModel.h"
#include "net/KoUser.h"
#include "ui/widgets/KoDeviceRowPainter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QToolTip>

KoUiV3ConnectedFacilityDelegate::KoUiV3ConnectedFacilityDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
    , m_mousePos(0, 0)
    , m_styleButton(new QPushButton)
{
    m_styleButton->setStyleSheet(QStringLiteral(
        "QPushButton {border: none; background-color: transparent; image:url(:/ui_v3/images/icon_btn_disconnect);}"
        "                                QPushButton:hover {image:url(:/ui_v3/images/icon_btn_disconnect_blue);}"
        "                                QPushButton:pressed {image:url(:/ui_v3/images/icon_btn_disconnect_blue);}"));
}

KoUiV3ConnectedFacilityDelegate::~KoUiV3ConnectedFacilityDelegate()
{
    delete m_styleButton;
}

QRect KoUiV3ConnectedFacilityDelegate::buttonRect(const QRect& row)
{
    return QRect(QPoint(row.right() - 22, row.top() + 23), QPoint(row.right() - 9, row.top() + 36));
}

void KoUiV3ConnectedFacilityDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const
{
    const QRect r = option.rect;
    if (option.state & QStyle::State_Selected)
        painter->fillRect(r, QColor(QStringLiteral("#dbe9ff")));

    const int type = index.data(KoFacilityListModel::DeviceTypeRole).toInt();
    KoUser* user = KoUser::getInstance();
    KoDeviceRowPainter::Row row;
    if (user->isLogin() && user->getId() == index.data(KoFacilityListModel::UidRole).toInt()) {
        row.icon = KoDeviceRowPainter::deviceIcon(type, true);
        row.title = KoDeviceRowPainter::ownDeviceTitle(type);
        row.titleColour = QColor(QStringLiteral("#313131"));
    } else {
        row.icon = QStringLiteral(":/ui_v3/images/default_avator");
        row.title = index.data(KoFacilityListModel::NickRole).toString();
        row.titleColour = QColor(51, 51, 51);
    }
    row.subtitle = index.data(KoFacilityListModel::DeviceNameRole).toString();
    row.rightMargin = 90;
    KoDeviceRowPainter::paint(painter, r, row);

    if (option.state & QStyle::State_MouseOver) {
        QStyleOptionButton button;
        button.rect = buttonRect(r);
        button.state = QStyle::State_Enabled;
        if (button.rect.contains(m_mousePos)) {
            if (m_buttonState == ButtonPressed)
                button.state |= QStyle::State_Sunken;
            else if (m_buttonState == ButtonHovered)
                button.state |= QStyle::State_MouseOver;
        }
        m_styleButton->style()->drawControl(QStyle::CE_PushButton, &button, painter, m_styleButton);
    }
}

QSize KoUiV3ConnectedFacilityDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return QSize(option.rect.width(), KoDeviceRowPainter::kRowHeight);
}

bool KoUiV3ConnectedFacilityDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                                  const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return QStyledItemDelegate::editorEvent(event, model, option, index);

    auto* mouse = static_cast<QMouseEvent*>(event);
    const QRect button = buttonRect(option.rect);
    m_buttonState = ButtonNone;
    m_mousePos = mouse->localPos().toPoint();
    const bool inside = button.contains(m_mousePos);

    if (type == QEvent::MouseButtonPress) {
        if (mouse->button() == Qt::LeftButton && inside)
            m_buttonState = ButtonPressed;
    } else if (type == QEvent::MouseMove) {
        if (inside) {
            m_buttonState = ButtonHovered;
            QToolTip::showText(mouse->globalPos(), QString::fromUtf8("断开连接"));
        } else {
            QToolTip::showText(mouse->globalPos(), QString());
        }
        emit sizeHintChanged(index); // repaints the row with the button's new look
    } else if (mouse->button() == Qt::LeftButton) {
        if (inside) {
            emit btnClicked(index);
            return true;
        }
        emit itemClicked(index);
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
