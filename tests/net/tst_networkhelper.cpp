// The base of every HTTP client against a loopback server: what goes on the wire, whose
// replies a client acts on, and the deadline sweep.

#include "KoProbeHelper.h"

#include "app/KoServerConfig.h"
#include "net/KoNetworkObject.h"
#include "support/KoTestCertificates.h"
#include "support/KoTestHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

class TestNetworkHelper : public QObject
{
    Q_OBJECT

private:
    KoTestHttpServer* m_server = nullptr;
    QList<KoProbeHelper*> m_probes;

    // Sweeps are driven by hand unless a test asks for the timer.
    KoProbeHelper* newProbe(int sweepMs = 3600000)
    {
        KoServerConfig::setSweepIntervalMs(sweepMs);
        auto* p = new KoProbeHelper();
        m_probes << p;
        return p;
    }
    QString url(const char* path) const { return m_server->baseUrl() + QLatin1String(path); }
    static KoTestResponse silent()
    {
        KoTestResponse r;
        r.noAnswer = true;
        return r;
    }

private slots:
    void init()
    {
        m_server = new KoTestHttpServer(KoTestHttpServer::Http, this);
        QVERIFY(m_server->listen());
    }
    void cleanup()
    {
        qDeleteAll(m_probes);
        m_probes.clear();
        delete m_server;
        m_server = nullptr;
        KoServerConfig::reset();
    }
    void cleanupTestCase() { delete KoNetworkObject::getInstance(); }

    void postSendsCompactJsonAndHeaders()
    {
        m_server->setResponse("/file/v2/list", KoTestResponse::json(QJsonObject{{"code", 0}}));
        KoProbeHelper* p = newProbe();
        QJsonObject body{{"path", QString::fromUtf8("/相册/a b")},
                         {"category", 9},
                         {"list", QJsonArray{1, 2}},
                         {"big", 5000000000.0}};
        QMap<QString, QString> headers{{"kouid", "0"},
                                       {"deviceId", "Mac_AA:BB"},
                                       {"path", QString::fromUtf8("照片")}};
        p->postHttpData(body, url("/file/v2/list"), (new KoReplyType(101002))->setId(3), &headers);
        QVERIFY(m_server->waitForRequests(1));
        const KoTestRequest req = m_server->requests().first();
        QCOMPARE(req.method, QByteArray("POST"));
        QCOMPARE(req.path, QByteArray("/file/v2/list"));
        QCOMPARE(req.body, QJsonDocument(body).toJson(QJsonDocument::Compact));
        QVERIFY(!req.body.contains('\n') && !req.body.contains(": "));
        QCOMPARE(QJsonDocument::fromJson(req.body).object(), body);
        QByteArrayList sent;
        for (const char* name : {"kouid", "deviceid", "path", "user-agent", "content-type", "content-length"})
            sent << req.header(name);
        QCOMPARE(sent,
                 (QByteArrayList{"0", "Mac_AA:BB", QString::fromUtf8("照片").toUtf8(), "ReRaze/3.2.0 (Mac)",
                                 "application/json", QByteArray::number(req.body.size())}));

        QTRY_COMPARE(p->finishedTypes, QList<int>{101002});
        QCOMPARE(p->bodies.first(), QByteArray("{\"code\":0}"));
        QCOMPARE(p->errors.first(), QNetworkReply::NoError);
        QVERIFY(p->getReplyMap()->isEmpty());
    }

