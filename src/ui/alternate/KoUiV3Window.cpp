#include "KoUiV3Window.h"

#include "link/KoRemoteConnectManager.h"
#include "net/KoAutoUpdateTool.h"
#include "net/KoUser.h"
#include "net/KoUserActionRecord.h"
#include "ui/KoAppLifetime.h"
#include "ui/KoSystemTray.h"
#include "ui/KoUiInit.h"
#include "ui/KoUiV3DiskWidget.h"
#include "ui/KoUiV3HomeWidget.h"
#include "ui/KoUiV3LoginDialog.h"
#include "ui/KoUiV3UsrInfoWidget.h"
#include "ui/alternate/KoWindowTitleBar.h"
#include "ui/transfer/KoUiV3TransferWidget.h"
#include "ui_KoUiV3Window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMouseEvent>

namespace {
constexpr int kBand = 3;
}

KoUiV3Window::KoUiV3Window(QWidget* parent)
    : QFrame(parent)
    , ui(new Ui_KoUiV3Window)
    , m_lifetime(new KoAppLifetime(this))
{
    initData();
    initUi();
    initConnection();
}

KoUiV3Window::~KoUiV3Window()
{
    // The title bar borrows the user and the operation manager too.
    m_lifetime->shutDown({m_homeWidget, m_diskWidget, m_transferWidget, m_usrInfoWidget, ui->titleWidget});
    m_homeWidget = nullptr;
    m_diskWidget = nullptr;
    m_transferWidget = nullptr;
    m_usrInfoWidget = nullptr;
    ui->titleWidget = nullptr;
    delete ui;
    ui = nullptr;
}

KoUiV3Window::EdgeBands KoUiV3Window::edgeBandsAt(const QPoint& pos, const QSize& size)
{
    EdgeBands bands;
    bands.right = qAbs(pos.x() - (size.width() - 1)) < kBand;
    bands.bottom = qAbs(pos.y() - (size.height() - 1)) < kBand;
    if (bands.right && bands.bottom)
        bands.cursor = Qt::SizeFDiagCursor;
    else if (bands.right)
        bands.cursor = Qt::SizeHorCursor;
    else if (bands.bottom)
        bands.cursor = Qt::SizeVerCursor;
    return bands;
}

void KoUiV3Window::initData()
{
    m_lastPos = QPoint();
    m_leftHeld = m_onRightEdge = m_onBottomEdge = false;
    m_lifetime->startServices();
}

void KoUiV3Window::initUi()
{
    koInitUiResources();
    ui->setupUi(this);
    m_lifetime->takeTray();
    setWindowFlags(Qt::FramelessWindowHint);
    setMouseTracking(true);
    ui->contentWidget->setMouseTracking(true);
    ui->titleWidget->setCursor(Qt::ArrowCursor);

    m_homeWidget = new KoUiV3HomeWidget(this);
    m_diskWidget = new KoUiV3DiskWidget(this);
    m_transferWidget = new KoUiV3TransferWidget(this);
    ui->contentHLayout->addWidget(m_homeWidget);
    ui->contentHLayout->addWidget(m_diskWidget);
    ui->contentHLayout->addWidget(m_transferWidget);
    m_usrInfoWidget = new KoUiV3UsrInfoWidget(this);
    m_usrInfoWidget->hide();
    onBtnHomeClicked();

    const QRect wide = KoAppLifetime::startGeometry();
    if (!wide.isNull())
        setGeometry(wide);
    m_lifetime->actionRecord()->uploadRecord();
    m_lifetime->actionRecord()->uploadDump();
}

