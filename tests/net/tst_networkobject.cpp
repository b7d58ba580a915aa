// The shared network object: singleton life, TLS trust and the cookie copy of a login.

#include "KoProbeHelper.h"

#include "app/KoServerConfig.h"
#include "net/KoCookieJar.h"
#include "net/KoNetworkObject.h"
#include "support/KoTestCertificates.h"
#include "support/KoTestHttpServer.h"

#include <QNetworkCookie>
#include <QtTest>

class TestNetworkObject : public QObject
{
    Q_OBJECT

private:
    QList<QObject*> m_owned;
    KoProbeHelper* newProbe()
    {
        KoServerConfig::setSweepIntervalMs(3600000);
        auto* p = new KoProbeHelper();
        m_owned.prepend(p); // deleted before the servers
        return p;
    }
    KoTestHttpServer* newServer(KoTestHttpServer::Mode mode)
    {
        auto* s = new KoTestHttpServer(mode);
        m_owned.append(s);
        if (!s->listen())
            return nullptr;
        s->setHandler([](const KoTestRequest&) { return KoTestResponse::json(QJsonObject{{"code", 0}}); });
        return s;
    }

    // As a start with RERAZE_EXTRA_CA_FILE set (empty: unset) would read it.
    static void useExtraCaFile(const QString& path)
    {
        delete KoNetworkObject::getInstance();
        if (path.isEmpty())
            qunsetenv("RERAZE_EXTRA_CA_FILE");
        else
            qputenv("RERAZE_EXTRA_CA_FILE", QFile::encodeName(path));
        KoServerConfig::reset();
    }

private slots:
    void initTestCase() { QVERIFY(KoTestCertificates::ensure()); }
    void cleanup()
    {
        qunsetenv("RERAZE_EXTRA_CA_FILE");
        qDeleteAll(m_owned);
        m_owned.clear();
        // Every test starts with a fresh network object: nothing trusted or stored before.
        delete KoNetworkObject::getInstance();
        KoServerConfig::reset();
    }

    void bundledCaIsTrusted()
    {
        KoNetworkObject* net = KoNetworkObject::getInstance();
        QFile f(QStringLiteral(KO_SOURCE_DIR) + "/resources/cert/server.dedizo.cert");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QSslCertificate> bundled = QSslCertificate::fromData(f.readAll());
        QCOMPARE(bundled.size(), 1);
        QVERIFY(net->sslConfiguration().caCertificates().contains(bundled.first()));
        QVERIFY(!net->sslConfiguration().caCertificates().contains(KoTestCertificates::caCertificate()));
    }

