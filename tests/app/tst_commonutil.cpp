#include <QtTest>

#include "support/KoFakeLauncher.h"
#include "support/KoTestFiles.h"

using KoTestFiles::readFile;
using KoTestFiles::writeFile;

#include "app/KoCommonUtil.h"
#include "app/KoSettings.h"
#include "app/KoThisMachineInfo.h"

#include <QNetworkReply>
#include <QPainter>

#include <qrcodegen.hpp>

#include <sys/stat.h>
#include <unistd.h>

// A finished (or still running) reply over fixed bytes, standing in for the network.
class BufferReply : public QNetworkReply
{
public:
    BufferReply(const QByteArray& body, qint64 declaredLength)
        : m_body(body)
    {
        if (declaredLength >= 0)
            setHeader(QNetworkRequest::ContentLengthHeader, declaredLength);
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        setFinished(true);
    }
    void abort() override { }
    qint64 bytesAvailable() const override { return m_body.size() - m_pos + QNetworkReply::bytesAvailable(); }
    bool isSequential() const override { return true; }
    // The most bytes a caller asked for at once (what it had to make room for).
    qint64 largestRead = 0;

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        largestRead = qMax(largestRead, maxSize);
        const qint64 n = qMin(maxSize, qint64(m_body.size()) - m_pos);
        if (n <= 0)
            return -1;
        memcpy(data, m_body.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }

private:
    QByteArray m_body;
    qint64 m_pos = 0;
};

static ino_t inodeOf(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_ino;
}

class TestCommonUtil : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_home;

