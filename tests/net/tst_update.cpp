// The update check against a loopback download site.

#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "net/KoAutoUpdateTool.h"
#include "net/KoNetworkObject.h"
#include "net/KoUser.h"
#include "support/KoFakeAccountServer.h"
#include "support/KoTestCertificates.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(KoTestResponse)

class TestUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    // Runs first, before the test CA is trusted.
    void untrustedSiteFailsTheCheck();
    void parsesVersionFiles_data();
    void parsesVersionFiles();
    void manualCheckNewer();
    void manualCheckFindsNothingNewer_data();
    void manualCheckFindsNothingNewer();
    void periodicCheckTellsOnce();
    void testChannelByPermission();
    void plainHttpIsNeverUsed();

private:
    KoAutoUpdateTool* tool() { return KoAutoUpdateTool::getInstance(); }
    // Runs a check by hand; returns "new", "not", "failed" or "none" (no signal in time).
    QString manualCheck();

    KoFakeUpdateSite* m_site = nullptr;
    KoFakeAccountServer* m_account = nullptr;
};

void TestUpdate::initTestCase()
{
    // Start from no saved account, whatever an earlier run left in this test's home.
    KoSettings::getInstance()->remove("user");
    QVERIFY(KoTestCertificates::ensure());
    KoServerConfig::setSweepIntervalMs(100);
    KoServerConfig::setRequestDeadlineMs(1500);
    m_site = new KoFakeUpdateSite(this);
    QVERIFY(m_site->start());
    m_account = new KoFakeAccountServer(this);
    QVERIFY(m_account->start());
    m_account->addAccount("13800000009", "tester", 99, "测试员");
    KoServerConfig::setUpdateBaseUrl(m_site->baseUrl());
    KoServerConfig::setAccountBaseUrl(m_account->baseUrl());
}

void TestUpdate::init()
{
    KoServerConfig::setUpdateBaseUrl(m_site->baseUrl());
    m_site->http()->clearRequests();
}

void TestUpdate::cleanupTestCase()
{
    delete KoAutoUpdateTool::getInstance();
    delete KoUser::getInstance();
    delete KoNetworkObject::getInstance();
    delete KoSettings::getInstance();
}

QString TestUpdate::manualCheck()
{
    QSignalSpy yes(tool(), &KoAutoUpdateTool::newVersion);
    QSignalSpy no(tool(), &KoAutoUpdateTool::notNewVersion);
    QSignalSpy failed(tool(), &KoAutoUpdateTool::updateCheckFailed);
    const auto answers = [&] { return yes.count() + no.count() + failed.count(); };
    tool()->checkIsUpdateManually();
    if (answers() != 0)
        return QStringLiteral("synchronous");
    if (!QTest::qWaitFor([&] { return answers() > 0; }, 8000))
        return QStringLiteral("none");
    QTest::qWait(50);
    if (answers() != 1)
        return QStringLiteral("several");
    return yes.count() ? QStringLiteral("new") : no.count() ? QStringLiteral("not") : QStringLiteral("failed");
}

void TestUpdate::untrustedSiteFailsTheCheck()
{
    // A site of its own: the network layer keeps connections per host and port.
    KoFakeUpdateSite untrusted;
    QVERIFY(untrusted.start());
    untrusted.setReleaseFile(KoFakeUpdateSite::versionFile(99, "V9.9.9"));
    KoServerConfig::setUpdateBaseUrl(untrusted.baseUrl());
    QCOMPARE(manualCheck(), QStringLiteral("failed"));
    // The handshake failed: no request got through.
    QCOMPARE(untrusted.http()->requests().size(), 0);
    QCOMPARE(tool()->getVersionName(), QString());

    KoServerConfig::setUpdateBaseUrl(m_site->baseUrl());
    KoNetworkObject::getInstance()->addCaCertificate(KoTestCertificates::caCertificate());
}

