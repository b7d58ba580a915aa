#include "CFramelessWindow.h"

#include <QChildEvent>
#include <QEvent>
#include <QIcon>
#include <QPushButton>

#include "mac/KoMacBridge.h"
#include "ui/KoUiInit.h"
#include "ui/widgets/KoSurfaceDrag.h"

namespace {
const int kButtonSize = 12;
const int kButtonsX = 10;
const int kButtonsY = 18; // centred in the 48 px title bar

QPushButton* makeWindowButton(QWidget* parent, int x, const char* objectName)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setGeometry(x, 0, kButtonSize, kButtonSize);
    button->setFixedSize(kButtonSize, kButtonSize);
    button->setIconSize(QSize(kButtonSize, kButtonSize));
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QStringLiteral("border: none;"));
    return button;
}
} // namespace

CFramelessWindow::CFramelessWindow(QWidget* parent)
    : QMainWindow(parent)
{
    initUI();
}

CFramelessWindow::~CFramelessWindow() = default;

void CFramelessWindow::initUI()
{
    koInitUiResources();
    setWindowFlags(Qt::FramelessWindowHint);

    // Our own close, minimise and zoom buttons where the system's would sit.
    m_buttons = new QWidget(this);
    m_buttons->setObjectName(QStringLiteral("windowButtons"));
    m_buttons->setGeometry(kButtonsX, kButtonsY, 60, kButtonSize);
    m_buttons->setAttribute(Qt::WA_Hover);
    m_btnClose = makeWindowButton(m_buttons, 5, "btnWindowClose");
    m_btnMin = makeWindowButton(m_buttons, 24, "btnWindowMin");
    m_btnZoom = makeWindowButton(m_buttons, 43, "btnWindowZoom");
    setButtonImages(false);
    m_buttons->installEventFilter(this);
    connect(m_btnClose, &QPushButton::clicked, this, [this] { onCloseButton(); });
    connect(m_btnMin, &QPushButton::clicked, this, [this] { __forQtMinimized(this); });
    connect(m_btnZoom, &QPushButton::clicked, this, [this] { onZoomButton(); });
    m_bTitleBarButtons = true;
    new KoSurfaceDrag(this, [this](const QPoint& p) {
        return m_draggableAreaHeight <= 0 || p.y() < m_draggableAreaHeight;
    });
}

void CFramelessWindow::setButtonImages(bool hover)
{
    const QString base = QStringLiteral(":/ui_v3/images/");
    const QString suffix = hover ? QStringLiteral("_hover") : QString();
    m_btnClose->setIcon(QIcon(base + "icon_mac_btn_close_window" + suffix));
    m_btnMin->setIcon(QIcon(base + "icon_mac_btn_min_window" + suffix));
    if (hover && isMaximized())
        m_btnZoom->setIcon(QIcon(base + "icon_mac_btn_restore_window_hover"));
    else
        m_btnZoom->setIcon(QIcon(base + "icon_mac_btn_max_window" + suffix));
}

void CFramelessWindow::onCloseButton()
{
    if (m_bCloseBtnQuit)
        close();
    else
        __forQtHideApplication();
}

void CFramelessWindow::onZoomButton()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void CFramelessWindow::setDraggableAreaHeight(int height)
{
    m_draggableAreaHeight = height < 0 ? 0 : height;
}

void CFramelessWindow::setCloseBtnEnabled(bool enabled)
{
    if (!m_bTitleBarButtons)
        return;
    m_bCloseBtnEnabled = enabled;
    m_btnClose->setEnabled(enabled);
}

void CFramelessWindow::setMinBtnEnabled(bool enabled)
{
    if (!m_bTitleBarButtons)
        return;
    m_bMinBtnEnabled = enabled;
    m_btnMin->setEnabled(enabled);
}

void CFramelessWindow::setZoomBtnEnabled(bool enabled)
{
    if (!m_bTitleBarButtons)
        return;
    m_bZoomBtnEnabled = enabled;
    m_btnZoom->setEnabled(enabled);
}

void CFramelessWindow::setCloseBtnQuit(bool quit)
{
    if (quit || !m_bTitleBarButtons)
        return;
    m_bCloseBtnQuit = false;
}

void CFramelessWindow::setTitlebarVisible(bool visible)
{
    // The content always fills the frameless window; only the flag is kept.
    if (!m_bTitleBarButtons)
        return;
    m_bTitlebarVisible = visible;
}

void CFramelessWindow::setButtonOffset()
{
    if (!m_bTitleBarButtons)
        return;
    setCloseBtnEnabled(true);
    setMinBtnEnabled(true);
    setZoomBtnEnabled(true);
    m_buttons->move(m_buttons->x(), m_buttons->y() + 10);
    m_buttons->update();
}

void CFramelessWindow::onRestoreFromFullScreen()
{
    if (!m_bTitleBarButtons)
        return;
    m_bTitlebarVisible = false;
}

void CFramelessWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (m_buttons)
        m_buttons->raise();
}

void CFramelessWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_buttons)
        m_buttons->raise();
}

void CFramelessWindow::childEvent(QChildEvent* event)
{
    QMainWindow::childEvent(event);
    // Keep the window buttons above the content that subclasses add later (central widget).
    if (m_buttons && event->added() && event->child() != m_buttons && event->child()->isWidgetType())
        m_buttons->raise();
}

bool CFramelessWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_buttons) {
        if (event->type() == QEvent::Enter) {
            setButtonImages(true);
            return true;
        }
        if (event->type() == QEvent::Leave) {
            setButtonImages(false);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