private slots:
    void initTestCase()
    {
        // The QR text reads this computer's identity, which lives in the settings.
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toLocal8Bit());
    }

    void sizeTexts_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("negative") << qint64(-1) << QString();
        QTest::newRow("1023") << qint64(1023) << QString("1023B");
        QTest::newRow("1024") << qint64(1024) << QString("1.00KB");
        // Still below 1024 KB before rounding to two decimals.
        QTest::newRow("1048575") << qint64(1048575) << QString("1024.00KB");
        QTest::newRow("1048576") << qint64(1048576) << QString("1.00MB");
        QTest::newRow("5GB") << qint64(5) * 1073741824 << QString("5.00GB");
        QTest::newRow("2TB") << qint64(2048) * 1073741824 << QString("2048.00GB");
    }
    void sizeTexts()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(KoCommonUtil::getFileSizeStringFromLong(bytes), text);
    }

    void fileNameCheck()
    {
        QVERIFY(KoCommonUtil::isValidFileName("report 1.txt"));
        QVERIFY(KoCommonUtil::isValidFileName(QString::fromUtf8("照片\\a")));
        for (const char* bad : {"", "..", "a/b", "a:b", "a|b", "a\"b"})
            QVERIFY2(!KoCommonUtil::isValidFileName(bad), bad);
    }

    void dragPayloadRoundTrip()
    {
        const QStringList paths{"/sdcard/DCIM/a.jpg", QString::fromUtf8("/sdcard/文档/b c.txt"), "/x\\y\"z"};
        const QByteArray data = KoCommonUtil::getKoDragDataFromPathList(paths);
        QVERIFY(!data.contains('\n'));
        QCOMPARE(QJsonDocument::fromJson(data).object().keys(), QStringList{"path"});
        QCOMPARE(KoCommonUtil::getPathListFromKoDragData(data), paths);
    }

    void dragPayloadBadInput_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("paths");
        QTest::newRow("empty") << QByteArray() << QStringList();
        QTest::newRow("not json") << QByteArray("path=/a") << QStringList();
        QTest::newRow("truncated") << QByteArray("{\"path\":[\"/a\"") << QStringList();
        QTest::newRow("array") << QByteArray("[\"/a\",\"/b\"]") << QStringList();
        QTest::newRow("missing key") << QByteArray("{\"paths\":[\"/a\"]}") << QStringList();
        QTest::newRow("path not array") << QByteArray("{\"path\":\"/a\"}") << QStringList();
        // An empty path must never reach a move: non-strings and "" are skipped.
        QTest::newRow("non-strings") << QByteArray("{\"path\":[1,\"/b\",null,\"\",{\"x\":1},[\"/c\"]]}")
                                     << QStringList{"/b"};
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe{", 4) << QStringList();
    }
    void dragPayloadBadInput()
    {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, paths);
        QCOMPARE(KoCommonUtil::getPathListFromKoDragData(data), paths);
    }

    void readAllTakesTheBodyOnly()
    {
        // A body shorter than announced stays short: no zero bytes appended.
        BufferReply shortBody("{\"a\":1}", 100);
        QCOMPARE(KoCommonUtil::readAll(&shortBody), QByteArray("{\"a\":1}"));
        // Every JSON answer passes through here: no room for the largest allowed body each time.
        BufferReply noHeader("{\"b\":2}", -1);
        QCOMPARE(KoCommonUtil::readAll(&noHeader), QByteArray("{\"b\":2}"));
        QVERIFY2(noHeader.largestRead <= 64 * 1024, QByteArray::number(noHeader.largestRead).constData());
        QVERIFY(KoCommonUtil::readAll(nullptr).isEmpty());

        BufferReply declared("{}", KoCommonUtil::kMaxJsonAnswer + 1);
        QVERIFY(KoCommonUtil::readAll(&declared).isEmpty());
        BufferReply received(QByteArray(int(KoCommonUtil::kMaxJsonAnswer) + 1, ' '), -1);
        QVERIFY(KoCommonUtil::readAll(&received).isEmpty());
    }

    void qrImageHoldsTheCode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("size");
        QTest::newRow("pairing") << KoCommonUtil::getQrJson("192.168.1.20", 123456) << 154;
        QTest::newRow("odd size") << QString::fromUtf8("配对 text") << 201;
    }
    void qrImageHoldsTheCode()
    {
        QFETCH(QString, text);
        QFETCH(int, size);
        const QPixmap pixmap = KoCommonUtil::getQrcode(text, size);
        QCOMPARE(pixmap.size(), QSize(size, size));
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_RGB32);

        const QByteArray utf8 = text.toUtf8();
        const qrcodegen::QrCode qr = qrcodegen::QrCode::encodeText(utf8.constData(), qrcodegen::QrCode::Ecc::MEDIUM);
        const int modules = qr.getSize();

        int minX = size, minY = size, maxX = -1, maxY = -1;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const QRgb p = image.pixel(x, y);
                QVERIFY2(p == qRgb(0, 0, 0) || p == qRgb(255, 255, 255), "only black and white");
                if (p == qRgb(0, 0, 0)) {
                    minX = qMin(minX, x);
                    maxX = qMax(maxX, x);
                    minY = qMin(minY, y);
                    maxY = qMax(maxY, y);
                }
            }
        }
        const int width = maxX - minX + 1;
        QCOMPARE(maxY - minY + 1, width);
        QCOMPARE(width % modules, 0);
        const int scale = width / modules;
        QVERIFY(scale >= 1);
        // Quiet margin of at least two modules, and centred within a pixel.
        QVERIFY(minX >= 2 * scale && minY >= 2 * scale);
        QVERIFY(qAbs(minX - (size - 1 - maxX)) <= 1);
        QVERIFY(qAbs(minY - (size - 1 - maxY)) <= 1);
        for (int my = 0; my < modules; ++my) {
            for (int mx = 0; mx < modules; ++mx) {
                const bool dark = image.pixel(minX + mx * scale + scale / 2, minY + my * scale + scale / 2)
                    == qRgb(0, 0, 0);
                QCOMPARE(dark, qr.getModule(mx, my));
            }
        }
    }

    void qrImageOfUnencodableText()
    {
        QCOMPARE(KoCommonUtil::getQrcode(QString(5000, 'x'), 100).size(), QSize(100, 100));
    }

    void qrJsonCarriesAddressAndKey()
    {
        const QJsonObject o = KoCommonUtil::stringToJson(KoCommonUtil::getQrJson("10.0.0.7", 42));
        QCOMPARE(o.value("ip").toString(), QString("10.0.0.7"));
        QCOMPARE(o.value("key").toInt(), 42);
        QVERIFY(o.value("deviceId").toString().startsWith("Mac_"));
        QVERIFY(o.value("deviceName").toString().startsWith(QString::fromUtf8("我的Mac_")));
    }

    void renameReplacesTargetAtomically()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("movie.mp4");
        const QString partial = target + ".ReRazeDownload";
        QVERIFY(writeFile(target, "old content"));
        // A second name for the old file shows whether it was truncated in place.
        const QString oldLink = dir.filePath("old-link");
        QVERIFY(::link(QFile::encodeName(target).constData(), QFile::encodeName(oldLink).constData()) == 0);

        QFile* file = new QFile(partial);
        QVERIFY(file->open(QIODevice::WriteOnly));
        file->write("new complete content");
        const ino_t partialInode = inodeOf(partial);

        QVERIFY(KoCommonUtil::renameKoDownloadSuffixFile(file, target, "scratch"));
        QVERIFY(!file->isOpen());
        delete file;
        QCOMPARE(readFile(target), QByteArray("new complete content"));
        QCOMPARE(inodeOf(target), partialInode);
        QCOMPARE(readFile(oldLink), QByteArray("old content"));
        QVERIFY(!QFile::exists(partial));
        // No scratch file left in the application-data folder.
        QVERIFY(!QFile::exists(KoCommonUtil::getAppDataDir() + "/scratch"));
    }

    void renameRefusesDirectoryTarget()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("folder");
        QVERIFY(QDir().mkpath(target + "/inner"));
        QVERIFY(writeFile(target + "/inner/keep.txt", "keep"));
        QVERIFY(writeFile(target + ".ReRazeDownload", "partial"));
        QFile file(target + ".ReRazeDownload");
        QVERIFY(!KoCommonUtil::renameKoDownloadSuffixFile(&file, target, "x"));
        QCOMPARE(readFile(target + "/inner/keep.txt"), QByteArray("keep"));
        QCOMPARE(readFile(target + ".ReRazeDownload"), QByteArray("partial"));

        // An empty folder is refused too.
        const QString empty = dir.filePath("empty");
        QVERIFY(QDir().mkpath(empty));
        QVERIFY(!KoCommonUtil::renameKoDownloadSuffixFile(&file, empty, "x"));
        QVERIFY(QFileInfo(empty).isDir());
    }

    void renameFailuresLeaveThingsAlone()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("t.txt");
        QVERIFY(writeFile(target, "old"));
        QVERIFY(!KoCommonUtil::renameKoDownloadSuffixFile(nullptr, target, "x"));
        QFile missing(dir.filePath("missing.ReRazeDownload"));
        QVERIFY(!KoCommonUtil::renameKoDownloadSuffixFile(&missing, target, "x"));
        QCOMPARE(readFile(target), QByteArray("old"));
        QFile partial(dir.filePath("p"));
        QVERIFY(writeFile(partial.fileName(), "p"));
        QVERIFY(!KoCommonUtil::renameKoDownloadSuffixFile(&partial, dir.filePath("no/such/t"), "x"));
        QVERIFY(QFile::exists(partial.fileName()));
    }

    void removeAllFilesKeepsFolder()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("thumbnail");
        QVERIFY(QDir().mkpath(root + "/sub/deeper"));
        QVERIFY(QDir().mkpath(root + "/.hiddenDir"));
        QVERIFY(writeFile(root + "/a.png", "a"));
        QVERIFY(writeFile(root + "/.hidden", "h"));
        QVERIFY(writeFile(root + "/sub/b.png", "b"));
        QVERIFY(writeFile(root + "/sub/deeper/.c", "c"));
        QVERIFY(writeFile(root + "/.hiddenDir/d", "d"));
        // A link to a folder elsewhere is never followed.
        const QString outside = dir.filePath("outside");
        QVERIFY(QDir().mkpath(outside));
        QVERIFY(writeFile(outside + "/precious", "p"));
        QVERIFY(QFile::link(outside, root + "/link"));

        KoCommonUtil::removeAllFilesOfDir(root);
        QVERIFY(QFileInfo(root).isDir());
        QCOMPARE(readFile(outside + "/precious"), QByteArray("p"));
        const QStringList left = QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                      | QDir::NoDotAndDotDot);
        QCOMPARE(left, QStringList{"link"});

        KoCommonUtil::removeAllFilesOfDir(dir.filePath("missing"));
        KoCommonUtil::removeAllFilesOfDir(QString());
    }

    void setModifiedTime()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("f.txt");
        QVERIFY(writeFile(path, "x"));
        const QDateTime when(QDate(2020, 1, 2), QTime(3, 4, 5, 678), Qt::LocalTime);
        QVERIFY(KoCommonUtil::setModifiedTime(when, path));
        QCOMPARE(QFileInfo(path).lastModified(), QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::LocalTime));
        QCOMPARE(readFile(path), QByteArray("x"));

        QVERIFY(!KoCommonUtil::setModifiedTime(QDateTime(), path));
        QVERIFY(!KoCommonUtil::setModifiedTime(when, dir.filePath("missing")));
        QVERIFY(!QFile::exists(dir.filePath("missing")));

        // It must not run the event loop under its caller.
        bool ran = false;
        QTimer::singleShot(0, this, [&ran] { ran = true; });
        QVERIFY(KoCommonUtil::setModifiedTime(QDateTime::currentDateTime(), path));
        QVERIFY(!ran);
        QTRY_VERIFY(ran);
    }

    void makeSureParentExistAndMkdir()
    {
        QTemporaryDir dir;
        KoCommonUtil::makeSureParentExist(dir.filePath("a/b/c/file.txt"));
        QVERIFY(QFileInfo(dir.filePath("a/b/c")).isDir());
        QVERIFY(!QFile::exists(dir.filePath("a/b/c/file.txt")));

        KoCommonUtil::makeSureParentExist(dir.filePath("x/y/z/"));
        QVERIFY(QFileInfo(dir.filePath("x/y")).isDir());
        QVERIFY(!QFile::exists(dir.filePath("x/y/z")));

        // Deleting a file never takes a folder with it.
        KoCommonUtil::deleteFile(dir.filePath("a/b"));
        QVERIFY(QFileInfo(dir.filePath("a/b")).isDir());
    }

    void badgeTextStaysInsideTheCircle_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("5") << 5;
        QTest::newRow("999") << 999;
        QTest::newRow("999+") << 1000;
    }
    void badgeTextStaysInsideTheCircle()
    {
        QFETCH(int, count);
        const QImage badge = KoCommonUtil::getNoticePoint(count).toImage().convertToFormat(QImage::Format_ARGB32);
        const qreal scale = badge.width() / 25.0;
        const QPointF centre(badge.width() / 2.0, badge.height() / 2.0);
        int ink = 0;
        for (int y = 0; y < badge.height(); ++y) {
            for (int x = 0; x < badge.width(); ++x) {
                const QColor c = badge.pixelColor(x, y);
                if (c.alpha() < 128 || c.green() < 128)
                    continue; // the red disc or the transparent corners
                ++ink;
                // A pixel's farthest corner a pixel inside the rim of the 12.5 px circle.
                const QPointF far(x + (x + 0.5 < centre.x() ? 0 : 1), y + (y + 0.5 < centre.y() ? 0 : 1));
                QVERIFY2(QLineF(centre, far).length() <= 11.5 * scale + 0.5,
                         qPrintable(QString("white at %1,%2").arg(x).arg(y)));
            }
        }
        QVERIFY(ink > 8);
    }

    void sleepInLoopRunsEvents()
    {
        bool ran = false;
        QTimer::singleShot(10, this, [&ran] { ran = true; });
        KoCommonUtil::sleepInLoop(50);
        QVERIFY(ran);
    }

    // Relative names are given from the folder; the launcher must get absolute paths. A held
    // launcher plays one that keeps the application in the foreground until the user closes it.
    void openerTellsHowTheLauncherEnded_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("ending");
        QTest::addColumn<bool>("held");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("launched");
        const int opens = KoFakeLauncher::Opens, fails = KoFakeLauncher::NoApplication;
        const int opened = KoCommonUtil::Opened, none = KoCommonUtil::NoApplication;
        QTest::newRow("opens") << "a.jpg" << opens << false << opened << true;
        QTest::newRow("a name like an option") << "--help" << opens << false << opened << true;
        QTest::newRow("no application") << "a.jpg" << fails << false << none << true;
        QTest::newRow("launcher crashes") << "a.jpg" << int(KoFakeLauncher::Crashes) << false << none << true;
        QTest::newRow("launcher cannot start")
            << "a.jpg" << int(KoFakeLauncher::CannotStart) << false << none << false;
        QTest::newRow("no launcher, offscreen desktop")
            << "a.jpg" << int(KoFakeLauncher::Missing) << false << none << false;
        QTest::newRow("file gone") << "gone.jpg" << fails << false << int(KoCommonUtil::Missing) << false;
        // Its failure once the user closes the application is no second answer.
        QTest::newRow("runs on in the foreground") << "a.jpg" << fails << true << opened << true;
    }
    void openerTellsHowTheLauncherEnded()
    {
        QFETCH(QString, name);
        QFETCH(int, ending);
        QFETCH(bool, held);
        QFETCH(int, result);
        QFETCH(bool, launched);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("a.jpg"), "jpeg"));
        QVERIFY(writeFile(dir.filePath("--help"), "x"));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const auto back = qScopeGuard([before] { QDir::setCurrent(before); });
        KoFakeLauncher launcher;
        launcher.setEnding(KoFakeLauncher::Ending(ending));
        if (held)
            launcher.hold();
        QScopedPointer<QObject> context(new QObject);
        QList<int> answers;
        KoCommonUtil::openFileWithSystemApp(
            name, context.data(), [&answers](auto r) { answers << r; },
            held ? 200 : KoCommonUtil::kLauncherSettleMsecs);
        QVERIFY(answers.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 1, 20000);
        QCOMPARE(answers.first(), result);
        context.reset();
        // Unwatched for good; one still running outlives the watching and ends when it is closed.
        QTRY_VERIFY_WITH_TIMEOUT(KoFakeLauncher::allEnded(), 20000);
        const QStringList ran = launched ? QStringList{QDir::current().absoluteFilePath(name)} : QStringList();
        QCOMPARE(launcher.opened("ended"), held ? QStringList() : ran);
        launcher.release();
        QTRY_COMPARE_WITH_TIMEOUT(launcher.opened("ended"), ran, 20000);
        QCoreApplication::processEvents();
        QCOMPARE(answers.size(), 1);
        QCOMPARE(launcher.opened(), ran);
    }

    void openerOutlivesItsAsker()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("a.jpg"), "jpeg"));
        KoFakeLauncher launcher;
        launcher.setEnding(KoFakeLauncher::NoApplication);
        launcher.hold();
        auto* context = new QObject;
        int answers = 0;
        KoCommonUtil::openFileWithSystemApp(dir.filePath("a.jpg"), context, [&answers](auto) { ++answers; });
        QTRY_COMPARE_WITH_TIMEOUT(launcher.opened().size(), 1, 20000);
        delete context;
        launcher.release();
        QTRY_VERIFY_WITH_TIMEOUT(KoFakeLauncher::allEnded(), 20000);
        QCoreApplication::processEvents();
        QCOMPARE(answers, 0);
    }

    void cleanupTestCase()
    {
        delete KoThisMachineInfo::getInstance();
        delete KoSettings::getInstance();
    }
};

QTEST_MAIN(TestCommonUtil)
#include "tst_commonutil.moc"
