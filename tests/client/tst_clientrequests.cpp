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
#include "support/KoFakePhone.h"
#include "support/KoFakeRelay.h"
#include "support/KoTestCertificates.h"

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

} // namespace

class TestClientRequests : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void lanListingRequests();
    void lanFileOperationRequests();
    void lanAlbumVariants();
    void lanConnectionMessages();
    void relayListingRequests();
    void relayFileOperationRequests();
    void relayAlbumVariants();
    void relayConnectionMessages();
    void unknownPushRespondSendsThePushWithCode20000();
    void networkStateQueryGoesToTheAccountServer();
    void headerInjectionIsRefusedLater();
    void unsafeBaseUrlIsRefusedLater();

private:
    // Sends through the client, waits for the fake to log one more request and returns it.
    KoFakeCall lanCall(const std::function<void()>& send);
    KoFakeCall relayCall(const std::function<void()>& send);
    void checkIdentity(const KoFakeCall& call, bool remote);

    QTemporaryDir m_dir;
    KoFakePhone* m_phone = nullptr;
    KoFakeRelay* m_relay = nullptr;
    KoClientHelper* m_client = nullptr;
};

void TestClientRequests::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(KoTestCertificates::ensure());
    KoNetworkObject::getInstance()->addCaCertificate(KoTestCertificates::caCertificate());
    QDir(m_dir.path()).mkpath(QStringLiteral("storage/DCIM"));
    m_phone = new KoFakePhone(m_dir.filePath(QStringLiteral("storage")), this);
    m_phone->setIdentity(kPhoneId, QStringLiteral("Pixel"), 2, 30, kPhoneUid);
    QVERIFY(m_phone->start());
    m_relay = new KoFakeRelay(this);
    QVERIFY(m_relay->start());
    m_relay->attachPhone(m_phone);
    KoServerConfig::setRelayBaseUrl(m_relay->baseUrl());
    KoServerConfig::setAccountBaseUrl(m_relay->accountBaseUrl());
    // An account session cookie without the Secure flag, as if the account server shared the
    // phone's host: phone requests must still go without it.
    KoNetworkObject::getInstance()->getCookieJar()->setCookiesFromUrl(
        {QNetworkCookie("session", "s3cret")}, QUrl(m_phone->baseUrl() + QStringLiteral("/")));
}

void TestClientRequests::cleanupTestCase()
{
    KoServerConfig::reset();
}

void TestClientRequests::init()
{
    m_phone->clearCalls();
    m_phone->clearScripts();
    m_relay->clearCalls();
    m_relay->clearScripts();
    m_client = KoClientHelper::getInstance();
}

void TestClientRequests::cleanup()
{
    delete m_client;
    m_client = nullptr;
}

KoFakeCall TestClientRequests::lanCall(const std::function<void()>& send)
{
    const int before = m_phone->calls().size();
    send();
    if (!m_phone->waitForCalls(before + 1))
        return KoFakeCall();
    return m_phone->calls().at(before);
}

