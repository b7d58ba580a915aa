#include "KoAppLifetime.h"

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
#include "ui/KoUiV3AlertDialog.h"
#include "ui/widgets/KoCardDialog.h"

#include <QWidget>

#include <functional>

namespace {
const char* const kAlertTitle = "柯沃vu V3.2.0";
const int kWideWidth = 960;
const int kWideHeight = 600;

// The instance that is alive now: asked of the class where it can tell without creating one,
// otherwise the one kept here, unless that one has gone already.
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
} // namespace

KoAppLifetime::KoAppLifetime(QObject* window)
    : QObject(window)
{
}

void KoAppLifetime::startServices()
{
    m_versionAlertShowing = false;
    // Later constructors rely on the earlier ones (the settings identity comes first).
    m_settings = KoSettings::getInstance();
    m_machineInfo = KoThisMachineInfo::getInstance();
    m_networkObject = KoNetworkObject::getInstance();
    KoRemoteFileOperator::getInstance();   // creates the phone client too
    KoRemoteConnectManager::getInstance(); // starts LAN listening, heart-beat, report and push poll
    m_userActionRecord = KoUserActionRecord::getInstance();
    m_user = KoUser::getInstance();

    m_userActionRecord->recordEnterApp();
    if (m_user->isLogin())
        m_user->login(std::function<void(int)>());
    m_autoUpdateTool = KoAutoUpdateTool::getInstance();
    connect(m_autoUpdateTool, &KoAutoUpdateTool::updateCheckFailed, this, &KoAppLifetime::tellCheckFailed,
            Qt::UniqueConnection);
    m_autoUpdateTool->checkIsUpdate();
    m_clientHelper = KoClientHelper::getInstance();
}

KoUser* KoAppLifetime::user() const
{
    return m_user;
}

KoUserActionRecord* KoAppLifetime::actionRecord() const
{
    return m_userActionRecord;
}

KoAutoUpdateTool* KoAppLifetime::updateTool() const
{
    return m_autoUpdateTool;
}

KoSystemTray* KoAppLifetime::tray() const
{
    return m_tray;
}

KoSystemTray* KoAppLifetime::takeTray()
{
    m_tray = KoSystemTray::getInstance();
    return m_tray;
}

void KoAppLifetime::shutDown(std::initializer_list<QWidget*> borrowers)
{
    for (QWidget* widget : borrowers)
        delete widget;
    deleteServices();
}

void KoAppLifetime::bringToFront(QWidget* window)
{
    if (window->isMinimized())
        window->showNormal();
    window->show();
    window->activateWindow();
    window->raise();
}

void KoAppLifetime::deleteServices()
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

bool KoAppLifetime::leaveApp()
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
    QPointer<KoAppLifetime> self(this);
    KoCommonUtil::sleepInLoop(100); // lets the eject requests leave
    if (!self)
        return false;
    m_leaving = false;
    m_left = true;
    return true;
}

void KoAppLifetime::alertVersionMismatch(int flag)
{
    if (m_versionAlertShowing || flag == 0)
        return;
    m_versionAlertShowing = true;
    QPointer<KoAppLifetime> self(this);
    {
        KoUiV3AlertDialog dialog(nullptr);
        dialog.alert(QString::fromUtf8(kAlertTitle),
                     flag < 0 ? QString::fromUtf8("对方APP版本过低, 请提醒对方升级APP")
                              : QString::fromUtf8("当前客户端版本过低, 请前往官网下载最新版客户端"));
    }
    if (self)
        m_versionAlertShowing = false;
}

void KoAppLifetime::askNewVersion()
{
    const QString name = m_autoUpdateTool ? m_autoUpdateTool->getVersionName() : QString();
    QPointer<KoAppLifetime> self(this);
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

void KoAppLifetime::tellUpToDate()
{
    KoUiV3AlertDialog dialog(nullptr);
    dialog.alert(QString::fromUtf8(kAlertTitle), QString::fromUtf8("已经是最新版本"));
}

void KoAppLifetime::tellCheckFailed()
{
    KoUiV3AlertDialog dialog(nullptr);
    dialog.alert(QString::fromUtf8(kAlertTitle), KoCardDialog::noAnswerText());
}

QRect KoAppLifetime::startGeometry()
{
    const QRect screen = KoCommonUtil::getScreenGeometry();
    if (screen.width() >= kWideWidth + 1 && screen.height() >= kWideHeight + 1)
        return QRect((screen.width() - kWideWidth) / 2, (screen.height() - kWideHeight) / 2, kWideWidth, kWideHeight);
    return QRect();
}
