#include "KoUiV3HomeWidget.h"

#include "app/KoCommonUtil.h"
#include "link/KoRemoteConnectManager.h"
#include "model/KoBaseFacility.h"
#include "model/KoFacilityListModel.h"
#include "net/KoUser.h"
#include "ui/KoUiInit.h"
#include "ui/KoUiV3AlertDialog.h"
#include "ui/KoUiV3LoginDialog.h"
#include "ui/KoUiV3MyFacilityDelegate.h"
#include "ui_KoUiV3HomeWidget.h"

#include <QPointer>
#include <QTimer>

namespace {
const int kRefreshPauseMs = 5000;

QString connectTitle()
{
    return QString::fromUtf8("连接设备");
}
} // namespace

KoUiV3HomeWidget::ClickAction KoUiV3HomeWidget::clickAction(int state, int networkType, int networkPolicy)
{
    if (state == 1)
        return ClickConnect;
    if (state != 2)
        return ClickIgnore;
    if (networkType != 0)
        return ClickConnect;
    if (networkPolicy == 0)
        return ClickAsk;
    return networkPolicy == 1 ? ClickRefuse : ClickIgnore;
}

KoUiV3HomeWidget::KoUiV3HomeWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_KoUiV3HomeWidget)
{
    koInitUiResources();
    initData();
    initUi();
    initConnection();
}

KoUiV3HomeWidget::~KoUiV3HomeWidget()
{
    delete ui;
}

void KoUiV3HomeWidget::initData()
{
    m_connectManager = KoRemoteConnectManager::getInstance();
    m_deviceList = m_connectManager->getMyDeviceList();
    m_waitTimer = new QTimer(this);
    m_waitTimer->setSingleShot(true);
    m_connecting = false;
}

void KoUiV3HomeWidget::initUi()
{
    ui->setupUi(this);
    ui->deviceLisView->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_model = new KoFacilityListModel(ui->deviceLisView);
    m_delegate = new KoUiV3MyFacilityDelegate(ui->deviceLisView);
    m_model->setList(m_deviceList);
    ui->deviceLisView->setModel(m_model);
    ui->deviceLisView->setItemDelegate(m_delegate);
    updateQrCode(m_connectManager->getQrKey());
    if (KoUser::getInstance()->isLogin())
        hideTipsWidget();
    else
        showTipsWidget();
}

void KoUiV3HomeWidget::initConnection()
{
    connect(ui->btnTipsClose, SIGNAL(clicked()), this, SLOT(onBtnTipsClicked()));
    connect(ui->btnRefreshList, SIGNAL(clicked()), this, SLOT(onBtnRefreshListClicked()));
    connect(ui->loginLabel, SIGNAL(clicked()), this, SLOT(onLoginLabelClicked()));
    connect(ui->deviceLisView, SIGNAL(clicked(QModelIndex)), this, SLOT(onDeviceClicked(QModelIndex)));
    connect(ui->deviceLisView, &QListView::entered, this, [this](const QModelIndex&) {
        ui->deviceLisView->setCursor(m_connecting ? Qt::WaitCursor : Qt::PointingHandCursor);
    });
    connect(ui->deviceLisView, &QListView::viewportEntered, this,
            [this] { ui->deviceLisView->setCursor(m_connecting ? Qt::WaitCursor : Qt::ArrowCursor); });
    connect(m_waitTimer, SIGNAL(timeout()), this, SLOT(onWaitTimerOut()));
    KoUser* user = KoUser::getInstance();
    connect(user, SIGNAL(loginResult(int)), this, SLOT(onUsrLogin(int)));
    connect(user, SIGNAL(logoutResult()), this, SLOT(onUsrLogout()));
    connect(m_connectManager, SIGNAL(updateQrRandomKey(int)), this, SLOT(updateQrCode(int)));
    connect(m_connectManager, SIGNAL(updateMyDeviceList()), this, SLOT(updateDeviceListView()));
    connect(m_connectManager, SIGNAL(sendTimeout(int)), this, SLOT(onSendTimeOut(int)));
}

void KoUiV3HomeWidget::updateQrCode(int key)
{
    const QString text = KoCommonUtil::getQrJson(KoCommonUtil::getLocalIp(), key);
    ui->qrcodeLabel->setPixmap(KoCommonUtil::getQrcode(text, 154));
}

