// What every request of the phone client puts on the wire, as the fake phone and the fake
// relay receive it: path, identity headers and JSON body, on both routes.

#include "app/KoServerConfig.h"
#include "app/KoThisMachineInfo.h"
#include "client/KoClientHelper.h"
#include "model/KoFileCopyInfo.h"
#include "model/KoRemoteCategory.h"
#include "model/KoRemoteFile.h"
#include "net/KoCookieJar.h"
#include "net/KoNetworkObject.h"
#include "net/KoUser.h"
#include "support/KoPhoneRelayFixture.h"

#include <QJsonArray>
#include <QNetworkCookie>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const int kPhoneUid = 4711;
const QString kPhoneId = QStringLiteral("android-77ab");

QJsonArray pathEntries(const QStringList& items, const QString& key = QStringLiteral("path"))
{
    QJsonArray array;
    for (const QString& item : items)
        array.append(QJsonObject{{key, item}});
    return array;
}

// Sends one request to the phone at base (on the LAN) or to the test phone through the relay.
using Send = std::function<void(KoClientHelper*, const QString& base)>;

} // namespace

Q_DECLARE_METATYPE(Send)

class TestClientRequests : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void requests_data();
    void requests();
    void unknownPushRespondSendsThePushWithCode20000();
    void headerInjectionIsRefusedLater();
    void unsafeBaseUrlIsRefusedLater();

private:
    // Sends through the client, waits for the fake to log one more request and returns it.
    KoFakeCall lanCall(const std::function<void()>& send);
    KoFakeCall relayCall(const std::function<void()>& send);
    void checkIdentity(const KoFakeCall& call, bool remote);

    KoPhoneRelay m_fx;
    KoClientHelper* m_client = nullptr;
};

void TestClientRequests::initTestCase()
{
    QVERIFY(m_fx.start(this, kPhoneId, kPhoneUid));
    QVERIFY(QDir().mkpath(m_fx.root() + QStringLiteral("/DCIM")));
    // An account session cookie without the Secure flag, as if the account server shared the
    // phone's host: phone requests must still go without it.
    KoNetworkObject::getInstance()->getCookieJar()->setCookiesFromUrl(
        {QNetworkCookie("session", "s3cret")}, QUrl(m_fx.phone->baseUrl() + QStringLiteral("/")));
}

void TestClientRequests::cleanupTestCase()
{
    KoServerConfig::reset();
}

void TestClientRequests::init()
{
    m_fx.reset();
    m_client = KoClientHelper::getInstance();
}

void TestClientRequests::cleanup()
{
    delete m_client;
    m_client = nullptr;
}

KoFakeCall TestClientRequests::lanCall(const std::function<void()>& send)
{
    const int before = m_fx.phone->calls().size();
    send();
    if (!m_fx.phone->waitForCalls(before + 1))
        return KoFakeCall();
    return m_fx.phone->calls().at(before);
}

KoFakeCall TestClientRequests::relayCall(const std::function<void()>& send)
{
    const int before = m_fx.relay->calls().size();
    send();
    if (!m_fx.relay->waitForCalls(before + 1))
        return KoFakeCall();
    return m_fx.relay->calls().at(before);
}

void TestClientRequests::checkIdentity(const KoFakeCall& call, bool remote)
{
    KoThisMachineInfo* machine = KoThisMachineInfo::getInstance();
    // Nobody is signed in here.
    QCOMPARE(call.header("kouid"), QByteArray("0"));
    QCOMPARE(call.header("deviceId"), machine->getDeviceName().toUtf8());
    QCOMPARE(call.header("deviceType"), QByteArray("1"));
    if (remote) {
        QCOMPARE(call.header("toUid"), QByteArray::number(kPhoneUid));
        QCOMPARE(call.header("toDeviceId"), kPhoneId.toUtf8());
        QCOMPARE(call.header("toDeviceType"), QByteArray("2"));
    } else {
        QVERIFY(!call.headers.contains("cookie"));
        QVERIFY(!call.headers.contains("touid"));
        QVERIFY(!call.headers.contains("todeviceid"));
        QVERIFY(!call.headers.contains("todevicetype"));
    }
}

