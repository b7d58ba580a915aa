#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "app/KoThisMachineInfo.h"
#include "client/KoClientHelper.h"
#include "link/KoDeviceReport.h"
#include "link/KoLanChannel.h"
#include "link/KoRemoteConnectManager.h"
#include "model/KoBaseFacility.h"
#include "net/KoNetworkObject.h"
#include "net/KoUser.h"
#include "support/KoFakeAccountServer.h"
#include "support/KoFakeLanPhone.h"
#include "support/KoFakePhone.h"
#include "support/KoFakeRelay.h"
#include "support/KoTestCertificates.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <climits>
#include <memory>
#include <vector>

namespace {
const char* const kPhoneNumber = "13800000001";
const char* const kPassword = "secret";
const int kUid = 1001;
const char* const kPhoneId = "phone-0001";
} // namespace

class TestConnect : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void reportFillsMyDeviceList();
    void reportedAddressMustBeAnAddress();
    void lanConnectEndToEnd();
    void ejectTellsThePhone();
    void silentPhoneEndsTheAttempt();
    void relayConnect();
    void relayRefusal();
    void connectPushAnsweredOnce();
    void connectPushWithoutKeyRejected();
    void connectWhilePushAttemptPendingEnds();
    void networkPushPolicyAsk();
    void networkPushPolicyRefuse();
    void unknownPushAnswered();
    void pushPollAfterATimeOut();
    void reachabilityLossMovesToRelay();
    void phonePairsWithQrKeyAndLeaves();
    void lanDisconnectOnlyFromThePhone_data();
    void lanDisconnectOnlyFromThePhone();
    void malformedDatagramsIgnored();
    void versionMismatchReported();
    void pairingKeyGuessesAreLimited();
    void pairingGuessesFromManyAddressesAreBounded();
    void ejectInsideConnectedSlotKeepsLentRecord();
    void bindErrorOnce();
    void vanishedPhoneIsLetGo_data();
    void vanishedPhoneIsLetGo();
    void phoneBackOnAnotherPortKeepsOneEntry_data();
    void phoneBackOnAnotherPortKeepsOneEntry();

private:
    KoRemoteConnectManager* manager() { return KoRemoteConnectManager::getInstance(); }
    // The report lists one phone (port 0: the fake phone's own).
    void setReport(bool withAddress, int state = 2, const QString& deviceId = kPhoneId, int port = 0);
    // A phone of its own (a test's device id) on a port of its own, with its LAN messages.
    KoFakePhone* newPhone(const QString& deviceId);
    // Waits for the my-device list to hold the phone in state.
    bool waitForMyDevice(int state);
    // Connects to the phone as the report shows it: on the LAN (1) or through the relay (2).
    KoBaseFacility* connectPhone(int reportedState = 1);
    KoBaseFacility* connectOverRelay();
    void sendPushes(const QJsonArray& pushes);
    // A connect message of a guesser on the LAN, with its own message id.
    static QByteArray guessMessage(int serial, int key);

    QTemporaryDir m_dir;
    KoFakeAccountServer* m_account = nullptr;
    KoFakeRelay* m_relay = nullptr;
    KoFakePhone* m_phone = nullptr;
    KoFakeLanPhone* m_lan = nullptr;
};

void TestConnect::initTestCase()
{
    KoSettings::getInstance()->remove("user");
    KoThisMachineInfo::getInstance();
    QVERIFY(KoTestCertificates::trust());

    m_account = new KoFakeAccountServer(this);
    QVERIFY(m_account->start());
    m_account->addAccount(kPhoneNumber, kPassword, kUid, QStringLiteral("小明"));
    m_relay = new KoFakeRelay(this);
    QVERIFY(m_relay->start());
    QVERIFY(m_dir.isValid());
    m_phone = new KoFakePhone(m_dir.path(), this);
    QVERIFY(m_phone->start());
    m_phone->setIdentity(kPhoneId, QStringLiteral("Fake Phone"), 2, 30, kUid);
    m_relay->attachPhone(m_phone);
    m_lan = new KoFakeLanPhone(m_phone);
    QVERIFY(m_lan->start());

    KoServerConfig::setAccountBaseUrl(m_account->baseUrl());
    KoServerConfig::setRelayBaseUrl(m_relay->baseUrl());
    KoServerConfig::setSweepIntervalMs(100);
    KoServerConfig::setRequestDeadlineMs(3000);
    // A free port of our own: tests run side by side.
    KoServerConfig::setLocalUdpPort(0);
    KoServerConfig::setPhoneUdpPort(m_lan->port());
    KoServerConfig::setLanRetryMs(100);
    KoServerConfig::setHeartBeatMs(200);
    KoServerConfig::setDeviceReportMs(600000);
    KoServerConfig::setPushPollMs(100);
    // Long enough that no phone of the other tests is let go; the tests of it set their own.
    KoServerConfig::setPhoneLostMs(600000);

    KoUser* user = KoUser::getInstance();
    user->setPhone(kPhoneNumber);
    user->setPassword(kPassword);
    int code = -100;
    user->login([&code](int c) { code = c; });
    QVERIFY(QTest::qWaitFor([&] { return code != -100; }, 10000));
    QCOMPARE(code, 0);
    QVERIFY(user->isLogin());
}

void TestConnect::init()
{
    m_relay->http()->setResponse("/reraze/pcPush",
                                 KoTestResponse::json(QJsonObject{{"code", 0}, {"pushes", QJsonArray()}}));
    setReport(true);
    m_lan->setSilent(false);
    m_lan->setVersion(1);
    m_lan->clear();
    m_phone->clearCalls();
    m_phone->clearScripts();
    m_relay->clearCalls();
    m_relay->clearScripts();
    KoRemoteConnectManager* m = manager();
    QVERIFY(m->getLanPort() != 0);
    m_lan->setComputer(QHostAddress::LocalHost, m->getLanPort());
}

void TestConnect::cleanup()
{
    delete KoRemoteConnectManager::getInstance();
    KoServerConfig::setLocalUdpPort(0);
}

void TestConnect::cleanupTestCase()
{
    delete m_lan;
    delete KoClientHelper::getInstance();
    delete KoUser::getInstance();
    delete KoNetworkObject::getInstance();
    delete KoThisMachineInfo::getInstance();
    delete KoSettings::getInstance();
}

