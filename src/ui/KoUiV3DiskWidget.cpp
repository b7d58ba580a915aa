#include "KoUiV3DiskWidget.h"

#include "link/KoRemoteConnectManager.h"
#include "model/KoBaseFacility.h"
#include "model/KoFacilityListModel.h"
#include "net/KoUser.h"
#include "ui/KoSystemTray.h"
#include "ui/KoUiInit.h"
#include "ui/KoUiV3AlertDialog.h"
#include "ui/KoUiV3ConnectedFacilityDelegate.h"
#include "ui/browser/KoUiV3FileWidget.h"
#include "ui_KoUiV3DiskWidget.h"

#include <QItemSelectionModel>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace {
const char* const kAlertTitle = "柯沃vu V3.2.0";
const int kNoticeMs = 3000;

QString alertTitle()
{
    return QString::fromUtf8(kAlertTitle);
}
} // namespace

KoUiV3DiskWidget::KoUiV3DiskWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_KoUiV3DiskWidget)
{
    koInitUiResources();
    initData();
    initUi();
    initConnection();
}

KoUiV3DiskWidget::~KoUiV3DiskWidget()
{
    delete ui;
}

void KoUiV3DiskWidget::initData()
{
    m_connectManager = KoRemoteConnectManager::getInstance();
    m_connectedList = m_connectManager->getConnectedList();
    m_emptyImage = QPixmap(QStringLiteral(":/ui_v3/images/img_device_list_empty"));
    m_phoneImage = QPixmap(QStringLiteral(":/ui_v3/images/img_udisk_default"));
}

void KoUiV3DiskWidget::initUi()
{
    ui->setupUi(this);
    ui->deviceListView->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_model = new KoFacilityListModel(ui->deviceListView);
    m_delegate = new KoUiV3ConnectedFacilityDelegate(ui->deviceListView);
    m_model->setList(m_connectedList);
    ui->deviceListView->setModel(m_model);
    ui->deviceListView->setItemDelegate(m_delegate);
    m_fileWidget = new KoUiV3FileWidget(ui->contentWidget);
    ui->contentVLayout->addWidget(m_fileWidget);
    m_fileWidgetShown = 0;
    updateTipsWidget();
    hideFileWidget();
    showTipsWidget();
}

void KoUiV3DiskWidget::initConnection()
{
    connect(ui->deviceListView, &QListView::entered, this,
            [this](const QModelIndex&) { ui->deviceListView->setCursor(Qt::PointingHandCursor); });
    connect(ui->deviceListView, &QListView::viewportEntered, this,
            [this] { ui->deviceListView->setCursor(Qt::ArrowCursor); });
    connect(m_delegate, SIGNAL(itemClicked(QModelIndex)), this, SLOT(onDeviceClicked(QModelIndex)));
    connect(m_delegate, SIGNAL(btnClicked(QModelIndex)), this, SLOT(onDeviceBtnClicked(QModelIndex)));
    KoUser* user = KoUser::getInstance();
    connect(user, SIGNAL(loginResult(int)), this, SLOT(onUsrLogin(int)));
    connect(user, SIGNAL(logoutResult()), this, SLOT(onUsrLogout()));
    KoRemoteConnectManager* m = m_connectManager;
    connect(m, SIGNAL(updateConnedctedList()), this, SLOT(updateDeviceListView()));
    connect(m, SIGNAL(deviceConnected(KoBaseFacility*, int)), this, SLOT(onDeviceConnected(KoBaseFacility*, int)));
    connect(m, SIGNAL(deviceDetached(KoBaseFacility*)), this, SLOT(onDeviceDetached(KoBaseFacility*)));
    connect(m, SIGNAL(deviceEjected(KoBaseFacility*)), this, SLOT(onDeviceEjected(KoBaseFacility*)));
    connect(m, SIGNAL(deviceRefused(KoBaseFacility*, QString)), this,
            SLOT(onDeviceRefused(KoBaseFacility*, QString)));
    connect(m, SIGNAL(deviceContinueQuery(KoBaseFacility*)), this, SLOT(onDeviceContinueQuery(KoBaseFacility*)));
    connect(m, SIGNAL(devicePolicyDetached(KoBaseFacility*, QString)), this,
            SLOT(onDevicePolicyDetached(KoBaseFacility*, QString)));
}