void TestClientRequests::requests_data()
{
    QTest::addColumn<Send>("send");
    QTest::addColumn<QByteArray>("route"); // "lan", "relay" (to the phone) or "server" (the relay's own)
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QJsonObject>("body");
    const auto lan = [](const char* name, Send send, const char* path, const QJsonObject& body) {
        QTest::newRow(name) << send << QByteArray("lan") << QByteArray(path) << body;
    };
    const auto relay = [](const char* name, Send send, const QJsonObject& body) {
        QTest::newRow(name) << send << QByteArray("relay") << QByteArray("/reraze/reraze/operation") << body;
    };
    const auto server = [](const char* name, Send send, const char* path, const QJsonObject& body) {
        QTest::newRow(name) << send << QByteArray("server") << QByteArray(path) << body;
    };
    using C = KoClientHelper;
    const int u = kPhoneUid;
    const QString d = kPhoneId;
    const QString machine = KoThisMachineInfo::getInstance()->getDeviceName();
    const QString nick = KoThisMachineInfo::getInstance()->getDeviceNick();
    const QString userNick = KoUser::getInstance()->getNick();

    lan("lan categories", [](C* c, const QString& b) { c->getCategoryIndex(1, b, nullptr); }, "/file/v2/listCategory",
        {{"xxx", "xxx"}});
    lan("lan folder", [](C* c, const QString& b) { c->getFileListV2(2, b, 9, "/", nullptr); },
        "/file/v2/getDirectory", {{"category", 9}, {"path", "/"}});
    lan("lan sub-listing", [](C* c, const QString& b) { c->getSubFileListV2(3, b, 9, "/DCIM", nullptr); },
        "/file/v2/getMultiSubPaths", {{"category", 9}, {"files", QJsonArray{"/DCIM"}}});
    lan("lan new folder", [](C* c, const QString& b) { c->newFolderV2(1, b, 9, "/DCIM/新建文件夹", nullptr); },
        "/file/v2/newFolder", {{"category", 9}, {"path", "/DCIM/新建文件夹"}});
    lan("lan delete",
        [](C* c, const QString& b) {
            c->deleteFileV2(2, b, 9, {"/a.txt", "/b"}, nullptr);
        },
        "/file/v2/deleteFile", {{"category", 9}, {"files", pathEntries({"/a.txt", "/b"})}});
    lan("lan delete nothing", [](C* c, const QString& b) { c->deleteFileV2(3, b, 9, {}, nullptr); },
        "/file/v2/deleteFile", {{"category", 9}, {"files", QJsonArray()}});
    lan("lan rename", [](C* c, const QString& b) { c->renameFileV2(4, b, 11, "/x/old.jpg", "new.jpg", nullptr); },
        "/file/v2/renameFile", {{"category", 11}, {"path", "/x/old.jpg"}, {"name", "new.jpg"}});
    // Album sources still travel by "path".
    lan("lan move",
        [](C* c, const QString& b) {
            c->moveFileV2(5, b, 2, {"/p1", "/p2"}, 9, "/dst", nullptr);
        },
        "/file/v2/moveFile",
        {{"srcCategory", 2}, {"src", pathEntries({"/p1", "/p2"})}, {"dstCategory", 9}, {"dst", "/dst"}});
    lan("lan copy", [](C* c, const QString& b) { c->copyFileV2(6, b, "6", 9, {"/a.txt"}, 11, "/sd", nullptr); },
        "/file/v2/copyFile",
        {{"taskid", "6"}, {"srcCategory", 9}, {"src", pathEntries({"/a.txt"})}, {"dstCategory", 11}, {"dst", "/sd"}});
    lan("lan copy progress", [](C* c, const QString& b) { c->copyFileProgressV2(7, b, "6", nullptr); },
        "/file/v2/copyFileProgress", {{"taskid", "6"}});
    lan("lan copy cancel", [](C* c, const QString& b) { c->cancelCopyFileV2(8, b, "6", nullptr); },
        "/file/v2/cancelCopyFile", {{"taskid", "6"}});
    lan("lan albums", [](C* c, const QString& b) { c->getFileListV2(1, b, 2, "/", nullptr); },
        "/file/v2/getCollections", {{"category", 2}});
    lan("lan album", [](C* c, const QString& b) { c->getFileListV2(2, b, 2, "album-42", nullptr); },
        "/file/v2/getDirectory", {{"category", 2}, {"collectionId", "album-42"}});
    lan("lan album delete",
        [](C* c, const QString& b) {
            c->deleteFileV2(3, b, 2, {"ph1", "ph2"}, nullptr);
        },
        "/file/v2/deleteFile", {{"category", 2}, {"files", pathEntries({"ph1", "ph2"}, "fileId")}});

    relay("relay categories", [=](C* c, const QString&) { c->getCategoryIndexRemote(1, u, d, 2, nullptr); },
          {{"cmd", "listCategory"}});
    relay("relay folder", [=](C* c, const QString&) { c->getFileListRemote(2, u, d, 2, 9, "/DCIM", nullptr); },
          {{"cmd", "getDirectory"}, {"category", 9}, {"path", "/DCIM"}});
    relay("relay sub-listing",
          [=](C* c, const QString&) { c->getSubFileListRemote(3, u, d, 2, 9, "/DCIM", nullptr); },
          {{"cmd", "getMultiSubPaths"}, {"category", 9}, {"files", QJsonArray{"/DCIM"}}});
    relay("relay new folder", [=](C* c, const QString&) { c->newFolderRemote(1, u, d, 2, 9, "/n", nullptr); },
          {{"cmd", "newFolder"}, {"category", 9}, {"path", "/n"}});
    relay("relay delete", [=](C* c, const QString&) { c->deleteFileRemote(2, u, d, 2, 9, {"/a"}, nullptr); },
          {{"cmd", "deleteFile"}, {"category", 9}, {"files", pathEntries({"/a"})}});
    relay("relay rename", [=](C* c, const QString&) { c->renameFileRemote(3, u, d, 2, 9, "/a", "b", nullptr); },
          {{"cmd", "renameFile"}, {"category", 9}, {"path", "/a"}, {"name", "b"}});
    relay("relay move",
          [=](C* c, const QString&) {
              c->moveFileRemote(4, u, d, 2, 9, {"/a", "/b"}, 11, "/d", nullptr);
          },
          {{"cmd", "moveFile"},
           {"srcCategory", 9},
           {"src", pathEntries({"/a", "/b"})},
           {"dstCategory", 11},
           {"dst", "/d"}});
    relay("relay albums", [=](C* c, const QString&) { c->getFileListRemote(1, u, d, 2, 2, "/", nullptr); },
          {{"cmd", "getCollections"}, {"category", 2}});
    relay("relay album", [=](C* c, const QString&) { c->getFileListRemote(2, u, d, 2, 2, "alb", nullptr); },
          {{"cmd", "getDirectory"}, {"category", 2}, {"collectionId", "alb"}});
    relay("relay album delete", [=](C* c, const QString&) { c->deleteFileRemote(3, u, d, 2, 2, {"ph"}, nullptr); },
          {{"cmd", "deleteFile"}, {"category", 2}, {"files", pathEntries({"ph"}, "fileId")}});

    lan("lan connect", [](C* c, const QString& b) { c->desktopStartConnect(1, b, nullptr); },
        "/msg/desktopStartConnect",
        {{"kouid", 0}, {"userName", userNick}, {"deviceId", machine}, {"deviceType", 1}, {"deviceName", nick}});
    lan("lan disconnect", [=](C* c, const QString& b) { c->disconnReRaze(2, b, u, nullptr); }, "/msg/disconnDisk",
        {{"kouid", 0}, {"deviceId", machine}, {"toUid", u}});
    lan("lan reachable", [=](C* c, const QString& b) { c->askReachable(3, b, u, d, 2, nullptr); },
        "/file/v2/accessable", {{"toUid", u}, {"toDeviceId", d}, {"toDeviceType", 2}, {"type", 1}});
    // The relay's connection messages name the phone in the body only.
    const QJsonObject accept{{"pushId", "push-9"}, {"cmd", "ACCEPT"},    {"toUid", u},          {"toDeviceId", d},
                             {"toDeviceType", 2},  {"deviceName", nick}, {"userName", userNick}};
    QJsonObject reject = accept;
    reject.insert("cmd", "REJECT_TOKEN");
    server("relay connect", [=](C* c, const QString&) { c->connectFacility(1, u, d, 2, nullptr); },
           "/reraze/msg/connect",
           {{"cmd", "OPEN"},
            {"toUid", u},
            {"toDeviceId", d},
            {"toDeviceType", 2},
            {"deviceName", nick},
            {"userName", userNick}});
    server("relay disconnect", [=](C* c, const QString&) { c->disconnectFacility(2, u, d, 2, nullptr); },
           "/reraze/msg/connect", {{"cmd", "DISCONNECT"}, {"toUid", u}, {"toDeviceId", d}, {"toDeviceType", 2}});
    server(
        "relay accept", [=](C* c, const QString&) { c->connectFacilityRespond(3, "push-9", u, d, 2, true, nullptr); },
        "/reraze/msg/connect", accept);
    server(
        "relay reject",
        [=](C* c, const QString&) { c->connectFacilityRespond(4, "push-9", u, d, 2, false, nullptr); },
        "/reraze/msg/connect", reject);
    server("relay disconnected",
           [=](C* c, const QString&) { c->disconnectFacilityRespond(5, "push-10", u, d, 2, nullptr); },
           "/reraze/msg/connect",
           {{"pushId", "push-10"}, {"cmd", "DISCONNECTED"}, {"toUid", u}, {"toDeviceId", d}, {"toDeviceType", 2}});
    server("network state", [=](C* c, const QString&) { c->askDeviceNetworkState(1, u, d, 2, nullptr); },
           "/dedizo/network/ask", {{"cmd", "askNetwork"}, {"toUid", u}, {"toDeviceId", d}, {"toDeviceType", 2}});
}