    // The run's extra CA file, when it names none, trusts nothing more.
    void httpsWithoutTrustFails_data()
    {
        QTest::addColumn<QByteArray>("extraCaText");
        QTest::addColumn<bool>("extraCaExists");
        QTest::newRow("no extra CA") << QByteArray() << false;
        QTest::newRow("extra CA file missing") << QByteArray() << true;
        QTest::newRow("extra CA file without a certificate") << QByteArray("not a certificate\n") << true;
    }
    void httpsWithoutTrustFails()
    {
        QFETCH(QByteArray, extraCaText);
        QFETCH(bool, extraCaExists);
        QTemporaryDir dir;
        const QString caFile = dir.filePath("ca.pem");
        if (!extraCaText.isEmpty()) {
            QFile f(caFile);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(extraCaText) == extraCaText.size());
        }
        useExtraCaFile(extraCaExists ? caFile : QString());
        KoTestHttpServer* server = newServer(KoTestHttpServer::Https);
        QVERIFY(server);
        KoProbeHelper* p = newProbe();
        QJsonObject body{{"cmd", "askNetwork"}};
        p->postHttpData(body, server->baseUrl() + "/dedizo/network/ask", new KoReplyType(205001), nullptr);
        QTRY_COMPARE(p->finishedTypes.size(), 1);
        QCOMPARE(p->errors.first(), QNetworkReply::SslHandshakeFailedError);
        QVERIFY(p->bodies.first().isEmpty());
        for (const KoTestRequest& r : server->requests())
            QVERIFY(r.aborted);
    }

    void httpsWithTestCaSucceeds_data()
    {
        QTest::addColumn<bool>("namedForTheRun");
        QTest::newRow("added by the caller") << false;
        QTest::newRow("named for the run by the environment") << true;
    }
    void httpsWithTestCaSucceeds()
    {
        QFETCH(bool, namedForTheRun);
        KoTestHttpServer* server = newServer(KoTestHttpServer::Https);
        QVERIFY(server);
        if (namedForTheRun)
            useExtraCaFile(KoTestCertificates::caCertificateFile());
        else
            KoNetworkObject::getInstance()->addCaCertificate(KoTestCertificates::caCertificate());
        KoProbeHelper* p = newProbe();
        QJsonObject body{{"cmd", "askNetwork"}};
        p->postHttpData(body, server->baseUrl() + "/dedizo/network/ask", new KoReplyType(205001), nullptr);
        QTRY_COMPARE(p->finishedTypes.size(), 1);
        QCOMPARE(p->errors.first(), QNetworkReply::NoError);
        QCOMPARE(p->bodies.first(), QByteArray("{\"code\":0}"));
        QCOMPARE(server->requests().size(), 1);
        QCOMPARE(server->requests().first().body, QByteArray("{\"cmd\":\"askNetwork\"}"));
        QCOMPARE(server->requests().first().header("user-agent"), QByteArray("ReRaze/3.2.0 (Mac)"));
    }

    void loginCookiesCopiedToTheRelay()
    {
        // Both on https (cookies never go over plain http), under two host names.
        KoTestHttpServer* account = newServer(KoTestHttpServer::Https);
        KoTestHttpServer* relay = newServer(KoTestHttpServer::Https); // localhost
        QVERIFY(account && relay);
        const QString accountBase = QStringLiteral("https://127.0.0.1:%1").arg(account->port());
        KoTestResponse login = KoTestResponse::json(QJsonObject{{"result", 0}});
        login.headers << qMakePair(QByteArray("Set-Cookie"), QByteArray("JSESSIONID=abc123; Path=/dedizo; HttpOnly"));
        account->setResponse("/dedizo/user/login", login);
        KoNetworkObject* net = KoNetworkObject::getInstance();
        net->addCaCertificate(KoTestCertificates::caCertificate());
        KoProbeHelper* p = newProbe();
        QJsonObject body;

        p->postHttpData(body, accountBase + "/dedizo/user/login", new KoReplyType(1001), nullptr);
        QTRY_COMPARE(p->finishedTypes.size(), 1);
        const QString relayBase = relay->baseUrl() + "/reraze/";
        p->postHttpData(body, relayBase + "pcPush", new KoReplyType(5001), nullptr);
        QTRY_COMPARE(p->finishedTypes.size(), 2);
        QCOMPARE(p->errors.last(), QNetworkReply::NoError);
        QVERIFY(relay->requests().last().header("cookie").isEmpty());

        QCOMPARE(net->copyCookies(QUrl(accountBase + "/dedizo/"), QUrl(relayBase)), 1);
        p->postHttpData(body, relayBase + "reraze/operation", new KoReplyType(203001), nullptr);
        QTRY_COMPARE(p->finishedTypes.size(), 3);
        QCOMPARE(relay->requests().last().header("cookie"), QByteArray("JSESSIONID=abc123"));

        // The account server still gets its own cookie; copying again replaces, not doubles.
        QCOMPARE(net->copyCookies(QUrl(accountBase + "/dedizo/"), QUrl(relayBase)), 1);
        p->postHttpData(body, accountBase + "/dedizo/user/info", new KoReplyType(1003), nullptr);
        p->postHttpData(body, relayBase + "reraze/operation", new KoReplyType(203002), nullptr);
        QTRY_COMPARE(p->finishedTypes.size(), 5);
        QCOMPARE(account->requests().last().header("cookie"), QByteArray("JSESSIONID=abc123"));
        QCOMPARE(relay->requests().last().header("cookie"), QByteArray("JSESSIONID=abc123"));
        // A URL without cookies copies nothing.
        QCOMPARE(net->copyCookies(QUrl("http://elsewhere.invalid/"), QUrl(relayBase)), 0);
    }
};

QTEST_GUILESS_MAIN(TestNetworkObject)
#include "tst_networkobject.moc"
