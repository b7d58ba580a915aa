// Uploads over plain http (curl) next to the network access manager: the same request, and the
// answers, errors and cancellation as the manager's replies give them, also for a hostile
// phone's framing.

#include "KoUploadTestBase.h"

#include "app/KoCommonUtil.h"

#include <QFile>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QTcpServer>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(KoTestResponse)

class TestStreamUpload : public KoUploadTestBase
{
    Q_OBJECT

private:
    QString writeFile(const QString& name, qint64 size) { return KoUploadTestBase::writeFile(name, pattern(size)); }
    QString url() const { return m_server->baseUrl() + "/file/v2/uploadFile"; }

    enum Kind { Json, ShortUpload, StreamedUpload };
    void send(int kind, const QString& path)
    {
        QJsonObject body{{"path", path}};
        if (kind == Json)
            m_probe->postHttpData(body, url(), new KoReplyType(101002), nullptr);
        else if (kind == ShortUpload)
            m_probe->uploadShortHttpFile(path, url(), new KoReplyType(101019), nullptr, 0);
        else
            m_probe->uploadHttpFile(path, url(), new KoReplyType(101004), nullptr, 0);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init() { QVERIFY(startServer()); }
    void cleanup() { stopServer(); }
    void cleanupTestCase() { stopNetwork(); }

    void sameRequestAsTheNetworkManager_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("offset");
        QTest::newRow("small") << qint64(5000) << qint64(0);
        QTest::newRow("several blocks, from an offset") << qint64(5 * 1024 * 1024 + 17) << qint64(1000);
    }
    void sameRequestAsTheNetworkManager()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, offset);
        const QString path = writeFile("same.bin", size);
        QVERIFY(!path.isEmpty());
        QMap<QString, QString> headers{{"offset", QString::number(offset)}, {"uploadFid", "F1"}};

        // The network access manager's request of the same part.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.seek(offset));
        auto* multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        multiPart->setBoundary(KoNetworkHelper::multipartBoundary());
        QHttpPart part;
        part.setRawHeader("Content-Type", "application/x-object");
        part.setRawHeader("Content-Disposition", "form-data; name=\"files[]\"; filename=\"same.bin\"");
        part.setBody(file.read(size - offset));
        multiPart->append(part);
        QNetworkReply* reply = KoNetworkObject::getInstance()->post(
            url(), &headers, multiPart, size - offset + 8 + KoNetworkHelper::kMultipartOverhead);
        multiPart->setParent(reply);
        QTRY_VERIFY(reply->isFinished());
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        reply->deleteLater();

        m_probe->uploadShortHttpFile(path, url(), new KoReplyType(101019), &headers, offset);
        QTRY_COMPARE(m_probe->finishedTypes.size(), 1);
        m_probe->uploadHttpFile(path, url(), new KoReplyType(101004), &headers, offset);
        QTRY_COMPARE(m_probe->finishedTypes.size(), 2);
        QCOMPARE(m_probe->errors,
                 (QList<QNetworkReply::NetworkError>{QNetworkReply::NoError, QNetworkReply::NoError}));
        QCOMPARE(m_probe->bodies.last(), m_probe->bodies.first());
        const QList<KoTestRequest> requests = m_server->requests();
        QCOMPARE(requests.size(), 3);
        const KoTestRequest& managers = requests.at(0);
        for (int i : {1, 2}) {
            const KoTestRequest& ours = requests.at(i);
            QCOMPARE(ours.method, managers.method);
            QCOMPARE(ours.path, managers.path);
            QCOMPARE(ours.headers, managers.headers);
            QCOMPARE(ours.bodyBytes(), managers.bodyBytes());
        }
        QCOMPARE(m_probe->uploads.last().done, m_probe->uploads.last().total);
    }

    void smallUploadsShareAConnection()
    {
        // Rounds of five at a time, as the operator runs them.
        const QString path = writeFile("small.bin", 4096);
        for (int round = 1; round <= 6; ++round) {
            for (int i = 0; i < 5; ++i)
                m_probe->uploadShortHttpFile(path, url(), new KoReplyType(101019), nullptr, 0);
            QTRY_COMPARE(m_probe->finishedTypes.size(), 5 * round);
        }
        QCOMPARE(m_probe->errors.count(QNetworkReply::NoError), 30);
        QCOMPARE(m_server->requests().size(), 30);
        QVERIFY(m_server->acceptedConnections() <= 5);
    }

    void closedIdleConnectionIsNotAFailure()
    {
        // The phone closes each connection after its answer; the next small upload must not
        // fail on the connection that was kept.
        m_server->setHandler([](const KoTestRequest&) {
            KoTestResponse r = KoTestResponse::json(QJsonObject{{"code", 0}});
            r.headers.append(qMakePair(QByteArray("Connection"), QByteArray("close")));
            return r;
        });
        const QString path = writeFile("closing.bin", 100);
        for (int i = 0; i < 3; ++i) {
            m_probe->uploadShortHttpFile(path, url(), new KoReplyType(101019), nullptr, 0);
            QTRY_COMPARE(m_probe->finishedTypes.size(), i + 1);
            QCOMPARE(m_probe->errors.last(), QNetworkReply::NoError);
        }
        QCOMPARE(m_server->acceptedConnections(), 3);
    }

    // A phone that sends its answer a second time, unasked, while the connection is kept: the
    // next request goes out once, whole, on a connection of its own, and gets its own answer.
    void answerRepeatedUnaskedStaysOffTheNextRequest_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::newRow("json, then json") << int(Json) << int(Json);
        QTest::newRow("short upload, then short upload") << int(ShortUpload) << int(ShortUpload);
        QTest::newRow("streamed upload, then short upload") << int(StreamedUpload) << int(ShortUpload);
    }
    void answerRepeatedUnaskedStaysOffTheNextRequest()
    {
        auto answered = std::make_shared<int>(0);
        m_server->setHandler([answered](const KoTestRequest&) {
            KoTestResponse r = KoTestResponse::json(QJsonObject{{"code", 0}, {"n", ++*answered}});
            r.repeatAfterMs = 2;
            return r;
        });
        QFETCH(int, first);
        QFETCH(int, second);
        const QString path = writeFile("again.bin", 70000);
        send(first, path);
        QTRY_COMPARE(m_probe->finishedTypes.size(), 1);
        QTRY_COMPARE(m_server->unaskedAnswers(), 1);
        const int uploadsBefore = m_probe->uploads.size();
        send(second, path);
        QTRY_COMPARE(m_probe->finishedTypes.size(), 2);
        QCOMPARE(m_probe->errors,
                 (QList<QNetworkReply::NetworkError>{QNetworkReply::NoError, QNetworkReply::NoError}));
        QCOMPARE(m_probe->bodies.last(), QByteArray("{\"code\":0,\"n\":2}"));
        const QList<KoTestRequest> requests = m_server->requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests.last().aborted, false);
        // Whole, from its first byte.
        const QByteArray sent = requests.last().bodyBytes();
        if (second == Json) {
            QCOMPARE(QJsonDocument::fromJson(sent).object().value("path").toString(), path);
        } else {
            QCOMPARE(sent.size(), 70000 + 9 + KoNetworkHelper::kMultipartOverhead);
            QVERIFY(sent.contains(pattern(70000)));
        }
        QCOMPARE(m_server->acceptedConnections(), 2);
        // The connection that held the repeat was closed, not kept.
        QTRY_COMPARE(m_server->connectionCount(), 1);
        // Sent once: the progress of the second request climbs once to its total.
        for (int i = uploadsBefore + 1; i < m_probe->uploads.size(); ++i)
            QVERIFY(m_probe->uploads.at(i).done >= m_probe->uploads.at(i - 1).done);
        if (second != Json)
            QCOMPARE(m_probe->uploads.last().done, m_probe->uploads.last().total);
    }

    void answers_data()
    {
        QTest::addColumn<KoTestResponse>("response");
        QTest::addColumn<int>("error");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("connections");   // for this and one more request; 0: not checked
        QTest::addColumn<qint64>("sentAtMost"); // answer bytes the phone got out; -1: not checked
        const QByteArray json = "{\"code\":0}";
        KoTestResponse r = KoTestResponse::raw(json, 200, "application/json");
        QTest::newRow("with length") << r << int(QNetworkReply::NoError) << json << 1 << qint64(-1);
        r.chunked = true;
        QTest::newRow("chunked") << r << int(QNetworkReply::NoError) << json << 1 << qint64(-1);
        r.chunked = false;
        r.noContentLength = true;
        QTest::newRow("to the end of the connection") << r << int(QNetworkReply::NoError) << json << 2 << qint64(-1);
        QTest::newRow("server error") << KoTestResponse::raw(json, 500, "application/json")
                                      << int(QNetworkReply::InternalServerError) << json << 0 << qint64(-1);
        QTest::newRow("not found") << KoTestResponse::raw(json, 404, "application/json")
                                   << int(QNetworkReply::ContentNotFoundError) << json << 0 << qint64(-1);
        r = KoTestResponse::raw(json, 200, "application/json");
        r.closeAfter = 3;
        QTest::newRow("answer cut short")
            << r << int(QNetworkReply::RemoteHostClosedError) << QByteArray("{\"c") << 2 << qint64(-1);

        // A hostile phone's framing, byte for byte.
        auto verbatim = [](const QByteArray& bytes, bool stall) {
            KoTestResponse v;
            v.verbatim = bytes;
            (stall ? v.stallAfter : v.closeAfter) = bytes.size();
            return v;
        };
        QTest::newRow("two different lengths")
            << verbatim("HTTP/1.1 200 OK\r\nContent-Length: 10\r\nContent-Length: 3\r\n\r\n" + json, true)
            << int(QNetworkReply::ProtocolFailure) << QByteArray() << 2 << qint64(-1);
        QTest::newRow("chunk size near 2^63")
            << verbatim("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7ffffffffffffffe\r\n" + json
                            + "\r\n0\r\n\r\n",
                        false)
            << int(QNetworkReply::RemoteHostClosedError) << json + "\r\n0\r\n\r\n"
            << 2 << qint64(-1);
        QTest::newRow("chunk size line without end")
            << verbatim("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + QByteArray(1024 * 1024, '1'), true)
            << int(QNetworkReply::RemoteHostClosedError) << QByteArray() << 2 << qint64(-1);
        const qint64 cap = KoCommonUtil::kMaxJsonAnswer;
        const qint64 slack = 16LL * 1024 * 1024; // the sockets' buffers
        QTest::newRow("2 GiB chunk") << verbatim("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000000\r\n"
                                                     + QByteArray(int(cap + 2 * slack), 'x'),
                                                 true)
                                     << int(QNetworkReply::OperationCanceledError) << QByteArray() << 2
                                     << cap + slack;
        QByteArray interim;
        for (int i = 0; i < 100000; ++i)
            interim += "HTTP/1.1 100 Continue\r\n\r\n";
        QTest::newRow("100,000 interim answers")
            << verbatim(interim + "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n" + json, true)
            << int(QNetworkReply::ProtocolFailure) << QByteArray() << 2 << qint64(-1);
    }
    void answers()
    {
        QFETCH(KoTestResponse, response);
        QFETCH(int, error);
        QFETCH(QByteArray, body);
        QFETCH(int, connections);
        QFETCH(qint64, sentAtMost);
        m_server->setHandler([response](const KoTestRequest&) { return response; });
        const QString path = writeFile("answer.bin", 3000);
        m_probe->uploadHttpFile(path, url(), new KoReplyType(101004), nullptr, 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_probe->finishedTypes.size(), 1, 20000);
        QCOMPARE(int(m_probe->errors.first()), error);
        QCOMPARE(m_probe->bodies.first(), body);
        QVERIFY(m_probe->getReplyMap()->isEmpty());
        if (sentAtMost >= 0) {
            QTRY_VERIFY(!m_server->requests().isEmpty());
            QVERIFY2(m_server->requests().first().answerBodySent <= sentAtMost,
                     qPrintable(QString::number(m_server->requests().first().answerBodySent)));
        }
        if (connections == 0)
            return;
        // A connection serves the next request only after a whole, well-framed answer.
        m_server->setHandler([](const KoTestRequest&) { return KoTestResponse::json(QJsonObject{{"code", 0}}); });
        m_probe->uploadShortHttpFile(path, url(), new KoReplyType(101019), nullptr, 0);
        QTRY_COMPARE(m_probe->finishedTypes.size(), 2);
        QCOMPARE(m_probe->errors.last(), QNetworkReply::NoError);
        QCOMPARE(m_server->acceptedConnections(), connections);
    }

    void refusedConnectionFails()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        const QString path = writeFile("refused.bin", 100);
        m_probe->uploadHttpFile(path, QStringLiteral("http://127.0.0.1:%1/file/v2/uploadFile").arg(port),
                                new KoReplyType(101004), nullptr, 0);
        QTRY_COMPARE(m_probe->finishedTypes.size(), 1);
        QCOMPARE(m_probe->errors.first(), QNetworkReply::ConnectionRefusedError);
    }

    void abortDuringTheBodyFinishesOnce()
    {
        const QString path = writeFile("abort.bin", 32 * 1024 * 1024);
        int progressAfterAbort = 0;
        bool aborted = false;
        m_probe->uploadHook = [&](QNetworkReply* reply, qint64, qint64) {
            if (aborted) {
                ++progressAfterAbort;
                return;
            }
            aborted = true;
            reply->abort();
        };
        m_probe->uploadHttpFile(path, url(), new KoReplyType(101004), nullptr, 0);
        QTRY_COMPARE(m_probe->finishedTypes.size(), 1);
        QCOMPARE(m_probe->errors.first(), QNetworkReply::OperationCanceledError);
        QTest::qWait(200);
        QCOMPARE(m_probe->finishedTypes.size(), 1);
        QCOMPARE(progressAfterAbort, 0);
        QTRY_VERIFY(!m_server->requests().isEmpty());
        QVERIFY(m_server->requests().first().aborted);
    }
};

QTEST_GUILESS_MAIN(TestStreamUpload)
#include "tst_streamupload.moc"