void TestClientRequests::requests()
{
    QFETCH(Send, send);
    QFETCH(QByteArray, route);
    QFETCH(QByteArray, path);
    QFETCH(QJsonObject, body);
    const QString base = m_fx.phone->baseUrl();
    const bool lan = route == "lan";
    const KoFakeCall call = lan ? lanCall([&] { send(m_client, base); }) : relayCall([&] { send(m_client, base); });
    QCOMPARE(call.path, path);
    QCOMPARE(call.body, body);
    // Identity headers set twice are sent once.
    checkIdentity(call, route == "relay");
    // A relay request never goes to the phone's LAN address.
    for (const KoFakeCall& forwarded : m_fx.phone->calls())
        QCOMPARE(forwarded.route, QByteArray(lan ? "lan" : "relay"));
}

void TestClientRequests::unknownPushRespondSendsThePushWithCode20000()
{
    const QJsonObject push{
        {"pushId", "p-1"}, {"type", "SOMETHING_NEW"}, {"code", 7}, {"data", QJsonObject{{"a", 1}}}};
    QList<QPair<int, int>> results;
    KoFakeCall call = relayCall([&] {
        m_client->unknownPushRespond(11, push, [&](int id, int code) { results.append({id, code}); });
    });
    QCOMPARE(call.path, QByteArray("/reraze/version/error"));
    QJsonObject expected = push;
    expected.insert("code", 20000);
    QCOMPARE(call.body, expected);
    QCOMPARE(call.header("versionName"), QByteArray("V3.2.0"));
    QCOMPARE(call.header("versionCode"), QByteArray("85"));
    QCOMPARE(call.header("kouid"), QByteArray("0"));
    QTRY_COMPARE(results.size(), 1);
    QCOMPARE(results.first(), qMakePair(11, 0));
}