    void getAndNullHeaders()
    {
        m_server->setResponse("/pc/mac/version.txt", KoTestResponse::raw("VERSION_CODE=86\n", 200, "text/plain"));
        KoProbeHelper* p = newProbe();
        p->getHttpData(url("/pc/mac/version.txt?t=1"), new KoReplyType(3001));
        QTRY_COMPARE(p->finishedTypes.size(), 1);
        const KoTestRequest req = m_server->requests().first();
        QCOMPARE(req.method, QByteArray("GET"));
        QCOMPARE(req.path, QByteArray("/pc/mac/version.txt?t=1"));
        QCOMPARE(req.header("user-agent"), QByteArray("ReRaze/3.2.0 (Mac)"));
        QCOMPARE(p->bodies.first(), QByteArray("VERSION_CODE=86\n"));

        // No headers and no record still works and cleans up.
        QJsonObject empty;
        p->postHttpData(empty, url("/pc/mac/version.txt"), nullptr, nullptr);
        QTRY_COMPARE(p->finishedTypes.size(), 2);
        QCOMPARE(m_server->requests().last().body, QByteArray("{}"));
        QVERIFY(p->getReplyMap()->isEmpty());
    }

    void downloadProgressOnlyWithKnownTotal()
    {
        const QByteArray payload(300 * 1024, 'x');
        m_server->setResponse("/sized", KoTestResponse::raw(payload));
        KoTestResponse chunked = KoTestResponse::raw(payload);
        chunked.chunked = true;
        m_server->setResponse("/chunked", chunked);

        KoProbeHelper* p = newProbe();
        QJsonObject body;
        p->postHttpData(body, url("/chunked"), new KoReplyType(1), nullptr);
        QTRY_COMPARE(p->finishedTypes.size(), 1);
        QCOMPARE(p->bodies.first(), payload);
        // Total unknown while it arrives: nothing forwarded but the network layer's closing
        // event, which names the final size.
        QVERIFY(p->downloads.size() <= 1);
        for (const auto& d : qAsConst(p->downloads))
            QVERIFY(d.total == payload.size() && d.done == payload.size());
        p->downloads.clear();

        p->postHttpData(body, url("/sized"), new KoReplyType(2), nullptr);
        QTRY_COMPARE(p->finishedTypes.size(), 2);
        QVERIFY(!p->downloads.isEmpty());
        for (const auto& d : qAsConst(p->downloads))
            QCOMPARE(d.total, qint64(payload.size()));
        QCOMPARE(p->downloads.last().done, qint64(payload.size()));
    }

    void downloadHandsDataOverAsItArrives()
    {
        QByteArray payload;
        for (int i = 0; i < 50000; ++i)
            payload += QByteArray::number(i) + ',';
        KoTestResponse chunked = KoTestResponse::raw(payload);
        chunked.chunked = true;
        m_server->setResponse("/file/v2/getFile", chunked);
        KoProbeHelper* p = newProbe();
        QJsonObject body{{"path", "/a"}};
        p->downloadHttpData(body, url("/file/v2/getFile"), new KoReplyType(101003), nullptr);
        QTRY_COMPARE(p->finishedTypes.size(), 1);
        QVERIFY(p->dataReadyCalls > 0);
        QCOMPARE(p->streamed + p->bodies.first(), payload);
        QVERIFY(p->downloads.size() <= 1);
    }

