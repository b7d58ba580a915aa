// Transfer records: ownership, the transfer-list JSON line and corrupt lines.
#include <QtTest>

#include "model/KoFileConvertInfo.h"
#include "model/KoFileCopyInfo.h"
#include "model/KoFileDownloadInfo.h"
#include "model/KoFileMimeType.h"
#include "model/KoFileUploadInfo.h"
#include "model/KoLocalFile.h"
#include "model/KoRemoteFile.h"

namespace {

const char* const kDownloadLine =
    "{\"category\":9,\"checksum\":\"0123456789ABCDEF0123456789ABCDEF\",\"convertedSize\":1024,\"csVersion\":1,"
    "\"deviceId\":\"a1b2c3d4\",\"deviceName\":\"Mi 10\",\"deviceType\":2,\"fileName\":\"IMG_1.jpg\","
    "\"fileType\":76,\"finishedTime\":0,\"haveRead\":1024,\"localPath\":\"/Users/me/Downloads/IMG_1.jpg\","
    "\"progress\":50,\"remotePath\":\"/storage/emulated/0/DCIM/Camera/IMG_1.jpg\",\"remoteServer\":\"\","
    "\"state\":4,\"totalSize\":2048,\"type\":0,\"uid\":1001,\"unick\":\"小明\",\"version\":1}";

QString uploadLine(const QString& localPath)
{
    return QStringLiteral(
               "{\"category\":1,\"convertedSize\":300,\"deviceId\":\"IPHONE-XYZ\",\"deviceName\":\"iPhone 12\","
               "\"deviceType\":3,\"fileName\":\"合同 v2.docx\",\"fileType\":84,\"finishedTime\":1700000000123,"
               "\"haveRead\":0,\"localPath\":\"%1\",\"progress\":100,\"remotePath\":\"/我的vu/docs\","
               "\"remoteServer\":\"\",\"state\":2,\"totalSize\":300,\"type\":1,\"uid\":1001,\"unick\":\"小红\","
               "\"uploadFid\":\"9F86D081884C7D659A2FEAA0C55AD015\",\"version\":1}")
        .arg(localPath);
}

} // namespace