void TestClientRequests::headerInjectionIsRefusedLater()
{
    const QStringList bad{QStringLiteral("x\r\nEvil: 1"), QStringLiteral("x\nEvil: 1"), QStringLiteral("x\rY"),
                          QString::fromUtf8("x\0y", 3)};
    for (const QString& deviceId : bad) {
        QList<int> codes;
        bool inside = true;
        m_client->getFileListRemote(21, kPhoneUid, deviceId, 2, 9, "/",
                                    [&](int id, int code, QList<KoRemoteFile*>* list) {
                                        QVERIFY(!inside);
                                        QCOMPARE(id, 21);
                                        QVERIFY(!list);
                                        codes.append(code);
                                    });
        inside = false;
        // Never inside the request call.
        QVERIFY(codes.isEmpty());
        QTRY_COMPARE(codes.size(), 1);
        QCOMPARE(codes.first(), -3);
    }
    QTest::qWait(200);
    QVERIFY(m_fx.relay->calls().isEmpty());
    QVERIFY(m_fx.phone->calls().isEmpty());
}

void TestClientRequests::unsafeBaseUrlIsRefusedLater()
{
    QList<int> codes;
    bool inside = true;
    const QString base = m_fx.phone->baseUrl() + QStringLiteral("/x\r\nHost: elsewhere");
    m_client->newFolderV2(31, base, 9, "/n", [&](int id, int code) {
        QVERIFY(!inside);
        QCOMPARE(id, 31);
        codes.append(code);
    });
    inside = false;
    QTRY_COMPARE(codes.size(), 1);
    QCOMPARE(codes.first(), -3);
    QTest::qWait(200);
    QVERIFY(m_fx.phone->calls().isEmpty());
}

QTEST_GUILESS_MAIN(TestClientRequests)
#include "tst_clientrequests.moc"