void TestUpdate::parsesVersionFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QByteArray("VERSION_CODE=86\nversionName=V3.3.0\n") << true << 86 << "V3.3.0";
    QTest::newRow("crlf, blanks, comment")
        << QByteArray("# release\r\n VERSION_CODE = 90 \r\n\r\nversionName = V4.0.0\r\n") << true << 90 << "V4.0.0";
    QTest::newRow("unknown keys") << QByteArray("url=https://x\nVERSION_CODE=85\nversionName=V3.2.0") << true << 85
                                  << "V3.2.0";
    QTest::newRow("no code") << QByteArray("versionName=V3.3.0\n") << false << 0 << "V3.3.0";
    QTest::newRow("code not a number") << QByteArray("VERSION_CODE=abc\nversionName=V3.3.0\n") << false << 0
                                       << "V3.3.0";
    QTest::newRow("html") << QByteArray("<html><body>404</body></html>") << false << 0 << "";
    QTest::newRow("empty") << QByteArray() << false << 0 << "";
}

void TestUpdate::parsesVersionFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(int, code);
    QFETCH(QString, name);
    int c = -5;
    QString n;
    QCOMPARE(KoAutoUpdateTool::parseVersionFile(text, &c, &n), ok);
    QCOMPARE(c, code);
    QCOMPARE(n, name);
}

void TestUpdate::manualCheckNewer()
{
    m_site->setReleaseFile(KoFakeUpdateSite::versionFile(86, "V3.3.0"));
    QCOMPARE(manualCheck(), QStringLiteral("new"));
    QCOMPARE(tool()->getVersionName(), QStringLiteral("V3.3.0"));
    QCOMPARE(m_site->http()->requests().last().pathOnly(), m_site->releasePath());
    QVERIFY(tool()->getUpdateUrl().startsWith(m_site->baseUrl()));
    QVERIFY(tool()->getUpdateUrl().endsWith("index.html"));
    // Every check by hand tells again.
    QCOMPARE(manualCheck(), QStringLiteral("new"));
}

void TestUpdate::manualCheckFindsNothingNewer_data()
{
    QTest::addColumn<KoTestResponse>("answer");
    QTest::addColumn<QString>("name"); // the version name afterwards
    QTest::addColumn<QString>("told"); // what the user hears
    const auto file = [](const QByteArray& text) { return KoTestResponse::raw(text, 200, "text/plain"); };
    KoTestResponse silent;
    silent.noAnswer = true;
    KoTestResponse cut = file(KoFakeUpdateSite::versionFile(99, "V9"));
    cut.resetAfter = 4;
    QTest::newRow("same") << file(KoFakeUpdateSite::versionFile(85, "V3.2.0")) << "V3.2.0"
                          << "not";
    QTest::newRow("older") << file(KoFakeUpdateSite::versionFile(70, "V3.0.0")) << "V3.0.0"
                           << "not";
    // A broken file leaves the last good name, and the check failed: nothing is known.
    QTest::newRow("code not a number") << file("VERSION_CODE=eighty-six\nversionName=V3.3.0\n") << "V3.2.0"
                                       << "failed";
    QTest::newRow("garbage") << file("\x00\x01garbage") << "V3.2.0"
                             << "failed";
    // A newer file behind an error status is not believed.
    QTest::newRow("newer behind an error status")
        << KoTestResponse::raw(KoFakeUpdateSite::versionFile(99, "V9"), 500, "text/plain") << "V3.2.0"
        << "failed";
    QTest::newRow("not found") << KoTestResponse::raw("no", 404, "text/plain") << "V3.2.0"
                               << "failed";
    QTest::newRow("no answer: the deadline ends it") << silent << "V3.2.0"
                                                     << "failed";
    QTest::newRow("cut in the middle") << cut << "V3.2.0"
                                       << "failed";
}

