#include "KoNativeWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <functional>

#include "app/KoCommonUtil.h"
#include "app/KoSettings.h"
#include "app/KoThisMachineInfo.h"
#include "client/KoClientHelper.h"
#include "link/KoRemoteConnectManager.h"
#include "net/KoAutoUpdateTool.h"
#include "net/KoNetworkObject.h"
#include "net/KoUser.h"
#include "net/KoUserActionRecord.h"
#include "ops/KoRemoteFileOperator.h"
#include "ui/KoSystemTray.h"
#include "ui/KoUiInit.h"
#include "ui/KoUiV3AlertDialog.h"
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
const char* const kAlertTitle = "柯沃vu V3.2.0";
const char* const kDefaultHead = ":/ui_v3/images/default_avator_small";

// The instance that is alive now: asked of the class where it can tell without creating one,
// otherwise the one this window created, unless that one has gone already.
template <typename T>
auto liveInstance(const QPointer<T>&, int) -> decltype(T::hasInstance(), static_cast<T*>(nullptr))
{
    return T::hasInstance() ? T::getInstance() : nullptr;
}

template <typename T>
T* liveInstance(const QPointer<T>& kept, long)
{
    return kept.data();
}

template <typename T>
void deleteService(QPointer<T>& kept)
{
    T* live = liveInstance(kept, 0);
    kept.clear();
    delete live; // its destructor clears the class's instance pointer
}
}

KoNativeWindow::KoNativeWindow(QWidget* parent)
    : CFramelessWindow(parent)
    , ui(new Ui_KoNativeWindowMac)
{
    initData();
    initUi();
    initConnection();
}

KoNativeWindow::~KoNativeWindow()
{
    // The pages (and the popup) hold lists and pointers borrowed from the services: they go
    // first, while everything they borrow is still there.
    delete m_homeWidget;
    m_homeWidget = nullptr;
    delete m_diskWidget;
    m_diskWidget = nullptr;
    delete m_transferWidget;
    m_transferWidget = nullptr;
    delete m_usrInfoWidget;
    m_usrInfoWidget = nullptr;

    deleteServices();
    delete ui;
    ui = nullptr;
}

void KoNativeWindow::deleteServices()
{
    // First: it stops its LAN workers and timers and drops every device record.
    if (KoRemoteConnectManager::hasInstance())
        delete KoRemoteConnectManager::getInstance();
    // The operation manager saves its transfer lists and deletes the phone client itself.
    if (KoRemoteFileOperator::hasInstance())
        delete KoRemoteFileOperator::getInstance();
    deleteService(m_clientHelper);
    deleteService(m_autoUpdateTool);
    deleteService(m_userActionRecord);
    deleteService(m_user);
    deleteService(m_networkObject);
    deleteService(m_machineInfo); // saves itself to the settings: before them
    deleteService(m_settings);
    deleteService(m_tray);
}

void KoNativeWindow::initData()
{
    m_versionAlertShowing = false;
    // Later constructors rely on the earlier ones (the settings identity comes first).
    m_settings = KoSettings::getInstance();
    m_machineInfo = KoThisMachineInfo::getInstance();
    m_networkObject = KoNetworkObject::getInstance();
    KoRemoteFileOperator::getInstance(); // creates the phone client too
    KoRemoteConnectManager::getInstance(); // starts LAN listening, heart-beat, report and push poll
    m_userActionRecord = KoUserActionRecord::getInstance();
    m_user = KoUser::getInstance();

    m_userActionRecord->recordEnterApp();
    if (m_user->isLogin())
        m_user->login(std::function<void(int)>());
    m_autoUpdateTool = KoAutoUpdateTool::getInstance();
    m_autoUpdateTool->checkIsUpdate();
    m_clientHelper = KoClientHelper::getInstance();
}