    // Every request asks for the answer as it is: one in another coding hands on none of its
    // bytes, on either route.
    void encodedAnswerIsRefused_data()
    {
        QTest::addColumn<QByteArray>("coding");
        QTest::addColumn<bool>("https");
        QTest::addColumn<bool>("refused");
        QTest::newRow("gzip over plain http") << QByteArray("gzip") << false << true;
        QTest::newRow("gzip over https") << QByteArray("gzip") << true << true;
        QTest::newRow("deflate after identity") << QByteArray("identity, deflate") << false << true;
        QTest::newRow("br over https") << QByteArray("br") << true << true;
        QTest::newRow("identity") << QByteArray("identity") << false << false;
        QTest::newRow("Identity over https") << QByteArray("Identity") << true << false;
    }
    void encodedAnswerIsRefused()
    {
        QFETCH(QByteArray, coding);
        QFETCH(bool, https);
        QFETCH(bool, refused);
        KoTestHttpServer* server = m_server;
        std::unique_ptr<KoTestHttpServer> secure;
        if (https) {
            QVERIFY(KoTestCertificates::ensure());
            KoNetworkObject::getInstance()->addCaCertificate(KoTestCertificates::caCertificate());
            secure.reset(new KoTestHttpServer(KoTestHttpServer::Https));
            QVERIFY(secure->listen());
            server = secure.get();
        }
        QByteArray payload;
        for (int i = 0; i < 20000; ++i)
            payload += QByteArray::number(i) + ';';
        KoTestResponse answer = KoTestResponse::raw(payload);
        answer.headers.append(qMakePair(QByteArray("Content-Encoding"), coding));
        server->setResponse("/file/v2/getFile", answer);
        server->setResponse("/file/v2/list", answer);
        KoProbeHelper* p = newProbe();
        QJsonObject body{{"path", "/a"}};
        p->downloadHttpData(body, server->baseUrl() + "/file/v2/getFile", new KoReplyType(101003), nullptr);
        p->postHttpData(body, server->baseUrl() + "/file/v2/list", new KoReplyType(101002), nullptr);
        QTRY_COMPARE(p->finishedTypes.size(), 2);
        const QNetworkReply::NetworkError expected = refused ? QNetworkReply::OperationCanceledError
                                                             : QNetworkReply::NoError;
        QCOMPARE(p->errors, (QList<QNetworkReply::NetworkError>{expected, expected}));
        if (refused) {
            QCOMPARE(p->dataReadyCalls, 0);
            QCOMPARE(p->bodies, (QList<QByteArray>{QByteArray(), QByteArray()}));
        } else {
            const int download = p->finishedTypes.indexOf(101003);
            QCOMPARE(p->streamed + p->bodies.at(download), payload);
            QCOMPARE(p->bodies.at(1 - download), payload);
        }
        QVERIFY(p->getReplyMap()->isEmpty());
    }

    void repliesOfAnotherClientAreLeftAlone()
    {
        m_server->setResponse("/a", KoTestResponse::json(QJsonObject{{"code", 7}}));
        // Built first, so it hears every finished reply before the owner does.
        KoProbeHelper* other = newProbe();
        KoProbeHelper* owner = newProbe();
        QJsonObject body;
        owner->postHttpData(body, url("/a"), new KoReplyType(1001), nullptr);
        QTRY_COMPARE(owner->finishedTypes.size(), 1);
        QCOMPARE(other->foreignReplies, 1);
        QVERIFY(other->finishedTypes.isEmpty());
        // The other client neither consumed nor released it.
        QCOMPARE(owner->bodies.first(), QByteArray("{\"code\":7}"));
        QVERIFY(owner->getReplyMap()->isEmpty());
    }

    void sweepExpiresOnePerTickEarliestFirst()
    {
        m_server->setHandler([](const KoTestRequest&) { return silent(); });
        KoProbeHelper* p = newProbe();
        QJsonObject body;
        auto* later = new KoReplyType(2);
        later->setDdl(40);
        auto* first = new KoReplyType(1);
        first->setDdl(5);
        auto* never = new KoReplyType(3); // no deadline
        auto* notDue = new KoReplyType(4);
        notDue->setDdl(60000);
        p->postHttpData(body, url("/x"), later, nullptr);
        p->postHttpData(body, url("/x"), first, nullptr);
        p->postHttpData(body, url("/x"), never, nullptr);
        p->postHttpData(body, url("/x"), notDue, nullptr);
        QVERIFY(m_server->waitForRequests(4));
        QTest::qWait(60);

        p->onCheckTimeout();
        QCOMPARE(p->timeoutTypes, QList<int>{1});
        QCOMPARE(p->getReplyMap()->count(), 3);
        p->onCheckTimeout();
        QCOMPARE(p->timeoutTypes, (QList<int>{1, 2}));
        // Neither the one without a deadline nor the one not yet due.
        for (int i = 0; i < 3; ++i)
            p->onCheckTimeout();
        QCOMPARE(p->timeoutTypes.size(), 2);
        QCOMPARE(p->getReplyMap()->count(), 2);
        QVERIFY(p->finishedTypes.isEmpty());
    }