void TestUpdate::manualCheckFindsNothingNewer()
{
    QFETCH(KoTestResponse, answer);
    QFETCH(QString, name);
    QFETCH(QString, told);
    m_site->setReleaseFile(KoFakeUpdateSite::versionFile(85, "V3.2.0"));
    QCOMPARE(manualCheck(), QStringLiteral("not"));
    m_site->http()->queueResponse(m_site->releasePath(), answer);
    QCOMPARE(manualCheck(), told);
    QCOMPARE(tool()->getVersionName(), name);
}

void TestUpdate::periodicCheckTellsOnce()
{
    QSignalSpy yes(tool(), &KoAutoUpdateTool::newVersion);
    QSignalSpy no(tool(), &KoAutoUpdateTool::notNewVersion);
    QSignalSpy failed(tool(), &KoAutoUpdateTool::updateCheckFailed);

    // Nothing newer, and a site that is down: no signal at all.
    m_site->setReleaseFile(KoFakeUpdateSite::versionFile(85, "V3.2.0"));
    m_site->http()->queueResponse(m_site->releasePath(), KoTestResponse::raw("down", 503, "text/plain"));
    tool()->checkIsUpdate();
    tool()->checkIsUpdate();
    QVERIFY(m_site->http()->waitForRequests(2));
    QTest::qWait(300);
    QCOMPARE(yes.count(), 0);
    QCOMPARE(no.count(), 0);
    QCOMPARE(failed.count(), 0);

    m_site->setReleaseFile(KoFakeUpdateSite::versionFile(87, "V3.4.0"));
    tool()->checkIsUpdate();
    QTRY_COMPARE(yes.count(), 1);
    tool()->checkIsUpdate();
    QVERIFY(m_site->http()->waitForRequests(4));
    QTest::qWait(300);
    QCOMPARE(yes.count(), 1);
    QCOMPARE(no.count(), 0);

    // A check by hand still tells.
    QCOMPARE(manualCheck(), QStringLiteral("new"));
}

void TestUpdate::testChannelByPermission()
{
    m_account->setUpdatePermission(99, 1);
    KoUser::getInstance()->setPhone("13800000009");
    KoUser::getInstance()->setPassword("tester");
    QSignalSpy login(KoUser::getInstance(), &KoUser::loginResult);
    KoUser::getInstance()->login(nullptr);
    QTRY_COMPARE(login.count(), 1);
    QCOMPARE(login.at(0).at(0).toInt(), 0);
    QTRY_COMPARE(KoUser::getInstance()->getUpdatePermission(), 1);

    m_site->setReleaseFile(KoFakeUpdateSite::versionFile(85, "V3.2.0"));
    m_site->setTestFile(KoFakeUpdateSite::versionFile(88, "V3.5.0-beta"));
    QCOMPARE(manualCheck(), QStringLiteral("new"));
    QCOMPARE(m_site->http()->requests().last().pathOnly(), m_site->testPath());
    QCOMPARE(tool()->getVersionName(), QStringLiteral("V3.5.0-beta"));
    QVERIFY(tool()->getUpdateUrl().endsWith("index_test.html"));

    // Signed out: back to the release channel.
    KoUser::getInstance()->logout();
    QCOMPARE(manualCheck(), QStringLiteral("not"));
    QCOMPARE(m_site->http()->requests().last().pathOnly(), m_site->releasePath());
}

void TestUpdate::plainHttpIsNeverUsed()
{
    KoTestHttpServer plain(KoTestHttpServer::Http);
    QVERIFY(plain.listen());
    plain.setResponse("/pc/mac/version.txt",
                      KoTestResponse::raw(KoFakeUpdateSite::versionFile(99, "V9"), 200, "text/plain"));
    KoServerConfig::setUpdateBaseUrl(plain.baseUrl() + "/pc/mac/");
    QCOMPARE(manualCheck(), QStringLiteral("failed"));
    QTest::qWait(200);
    QCOMPARE(plain.requests().size(), 0);
}

QTEST_GUILESS_MAIN(TestUpdate)
#include "tst_update.moc"