void KoNativeWindow::initUi()
{
    koInitUiResources();
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/ui_v3/images/icon_mac")));
    m_tray = KoSystemTray::getInstance();
    m_tray->setNoticeWidget(this); // where the platform cannot show tray notices

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

    m_userActionRecord->uploadRecord();
    m_userActionRecord->uploadDump();
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

    connect(m_tray, SIGNAL(showApplication()), this, SLOT(onAnotherClient()));
    connect(m_tray, SIGNAL(closeApplication()), this, SLOT(onQuitRequested()));

    connect(m_user, SIGNAL(loginResult(int)), this, SLOT(onUsrLogin(int)));
    connect(m_user, SIGNAL(logoutResult()), this, SLOT(onUsrLogout()));
    connect(m_autoUpdateTool, SIGNAL(newVersion()), this, SLOT(onNewVersion()));
    connect(m_autoUpdateTool, SIGNAL(notNewVersion()), this, SLOT(onNotNewVersion()));
    KoRemoteConnectManager* connectManager = KoRemoteConnectManager::getInstance();
    connect(connectManager, SIGNAL(bindError()), this, SLOT(onBindError()));
    connect(connectManager, SIGNAL(msgVersionNotMatch(int)), this, SLOT(onMsgVersionNotMatch(int)));
    connect(connectManager, SIGNAL(deviceConnected(KoBaseFacility*,int)), this, SLOT(onBtnUDiskClicked()));
    connect(KoRemoteFileOperator::getInstance(), SIGNAL(convertCountChanged(int,int)), this,
            SLOT(onTransferCountChanged(int,int)));
}

void KoNativeWindow::setWindowSize()
{
    const QRect screen = KoCommonUtil::getScreenGeometry();
    if (screen.width() >= WideWidth + 1 && screen.height() >= WideHeight + 1)
        setGeometry((screen.width() - WideWidth) / 2, (screen.height() - WideHeight) / 2, WideWidth, WideHeight);
}

void KoNativeWindow::updateHeadLabel()
{
    QIcon icon(QString::fromLatin1(kDefaultHead));
    QPixmap head = m_user && m_user->isLogin() ? koLoadHeadImage(QString()) : QPixmap();
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
    if (isMinimized())
        showNormal();
    show();
    activateWindow();
    raise();
}

void KoNativeWindow::onMsgVersionNotMatch(int flag)
{
    if (m_versionAlertShowing)
        return;
    m_versionAlertShowing = true;
    if (flag == 0) {
        m_versionAlertShowing = false;
        return;
    }
    QPointer<KoNativeWindow> self(this);
    {
        KoUiV3AlertDialog dialog(nullptr);
        dialog.alert(QString::fromUtf8(kAlertTitle),
                     flag < 0 ? QString::fromUtf8("对方APP版本过低, 请提醒对方升级APP")
                              : QString::fromUtf8("当前客户端版本过低, 请前往官网下载最新版客户端"));
    }
    if (self)
        m_versionAlertShowing = false;
}

void KoNativeWindow::onNewVersion()
{
    const QString name = m_autoUpdateTool ? m_autoUpdateTool->getVersionName() : QString();
    QPointer<KoNativeWindow> self(this);
    int answer = 0;
    {
        KoUiV3AlertDialog dialog(nullptr);
        answer = dialog.confirm(QString::fromUtf8(kAlertTitle),
                                QString::fromUtf8("检测到新版本 ") + name + QString::fromUtf8(", 请前往官网下载更新"),
                                QString::fromUtf8("点击前往"), QString::fromUtf8("取消"));
    }
    if (answer == 1 && self && self->m_autoUpdateTool)
        KoCommonUtil::openHttpUrl(self->m_autoUpdateTool->getUpdateUrl());
}

void KoNativeWindow::onNotNewVersion()
{
    KoUiV3AlertDialog dialog(nullptr);
    dialog.alert(QString::fromUtf8(kAlertTitle), QString::fromUtf8("已经是最新版本"));
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
    if (!m_user || !m_user->isLogin()) {
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
    // A failed re-login signs out: the head must not stay.
    updateHeadLabel();
    if (code != 0 || !m_user)
        return;
    QPointer<KoNativeWindow> self(this);
    m_user->checkHead([self](int result) {
        if (self && result == 2)
            self->updateHeadLabel();
    });
}

void KoNativeWindow::onUsrLogout()
{
    updateHeadLabel();
}

void KoNativeWindow::onTransferCountChanged(int download, int upload)
{
    ui->transferPoint->setVisible(download + upload > 0);
}

bool KoNativeWindow::leaveApp()
{
    if (m_leaving)
        return false;
    if (m_left)
        return true;
    m_leaving = true;
    if (KoRemoteConnectManager::hasInstance())
        KoRemoteConnectManager::getInstance()->ejectAllDevice();
    if (m_userActionRecord)
        m_userActionRecord->recordExitApp();
    KoCommonUtil::sleepInLoop(100); // lets the eject requests leave
    m_leaving = false;
    m_left = true;
    return true;
}

void KoNativeWindow::onQuitRequested()
{
    if (leaveApp())
        QCoreApplication::exit(0);
}

void KoNativeWindow::closeEvent(QCloseEvent* event)
{
    // A close that arrives while a quit waits for its eject requests is left to that quit.
    if (leaveApp())
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
