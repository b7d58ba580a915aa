#include "KoNativeWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>

#include "app/KoCommonUtil.h"
#include "link/KoRemoteConnectManager.h"
#include "net/KoAutoUpdateTool.h"
#include "net/KoUser.h"
#include "net/KoUserActionRecord.h"
#include "ops/KoRemoteFileOperator.h"
#include "ui/KoAppLifetime.h"
#include "ui/KoSystemTray.h"
#include "ui/KoUiInit.h"
#include "ui/KoUiV3DiskWidget.h"
#include "ui/KoUiV3HomeWidget.h"
#include "ui/KoUiV3LoginDialog.h"
#include "ui/KoUiV3UsrInfoWidget.h"
#include "ui/transfer/KoUiV3SettingDialog.h"
#include "ui/transfer/KoUiV3TransferWidget.h"
#include "ui/widgets/KoHeadImage.h"
#include "ui/widgets/KoRoundLabel.h"
#include "ui_KoNativeWindow.h"

namespace {
const char* const kDefaultHead = ":/ui_v3/images/default_avator_small";
}

KoNativeWindow::KoNativeWindow(QWidget* parent)
    : CFramelessWindow(parent)
    , ui(new Ui_KoNativeWindowMac)
    , m_lifetime(new KoAppLifetime(this))
{
    initData();
    initUi();
    initConnection();
}

KoNativeWindow::~KoNativeWindow()
{
    m_lifetime->shutDown({m_homeWidget, m_diskWidget, m_transferWidget, m_usrInfoWidget});
    m_homeWidget = nullptr;
    m_diskWidget = nullptr;
    m_transferWidget = nullptr;
    m_usrInfoWidget = nullptr;
    delete ui;
    ui = nullptr;
}

void KoNativeWindow::initData()
{
    m_lifetime->startServices();
}

void KoNativeWindow::initUi()
{
    koInitUiResources();
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/ui_v3/images/icon_mac")));
    m_lifetime->takeTray()->setNoticeWidget(this); // where the platform cannot show tray notices

    setMouseTracking(true);
    ui->transferPoint->hide();
    QPixmap dot(7, 7);
    dot.fill(Qt::transparent);
    {
        QPainter painter(&dot);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QBrush(Qt::red, Qt::SolidPattern));
        painter.drawRoundedRect(QRectF(0, 0, 7, 7), 3.5, 3.5);
    }
    ui->transferPoint->setPixmap(dot);

    setDraggableAreaHeight(48);
    const QByteArray titleStyle = KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoTitleBarButton"));
    ui->menuWidget->setStyleSheet(QString::fromUtf8(titleStyle.constData()));
    ui->toolWidget->setStyleSheet(QString::fromUtf8(titleStyle.constData()));
    ui->titleWidget->setCursor(Qt::ArrowCursor);
    ui->contentWidget->setMouseTracking(true);

    m_homeWidget = new KoUiV3HomeWidget(this);
    m_diskWidget = new KoUiV3DiskWidget(this);
    m_transferWidget = new KoUiV3TransferWidget(this);
    ui->contentHLayout->addWidget(m_homeWidget);
    ui->contentHLayout->addWidget(m_diskWidget);
    ui->contentHLayout->addWidget(m_transferWidget);

    m_usrInfoWidget = new KoUiV3UsrInfoWidget(this);
    m_usrInfoWidget->hide();

    showPage(m_homeWidget);

    updateHeadLabel();
    setWindowSize();

    m_lifetime->actionRecord()->uploadRecord();
    m_lifetime->actionRecord()->uploadDump();
}