void TestConnect::setReport(bool withAddress, int state, const QString& deviceId, int port)
{
    QJsonObject phone{{"uid", kUid},    {"deviceId", deviceId}, {"deviceType", 2}, {"deviceName", "Fake Phone"},
                      {"state", state}, {"appVersion", 30},     {"nick", "小明"},  {"networkType", 1},
                      {"policy", 0}};
    if (withAddress) {
        phone.insert("ip", "127.0.0.1");
        phone.insert("port", port > 0 ? port : int(m_phone->port()));
    }
    const QJsonArray devices{
        phone,
        // This computer itself and malformed entries are left out.
        QJsonObject{
            {"uid", kUid}, {"deviceId", KoThisMachineInfo::getInstance()->getDeviceName()}, {"deviceType", 1}},
        QJsonObject{{"uid", "x"}, {"deviceId", "bad-uid"}, {"deviceType", 2}},
        QJsonObject{{"uid", kUid}, {"deviceType", 3}},
        QJsonValue(42),
    };
    m_account->http()->setResponse("/dedizo/device/report",
                                   KoTestResponse::json(QJsonObject{{"result", 0}, {"devices", devices}}));
}

bool TestConnect::waitForMyDevice(int state)
{
    return QTest::qWaitFor(
        [&] {
            QList<KoBaseFacility*>* list = manager()->getMyDeviceList();
            return list->size() == 1 && list->first()->getState() == state;
        },
        8000);
}

void TestConnect::sendPushes(const QJsonArray& pushes)
{
    // The relay hands out the same pushes at every poll until they are replaced, as a relay
    // repeats a push until it is answered.
    m_relay->http()->setResponse("/reraze/pcPush",
                                 KoTestResponse::json(QJsonObject{{"code", 0}, {"pushes", pushes}}));
}

QByteArray TestConnect::guessMessage(int serial, int key)
{
    return QJsonDocument(QJsonObject{{"type", 19},
                                     {"version", 1},
                                     {"msgId", QStringLiteral("g%1").arg(serial)},
                                     {"deviceId", "guesser"},
                                     {"deviceType", 2},
                                     {"uid", 7},
                                     {"key", key},
                                     {"port", 1}})
        .toJson(QJsonDocument::Compact);
}

KoBaseFacility* TestConnect::connectOverRelay()
{
    setReport(false);
    manager()->refreshMyDevice();
    return connectPhone(2);
}

KoBaseFacility* TestConnect::connectPhone(int reportedState)
{
    if (!waitForMyDevice(reportedState))
        return nullptr;
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    manager()->connectDevice(kPhoneId);
    if (!QTest::qWaitFor([&] { return connected.size() == 1; }, 8000))
        return nullptr;
    return manager()->getConnectedList()->value(0);
}

void TestConnect::reportFillsMyDeviceList()
{
    QSignalSpy updated(manager(), &KoRemoteConnectManager::updateMyDeviceList);
    QList<KoBaseFacility*>* list = manager()->getMyDeviceList();
    // Reported online through the relay, then found on the LAN by the probe.
    QVERIFY(waitForMyDevice(1));
    QVERIFY(updated.size() >= 2);
    QCOMPARE(list, manager()->getMyDeviceList()); // refilled in place
    KoBaseFacility* f = list->first();
    QCOMPARE((QVariantList{f->getUid(), f->getDeviceType(), f->getNick(), f->isLocal(), f->getUrl()}),
             (QVariantList{kUid, 2, "小明", true, m_phone->baseUrl()}));

    const QList<KoTestRequest> reports = m_account->requestsTo("device/report");
    QVERIFY(!reports.isEmpty());
    const QJsonObject body = QJsonDocument::fromJson(reports.last().bodyBytes()).object();
    QCOMPARE((QVariantList{body.value("cmd").toString(), body.value("uid").toInt(), body.value("deviceId").toString(),
                           body.value("port").toInt()}),
             (QVariantList{"DEVICE_REPORT", kUid, KoThisMachineInfo::getInstance()->getDeviceName(),
                           int(manager()->getLanPort())}));

    // A broken answer leaves the list as it was.
    m_account->http()->queueResponse("/dedizo/device/report", KoTestResponse::raw("<html>", 500));
    manager()->refreshMyDevice();
    QVERIFY(m_account->http()->waitForRequests(reports.size() + 1));
    QTest::qWait(200);
    QCOMPARE(list->size(), 1);

    manager()->clearMyDeviceList();
    QVERIFY(list->isEmpty());
}

void TestConnect::reportedAddressMustBeAnAddress()
{
    // The address becomes the phone's URL: text that would reach another host or path is no address.
    auto entry = [](const char* id, const QString& ip) {
        return QJsonObject{{"uid", kUid}, {"deviceId", id}, {"deviceType", 2},
                           {"state", 2},  {"ip", ip},       {"port", 8080}};
    };
    const QJsonObject answer{{"result", 0},
                             {"devices",
                              QJsonArray{entry("a", "192.168.1.9"), entry("b", "evil.example/x?"),
                                         entry("c", "10.0.0.1:1/file/v2/deleteFile#"), entry("d", "user@10.0.0.2")}}};
    const QList<KoBaseFacility> devices = KoDeviceReport::parseDevices(answer, QStringLiteral("me"));
    QStringList addresses;
    for (const KoBaseFacility& device : devices)
        addresses << QStringLiteral("%1:%2").arg(device.getIp()).arg(device.getPort());
    QCOMPARE(addresses.mid(0, 1), QStringList{"192.168.1.9:8080"});
    for (const QString& address : addresses.mid(1))
        QVERIFY2(address.startsWith(':'), qPrintable(address));
    QCOMPARE(addresses.size(), 4);
}