void KoUiV3DiskWidget::updateTipsWidget()
{
    if (!m_connectedList->isEmpty()) {
        ui->imageLabel->setPixmap(m_phoneImage);
        ui->textLabel->setText(QString::fromUtf8("打开连接列表的vu, 进行文件管理"));
    } else {
        ui->imageLabel->setPixmap(m_emptyImage);
        ui->textLabel->setText(QString::fromUtf8("连接列表为空哦..."));
    }
}

void KoUiV3DiskWidget::updateDeviceListView()
{
    m_model->setList(m_connectedList);
    // A reset drops the selection: the shown phone keeps its row selected.
    if (m_fileWidgetShown == 1 && m_fileWidget->getFacility())
        setDeviceListViewSelect(connectedRow(m_fileWidget->getFacility()->getDeviceId()));
}

void KoUiV3DiskWidget::onUsrLogin(int)
{
    updateDeviceListView();
}

void KoUiV3DiskWidget::onUsrLogout()
{
    updateDeviceListView();
}

void KoUiV3DiskWidget::makeTipsWidgetShow()
{
    m_fileWidgetShown = 0;
    updateTipsWidget();
    hideFileWidget();
    showTipsWidget();
}

void KoUiV3DiskWidget::makeFileWidgetShow(KoBaseFacility* facility)
{
    m_fileWidgetShown = 1;
    updateTipsWidget();
    hideTipsWidget();
    showFileWidget(facility);
}

void KoUiV3DiskWidget::showFileWidget(KoBaseFacility* facility)
{
    m_fileWidget->setFacility(facility);
    m_fileWidget->show();
}

void KoUiV3DiskWidget::hideFileWidget()
{
    m_fileWidget->hide();
}

void KoUiV3DiskWidget::showTipsWidget()
{
    ui->tipsWidget->show();
}

void KoUiV3DiskWidget::hideTipsWidget()
{
    ui->tipsWidget->hide();
}

void KoUiV3DiskWidget::setDeviceListViewSelect(int row)
{
    const QModelIndex index = m_model->index(row, 0);
    if (row >= 0 && index.isValid())
        ui->deviceListView->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
}

bool KoUiV3DiskWidget::isShownPhone(const QString& deviceId) const
{
    const KoBaseFacility* shown = m_fileWidget->getFacility();
    return m_fileWidgetShown == 1 && shown && shown->getDeviceId() == deviceId;
}

int KoUiV3DiskWidget::connectedRow(const QString& deviceId) const
{
    for (int row = 0; row < m_connectedList->size(); ++row) {
        const KoBaseFacility* facility = m_connectedList->at(row);
        if (facility && facility->getDeviceId() == deviceId)
            return row;
    }
    return -1;
}

void KoUiV3DiskWidget::onDeviceConnected(KoBaseFacility* facility, int)
{
    if (!facility)
        return;
    // The list has changed now; the phone itself is shown a moment later, found again by its id:
    // it may have left (and its record gone) in between.
    updateDeviceListView();
    const QString deviceId = facility->getDeviceId();
    QTimer::singleShot(kShowDelayMs, this, [this, deviceId] {
        const int row = connectedRow(deviceId);
        if (row < 0)
            return;
        makeFileWidgetShow(m_connectedList->at(row));
        updateDeviceListView();
    });
}

void KoUiV3DiskWidget::dropPhone(const QString& deviceId)
{
    if (isShownPhone(deviceId))
        makeTipsWidgetShow();
    else if (m_fileWidgetShown == 0)
        updateTipsWidget();
    updateDeviceListView();
}