void KoNativeWindow::initConnection()
{
    connect(ui->btnHome, SIGNAL(clicked()), this, SLOT(onBtnHomeClicked()));
    connect(ui->btnUDisk, SIGNAL(clicked()), this, SLOT(onBtnUDiskClicked()));
    connect(ui->btnTransferList, SIGNAL(clicked()), this, SLOT(onBtnTransferListClicked()));
    connect(ui->btnHead, SIGNAL(clicked()), this, SLOT(onBtnUsrInfoClicked()));
    connect(ui->btnUsrInfo, SIGNAL(clicked()), this, SLOT(onBtnUsrInfoClicked()));
    connect(ui->transferPoint, SIGNAL(clicked()), this, SLOT(onBtnTransferListClicked()));
    connect(ui->btnSetting, SIGNAL(clicked()), this, SLOT(onBtnSettingClicked()));

    connect(m_lifetime->tray(), SIGNAL(showApplication()), this, SLOT(onAnotherClient()));
    connect(m_lifetime->tray(), SIGNAL(closeApplication()), this, SLOT(onQuitRequested()));

    connect(m_lifetime->user(), SIGNAL(loginResult(int)), this, SLOT(onUsrLogin(int)));
    connect(m_lifetime->user(), SIGNAL(logoutResult()), this, SLOT(onUsrLogout()));
    connect(m_lifetime->updateTool(), SIGNAL(newVersion()), this, SLOT(onNewVersion()));
    connect(m_lifetime->updateTool(), SIGNAL(notNewVersion()), this, SLOT(onNotNewVersion()));
    KoRemoteConnectManager* connectManager = KoRemoteConnectManager::getInstance();
    connect(connectManager, SIGNAL(bindError()), this, SLOT(onBindError()));
    connect(connectManager, SIGNAL(msgVersionNotMatch(int)), this, SLOT(onMsgVersionNotMatch(int)));
    connect(connectManager, SIGNAL(deviceConnected(KoBaseFacility*, int)), this, SLOT(onBtnUDiskClicked()));
    connect(KoRemoteFileOperator::getInstance(), SIGNAL(convertCountChanged(int, int)), this,
            SLOT(onTransferCountChanged(int, int)));
}

void KoNativeWindow::setWindowSize()
{
    const QRect wide = KoAppLifetime::startGeometry();
    if (!wide.isNull())
        setGeometry(wide);
}

void KoNativeWindow::updateHeadLabel()
{
    QIcon icon(QString::fromLatin1(kDefaultHead));
    KoUser* user = m_lifetime->user();
    QPixmap head = user && user->isLogin() ? koLoadHeadImage(QString()) : QPixmap();
    if (!head.isNull()) {
        KoCommonUtil::roundPixmap(head);
        icon = QIcon(head);
    }
    ui->btnHead->setIcon(icon);
}

void KoNativeWindow::onBindError()
{
}

void KoNativeWindow::onAnotherClient()
{
    KoAppLifetime::bringToFront(this);
}

void KoNativeWindow::onMsgVersionNotMatch(int flag)
{
    m_lifetime->alertVersionMismatch(flag);
}

void KoNativeWindow::onNewVersion()
{
    m_lifetime->askNewVersion();
}

void KoNativeWindow::onNotNewVersion()
{
    m_lifetime->tellUpToDate();
}

void KoNativeWindow::onBtnHomeClicked()
{
    showPage(m_homeWidget);
}

void KoNativeWindow::onBtnUDiskClicked()
{
    showPage(m_diskWidget);
}

void KoNativeWindow::onBtnTransferListClicked()
{
    showPage(m_transferWidget);
}

// Sets all three buttons and pages, whatever the current page.
void KoNativeWindow::showPage(QWidget* page)
{
    ui->btnHome->setChecked(page == m_homeWidget);
    ui->btnUDisk->setChecked(page == m_diskWidget);
    ui->btnTransferList->setChecked(page == m_transferWidget);
    for (QWidget* other : {static_cast<QWidget*>(m_homeWidget), static_cast<QWidget*>(m_diskWidget),
                           static_cast<QWidget*>(m_transferWidget)}) {
        if (other != page)
            other->hide();
    }
    page->show();
}

void KoNativeWindow::onBtnUsrInfoClicked()
{
    const QPoint p = ui->toolWidget->mapToGlobal(ui->btnHead->pos());
    KoUser* user = m_lifetime->user();
    if (!user || !user->isLogin()) {
        KoUiV3LoginDialog login(nullptr);
        login.exec();
        return;
    }
    m_usrInfoWidget->popup(QPoint(p.x() - 190, p.y() + 28));
}

void KoNativeWindow::onBtnSettingClicked()
{
    KoUiV3SettingDialog dialog;
    dialog.exec();
}

void KoNativeWindow::onUsrLogin(int code)
{
    koFollowLoginHead(this, code, [this] { updateHeadLabel(); });
}

void KoNativeWindow::onUsrLogout()
{
    updateHeadLabel();
}

void KoNativeWindow::onTransferCountChanged(int download, int upload)
{
    ui->transferPoint->setVisible(download + upload > 0);
}

void KoNativeWindow::onQuitRequested()
{
    if (m_lifetime->leaveApp())
        QCoreApplication::exit(0);
}

void KoNativeWindow::closeEvent(QCloseEvent* event)
{
    // A close that arrives while a quit waits for its eject requests is left to that quit.
    if (m_lifetime->leaveApp())
        event->accept();
    else
        event->ignore();
}

void KoNativeWindow::resizeEvent(QResizeEvent* event)
{
    if (m_usrInfoWidget)
        m_usrInfoWidget->hide();
    CFramelessWindow::resizeEvent(event);
}