void TestConnect::lanConnectEndToEnd()
{
    QSignalSpy timeouts(manager(), &KoRemoteConnectManager::sendTimeout);
    KoBaseFacility* f = connectPhone();
    QVERIFY(f);
    QVERIFY(QTest::qWaitFor([&] { return timeouts.size() == 1; }, 3000));
    QCOMPARE(timeouts.first().first().toInt(), 19);
    QCOMPARE((QVariantList{f->getDeviceId(), f->isLocal(), f->getState(), f->getAppVersion()}),
             (QVariantList{kPhoneId, true, 1, 30}));

    // The phone was told over UDP (with this computer's identity), then shook hands over HTTP.
    const QList<QJsonObject> msgs = m_lan->receivedOfType(19);
    QCOMPARE(msgs.size(), 1);
    QCOMPARE((QVariantList{msgs.first().value("version").toInt(), msgs.first().value("deviceId").toString(),
                           msgs.first().value("key").toInt()}),
             (QVariantList{1, KoThisMachineInfo::getInstance()->getDeviceName(), manager()->getQrKey()}));
    QCOMPARE(m_phone->callsTo("desktopStartConnect").size(), 1);
    QVERIFY(m_phone->connectedDesktops().contains(KoThisMachineInfo::getInstance()->getDeviceName()));

    bool connected = false, local = false;
    QString url;
    manager()->getConnectedFacilityNetworkStatus(kUid, kPhoneId, connected, local, url);
    QCOMPARE((QVariantList{connected, local, url}), (QVariantList{true, true, m_phone->baseUrl()}));
    manager()->getConnectedFacilityNetworkStatus(kUid + 1, kPhoneId, connected, local, url);
    QVERIFY(!connected && url.isEmpty());
    bool found = false;
    QString nick, name;
    manager()->getConnectedFacilityDetailInfo(kUid, kPhoneId, found, nick, name);
    QCOMPARE((QVariantList{found, nick, name}), (QVariantList{true, "小明", "Fake Phone"}));

    // Connecting it again only shows it again.
    QSignalSpy again(manager(), &KoRemoteConnectManager::deviceConnected);
    manager()->connectDevice(kPhoneId);
    QVERIFY(QTest::qWaitFor([&] { return timeouts.size() == 2; }, 3000));
    QCOMPARE(again.size(), 1);
    QCOMPARE(manager()->getConnectedList()->size(), 1);
}

void TestConnect::ejectTellsThePhone()
{
    QVERIFY(connectPhone());
    QSignalSpy ejected(manager(), &KoRemoteConnectManager::deviceEjected);
    manager()->ejectAllDevice();
    QCOMPARE(ejected.size(), 1);
    auto* f = ejected.first().first().value<KoBaseFacility*>();
    QVERIFY(f);
    QCOMPARE(f->getDeviceId(), QString(kPhoneId));
    delete f; // the receiver owns it
    QVERIFY(manager()->getConnectedList()->isEmpty());
    QVERIFY(QTest::qWaitFor([&] { return m_phone->callsTo("disconnDisk").size() == 1; }, 5000));
    QCOMPARE(m_phone->callsTo("disconnDisk").first().body.value("toUid").toInt(), kUid);
    QVERIFY(m_phone->connectedDesktops().isEmpty());
    // Ejecting what is not connected does nothing.
    manager()->ejectDevice(kPhoneId);
    QCOMPARE(ejected.size(), 1);
}

void TestConnect::silentPhoneEndsTheAttempt()
{
    QVERIFY(waitForMyDevice(1));
    m_lan->setSilent(true);
    QSignalSpy timeouts(manager(), &KoRemoteConnectManager::sendTimeout);
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    manager()->connectDevice(kPhoneId);
    QVERIFY(QTest::qWaitFor([&] { return timeouts.size() == 1; }, 8000));
    QCOMPARE(timeouts.first().first().toInt(), 19);
    QCOMPARE(connected.size(), 0);
    QVERIFY(manager()->getConnectedList()->isEmpty());
    // Five sends of one message, then it gave up; no handshake was tried.
    const QList<QJsonObject> msgs = m_lan->receivedOfType(19);
    QCOMPARE(msgs.size(), 5);
    for (const QJsonObject& m : msgs)
        QCOMPARE(m.value("msgId"), msgs.first().value("msgId"));
    QCOMPARE(m_phone->callsTo("desktopStartConnect").size(), 0);
}

void TestConnect::relayConnect()
{
    QSignalSpy timeouts(manager(), &KoRemoteConnectManager::sendTimeout);
    KoBaseFacility* f = connectOverRelay();
    QVERIFY(f);
    QCOMPARE((QVariantList{f->isLocal(), f->getState(), f->getUrl()}), (QVariantList{false, 2, QString()}));
    QVERIFY(QTest::qWaitFor([&] { return timeouts.size() == 1; }, 3000));
    const QList<KoFakeCall> opens = m_relay->callsTo("OPEN");
    QCOMPARE(opens.size(), 1);
    QCOMPARE(opens.first().body.value("toDeviceId").toString(), QString(kPhoneId));

    bool connected = false, local = true;
    QString url = "x";
    manager()->getConnectedFacilityNetworkStatus(kUid, kPhoneId, connected, local, url);
    QCOMPARE((QVariantList{connected, local, url}), (QVariantList{true, false, QString()}));

    QSignalSpy ejected(manager(), &KoRemoteConnectManager::deviceEjected);
    manager()->ejectDevice(kPhoneId);
    QCOMPARE(ejected.size(), 1);
    delete ejected.first().first().value<KoBaseFacility*>();
    QVERIFY(QTest::qWaitFor([&] { return m_relay->callsTo("DISCONNECT").size() == 1; }, 5000));
}

void TestConnect::relayRefusal()
{
    setReport(false);
    manager()->refreshMyDevice();
    QVERIFY(waitForMyDevice(2));
    m_relay->queueAnswer("OPEN",
                         KoTestResponse::json(QJsonObject{{"code", KoRemoteConnectManager::kRelayCodeRefused}}));
    QSignalSpy refused(manager(), &KoRemoteConnectManager::deviceRefused);
    QSignalSpy timeouts(manager(), &KoRemoteConnectManager::sendTimeout);
    manager()->connectDevice(kPhoneId);
    QVERIFY(QTest::qWaitFor([&] { return timeouts.size() == 1; }, 5000));
    QCOMPARE(refused.size(), 1);
    auto* f = refused.first().at(0).value<KoBaseFacility*>();
    QCOMPARE(f, manager()->getMyDeviceList()->first()); // lent, stays with the manager
    QCOMPARE(refused.first().at(1).toString(), QStringLiteral("拒绝了您的连接请求"));
    QVERIFY(manager()->getConnectedList()->isEmpty());

    m_relay->queueAnswer(
        "OPEN", KoTestResponse::json(QJsonObject{{"code", KoRemoteConnectManager::kRelayCodeMobileRefused}}));
    manager()->connectDevice(kPhoneId);
    QVERIFY(QTest::qWaitFor([&] { return timeouts.size() == 2; }, 5000));
    QCOMPARE(refused.size(), 2);
    QVERIFY(refused.last().at(1).toString().startsWith(QStringLiteral("不允许2G/3G/4G网络下文件传输请求")));
}

