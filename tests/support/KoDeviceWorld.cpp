#include "KoDeviceWorld.h"

#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "app/KoThisMachineInfo.h"
#include "client/KoClientHelper.h"
#include "link/KoRemoteConnectManager.h"
#include "net/KoNetworkObject.h"
#include "net/KoUser.h"
#include "support/KoTestCertificates.h"

#include <QDir>
#include <QJsonObject>
#include <QTest>
#include <QWidget>

namespace {
const char* const kAccountPhone = "13800000001";
const char* const kPassword = "secret";
} // namespace

const char* const KoDeviceWorld::kPhoneId = "phone-0001";
const char* const KoDeviceWorld::kNick = "小明";

KoDeviceWorld::KoDeviceWorld() = default;

KoDeviceWorld::~KoDeviceWorld()
{
    delete m_lan;
    delete m_phone;
    delete m_relay;
    delete m_account;
}

bool KoDeviceWorld::start()
{
    QDir().mkpath(KO_BINARY_DIR "/test-artifacts");
    KoSettings::getInstance()->remove("user");
    KoThisMachineInfo::getInstance();
    if (!m_dir.isValid() || !KoTestCertificates::trust())
        return false;

    m_account = new KoFakeAccountServer;
    m_relay = new KoFakeRelay;
    m_phone = new KoFakePhone(m_dir.path());
    m_phone->setIdentity(QString::fromLatin1(kPhoneId), QStringLiteral("Fake Phone"), 2, 30, kUid);
    if (!m_account->start() || !m_relay->start() || !m_phone->start())
        return false;
    m_account->addAccount(kAccountPhone, kPassword, kUid, QString::fromUtf8(kNick));
    m_relay->attachPhone(m_phone);
    m_lan = new KoFakeLanPhone(m_phone);
    if (!m_lan->start())
        return false;

    KoServerConfig::setAccountBaseUrl(m_account->baseUrl());
    KoServerConfig::setRelayBaseUrl(m_relay->baseUrl());
    KoServerConfig::setSweepIntervalMs(100);
    KoServerConfig::setRequestDeadlineMs(3000);
    KoServerConfig::setLocalUdpPort(0); // a free port: tests run side by side
    KoServerConfig::setPhoneUdpPort(m_lan->port());
    KoServerConfig::setLanRetryMs(100);
    KoServerConfig::setDeviceReportMs(600000);
    KoServerConfig::setPushPollMs(100);
    setPushes(QJsonArray());
    setReport(1, true);

    return login();
}

bool KoDeviceWorld::login()
{
    KoUser* user = KoUser::getInstance();
    user->setPhone(kAccountPhone);
    user->setPassword(kPassword); // a logout forgets it
    int code = -100;
    user->login([&code](int c) { code = c; });
    return QTest::qWaitFor([&] { return code != -100; }, 10000) && code == 0;
}

void KoDeviceWorld::setReport(int state, bool withAddress, int networkType, int policy)
{
    QJsonObject phone{{"uid", kUid},
                      {"deviceId", kPhoneId},
                      {"deviceType", 2},
                      {"deviceName", "Fake Phone"},
                      {"state", state},
                      {"appVersion", 30},
                      {"nick", QString::fromUtf8(kNick)},
                      {"networkType", networkType},
                      {"policy", policy}};
    if (withAddress) {
        phone.insert("ip", m_phone->ip());
        phone.insert("port", int(m_phone->port()));
    }
    m_account->http()->setResponse("/dedizo/device/report",
                                   KoTestResponse::json(QJsonObject{{"result", 0}, {"devices", QJsonArray{phone}}}));
}

void KoDeviceWorld::setPushes(const QJsonArray& pushes)
{
    m_relay->http()->setResponse("/reraze/pcPush",
                                 KoTestResponse::json(QJsonObject{{"code", 0}, {"pushes", pushes}}));
}

void KoDeviceWorld::beginTest()
{
    m_lan->setComputer(QHostAddress::LocalHost, KoRemoteConnectManager::getInstance()->getLanPort());
    m_lan->setSilent(false);
    m_lan->clear();
    setPushes(QJsonArray());
    m_phone->clearCalls();
    m_relay->clearCalls();
}

bool KoDeviceWorld::endTest()
{
    delete KoRemoteConnectManager::getInstance();
    return KoUser::getInstance()->isLogin() || login();
}

bool KoDeviceWorld::showPage(QWidget* page)
{
    page->resize(720, 432);
    page->show();
    return QTest::qWaitForWindowExposed(page);
}

void KoDeviceWorld::deleteServices()
{
    delete KoClientHelper::getInstance();
    delete KoUser::getInstance();
    delete KoNetworkObject::getInstance();
    delete KoThisMachineInfo::getInstance();
    delete KoSettings::getInstance();
}