void KoUiV3DiskWidget::showNotice(const QString& text)
{
    KoSystemTray::getInstance()->showMessage(alertTitle(), text, kNoticeMs);
}

void KoUiV3DiskWidget::onDeviceDetached(KoBaseFacility* facility)
{
    std::unique_ptr<KoBaseFacility> owned(facility);
    if (!owned)
        return;
    dropPhone(owned->getDeviceId());
    showNotice(owned->getNick() + QString::fromUtf8("已断开连接"));
}

void KoUiV3DiskWidget::onDeviceEjected(KoBaseFacility* facility)
{
    std::unique_ptr<KoBaseFacility> owned(facility);
    if (owned)
        dropPhone(owned->getDeviceId());
}

void KoUiV3DiskWidget::onDevicePolicyDetached(KoBaseFacility* facility, QString reason)
{
    std::unique_ptr<KoBaseFacility> owned(facility);
    if (!owned)
        return;
    const QString text = owned->getNick() + reason;
    dropPhone(owned->getDeviceId());
    showNotice(text);
}

void KoUiV3DiskWidget::onDeviceRefused(KoBaseFacility* facility, QString reason)
{
    if (!facility)
        return;
    const QString nick = facility->getNick();
    QPointer<KoUiV3DiskWidget> self(this);
    {
        KoUiV3AlertDialog dialog(nullptr);
        dialog.alert(alertTitle(), nick + reason);
    }
    if (self)
        m_connectManager->refreshMyDevice();
}

void KoUiV3DiskWidget::onDeviceContinueQuery(KoBaseFacility* facility)
{
    if (!facility)
        return;
    // Copies: the record is not kept past this slot. The question waits until the push handler
    // has returned, so later pushes are handled in their order, not inside the box; one box at a
    // time, and a phone already waiting for its answer is not asked twice.
    const QString deviceId = facility->getDeviceId();
    for (const ContinueQuestion& waiting : m_continueQuestions) {
        if (waiting.deviceId == deviceId)
            return;
    }
    if (m_askingDeviceId == deviceId)
        return;
    m_continueQuestions.append({deviceId, facility->getNick()});
    if (m_continueQuestions.size() == 1 && m_askingDeviceId.isNull())
        QTimer::singleShot(0, this, &KoUiV3DiskWidget::askContinueQuestions);
}

void KoUiV3DiskWidget::askContinueQuestions()
{
    QPointer<KoUiV3DiskWidget> self(this);
    while (!m_continueQuestions.isEmpty()) {
        const ContinueQuestion question = m_continueQuestions.takeFirst();
        // Gone meanwhile: nothing left to decide.
        if (connectedRow(question.deviceId) < 0)
            continue;
        m_askingDeviceId = question.deviceId;
        int answer = 0;
        {
            KoUiV3AlertDialog dialog(nullptr);
            answer = dialog.confirm(alertTitle(),
                                    question.nick + QString::fromUtf8("未连接到Wi-Fi, 是否使用流量进行操作？"),
                                    QString::fromUtf8("确定"), QString::fromUtf8("取消"));
        }
        if (!self)
            return;
        m_askingDeviceId.clear();
        if (answer != 1 && connectedRow(question.deviceId) >= 0)
            m_connectManager->ejectDevice(question.deviceId);
    }
}

void KoUiV3DiskWidget::onDeviceClicked(QModelIndex index)
{
    if (!index.isValid() || index.row() >= m_connectedList->size())
        return;
    KoBaseFacility* facility = m_connectedList->at(index.row());
    if (!facility || isShownPhone(facility->getDeviceId()))
        return;
    makeFileWidgetShow(facility);
}

void KoUiV3DiskWidget::onDeviceBtnClicked(QModelIndex index)
{
    if (!index.isValid() || index.row() >= m_connectedList->size())
        return;
    const KoBaseFacility* facility = m_connectedList->at(index.row());
    if (facility)
        m_connectManager->ejectDevice(facility->getDeviceId());
}