void TestConnect::connectPushAnsweredOnce()
{
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    const QJsonObject push{{"pushId", "p-1"},          {"cmd", "OPEN"},       {"fromUid", kUid},
                           {"fromDeviceId", kPhoneId}, {"fromDeviceType", 2}, {"deviceName", "Fake Phone"},
                           {"userName", "小明"}};
    sendPushes({push});
    QVERIFY(QTest::qWaitFor([&] { return connected.size() == 1; }, 5000));
    const QList<KoFakeCall> accepts = m_relay->callsTo("ACCEPT");
    QCOMPARE(accepts.size(), 1);
    QCOMPARE((QStringList{accepts.first().body.value("pushId").toString(),
                          accepts.first().body.value("toDeviceId").toString()}),
             (QStringList{"p-1", kPhoneId}));
    QTest::qWait(400);
    QCOMPARE(m_relay->callsTo("ACCEPT").size(), 1);
    KoBaseFacility* f = manager()->getConnectedList()->first();
    QVERIFY(!f->isLocal());
    QCOMPARE(f->getNick(), QStringLiteral("小明"));

    // The phone leaves through the relay.
    QSignalSpy detached(manager(), &KoRemoteConnectManager::deviceDetached);
    sendPushes({QJsonObject{{"pushId", "p-2"},
                            {"cmd", "DISCONNECT"},
                            {"fromUid", kUid},
                            {"fromDeviceId", kPhoneId},
                            {"fromDeviceType", 2}}});
    QVERIFY(QTest::qWaitFor([&] { return detached.size() == 1; }, 5000));
    delete detached.first().first().value<KoBaseFacility*>();
    QVERIFY(manager()->getConnectedList()->isEmpty());
    QVERIFY(QTest::qWaitFor([&] { return m_relay->callsTo("DISCONNECTED").size() == 1; }, 5000));
}

void TestConnect::connectPushWithoutKeyRejected()
{
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    QSignalSpy keys(manager(), &KoRemoteConnectManager::updateQrRandomKey);
    const int key = manager()->getQrKey();
    // Another user's phone: only with the current QR key.
    sendPushes({QJsonObject{{"pushId", "q-1"},
                            {"cmd", "OPEN"},
                            {"fromUid", 77},
                            {"fromDeviceId", "stranger"},
                            {"fromDeviceType", 3},
                            {"key", key + 1}}});
    QVERIFY(QTest::qWaitFor([&] { return m_relay->callsTo("REJECT_TOKEN").size() == 1; }, 5000));
    QCOMPARE(connected.size(), 0);
    // The right key pairs, and the key is used up.
    sendPushes({QJsonObject{{"pushId", "q-2"},
                            {"cmd", "OPEN"},
                            {"fromUid", 77},
                            {"fromDeviceId", kPhoneId},
                            {"fromDeviceType", 2},
                            {"key", key}}});
    QVERIFY(QTest::qWaitFor([&] { return connected.size() == 1; }, 5000));
    QCOMPARE(keys.size(), 1);
    QVERIFY(manager()->getQrKey() != key);
}

void TestConnect::connectWhilePushAttemptPendingEnds()
{
    QVERIFY(waitForMyDevice(1));
    // The phone opens through the relay; the relay is slow to confirm.
    m_relay->setDelay("ACCEPT", 800);
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    QSignalSpy timeouts(manager(), &KoRemoteConnectManager::sendTimeout);
    sendPushes({QJsonObject{
        {"pushId", "w-1"}, {"cmd", "OPEN"}, {"fromUid", kUid}, {"fromDeviceId", kPhoneId}, {"fromDeviceType", 2}}});
    QVERIFY(QTest::qWaitFor([&] { return !m_relay->callsTo("ACCEPT").isEmpty(); }, 5000));
    // The user asks for the same phone meanwhile: that attempt is the pending one, and the
    // caller still hears its end.
    manager()->connectDevice(kPhoneId);
    QVERIFY(QTest::qWaitFor([&] { return timeouts.size() == 1; }, 5000));
    QCOMPARE(timeouts.first().first().toInt(), 19);
    QCOMPARE(connected.size(), 1);
    QCOMPARE(manager()->getConnectedList()->size(), 1);
    QCOMPARE(m_lan->receivedOfType(19).size(), 0);
}

void TestConnect::networkPushPolicyAsk()
{
    KoBaseFacility* f = connectOverRelay();
    QVERIFY(f);
    QSignalSpy query(manager(), &KoRemoteConnectManager::deviceContinueQuery);
    sendPushes({QJsonObject{{"pushId", "n-1"},
                            {"cmd", "NETWORK"},
                            {"fromUid", kUid},
                            {"fromDeviceId", kPhoneId},
                            {"fromDeviceType", 2},
                            {"networkType", 0},
                            {"policy", 0}}});
    QVERIFY(QTest::qWaitFor([&] { return query.size() == 1; }, 5000));
    QCOMPARE(query.first().first().value<KoBaseFacility*>(), f);
    QCOMPARE(manager()->getConnectedList()->size(), 1);
    QCOMPARE(f->getNetworkType(), 0);
    QCOMPARE(manager()->getMyDeviceList()->first()->getNetworkType(), 0);
}

void TestConnect::networkPushPolicyRefuse()
{
    QVERIFY(connectPhone());
    QSignalSpy detached(manager(), &KoRemoteConnectManager::devicePolicyDetached);
    QSignalSpy moved(manager(), &KoRemoteConnectManager::deviceLocalChanged);
    sendPushes({QJsonObject{{"pushId", "n-2"},
                            {"cmd", "NETWORK"},
                            {"fromUid", kUid},
                            {"fromDeviceId", kPhoneId},
                            {"fromDeviceType", 2},
                            {"networkType", 0},
                            {"policy", 1}}});
    QVERIFY(QTest::qWaitFor([&] { return detached.size() == 1; }, 5000));
    auto* f = detached.first().at(0).value<KoBaseFacility*>();
    QCOMPARE(f->getDeviceId(), QString(kPhoneId));
    QVERIFY(detached.first().at(1).toString().startsWith(QStringLiteral("不允许2G/3G/4G")));
    delete f;
    QVERIFY(manager()->getConnectedList()->isEmpty());
    // It had left the LAN first.
    QCOMPARE(moved.size(), 1);
    QCOMPARE(moved.first().at(1).toBool(), false);
}

