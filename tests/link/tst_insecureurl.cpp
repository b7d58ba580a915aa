#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "app/KoThisMachineInfo.h"
#include "link/KoDeviceReport.h"
#include "link/KoPushReceiver.h"
#include "net/KoNetworkObject.h"
#include "net/KoReplyMap.h"
#include "support/KoTestHttpServer.h"

#include <QJsonArray>
#include <QTest>

// A base URL misconfigured to plain http must not carry the user's id or cookies anywhere:
// the request never leaves and fails as if the server could not be reached.
class TestInsecureUrl : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        KoThisMachineInfo::getInstance();
        m_server = new KoTestHttpServer(KoTestHttpServer::Http, this);
        QVERIFY(m_server->listen());
        // Whatever reaches this server would be answered as a success, so a leak shows.
        m_server->setHandler([](const KoTestRequest&) {
            const QJsonObject device{{"uid", 7}, {"deviceId", "phone-1"}, {"deviceType", 2}, {"state", 2}};
            const QJsonObject push{{"pushId", "p1"}, {"type", "CONNECT"}};
            return KoTestResponse::json(QJsonObject{
                {"result", 0}, {"code", 0}, {"devices", QJsonArray{device}}, {"pushes", QJsonArray{push}}});
        });
        KoServerConfig::setAccountBaseUrl(m_server->baseUrl() + QStringLiteral("/dedizo/"));
        KoServerConfig::setRelayBaseUrl(m_server->baseUrl() + QStringLiteral("/reraze/"));
        KoServerConfig::setSweepIntervalMs(100);
    }

    void cleanupTestCase()
    {
        KoServerConfig::reset();
        delete KoNetworkObject::getInstance();
        delete KoThisMachineInfo::getInstance();
        delete KoSettings::getInstance();
    }

    void deviceReportSendsNothing()
    {
        KoDeviceReport report;
        QList<int> results;
        int devices = 0;
        report.setCallback([&](int result, QList<KoBaseFacility> list) {
            results.append(result);
            devices += list.size();
        });
        report.report(7, QStringLiteral("192.168.1.20"), 45000);
        // Never inside the caller.
        QVERIFY(results.isEmpty());
        QTRY_COMPARE(results.size(), 1);
        QCOMPARE(results.first(), -1);
        QCOMPARE(devices, 0);
        QVERIFY(report.getReplyMap()->isEmpty());
        // Nothing later either: no second answer, no request.
        QTest::qWait(300);
        QCOMPARE(results.size(), 1);
        QCOMPARE(m_server->requests().size(), 0);
        QCOMPARE(m_server->acceptedConnections(), 0);
    }

    void pushPollSendsNothing()
    {
        KoPushReceiver receiver;
        int handled = 0;
        receiver.setHandler([&](const QJsonObject&) { ++handled; });
        receiver.poll(7);
        QVERIFY(receiver.isPolling());
        QTRY_VERIFY(!receiver.isPolling());
        // The poll ended cleanly: the next one starts again.
        receiver.poll(7);
        QVERIFY(receiver.isPolling());
        QTRY_VERIFY(!receiver.isPolling());
        QTest::qWait(300);
        QCOMPARE(handled, 0);
        QVERIFY(receiver.getReplyMap()->isEmpty());
        QCOMPARE(m_server->requests().size(), 0);
        QCOMPARE(m_server->acceptedConnections(), 0);
    }

    void refusedPollDiesWithItsOwner()
    {
        // The refusal is pending when the receiver goes: nothing may touch it afterwards.
        auto* receiver = new KoPushReceiver;
        int handled = 0;
        receiver->setHandler([&](const QJsonObject&) { ++handled; });
        receiver->poll(7);
        delete receiver;
        QTest::qWait(100);
        QCOMPARE(handled, 0);
        QCOMPARE(m_server->requests().size(), 0);
    }

private:
    KoTestHttpServer* m_server = nullptr;
};

QTEST_GUILESS_MAIN(TestInsecureUrl)
#include "tst_insecureurl.moc"