KoFakeCall TestClientRequests::relayCall(const std::function<void()>& send)
{
    const int before = m_relay->calls().size();
    send();
    if (!m_relay->waitForCalls(before + 1))
        return KoFakeCall();
    return m_relay->calls().at(before);
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

void TestClientRequests::lanListingRequests()
{
    const QString base = m_phone->baseUrl();
    KoFakeCall call = lanCall([&] { m_client->getCategoryIndex(1, base, nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/listCategory"));
    QCOMPARE(call.body, (QJsonObject{{"xxx", "xxx"}}));
    checkIdentity(call, false);

    call = lanCall([&] { m_client->getFileListV2(2, base, 9, "/", nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/getDirectory"));
    QCOMPARE(call.body, (QJsonObject{{"category", 9}, {"path", "/"}}));
    checkIdentity(call, false);

    call = lanCall([&] { m_client->getSubFileListV2(3, base, 9, "/DCIM", nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/getMultiSubPaths"));
    QCOMPARE(call.body, (QJsonObject{{"category", 9}, {"files", QJsonArray{"/DCIM"}}}));
    checkIdentity(call, false);
}

void TestClientRequests::lanFileOperationRequests()
{
    const QString base = m_phone->baseUrl();
    KoFakeCall call = lanCall([&] { m_client->newFolderV2(1, base, 9, "/DCIM/新建文件夹", nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/newFolder"));
    QCOMPARE(call.body, (QJsonObject{{"category", 9}, {"path", "/DCIM/新建文件夹"}}));
    checkIdentity(call, false);

    call = lanCall([&] { m_client->deleteFileV2(2, base, 9, {"/a.txt", "/b"}, nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/deleteFile"));
    QCOMPARE(call.body, (QJsonObject{{"category", 9}, {"files", pathEntries({"/a.txt", "/b"})}}));

    call = lanCall([&] { m_client->deleteFileV2(3, base, 9, {}, nullptr); });
    QCOMPARE(call.body, (QJsonObject{{"category", 9}, {"files", QJsonArray()}}));

    call = lanCall([&] { m_client->renameFileV2(4, base, 11, "/x/old.jpg", "new.jpg", nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/renameFile"));
    QCOMPARE(call.body, (QJsonObject{{"category", 11}, {"path", "/x/old.jpg"}, {"name", "new.jpg"}}));
    checkIdentity(call, false);

    call = lanCall([&] { m_client->moveFileV2(5, base, 2, {"/p1", "/p2"}, 9, "/dst", nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/moveFile"));
    // Album sources still travel by "path".
    QCOMPARE(call.body, (QJsonObject{{"srcCategory", 2}, {"src", pathEntries({"/p1", "/p2"})},
                                     {"dstCategory", 9}, {"dst", "/dst"}}));

    call = lanCall([&] { m_client->copyFileV2(6, base, "6", 9, {"/a.txt"}, 11, "/sd", nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/copyFile"));
    QCOMPARE(call.body, (QJsonObject{{"taskid", "6"}, {"srcCategory", 9}, {"src", pathEntries({"/a.txt"})},
                                     {"dstCategory", 11}, {"dst", "/sd"}}));
    checkIdentity(call, false);

    call = lanCall([&] { m_client->copyFileProgressV2(7, base, "6", nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/copyFileProgress"));
    QCOMPARE(call.body, (QJsonObject{{"taskid", "6"}}));

    call = lanCall([&] { m_client->cancelCopyFileV2(8, base, "6", nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/cancelCopyFile"));
    QCOMPARE(call.body, (QJsonObject{{"taskid", "6"}}));
    checkIdentity(call, false);
}

void TestClientRequests::lanAlbumVariants()
{
    const QString base = m_phone->baseUrl();
    KoFakeCall call = lanCall([&] { m_client->getFileListV2(1, base, 2, "/", nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/getCollections"));
    QCOMPARE(call.body, (QJsonObject{{"category", 2}}));

    call = lanCall([&] { m_client->getFileListV2(2, base, 2, "album-42", nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/getDirectory"));
    QCOMPARE(call.body, (QJsonObject{{"category", 2}, {"collectionId", "album-42"}}));

    call = lanCall([&] { m_client->deleteFileV2(3, base, 2, {"ph1", "ph2"}, nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/deleteFile"));
    QCOMPARE(call.body, (QJsonObject{{"category", 2}, {"files", pathEntries({"ph1", "ph2"}, "fileId")}}));
    checkIdentity(call, false);
}

void TestClientRequests::lanConnectionMessages()
{
    const QString base = m_phone->baseUrl();
    KoThisMachineInfo* machine = KoThisMachineInfo::getInstance();
    KoFakeCall call = lanCall([&] { m_client->desktopStartConnect(1, base, nullptr); });
    QCOMPARE(call.path, QByteArray("/msg/desktopStartConnect"));
    QCOMPARE(call.body, (QJsonObject{{"kouid", 0},
                                     {"userName", KoUser::getInstance()->getNick()},
                                     {"deviceId", machine->getDeviceName()},
                                     {"deviceType", 1},
                                     {"deviceName", machine->getDeviceNick()}}));
    checkIdentity(call, false);

    call = lanCall([&] { m_client->disconnReRaze(2, base, kPhoneUid, nullptr); });
    QCOMPARE(call.path, QByteArray("/msg/disconnDisk"));
    QCOMPARE(call.body, (QJsonObject{{"kouid", 0}, {"deviceId", machine->getDeviceName()}, {"toUid", kPhoneUid}}));
    checkIdentity(call, false);

    call = lanCall([&] { m_client->askReachable(3, base, kPhoneUid, kPhoneId, 2, nullptr); });
    QCOMPARE(call.path, QByteArray("/file/v2/accessable"));
    QCOMPARE(call.body, (QJsonObject{{"toUid", kPhoneUid}, {"toDeviceId", kPhoneId}, {"toDeviceType", 2},
                                     {"type", 1}}));
    checkIdentity(call, false);
}

void TestClientRequests::relayListingRequests()
{
    KoFakeCall call = relayCall([&] { m_client->getCategoryIndexRemote(1, kPhoneUid, kPhoneId, 2, nullptr); });
    QCOMPARE(call.path, QByteArray("/reraze/reraze/operation"));
    QCOMPARE(call.body, (QJsonObject{{"cmd", "listCategory"}}));
    checkIdentity(call, true);

    call = relayCall([&] { m_client->getFileListRemote(2, kPhoneUid, kPhoneId, 2, 9, "/DCIM", nullptr); });
    QCOMPARE(call.path, QByteArray("/reraze/reraze/operation"));
    QCOMPARE(call.body, (QJsonObject{{"cmd", "getDirectory"}, {"category", 9}, {"path", "/DCIM"}}));
    checkIdentity(call, true);

    call = relayCall([&] { m_client->getSubFileListRemote(3, kPhoneUid, kPhoneId, 2, 9, "/DCIM", nullptr); });
    QCOMPARE(call.path, QByteArray("/reraze/reraze/operation"));
    QCOMPARE(call.body, (QJsonObject{{"cmd", "getMultiSubPaths"}, {"category", 9}, {"files", QJsonArray{"/DCIM"}}}));
    checkIdentity(call, true);
    // Nothing of it went to the phone's LAN address.
    QVERIFY(!m_phone->calls().isEmpty());
    for (const KoFakeCall& forwarded : m_phone->calls())
        QCOMPARE(forwarded.route, QByteArray("relay"));
}

void TestClientRequests::relayFileOperationRequests()
{
    KoFakeCall call = relayCall([&] { m_client->newFolderRemote(1, kPhoneUid, kPhoneId, 2, 9, "/n", nullptr); });
    QCOMPARE(call.path, QByteArray("/reraze/reraze/operation"));
    QCOMPARE(call.body, (QJsonObject{{"cmd", "newFolder"}, {"category", 9}, {"path", "/n"}}));
    checkIdentity(call, true);

    call = relayCall([&] { m_client->deleteFileRemote(2, kPhoneUid, kPhoneId, 2, 9, {"/a"}, nullptr); });
    QCOMPARE(call.body, (QJsonObject{{"cmd", "deleteFile"}, {"category", 9}, {"files", pathEntries({"/a"})}}));
    checkIdentity(call, true);

    call = relayCall([&] { m_client->renameFileRemote(3, kPhoneUid, kPhoneId, 2, 9, "/a", "b", nullptr); });
    QCOMPARE(call.body, (QJsonObject{{"cmd", "renameFile"}, {"category", 9}, {"path", "/a"}, {"name", "b"}}));
    checkIdentity(call, true);

    call = relayCall([&] { m_client->moveFileRemote(4, kPhoneUid, kPhoneId, 2, 9, {"/a", "/b"}, 11, "/d", nullptr); });
    QCOMPARE(call.body, (QJsonObject{{"cmd", "moveFile"}, {"srcCategory", 9}, {"src", pathEntries({"/a", "/b"})},
                                     {"dstCategory", 11}, {"dst", "/d"}}));
    checkIdentity(call, true);
    QCOMPARE(call.path, QByteArray("/reraze/reraze/operation"));
}

void TestClientRequests::relayAlbumVariants()
{
    KoFakeCall call = relayCall([&] { m_client->getFileListRemote(1, kPhoneUid, kPhoneId, 2, 2, "/", nullptr); });
    QCOMPARE(call.body, (QJsonObject{{"cmd", "getCollections"}, {"category", 2}}));
    call = relayCall([&] { m_client->getFileListRemote(2, kPhoneUid, kPhoneId, 2, 2, "alb", nullptr); });
    QCOMPARE(call.body, (QJsonObject{{"cmd", "getDirectory"}, {"category", 2}, {"collectionId", "alb"}}));
    call = relayCall([&] { m_client->deleteFileRemote(3, kPhoneUid, kPhoneId, 2, 2, {"ph"}, nullptr); });
    QCOMPARE(call.body, (QJsonObject{{"cmd", "deleteFile"}, {"category", 2}, {"files", pathEntries({"ph"}, "fileId")}}));
    checkIdentity(call, true);
}

void TestClientRequests::relayConnectionMessages()
{
    KoThisMachineInfo* machine = KoThisMachineInfo::getInstance();
    const QString userNick = KoUser::getInstance()->getNick();
    KoFakeCall call = relayCall([&] { m_client->connectFacility(1, kPhoneUid, kPhoneId, 2, nullptr); });
    QCOMPARE(call.path, QByteArray("/reraze/msg/connect"));
    QCOMPARE(call.body, (QJsonObject{{"cmd", "OPEN"}, {"toUid", kPhoneUid}, {"toDeviceId", kPhoneId},
                                     {"toDeviceType", 2}, {"deviceName", machine->getDeviceNick()},
                                     {"userName", userNick}}));
    // Set twice, sent once.
    QCOMPARE(call.header("deviceType"), QByteArray("1"));
    QCOMPARE(call.header("kouid"), QByteArray("0"));
    QCOMPARE(call.header("deviceId"), machine->getDeviceName().toUtf8());
    QVERIFY(!call.headers.contains("todeviceid"));

    call = relayCall([&] { m_client->disconnectFacility(2, kPhoneUid, kPhoneId, 2, nullptr); });
    QCOMPARE(call.path, QByteArray("/reraze/msg/connect"));
    QCOMPARE(call.body, (QJsonObject{{"cmd", "DISCONNECT"}, {"toUid", kPhoneUid}, {"toDeviceId", kPhoneId},
                                     {"toDeviceType", 2}}));

    call = relayCall([&] { m_client->connectFacilityRespond(3, "push-9", kPhoneUid, kPhoneId, 2, true, nullptr); });
    const QJsonObject accepted{{"pushId", "push-9"}, {"cmd", "ACCEPT"}, {"toUid", kPhoneUid}, {"toDeviceId", kPhoneId},
                               {"toDeviceType", 2}, {"deviceName", machine->getDeviceNick()}, {"userName", userNick}};
    QCOMPARE(call.body, accepted);
    QCOMPARE(call.header("deviceType"), QByteArray("1"));

    call = relayCall([&] { m_client->connectFacilityRespond(4, "push-9", kPhoneUid, kPhoneId, 2, false, nullptr); });
    QJsonObject rejected = accepted;
    rejected.insert("cmd", "REJECT_TOKEN");
    QCOMPARE(call.body, rejected);

    call = relayCall([&] { m_client->disconnectFacilityRespond(5, "push-10", kPhoneUid, kPhoneId, 2, nullptr); });
    QCOMPARE(call.path, QByteArray("/reraze/msg/connect"));
    QCOMPARE(call.body, (QJsonObject{{"pushId", "push-10"}, {"cmd", "DISCONNECTED"}, {"toUid", kPhoneUid},
                                     {"toDeviceId", kPhoneId}, {"toDeviceType", 2}}));
}

void TestClientRequests::unknownPushRespondSendsThePushWithCode20000()
{
    const QJsonObject push{{"pushId", "p-1"}, {"type", "SOMETHING_NEW"}, {"code", 7}, {"data", QJsonObject{{"a", 1}}}};
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

void TestClientRequests::networkStateQueryGoesToTheAccountServer()
{
    KoFakeCall call = relayCall([&] { m_client->askDeviceNetworkState(1, kPhoneUid, kPhoneId, 2, nullptr); });
    QCOMPARE(call.path, QByteArray("/dedizo/network/ask"));
    QCOMPARE(call.body, (QJsonObject{{"cmd", "askNetwork"}, {"toUid", kPhoneUid}, {"toDeviceId", kPhoneId},
                                     {"toDeviceType", 2}}));
    checkIdentity(call, false);
}

void TestClientRequests::headerInjectionIsRefusedLater()
{
    const QStringList bad{QStringLiteral("x\r\nEvil: 1"), QStringLiteral("x\nEvil: 1"), QStringLiteral("x\rY"),
                          QString::fromUtf8("x\0y", 3)};
    for (const QString& deviceId : bad) {
        QList<int> codes;
        bool inside = true;
        m_client->getFileListRemote(21, kPhoneUid, deviceId, 2, 9, "/", [&](int id, int code, QList<KoRemoteFile*>* list) {
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
    QVERIFY(m_relay->calls().isEmpty());
    QVERIFY(m_phone->calls().isEmpty());
}

void TestClientRequests::unsafeBaseUrlIsRefusedLater()
{
    QList<int> codes;
    bool inside = true;
    const QString base = m_phone->baseUrl() + QStringLiteral("/x\r\nHost: elsewhere");
    m_client->newFolderV2(31, base, 9, "/n", [&](int id, int code) {
        QVERIFY(!inside);
        QCOMPARE(id, 31);
        codes.append(code);
    });
    inside = false;
    QTRY_COMPARE(codes.size(), 1);
    QCOMPARE(codes.first(), -3);
    QTest::qWait(200);
    QVERIFY(m_phone->calls().isEmpty());
}

QTEST_GUILESS_MAIN(TestClientRequests)
#include "tst_clientrequests.moc"