void TestConnect::unknownPushAnswered()
{
    const QJsonObject push{
        {"pushId", "u-1"}, {"cmd", "SOMETHING_NEW"}, {"fromUid", kUid}, {"code", 5}, {"extra", QJsonArray{1, 2}}};
    sendPushes({push, QJsonObject{{"cmd", "OPEN"}} /* no id: dropped */, QJsonValue("junk")});
    QVERIFY(QTest::qWaitFor([&] { return m_relay->callsTo("versionError").size() == 1; }, 5000));
    const KoFakeCall call = m_relay->callsTo("versionError").first();
    QJsonObject expected = push;
    expected.insert("code", 20000);
    QCOMPARE(call.body, expected);
    QCOMPARE(call.header("versionCode"), QByteArray("85"));
    QTest::qWait(300);
    QCOMPARE(m_relay->callsTo("versionError").size(), 1);
}

void TestConnect::pushPollAfterATimeOut()
{
    manager();
    KoServerConfig::setRequestDeadlineMs(500);
    const auto polls = [this] {
        int n = 0;
        for (const KoTestRequest& request : m_relay->http()->requests())
            n += request.pathOnly() == "/reraze/pcPush" ? 1 : 0;
        return n;
    };
    // One poll the relay never answers (this one or the next, if one is on its way): past its
    // deadline the polls go on.
    const int before = polls();
    KoTestResponse silent;
    silent.noAnswer = true;
    m_relay->http()->queueResponse("/reraze/pcPush", silent);
    const bool goesOn = QTest::qWaitFor([&] { return polls() >= before + 3; }, 8000);
    KoServerConfig::setRequestDeadlineMs(3000);
    QVERIFY(goesOn);
}

void TestConnect::reachabilityLossMovesToRelay()
{
    KoBaseFacility* f = connectPhone();
    QVERIFY(f);
    QSignalSpy moved(manager(), &KoRemoteConnectManager::deviceLocalChanged);
    m_phone->setAnswer("accessable", KoTestResponse::json(QJsonObject{{"code", 2}}));
    QVERIFY(QTest::qWaitFor([&] { return moved.size() == 1; }, 5000));
    QCOMPARE(moved.first(), (QVariantList{kPhoneId, false, QString()}));
    QCOMPARE((QVariantList{f->isLocal(), f->getState()}), (QVariantList{false, 2}));
    // Reachable again: back to the LAN.
    m_phone->clearScripts();
    QVERIFY(QTest::qWaitFor([&] { return moved.size() == 2; }, 5000));
    QCOMPARE(moved.last(), (QVariantList{kPhoneId, true, m_phone->baseUrl()}));
    QVERIFY(f->isLocal());
}

void TestConnect::phonePairsWithQrKeyAndLeaves()
{
    manager()->clearMyDeviceList();
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    QSignalSpy keys(manager(), &KoRemoteConnectManager::updateQrRandomKey);
    QSignalSpy timeouts(manager(), &KoRemoteConnectManager::sendTimeout);
    const int key = manager()->getQrKey();
    m_lan->pair(key + 1); // a stale key does nothing
    m_lan->pair(key);
    QVERIFY(QTest::qWaitFor([&] { return connected.size() == 1; }, 5000));
    QCOMPARE(m_phone->callsTo("desktopStartConnect").size(), 1);
    QCOMPARE(keys.size(), 1);
    QCOMPARE(keys.first().first().toInt(), manager()->getQrKey());
    QVERIFY(manager()->getQrKey() != key);
    KoBaseFacility* f = manager()->getConnectedList()->first();
    QCOMPARE((QStringList{f->getUrl(), f->getNick()}), (QStringList{m_phone->baseUrl(), "小明"}));
    QCOMPARE(timeouts.size(), 0); // not an attempt of connectDevice
    // Both messages were acknowledged.
    QVERIFY(QTest::qWaitFor([&] { return m_lan->receivedOfType(1).size() == 2; }, 3000));

    QSignalSpy detached(manager(), &KoRemoteConnectManager::deviceDetached);
    // Another user's disconnect leaves the phone connected. A message of another version
    // after it is handled after it, in order: when that is reported, the first was handled.
    QSignalSpy version(manager(), &KoRemoteConnectManager::msgVersionNotMatch);
    m_lan->disconnect(kUid + 1);
    m_lan->setVersion(3);
    m_lan->disconnect();
    m_lan->setVersion(1);
    QVERIFY(QTest::qWaitFor([&] { return version.size() == 1; }, 5000));
    QCOMPARE(detached.size(), 0);
    QCOMPARE(manager()->getConnectedList()->size(), 1);
    m_lan->disconnect();
    QVERIFY(QTest::qWaitFor([&] { return detached.size() == 1; }, 5000));
    delete detached.first().first().value<KoBaseFacility*>();
    QVERIFY(manager()->getConnectedList()->isEmpty());
}

void TestConnect::lanDisconnectOnlyFromThePhone_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("uid");
    QTest::addColumn<bool>("detaches");
    QTest::newRow("the phone") << "127.0.0.1" << kUid << true;
    // Its id and uid travel in clear: anyone on the LAN could once end its connection.
    QTest::newRow("another address") << "127.0.0.2" << kUid << false;
    QTest::newRow("another user") << "127.0.0.1" << kUid + 1 << false;
}

