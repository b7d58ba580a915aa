// Multipart file uploads as the server receives them, byte for byte.

#include "KoUploadTestBase.h"

#include "support/KoMultipartReader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtTest>

class TestUpload : public KoUploadTestBase
{
    Q_OBJECT

private:
    static QByteArray expectedBody(const QByteArray& name, const QByteArray& content)
    {
        const QByteArray boundary = "----WebKitFormBoundaryw9d1v2FahuvheWBA";
        return "--" + boundary + "\r\n" + "Content-Type: application/x-object\r\n"
            + "Content-Disposition: form-data; name=\"files[]\"; filename=\"" + name + "\"\r\n\r\n" + content
            + "\r\n--" + boundary + "--\r\n";
    }
    // No request of the server saw a whole body.
    bool noCompleteRequest() const
    {
        for (const KoTestRequest& r : m_server->requests()) {
            if (!r.aborted)
                return false;
        }
        return true;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init() { QVERIFY(startServer()); }
    void cleanup() { stopServer(); }
    void cleanupTestCase() { stopNetwork(); }

    void bodyIsExact_data()
    {
        QTest::addColumn<bool>("inMemory");
        QTest::addColumn<int>("size");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<int>("start");
        for (bool mem : {false, true}) {
            const char* tag = mem ? "memory" : "stream";
            QTest::addRow("%s whole", tag) << mem << 1000 << qint64(0) << 0;
            QTest::addRow("%s from offset", tag) << mem << 1000 << qint64(313) << 313;
            QTest::addRow("%s offset at end", tag) << mem << 1000 << qint64(1000) << 1000;
            QTest::addRow("%s offset beyond size", tag) << mem << 1000 << qint64(5000000000LL) << 1000;
            QTest::addRow("%s negative offset", tag) << mem << 1000 << qint64(-20) << 0;
            QTest::addRow("%s empty file", tag) << mem << 0 << qint64(0) << 0;
        }
    }
    void bodyIsExact()
    {
        QFETCH(bool, inMemory);
        QFETCH(int, size);
        QFETCH(qint64, offset);
        QFETCH(int, start);
        const QString name = QString::fromUtf8("照片 1.bin");
        const QByteArray content = pattern(size);
        const QString path = writeFile(name, content);
        QVERIFY(!path.isEmpty());
        QMap<QString, QString> headers{{"offset", QString::number(offset)}, {"path", "L3Bob3Rv"}};
        auto* record = (new KoReplyType(inMemory ? 101019 : 101004))->setId(9);
        const QString url = m_server->baseUrl() + "/file/v2/uploadFile";
        if (inMemory)
            m_probe->uploadShortHttpFile(path, url, record, &headers, offset);
        else
            m_probe->uploadHttpFile(path, url, record, &headers, offset);
        QVERIFY(m_server->waitForRequests(1));
        QTRY_COMPARE(m_probe->finishedTypes.size(), 1);
        QCOMPARE(m_probe->errors.first(), QNetworkReply::NoError);
        QVERIFY(m_probe->getReplyMap()->isEmpty());

        const KoTestRequest req = m_server->requests().first();
        QVERIFY(!req.aborted);
        QCOMPARE((QByteArrayList{req.method, req.header("offset"), req.header("user-agent")}),
                 (QByteArrayList{"POST", QByteArray::number(offset), "ReRaze/3.2.0 (Mac)"}));
        const QByteArray nameUtf8 = name.toUtf8();
        const QByteArray part = content.mid(start);
        const qint64 promised = req.header("content-length").toLongLong();
        QCOMPARE(promised, qint64(part.size()) + nameUtf8.size() + 187);
        QCOMPARE(req.bodySize, promised);
        QCOMPARE(req.bodyBytes(), expectedBody(nameUtf8, part));
        QVERIFY(req.header("content-type").startsWith("multipart/form-data"));
        QCOMPARE(KoMultipartReader::boundaryFromContentType(req.header("content-type")),
                 QByteArray("----WebKitFormBoundaryw9d1v2FahuvheWBA"));
        if (!part.isEmpty()) {
            QVERIFY(!m_probe->uploads.isEmpty());
            QCOMPARE(m_probe->uploads.last().done, promised);
        }
        for (const auto& u : qAsConst(m_probe->uploads))
            QVERIFY(u.total > 0);
    }

    void quoteAndLineBreakInANameStayInsideThePartHeader()
    {
        const QString path = writeFile(QString::fromUtf8("a\"b\r\nX-Evil: 1.bin"), "data");
        QVERIFY(!path.isEmpty());
        QMap<QString, QString> headers;
        m_probe->uploadHttpFile(path, m_server->baseUrl() + "/file/v2/uploadFile",
                                (new KoReplyType(101004))->setId(1), &headers, 0);
        QVERIFY(m_server->waitForRequests(1));
        QTRY_COMPARE(m_probe->finishedTypes.size(), 1);
        const KoTestRequest req = m_server->requests().first();
        const QByteArray escaped = "a%22b%0D%0AX-Evil: 1.bin";
        QCOMPARE(req.bodyBytes(), expectedBody(escaped, "data"));
        QCOMPARE(req.header("content-length").toLongLong(), qint64(4 + escaped.size() + 187));
    }

    void largeStreamedUploadFromOffset()
    {
        const qint64 size = 24 * 1024 * 1024 + 17;
        const qint64 offset = 5 * 1024 * 1024 + 3;
        const QByteArray content = pattern(size);
        const QString path = writeFile("big.bin", content);
        QVERIFY(!path.isEmpty());
        m_probe->uploadHttpFile(path, m_server->baseUrl() + "/reraze/reraze/file", new KoReplyType(203004), nullptr,
                                offset);
        QTRY_VERIFY_WITH_TIMEOUT(m_probe->finishedTypes.size() == 1, 120000);
        QCOMPARE(m_probe->errors.first(), QNetworkReply::NoError);
        const KoTestRequest req = m_server->requests().first();
        const qint64 expected = size - offset + 7 + 187;
        QCOMPARE(req.header("content-length").toLongLong(), expected);
        QCOMPARE(req.bodySize, expected);
        bool ok = false;
        const QList<KoMultipartPart> parts = KoMultipartReader::parse(req, &ok);
        QVERIFY(ok);
        QCOMPARE(parts.size(), 1);
        QCOMPARE(parts.first().dataLength, size - offset);
        const QByteArray got = parts.first().content();
        QCOMPARE(QCryptographicHash::hash(got, QCryptographicHash::Md5),
                 QCryptographicHash::hash(content.mid(int(offset)), QCryptographicHash::Md5));
        QVERIFY(m_probe->uploads.size() > 1);
        QCOMPARE(m_probe->uploads.last().done, expected);
        QCOMPARE(m_probe->uploads.last().total, expected);
    }

    void fileShrinkingDuringUploadFailsTheRequest()
    {
        const qint64 size = 48 * 1024 * 1024;
        const QString path = writeFile("shrinks.bin", pattern(size));
        QVERIFY(!path.isEmpty());
        bool truncated = false;
        m_probe->uploadHook = [&](QNetworkReply*, qint64, qint64) {
            if (!truncated) {
                truncated = true;
                QVERIFY(QFile::resize(path, 1024 * 1024));
            }
        };
        m_probe->uploadHttpFile(path, m_server->baseUrl() + "/file/v2/uploadFile", new KoReplyType(101004), nullptr,
                                0);
        QTRY_VERIFY_WITH_TIMEOUT(m_probe->finishedTypes.size() == 1, 120000);
        QVERIFY(truncated);
        QVERIFY(m_probe->errors.first() != QNetworkReply::NoError);
        QVERIFY(m_probe->getReplyMap()->isEmpty());
        QTRY_VERIFY(!m_server->requests().isEmpty());
        QVERIFY(noCompleteRequest());
    }

    void unreadableFileFailsTheRequest_data()
    {
        QTest::addColumn<bool>("inMemory");
        QTest::newRow("stream") << false;
        QTest::newRow("memory") << true;
    }
    void unreadableFileFailsTheRequest()
    {
        QFETCH(bool, inMemory);
        const QString path = m_dir.filePath("missing.bin");
        const QString url = m_server->baseUrl() + "/file/v2/uploadFile";
        if (inMemory)
            m_probe->uploadShortHttpFile(path, url, new KoReplyType(101019), nullptr, 0);
        else
            m_probe->uploadHttpFile(path, url, new KoReplyType(101004), nullptr, 0);
        QTRY_COMPARE(m_probe->finishedTypes.size(), 1);
        QVERIFY(m_probe->errors.first() != QNetworkReply::NoError);
        QVERIFY(noCompleteRequest());
    }
};

QTEST_GUILESS_MAIN(TestUpload)
#include "tst_upload.moc"