void KoUiV3HomeWidget::updateDeviceListView()
{
    m_model->setList(m_deviceList);
}

void KoUiV3HomeWidget::onUsrLogin(int code)
{
    if (code == 0) {
        m_tipsClosed = false;
        hideTipsWidget();
        m_connectManager->clearMyDeviceList();
        m_model->setList(m_deviceList);
        m_connectManager->refreshMyDevice();
    } else if (!KoUser::getInstance()->isLogin()) {
        // A failed (re-)login signs the user out: the page must not keep the signed-in look.
        showSignedOut();
    }
}

void KoUiV3HomeWidget::onUsrLogout()
{
    m_tipsClosed = false;
    showSignedOut();
}

void KoUiV3HomeWidget::showSignedOut()
{
    // Closed by the user: stays closed until the next logout, whatever logins fail meanwhile.
    if (!m_tipsClosed)
        showTipsWidget();
    m_connectManager->clearMyDeviceList();
    m_model->setList(m_deviceList);
}

void KoUiV3HomeWidget::onSendTimeOut(int type)
{
    if (type == KoRemoteConnectManager::kConnectMsgType)
        cancelWaiting();
}

void KoUiV3HomeWidget::onBtnTipsClicked()
{
    m_tipsClosed = true;
    hideTipsWidget();
}

void KoUiV3HomeWidget::onBtnRefreshListClicked()
{
    cancelWaiting();
    ui->btnRefreshList->setEnabled(false);
    ui->btnRefreshList->setCursor(Qt::WaitCursor);
    m_connectManager->refreshMyDevice();
    m_waitTimer->start(kRefreshPauseMs);
}

void KoUiV3HomeWidget::onWaitTimerOut()
{
    ui->btnRefreshList->setEnabled(true);
    ui->btnRefreshList->setCursor(Qt::PointingHandCursor);
}

void KoUiV3HomeWidget::onLoginLabelClicked()
{
    KoUiV3LoginDialog dialog(nullptr);
    dialog.exec();
}

void KoUiV3HomeWidget::onDeviceClicked(QModelIndex index)
{
    if (!index.isValid() || index.row() >= m_deviceList->size() || m_connecting)
        return;
    const KoBaseFacility* facility = m_deviceList->at(index.row());
    if (!facility)
        return;
    // Copies: the box below runs the event loop, and a device report may refill the list.
    const QString deviceId = facility->getDeviceId();
    const QString nick = facility->getNick();
    switch (clickAction(facility->getState(), facility->getNetworkType(), facility->getNetworkPolicy())) {
    case ClickConnect:
        connectDevice(deviceId);
        break;
    case ClickAsk: {
        QPointer<KoUiV3HomeWidget> self(this);
        int answer = 0;
        {
            KoUiV3AlertDialog dialog(nullptr);
            answer = dialog.confirm(connectTitle(), nick + QString::fromUtf8("未连接到Wi-Fi, 是否使用流量进行操作?"),
                                    QString::fromUtf8("确定"), QString::fromUtf8("取消"));
        }
        if (answer == 1 && self && !m_connecting && isMyDevice(deviceId))
            connectDevice(deviceId);
        break;
    }
    case ClickRefuse: {
        KoUiV3AlertDialog dialog(nullptr);
        dialog.alert(connectTitle(), nick + QString::fromUtf8(KoRemoteConnectManager::kMobileRefusedReason));
        break;
    }
    case ClickIgnore:
        break;
    }
}

void KoUiV3HomeWidget::connectDevice(const QString& deviceId)
{
    m_connecting = true;
    ui->deviceLisView->setCursor(Qt::WaitCursor);
    m_connectManager->connectDevice(deviceId);
}

bool KoUiV3HomeWidget::isMyDevice(const QString& deviceId) const
{
    for (const KoBaseFacility* facility : *m_deviceList) {
        if (facility && facility->getDeviceId() == deviceId)
            return true;
    }
    return false;
}

void KoUiV3HomeWidget::hideTipsWidget()
{
    ui->tipsWidget->hide();
}

void KoUiV3HomeWidget::showTipsWidget()
{
    ui->tipsWidget->show();
}

void KoUiV3HomeWidget::cancelWaiting()
{
    m_connecting = false;
    ui->deviceLisView->setCursor(Qt::ArrowCursor);
}