void TestConnect::lanDisconnectOnlyFromThePhone()
{
    QFETCH(QString, from);
    QFETCH(int, uid);
    QFETCH(bool, detaches);
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    m_lan->pair(manager()->getQrKey());
    QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 1, 5000);
    QSignalSpy detached(manager(), &KoRemoteConnectManager::deviceDetached);

    KoTestUdpPeer other;
    KoTestUdpPeer* sender = m_lan->peer();
    if (from != QStringLiteral("127.0.0.1")) {
        QVERIFY(other.bind(m_lan->port(), QHostAddress(from)));
        sender = &other;
    }
    const QByteArray bye = QJsonDocument(QJsonObject{{"type", 20},
                                                     {"version", 1},
                                                     {"msgId", "bye-1"},
                                                     {"deviceId", kPhoneId},
                                                     {"deviceType", 2},
                                                     {"uid", uid}})
                               .toJson(QJsonDocument::Compact);
    const int answers = sender->datagrams().size();
    QVERIFY(sender->send(bye, QHostAddress::LocalHost, manager()->getLanPort()));
    // Acknowledged whoever sent it; what it does follows at once.
    QVERIFY(sender->waitForDatagrams(answers + 1));
    if (detaches) {
        QTRY_COMPARE_WITH_TIMEOUT(detached.size(), 1, 5000);
        delete detached.first().first().value<KoBaseFacility*>();
        QVERIFY(manager()->getConnectedList()->isEmpty());
        return;
    }
    QTest::qWait(300);
    QCOMPARE(detached.size(), 0);
    QCOMPARE(manager()->getConnectedList()->size(), 1);
}

void TestConnect::malformedDatagramsIgnored()
{
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    QSignalSpy version(manager(), &KoRemoteConnectManager::msgVersionNotMatch);
    const int key = manager()->getQrKey();
    const QByteArray good = QJsonDocument(QJsonObject{{"type", 19},
                                                      {"version", 1},
                                                      {"msgId", "m1"},
                                                      {"deviceId", kPhoneId},
                                                      {"deviceType", 2},
                                                      {"uid", kUid},
                                                      {"key", key},
                                                      {"port", int(m_phone->port())}})
                                .toJson(QJsonDocument::Compact);
    const QList<QByteArray> bad{
        QByteArray(),
        "not json",
        "[1,2,3]",
        good.left(good.size() / 2),
        QByteArray(60000, '{'),
        "{\"type\":\"19\",\"version\":1,\"msgId\":\"m2\",\"deviceId\":\"x\",\"deviceType\":2,\"uid\":1,\"key\":1,"
        "\"port\":1}",
        QJsonDocument(QJsonObject{{"type", 19},
                                  {"version", 1},
                                  {"msgId", "m3"},
                                  {"deviceId", kPhoneId},
                                  {"deviceType", 2},
                                  {"uid", kUid},
                                  {"key", key},
                                  {"port", 70000}})
            .toJson(),
        QJsonDocument(QJsonObject{{"type", 19.5}, {"version", 1}, {"msgId", "m4"}, {"deviceId", kPhoneId}}).toJson(),
        QJsonDocument(QJsonObject{{"type", 77},
                                  {"version", 1},
                                  {"msgId", "m5"},
                                  {"deviceId", kPhoneId},
                                  {"deviceType", 2},
                                  {"uid", kUid}})
            .toJson(),
        QJsonDocument(QJsonObject{{"type", 19},
                                  {"version", 1},
                                  {"msgId", QString(5000, 'm')},
                                  {"deviceId", kPhoneId},
                                  {"deviceType", 2},
                                  {"uid", kUid},
                                  {"key", key},
                                  {"port", 1}})
            .toJson(),
        // Extreme numbers: none may reach arithmetic.
        "{\"type\":19,\"version\":1e300,\"msgId\":\"m7\",\"deviceId\":\"x\"}",
        "{\"type\":-2147483648,\"version\":1,\"msgId\":\"m8\",\"deviceId\":\"x\",\"deviceType\":2,\"uid\":1}",
        QJsonDocument(QJsonObject{{"type", 19},
                                  {"version", 1},
                                  {"msgId", "m9"},
                                  {"deviceId", kPhoneId},
                                  {"deviceType", 2},
                                  {"uid", kUid},
                                  {"key", key},
                                  {"port", -2147483648.0}})
            .toJson(),
        QJsonDocument(QJsonObject{{"type", 19},
                                  {"version", 1},
                                  {"msgId", "m10"},
                                  {"deviceId", kPhoneId},
                                  {"deviceType", 2},
                                  {"uid", kUid},
                                  {"key", 1e300},
                                  {"port", 1}})
            .toJson(),
        // From this computer itself.
        QJsonDocument(QJsonObject{{"type", 19},
                                  {"version", 1},
                                  {"msgId", "m6"},
                                  {"deviceId", KoThisMachineInfo::getInstance()->getDeviceName()},
                                  {"deviceType", 1},
                                  {"uid", kUid},
                                  {"key", key},
                                  {"port", int(m_phone->port())}})
            .toJson(),
    };
    for (const QByteArray& b : bad)
        m_lan->sendRaw(b);
    QTest::qWait(500);
    QCOMPARE(connected.size(), 0);
    QCOMPARE(version.size(), 0);
    QCOMPARE(m_phone->callsTo("desktopStartConnect").size(), 0);
    QVERIFY(m_lan->receivedOfType(1).isEmpty());
    // Still listening.
    m_lan->sendRaw(good);
    QVERIFY(QTest::qWaitFor([&] { return connected.size() == 1; }, 5000));
}

void TestConnect::versionMismatchReported()
{
    QSignalSpy version(manager(), &KoRemoteConnectManager::msgVersionNotMatch);
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    // The extremes once made the distance overflow (undefined behaviour, caught by UBSan).
    const QList<QPair<int, int>> rows{
        {3, 2}, {0, -1}, {INT_MIN, INT_MIN}, {INT_MIN + 1, INT_MIN}, {INT_MAX, INT_MAX - 1}};
    for (const auto& row : rows) {
        m_lan->setVersion(row.first);
        m_lan->disconnect();
        QVERIFY(QTest::qWaitFor([&] { return !version.isEmpty(); }, 5000));
        QCOMPARE(version.takeFirst().first().toInt(), row.second);
    }
    m_lan->setVersion(0);
    m_lan->pair(manager()->getQrKey());
    QVERIFY(QTest::qWaitFor([&] { return version.size() == 1; }, 5000));
    QCOMPARE(connected.size(), 0);
}

