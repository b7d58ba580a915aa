#include "support/KoMultipartReader.h"
#include "support/KoTestHttpServer.h"

#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray patternBytes(int size, int seed)
{
    QByteArray b(size, Qt::Uninitialized);
    quint32 x = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = char(x >> 24);
    }
    return b;
}

QHttpPart filePart(const QByteArray& name, const QByteArray& filename, const QByteArray& data)
{
    QHttpPart p;
    p.setRawHeader("Content-Disposition", "form-data; name=\"" + name + "\"; filename=\"" + filename + "\"");
    p.setRawHeader("Content-Type", "application/octet-stream");
    p.setBody(data);
    return p;
}

} // namespace

class TestMultipart : public QObject
{
    Q_OBJECT

private:
    // Posts a form through QNetworkAccessManager and returns what the server received.
    KoTestRequest postForm(KoTestHttpServer& server, const QList<QHttpPart>& parts, QByteArray* boundary = nullptr)
    {
        server.setResponse("/upload", KoTestResponse::raw("ok"));
        QNetworkAccessManager nam;
        nam.setProxy(QNetworkProxy::NoProxy);
        auto* multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        for (const QHttpPart& p : parts)
            multi->append(p);
        if (boundary)
            *boundary = multi->boundary();
        QScopedPointer<QNetworkReply> reply(nam.post(QNetworkRequest(QUrl(server.baseUrl() + "/upload")), multi));
        multi->setParent(reply.data());
        QSignalSpy finished(reply.data(), &QNetworkReply::finished);
        if (!finished.wait(30000) || reply->error() != QNetworkReply::NoError || server.requests().isEmpty())
            return KoTestRequest();
        return server.requests().constLast();
    }

private slots:
    void parsesFormFromNetworkClient()
    {
        KoTestHttpServer server;
        QVERIFY(server.listen());
        QHttpPart field;
        field.setRawHeader("Content-Disposition", "form-data; name=\"path\"");
        field.setBody("/sdcard/DCIM/\xe7\x85\xa7\xe7\x89\x87");
        QByteArray boundary;
        // Content that looks like delimiters must survive.
        QByteArray tricky = "\r\n--\r\n--boundary\r\n" + patternBytes(5000, 3) + "\r\n-";
        const KoTestRequest r = postForm(server, {field, filePart("file", "a b.bin", tricky)}, &boundary);
        QVERIFY(!r.method.isEmpty());
        QCOMPARE(KoMultipartReader::boundaryFromContentType(r.header("content-type")), boundary);

        bool ok = false;
        const QList<KoMultipartPart> parts = KoMultipartReader::parse(r, &ok);
        QVERIFY(ok);
        QCOMPARE(parts.size(), 2);
        QCOMPARE(parts.at(0).name, QByteArray("path"));
        QVERIFY(parts.at(0).filename.isEmpty());
        QCOMPARE(parts.at(0).data, QByteArray("/sdcard/DCIM/\xe7\x85\xa7\xe7\x89\x87"));
        QCOMPARE(parts.at(1).name, QByteArray("file"));
        QCOMPARE(parts.at(1).filename, QByteArray("a b.bin"));
        QCOMPARE(parts.at(1).header("CONTENT-TYPE"), QByteArray("application/octet-stream"));
        QCOMPARE(parts.at(1).data, tricky);
        QCOMPARE(parts.at(1).dataLength, qint64(tricky.size()));
        QCOMPARE(r.body.mid(int(parts.at(1).dataOffset), int(parts.at(1).dataLength)), tricky);

        // Any slicing of the stream gives the same parts.
        KoMultipartReader sliced(boundary);
        for (int i = 0; i < r.body.size(); i += 7)
            sliced.feed(r.body.mid(i, 7));
        QVERIFY(sliced.isComplete());
        QVERIFY(!sliced.hasError());
        QCOMPARE(sliced.parts().size(), 2);
        QCOMPARE(sliced.parts().at(1).data, tricky);
        QCOMPARE(sliced.parts().at(0).data, parts.at(0).data);
    }

    void parsesSpilledLargeBody()
    {
        KoTestHttpServer server;
        server.setSpillThreshold(256 * 1024);
        QVERIFY(server.listen());
        const QByteArray big = patternBytes(5 * 1024 * 1024 + 3, 4);
        QHttpPart field;
        field.setRawHeader("Content-Disposition", "form-data; name=\"md5\"");
        field.setBody("abc");
        const KoTestRequest r = postForm(server,
                                         {field, filePart("file", "big.bin", big), filePart("tail", "t", "z")});
        QVERIFY(!r.bodyFile.isEmpty());
        QVERIFY(r.body.isEmpty());

        bool ok = false;
        const QList<KoMultipartPart> parts = KoMultipartReader::parse(r, &ok);
        QVERIFY(ok);
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts.at(0).data, QByteArray("abc"));
        QVERIFY(parts.at(0).dataFile.isEmpty());
        // The large part stays in the file and is addressed by offset and length.
        const KoMultipartPart& file = parts.at(1);
        QCOMPARE(file.dataFile, r.bodyFile);
        QVERIFY(file.data.isEmpty());
        QCOMPARE(file.dataLength, qint64(big.size()));
        QVERIFY(file.content() == big);
        QTemporaryDir dir;
        QVERIFY(file.saveTo(dir.filePath("out.bin")));
        QFile out(dir.filePath("out.bin"));
        QVERIFY(out.open(QIODevice::ReadOnly));
        QVERIFY(out.readAll() == big);
        QCOMPARE(parts.at(2).content(), QByteArray("z"));
    }

    void truncatedOrWrongBodyIsNotOk()
    {
        const QByteArray body = "--x\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nvalue\r\n--x--\r\n";
        bool ok = false;
        KoMultipartReader::parse(body, "x", &ok);
        QVERIFY(ok);
        for (int cut : {3, 10, body.size() - 12, body.size() - 3}) {
            ok = true;
            KoMultipartReader::parse(body.left(cut), "x", &ok);
            QVERIFY2(!ok, qPrintable(QString::number(cut)));
        }
        ok = true;
        KoMultipartReader::parse(body, "y", &ok);
        QVERIFY(!ok);
        ok = true;
        KoMultipartReader::parse(body, QByteArray(), &ok);
        QVERIFY(!ok);
    }
};

QTEST_GUILESS_MAIN(TestMultipart)
#include "tst_multipart.moc"