class TestTransferRecords : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase()
    {
        if (KoFileMimeType::hasInstance())
            delete KoFileMimeType::getInstance();
    }
    void progressIsClamped()
    {
        KoFileConvertInfo record(1, 0, 0, QString(), QString(), 0, 1);
        record.setProgress(150);
        QCOMPARE(record.getProgress(), 100);
        record.setProgress(-3);
        QCOMPARE(record.getProgress(), 0);
    }
    // A stored line loads as its kind and is written back to the very same line: every key, exactly.
    void storedLinesComeBackTheSame_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("download");
        QTest::addColumn<qint64>("totalSize");
        const QString download = QString::fromUtf8(kDownloadLine);
        QTest::newRow("download") << download << true << qint64(2048);
        // The stored size stays; the missing file does not turn it into 0.
        QTest::newRow("upload of a file now gone")
            << uploadLine(QStringLiteral("/nonexistent/dir/合同 v2.docx")) << false << qint64(300);
        // JSON numbers are exact up to 2^53 bytes (8 PiB), far beyond any phone file.
        QString huge = download;
        huge.replace(QStringLiteral("\"totalSize\":2048"), QStringLiteral("\"totalSize\":9007199254740991"));
        huge.replace(QStringLiteral("\"haveRead\":1024"), QStringLiteral("\"haveRead\":9007199254740990"));
        huge.replace(QStringLiteral("\"convertedSize\":1024"), QStringLiteral("\"convertedSize\":5368709120"));
        QTest::newRow("sizes beyond 32 bits") << huge << true << qint64(9007199254740991LL);
    }
    void storedLinesComeBackTheSame()
    {
        QFETCH(QString, line);
        QFETCH(bool, download);
        QFETCH(qint64, totalSize);
        QObject owner;
        KoFileConvertInfo* loaded = KoFileConvertInfo::getConvertInfoFromJson(11, line, &owner);
        QVERIFY(loaded);
        QCOMPARE(loaded->parent(), &owner);
        QCOMPARE(qobject_cast<KoFileDownloadInfo*>(loaded) != nullptr, download);
        QCOMPARE(qobject_cast<KoFileUploadInfo*>(loaded) != nullptr, !download);
        QCOMPARE(loaded->getTotalSize(), totalSize);
        QCOMPARE(KoFileConvertInfo::getJsonFromConvertInfo(loaded), line);
    }
    void uploadJsonExactKeysAndRoundTrip()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("合同 v2.docx"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(300, 'd'));
        f.close();

        KoFileUploadInfo record(3, new KoLocalFile(path), 1, QStringLiteral("/我的vu/docs"), 1001, 3,
                                QStringLiteral("IPHONE-XYZ"));
        record.setUploadFid(QStringLiteral("9F86D081884C7D659A2FEAA0C55AD015"));
        record.setConvertState(2);
        record.setProgress(100);
        record.setConvertedSize(300);
        record.setDeviceName(QStringLiteral("iPhone 12"));
        record.setUsrNick(QStringLiteral("小红"));
        record.setFinishedTime(1700000000123LL);
        const QString line = KoFileConvertInfo::getJsonFromConvertInfo(&record);
        QCOMPARE(line, uploadLine(path));

        QScopedPointer<KoFileConvertInfo> loaded(KoFileConvertInfo::getConvertInfoFromJson(0, line));
        auto* upload = qobject_cast<KoFileUploadInfo*>(loaded.data());
        QVERIFY(upload);
        QCOMPARE(upload->getLocalFile()->getPath(), path);
        QCOMPARE(KoFileConvertInfo::getJsonFromConvertInfo(upload), line);
    }
    void displayNameSurvivesRoundTrip()
    {
        // An album photo: the path is an id, the name comes from the display name.
        auto* file = new KoRemoteFile(QString(), QStringLiteral("6F3A2B1C/L0/001"), 200, 10, 0,
                                      QStringLiteral("IMG_0001.HEIC"));
        KoFileDownloadInfo record(1, 5, 3, QStringLiteral("ios"), 2, file, QStringLiteral("/tmp/IMG_0001.HEIC"));
        const QString line = KoFileConvertInfo::getJsonFromConvertInfo(&record);
        QScopedPointer<KoFileConvertInfo> loaded(KoFileConvertInfo::getConvertInfoFromJson(2, line));
        auto* download = qobject_cast<KoFileDownloadInfo*>(loaded.data());
        QVERIFY(download);
        QCOMPARE(download->getRemoteFile()->getFullName(), QStringLiteral("IMG_0001.HEIC"));
        QCOMPARE(KoFileConvertInfo::getJsonFromConvertInfo(download), line);
    }
    void otherKindsGiveNoLine()
    {
        QCOMPARE(KoFileConvertInfo::getJsonFromConvertInfo(nullptr), QString());
        KoFileCopyInfo copy(1, new KoRemoteFile(QString(), QStringLiteral("/a/b"), 0, 10, 0, QString()), QString(),
                            5);
        QCOMPARE(KoFileConvertInfo::getJsonFromConvertInfo(&copy), QString());
        KoFileConvertInfo bare(1, 0, 0, QString(), QString(), 0, 1); // kind 0 but not a download record
        QCOMPARE(KoFileConvertInfo::getJsonFromConvertInfo(&bare), QString());
        KoFileConvertInfo v2(1, 0, 0, QString(), QString(), 0, 2);
        QCOMPARE(KoFileConvertInfo::getJsonFromConvertInfo(&v2), QString());
    }
    void corruptLines_data()
    {
        QTest::addColumn<QString>("line");
        const QString good = QString::fromUtf8(kDownloadLine);
        auto replaced = [&](const char* from, const char* to) {
            QString s = good;
            s.replace(QString::fromUtf8(from), QString::fromUtf8(to));
            Q_ASSERT(s != good);
            return s;
        };
        auto removed = [&](const char* keyValue) { return replaced(keyValue, ""); };

        QTest::newRow("empty") << QString();
        QTest::newRow("text") << QStringLiteral("not json");
        QTest::newRow("empty object") << QStringLiteral("{}");
        QTest::newRow("truncated half") << good.left(good.size() / 2);
        QTest::newRow("trailing garbage") << good + QStringLiteral("xyz");
        QTest::newRow("copy kind") << replaced("\"type\":0", "\"type\":2");
        QTest::newRow("version 2") << replaced("\"version\":1", "\"version\":2");
        QTest::newRow("state out of range") << replaced("\"state\":4", "\"state\":9");
        QTest::newRow("size as text") << replaced("\"totalSize\":2048", "\"totalSize\":\"2048\"");
        QTest::newRow("uid beyond int") << replaced("\"uid\":1001", "\"uid\":1e20");
        QTest::newRow("device id as number") << replaced("\"deviceId\":\"a1b2c3d4\"", "\"deviceId\":5");
        QTest::newRow("local path as object")
            << replaced("\"localPath\":\"/Users/me/Downloads/IMG_1.jpg\"", "\"localPath\":{}");
        QTest::newRow("no checksum") << removed("\"checksum\":\"0123456789ABCDEF0123456789ABCDEF\",");
        QTest::newRow("no version") << removed(",\"version\":1");
        QTest::newRow("upload without fid") << replaced("\"type\":0", "\"type\":1");
        QTest::newRow("binary") << QString::fromLatin1("\x01\x02{\"type\":0}");
    }
    void corruptLines()
    {
        QFETCH(QString, line);
        QObject owner;
        KoFileConvertInfo* record = KoFileConvertInfo::getConvertInfoFromJson(1, line, &owner);
        QVERIFY(!record);
        QVERIFY(owner.children().isEmpty());
    }
    void copyProgress_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("copied");
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("state");
        QTest::newRow("zero-byte file, nothing copied") << qint64(0) << qint64(0) << 100 << 2;
        QTest::newRow("half") << qint64(1000) << qint64(500) << 50 << 1;
        QTest::newRow("truncated percent") << qint64(3) << qint64(2) << 66 << 1;
        QTest::newRow("over") << qint64(1000) << qint64(1500) << 100 << 2;
        QTest::newRow("negative copied") << qint64(1000) << qint64(-5) << 0 << 1;
        QTest::newRow("huge") << qint64(9000000000000000000LL) << qint64(8000000000000000000LL) << 88 << 1;
    }
    void copyProgress()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, copied);
        QFETCH(int, percent);
        QFETCH(int, state);
        auto* file = new KoRemoteFile(QStringLiteral("http://10.0.0.3:80"), QStringLiteral("/sdcard/a.bin"), -1, size,
                                      quint64(-1), QString());
        KoFileCopyInfo record(21, file, QStringLiteral("http://10.0.0.3:80"), copied);
        QCOMPARE(record.getProgress(), percent);
        QCOMPARE(record.getConvertState(), state);
    }
    void recordsDeleteTheirFilesOnce()
    {
        // A file handed over together with a parent of its own is still freed once: by the record.
        auto* fileParent = new QObject;
        auto* file = new KoRemoteFile(QString(), QStringLiteral("/a/b.txt"), 500, 1, 1, QString());
        file->setParent(fileParent);
        QPointer<KoRemoteFile> watch(file);
        auto* owner = new QObject;
        new KoFileDownloadInfo(1, 0, 0, QString(), 9, file, QStringLiteral("/tmp/b.txt"), owner);
        delete fileParent;
        QVERIFY(watch);
        delete owner; // deletes the record, which deletes the file
        QVERIFY(!watch);

        KoFileCopyInfo nullCopy(1, nullptr, QString(), 0);
        QCOMPARE(nullCopy.getProgress(), 100);
        KoFileDownloadInfo nullDownload(1, 0, 0, QString(), 0, nullptr, QString());
        const QString line = KoFileConvertInfo::getJsonFromConvertInfo(&nullDownload);
        QVERIFY(line.contains(QStringLiteral("\"remotePath\":\"\"")));
    }
};

QTEST_GUILESS_MAIN(TestTransferRecords)
#include "tst_transferrecords.moc"