void TestConnect::pairingKeyGuessesAreLimited()
{
    // Unlimited guesses from the LAN once found the six-digit key in half a minute.
    QSignalSpy renewed(manager(), &KoRemoteConnectManager::updateQrRandomKey);
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    const int key = manager()->getQrKey();
    int serial = 0;
    auto connectMessage = [&](int withKey) { return guessMessage(++serial, withKey); };
    auto wrongKey = [&] { return 100000 + (key - 100000 + serial + 1) % 900000; };
    const QHostAddress computer = QHostAddress::LocalHost;
    const quint16 port = manager()->getLanPort();

    // One address: three wrong keys are answered, then nothing it sends, not even the right key.
    KoTestUdpPeer guesser;
    QVERIFY(guesser.bind(m_lan->port(), QHostAddress("127.0.0.2")));
    for (int i = 1; i <= 3; ++i) {
        guesser.send(connectMessage(wrongKey()), computer, port);
        QVERIFY(guesser.waitForDatagrams(i));
    }
    guesser.send(connectMessage(wrongKey()), computer, port);
    guesser.send(connectMessage(key), computer, port);
    QTest::qWait(300);
    QCOMPARE(guesser.datagrams().size(), 3);

    // Wrong keys from many addresses renew the key (three from each of seven: 21 >= 20).
    KoTestUdpPeer others[7];
    for (int a = 0; a < 7; ++a) {
        QVERIFY(others[a].bind(0, QHostAddress(QStringLiteral("127.0.0.%1").arg(a + 3))));
        for (int i = 0; i < 3; ++i)
            others[a].send(connectMessage(wrongKey()), computer, port);
    }
    QTRY_COMPARE_WITH_TIMEOUT(renewed.size(), 1, 5000);
    QVERIFY(manager()->getQrKey() != key);

    // A phone on another address pairs at once with the new key.
    m_lan->pair(manager()->getQrKey());
    QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 1, 5000);
    QCOMPARE(m_phone->callsTo("desktopStartConnect").size(), 1);
}

void TestConnect::pairingGuessesFromManyAddressesAreBounded()
{
    // A guesser rotating over more addresses than are tracked once had half its guesses weighed
    // and found the key in minutes.
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    const QHostAddress computer = QHostAddress::LocalHost;
    const quint16 port = manager()->getLanPort();
    const int senders = KoLanShared::kMaxSendersTracked + 76;
    QElapsedTimer clock;
    clock.start();
    // Each on an address of its own (127.0.1.1 onwards), where the acknowledgements come: one
    // for each guess weighed.
    std::vector<std::unique_ptr<KoTestUdpPeer>> guessers;
    for (int i = 0; i < senders; ++i) {
        guessers.push_back(std::make_unique<KoTestUdpPeer>());
        const QHostAddress address(QStringLiteral("127.0.%1.%2").arg(1 + i / 250).arg(1 + i % 250));
        QVERIFY(guessers.back()->bind(m_lan->port(), address));
    }
    // Two guesses from each, below the limit of one address; keys below six digits are never right.
    int serial = 0;
    for (int round = 0; round < 2; ++round) {
        for (const auto& guesser : guessers) {
            ++serial;
            QVERIFY(guesser->send(guessMessage(serial, serial), computer, port));
            // Taken in small batches, so that none is lost from a full socket buffer unweighed.
            if (serial % 16 == 0)
                QCoreApplication::processEvents();
        }
    }

    // The phone that scanned the code pairs once the pause is over, a few seconds at most.
    for (int tries = 0; connected.isEmpty() && tries < 30; ++tries) {
        m_lan->pair(manager()->getQrKey());
        connected.wait(1000);
    }
    QVERIFY(!connected.isEmpty());
    QCOMPARE(manager()->getConnectedList()->value(0)->getDeviceId(), QString(kPhoneId));

    auto weighedNow = [&] {
        int n = 0;
        for (const auto& guesser : guessers)
            n += guesser->datagrams().size();
        return n;
    };
    // The guesses did reach the channel: the first ones were all weighed.
    QTRY_VERIFY_WITH_TIMEOUT(weighedNow() >= KoLanShared::kWrongKeysAtOnce, 10000);
    const int weighed = weighedNow();
    const qint64 allowed = KoLanShared::kWrongKeysAtOnce + clock.elapsed() / KoLanShared::kWrongKeyRefillMs + 1;
    QVERIFY2(weighed <= allowed,
             qPrintable(
                 QStringLiteral("%1 guesses weighed of %2, %3 allowed").arg(weighed).arg(serial).arg(allowed)));
}

void TestConnect::ejectInsideConnectedSlotKeepsLentRecord()
{
    QVERIFY(waitForMyDevice(1));
    KoBaseFacility* handed = nullptr;
    QString seenAfter;
    connect(manager(), &KoRemoteConnectManager::deviceEjected, this, [&](KoBaseFacility* f) { handed = f; });
    connect(manager(), &KoRemoteConnectManager::deviceConnected, this, [&](KoBaseFacility* f, int) {
        manager()->ejectDevice(f->getDeviceId());
        // The record lent by this signal is still readable after the eject.
        seenAfter = f->getDeviceId();
        QVERIFY(handed);
        QVERIFY(handed != f);
    });
    manager()->connectDevice(kPhoneId);
    QVERIFY(QTest::qWaitFor([&] { return handed != nullptr; }, 8000));
    QCOMPARE(seenAfter, QString(kPhoneId));
    QCOMPARE(handed->getDeviceId(), QString(kPhoneId));
    delete handed;
    QVERIFY(manager()->getConnectedList()->isEmpty());
}

void TestConnect::bindErrorOnce()
{
    delete KoRemoteConnectManager::getInstance();
    QUdpSocket taken;
    QVERIFY(taken.bind(QHostAddress(QHostAddress::AnyIPv4), 0));
    KoServerConfig::setLocalUdpPort(taken.localPort());
    KoRemoteConnectManager* m = manager();
    QSignalSpy bind(m, &KoRemoteConnectManager::bindError);
    QVERIFY(QTest::qWaitFor([&] { return bind.size() == 1; }, 3000));
    QTest::qWait(100);
    QCOMPARE(bind.size(), 1);
    QCOMPARE(m->getLanPort(), quint16(0));
    // The rest keeps working: the relay route and the report.
    QVERIFY(connectOverRelay());
}

KoFakePhone* TestConnect::newPhone(const QString& deviceId)
{
    auto* phone = new KoFakePhone(m_dir.path(), this);
    phone->setIdentity(deviceId, QStringLiteral("Fake Phone"), 2, 30, kUid);
    return phone->start() ? phone : nullptr;
}

void TestConnect::vanishedPhoneIsLetGo_data()
{
    QTest::addColumn<int>("reported"); // how the report lists the phone (0: not at all)
    QTest::addColumn<bool>("letGo");
    QTest::newRow("not reported, paired with the key") << 0 << true;
    QTest::newRow("reported offline") << 3 << true;
    QTest::newRow("reported online: the relay reaches it") << 2 << false;
}