void KoUiV3Window::initConnection()
{
    KoWindowTitleBar* title = ui->titleWidget;
    connect(title, &KoWindowTitleBar::btnHomeClicked, this, &KoUiV3Window::onBtnHomeClicked);
    connect(title, &KoWindowTitleBar::btnUDiskClicked, this, &KoUiV3Window::onBtnUDiskClicked);
    connect(title, &KoWindowTitleBar::btnTransferListClicked, this, &KoUiV3Window::onBtnTransferListClicked);
    connect(title, &KoWindowTitleBar::btnUsrInfoClicked, this, &KoUiV3Window::onBtnUsrInfoClicked);

    connect(m_lifetime->tray(), &KoSystemTray::showApplication, this, &KoUiV3Window::onAnotherClient);
    connect(m_lifetime->tray(), &KoSystemTray::closeApplication, this, [this] {
        if (m_lifetime->leaveApp())
            QCoreApplication::exit(0);
    });
    connect(m_lifetime->updateTool(), &KoAutoUpdateTool::newVersion, this, &KoUiV3Window::onNewVersion);
    connect(m_lifetime->updateTool(), &KoAutoUpdateTool::notNewVersion, this, &KoUiV3Window::onNotNewVersion);
    KoRemoteConnectManager* connectManager = KoRemoteConnectManager::getInstance();
    connect(connectManager, &KoRemoteConnectManager::bindError, this, &KoUiV3Window::onBindError);
    connect(connectManager, &KoRemoteConnectManager::msgVersionNotMatch, this, &KoUiV3Window::onMsgVersionNotMatch);
    // Only the page changes: the record stays with the manager.
    connect(connectManager, &KoRemoteConnectManager::deviceConnected, this, &KoUiV3Window::onBtnUDiskClicked);
}

void KoUiV3Window::onBindError()
{
}

void KoUiV3Window::onAnotherClient()
{
    KoAppLifetime::bringToFront(this);
}

void KoUiV3Window::onMsgVersionNotMatch(int flag)
{
    m_lifetime->alertVersionMismatch(flag);
}

void KoUiV3Window::onNewVersion()
{
    m_lifetime->askNewVersion();
}

void KoUiV3Window::onNotNewVersion()
{
    m_lifetime->tellUpToDate();
}

void KoUiV3Window::onBtnHomeClicked()
{
    ui->titleWidget->onBtnHomeClicked();
    showPage(m_homeWidget);
}

void KoUiV3Window::onBtnUDiskClicked()
{
    ui->titleWidget->onBtnUDiskClicked();
    showPage(m_diskWidget);
}

void KoUiV3Window::onBtnTransferListClicked()
{
    ui->titleWidget->onBtnTransferListClicked();
    showPage(m_transferWidget);
}

void KoUiV3Window::showPage(QWidget* page)
{
    for (QWidget* other : {static_cast<QWidget*>(m_homeWidget), static_cast<QWidget*>(m_diskWidget),
                           static_cast<QWidget*>(m_transferWidget)}) {
        if (other != page)
            other->hide();
    }
    page->show();
}

void KoUiV3Window::onBtnUsrInfoClicked(QPoint pos)
{
    KoUser* user = m_lifetime->user();
    if (user && user->isLogin()) {
        m_usrInfoWidget->popup(pos);
        return;
    }
    KoUiV3LoginDialog login(nullptr);
    login.exec();
}

void KoUiV3Window::takeEdgeBands(const QPoint& pos)
{
    const EdgeBands bands = edgeBandsAt(pos, size());
    m_onRightEdge = bands.right;
    m_onBottomEdge = bands.bottom;
    setCursor(bands.cursor);
}

void KoUiV3Window::mousePressEvent(QMouseEvent* event)
{
    m_lastPos = event->pos();
    m_leftHeld = event->button() == Qt::LeftButton;
    QFrame::mousePressEvent(event);
}

void KoUiV3Window::mouseMoveEvent(QMouseEvent* event)
{
    if (m_leftHeld) {
        // The bands stay those of the press for the whole drag.
        QRect area = geometry();
        const QPoint change = event->pos() - m_lastPos;
        if (m_onRightEdge)
            area.setRight(area.right() + change.x());
        if (m_onBottomEdge)
            area.setBottom(area.bottom() + change.y());
        area.setSize(area.size().expandedTo(minimumSize()));
        setGeometry(area);
        m_lastPos = event->pos();
    } else {
        takeEdgeBands(event->pos());
    }
    QFrame::mouseMoveEvent(event);
}

void KoUiV3Window::mouseReleaseEvent(QMouseEvent* event)
{
    m_leftHeld = false;
    takeEdgeBands(event->pos());
    QFrame::mouseReleaseEvent(event);
}

void KoUiV3Window::focusOutEvent(QFocusEvent* event)
{
    m_leftHeld = false;
    setCursor(Qt::ArrowCursor);
    QFrame::focusOutEvent(event);
}

void KoUiV3Window::closeEvent(QCloseEvent* event)
{
    // A close that arrives while a quit waits for its eject requests is left to that quit.
    if (m_lifetime->leaveApp())
        event->accept();
    else
        event->ignore();
}