    void sweepRunsOnItsTimer()
    {
        m_server->setHandler([](const KoTestRequest&) { return silent(); });
        KoProbeHelper* p = newProbe(30);
        QJsonObject body;
        auto* a = new KoReplyType(11);
        a->setDdl(50);
        auto* b = new KoReplyType(12);
        b->setDdl(60);
        p->postHttpData(body, url("/x"), a, nullptr);
        p->postHttpData(body, url("/x"), b, nullptr);
        QTRY_COMPARE(p->timeoutTypes, (QList<int>{11, 12}));
        QVERIFY(p->getReplyMap()->isEmpty());
    }

    void timeoutThatAbortsTheReply()
    {
        m_server->setHandler([](const KoTestRequest&) { return silent(); });
        KoProbeHelper* p = newProbe();
        std::weak_ptr<int> watch;
        auto* r = new KoReplyType(101019);
        auto token = std::make_shared<int>(1);
        watch = token;
        r->setData(std::move(token));
        r->setDdl(1);
        int typeAfterAbort = 0;
        p->timeoutHook = [&](QNetworkReply* reply) {
            // The finished handler runs inside this call and removes the record.
            reply->abort();
            typeAfterAbort = p->getReplyMap()->getReplyType(reply) ? 1 : -1;
        };
        QJsonObject body;
        p->postHttpData(body, url("/x"), r, nullptr);
        QVERIFY(m_server->waitForRequests(1));
        QTest::qWait(10);
        p->onCheckTimeout();
        QCOMPARE(p->timeoutTypes, QList<int>{101019});
        QCOMPARE(p->finishedTypes, QList<int>{101019});
        QCOMPARE(p->errors.first(), QNetworkReply::OperationCanceledError);
        QCOMPARE(typeAfterAbort, -1);
        QVERIFY(watch.expired());
        QVERIFY(p->getReplyMap()->isEmpty());
        p->onCheckTimeout();
        QCOMPARE(p->timeoutTypes.size(), 1);
    }

    void expiredReplyIsReleasedAndLateAnswerIgnored()
    {
        KoTestResponse late = KoTestResponse::json(QJsonObject{{"code", 0}});
        late.delayMs = 300;
        m_server->setResponse("/slow", late);
        KoProbeHelper* p = newProbe();
        auto* r = new KoReplyType(5);
        r->setDdl(1);
        QJsonObject body;
        p->postHttpData(body, url("/slow"), r, nullptr);
        QVERIFY(m_server->waitForRequests(1));
        QTest::qWait(10);
        QPointer<QNetworkReply> reply = p->getReplyMap()->getReplyOf(-1);
        QVERIFY(reply);
        p->onCheckTimeout();
        QCOMPARE(p->timeoutTypes.size(), 1);
        QTRY_VERIFY(reply.isNull());
        QTest::qWait(400);
        QVERIFY(p->finishedTypes.isEmpty());
    }

    void destroyingAClientWithRequestsInFlight()
    {
        m_server->setHandler([](const KoTestRequest&) { return silent(); });
        KoProbeHelper* other = newProbe();
        auto* p = new KoProbeHelper();
        std::weak_ptr<int> watch;
        auto* r = new KoReplyType(1);
        auto token = std::make_shared<int>(1);
        watch = token;
        r->setData(std::move(token));
        QJsonObject body;
        p->postHttpData(body, url("/x"), r, nullptr);
        QVERIFY(m_server->waitForRequests(1));
        QPointer<QNetworkReply> reply = p->getReplyMap()->getReplyOf(-1);
        QVERIFY(reply);
        delete p;
        QVERIFY(watch.expired());
        QCOMPARE(other->foreignReplies, 1); // the abort reached the others, who ignored it
        QTRY_VERIFY(reply.isNull());
        QTRY_VERIFY(m_server->requests().first().aborted);
    }
};

QTEST_GUILESS_MAIN(TestNetworkHelper)
#include "tst_networkhelper.moc"