void TestConnect::vanishedPhoneIsLetGo()
{
    QFETCH(int, reported);
    QFETCH(bool, letGo);
    const int bound = 1500;
    delete KoRemoteConnectManager::getInstance();
    KoServerConfig::setPhoneLostMs(bound);
    const QString id = QStringLiteral("phone-0002");
    setReport(false, reported == 0 ? 2 : reported, reported == 0 ? QStringLiteral("phone-0003") : id);
    QVERIFY(waitForMyDevice(reported == 0 ? 2 : reported));
    KoFakePhone* phone = newPhone(id);
    QVERIFY(phone);
    KoFakeLanPhone lan(phone);
    QVERIFY(lan.start());
    lan.setComputer(QHostAddress::LocalHost, manager()->getLanPort());
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    QSignalSpy detached(manager(), &KoRemoteConnectManager::deviceDetached);
    QSignalSpy moved(manager(), &KoRemoteConnectManager::deviceLocalChanged);
    lan.pair(manager()->getQrKey());
    QVERIFY(QTest::qWaitFor([&] { return connected.size() == 1; }, 8000));
    // Answering, it stays.
    QTest::qWait(bound * 2);
    QCOMPARE(detached.size(), 0);
    QCOMPARE(manager()->getConnectedList()->size(), 1);

    // Switched off: its port no longer answers.
    delete phone;
    QElapsedTimer stopped;
    stopped.start();
    if (!letGo) {
        QVERIFY(QTest::qWaitFor([&] { return moved.size() == 1; }, 8000));
        QCOMPARE(moved.first(), (QVariantList{id, false, QString()}));
        QTest::qWait(bound * 2);
        QCOMPARE(detached.size(), 0);
        QCOMPARE(manager()->getConnectedList()->size(), 1);
        QCOMPARE(manager()->getConnectedList()->first()->getState(), 2);
        return;
    }
    QVERIFY(QTest::qWaitFor([&] { return detached.size() == 1; }, bound * 2 + 10000));
    // Let go by the bound, not before it (its last answer came at most a check before the stop).
    QVERIFY2(stopped.elapsed() >= bound * 5 / 6 - 50, qPrintable(QString::number(stopped.elapsed())));
    auto* f = detached.first().first().value<KoBaseFacility*>();
    QVERIFY(f);
    QCOMPARE(f->getDeviceId(), id);
    delete f; // the receiver owns it
    QVERIFY(manager()->getConnectedList()->isEmpty());
    QCOMPARE(moved.size(), 0); // no relay to move to
    QTest::qWait(bound);
    QCOMPARE(detached.size(), 1);
}

void TestConnect::phoneBackOnAnotherPortKeepsOneEntry_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("paired again") << 0;
    QTest::newRow("reported at its new address") << 1;
    QTest::newRow("connected through the relay") << 2;
}

void TestConnect::phoneBackOnAnotherPortKeepsOneEntry()
{
    QFETCH(int, how);
    const QString id = QStringLiteral("phone-0002");
    setReport(false, 2, id);
    manager()->refreshMyDevice();
    QVERIFY(waitForMyDevice(2));
    KoFakePhone* first = newPhone(id);
    QVERIFY(first);
    QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
    QSignalSpy detached(manager(), &KoRemoteConnectManager::deviceDetached);
    QSignalSpy moved(manager(), &KoRemoteConnectManager::deviceLocalChanged);
    {
        KoFakeLanPhone lan(first);
        QVERIFY(lan.start());
        lan.setComputer(QHostAddress::LocalHost, manager()->getLanPort());
        lan.pair(manager()->getQrKey());
        QVERIFY(QTest::qWaitFor([&] { return connected.size() == 1; }, 8000));
    }
    const quint16 oldPort = first->port();
    delete first; // the app ends while its entry is listed

    KoFakePhone* second = newPhone(id);
    QVERIFY(second);
    QVERIFY(second->port() != oldPort);
    KoFakeLanPhone lan(second);
    QVERIFY(lan.start());
    lan.setComputer(QHostAddress::LocalHost, manager()->getLanPort());
    if (how == 0) {
        lan.pair(manager()->getQrKey());
    } else if (how == 1) {
        setReport(true, 2, id, second->port());
        manager()->refreshMyDevice();
    } else {
        m_relay->attachPhone(second);
        sendPushes({QJsonObject{{"pushId", "back-1"},
                                {"cmd", "OPEN"},
                                {"fromUid", kUid},
                                {"fromDeviceId", id},
                                {"fromDeviceType", 2},
                                {"ip", "127.0.0.1"},
                                {"port", int(second->port())}}});
    }
    QVERIFY(QTest::qWaitFor([&] { return connected.size() == 2; }, 8000));
    QCOMPARE(manager()->getConnectedList()->size(), 1);
    KoBaseFacility* f = manager()->getConnectedList()->first();
    if (how == 2) {
        // On the relay first, then found on the LAN at its new port by the heart-beat.
        QCOMPARE(m_relay->callsTo("ACCEPT").size(), 1);
        QVERIFY(moved.contains(QVariantList{id, false, QString()}));
        QVERIFY(QTest::qWaitFor([&] { return f->isLocal(); }, 8000));
    }
    QCOMPARE((QVariantList{f->getDeviceId(), f->getPort(), f->isLocal(), f->getState(), f->getUrl()}),
             (QVariantList{id, int(second->port()), true, 1, second->baseUrl()}));
    QCOMPARE(connected.last().at(1).toInt(), 0);
    // (The heart-beat may have moved the silent entry to the relay before.)
    QVERIFY(!moved.isEmpty());
    QCOMPARE(moved.last(), (QVariantList{id, true, second->baseUrl()}));
    QCOMPARE(detached.size(), 0);
    QCOMPARE(second->callsTo("desktopStartConnect").size(), how == 2 ? 0 : 1);
    bool isConnected = false, local = false;
    QString url;
    manager()->getConnectedFacilityNetworkStatus(kUid, id, isConnected, local, url);
    QCOMPARE((QVariantList{isConnected, local, url}), (QVariantList{true, true, second->baseUrl()}));
    delete second;
}

QTEST_GUILESS_MAIN(TestConnect)
#include "tst_connect.moc"
