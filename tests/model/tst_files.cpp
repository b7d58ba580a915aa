// File entries: name and suffix rules on phone paths, type codes, local files, categories.
#include <QtTest>

#include "model/KoAbstractFile.h"
#include "model/KoFileMimeType.h"
#include "model/KoLocalFile.h"
#include "model/KoRemoteCategory.h"
#include "model/KoRemoteFile.h"
#include "model/KoRemoteFilePath.h"

class TestFiles : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase() { delete KoFileMimeType::getInstance(); }

    void remoteNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("fullName");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("several dots") << "/sdcard/Download/backup.2023.tar.gz" << 600 << ""
                                      << "backup.2023.tar"
                                      << "gz"
                                      << "backup.2023.tar.gz" << false;
        QTest::newRow("dotfile") << "/sdcard/Android/.nomedia" << 0 << ""
                                 << ""
                                 << "nomedia"
                                 << ".nomedia" << true;
        QTest::newRow("dotfile with suffix") << "/sdcard/.config.json" << 0 << ""
                                             << ".config"
                                             << "json"
                                             << ".config.json" << false;
        QTest::newRow("dot only in a parent folder") << "/sdcard/v1.2/notes" << 500 << ""
                                                     << "notes"
                                                     << ""
                                                     << "notes" << false;
        QTest::newRow("trailing dot") << "/sdcard/odd." << 0 << ""
                                      << "odd"
                                      << ""
                                      << "odd" << false;
        QTest::newRow("folder with dots") << "/sdcard/com.example.app" << 100 << ""
                                          << "com.example.app"
                                          << ""
                                          << "com.example.app" << false;
        QTest::newRow("hidden folder, trailing slash") << "/sdcard/.thumbnails/" << 100 << ""
                                                       << ".thumbnails"
                                                       << ""
                                                       << ".thumbnails" << false;
        QTest::newRow("album photo by id") << "6F3A2B1C-0D4E/L0/001" << 200 << "IMG_0001.HEIC"
                                           << "IMG_0001"
                                           << "HEIC"
                                           << "IMG_0001.HEIC" << false;
        QTest::newRow("folder display name with dot") << "/x/y" << 100 << "v2.0"
                                                      << "v2"
                                                      << "0"
                                                      << "v2.0" << false;
        QTest::newRow("root with display") << "/" << 100 << "我的vu"
                                           << "/"
                                           << ""
                                           << "/" << false;
        QTest::newRow("empty") << "" << 0 << ""
                               << ""
                               << ""
                               << "" << true;
        QTest::newRow("only dots in folder") << "/a/..." << 0 << ""
                                             << ".."
                                             << ""
                                             << ".." << false;
        QTest::newRow("slash dot") << "/." << 0 << ""
                                   << ""
                                   << ""
                                   << "" << true;
        QTest::newRow("double slash") << "//" << 0 << ""
                                      << ""
                                      << ""
                                      << "" << true;
        QTest::newRow("no slash with dot") << "a.b" << 0 << ""
                                           << "a"
                                           << "b"
                                           << "a.b" << false;
    }
    void remoteNames()
    {
        QFETCH(QString, path);
        QFETCH(int, type);
        QFETCH(QString, display);
        QFETCH(QString, name);
        QFETCH(QString, suffix);
        QFETCH(QString, fullName);
        QFETCH(bool, hidden);
        KoRemoteFile file(QString(), path, type, -1, quint64(-1), display);
        QCOMPARE(file.getName(), name);
        QCOMPARE(file.getSuffix(), suffix);
        QCOMPARE(file.getFullName(), fullName);
        QCOMPARE(file.isHiddenFile(), hidden);
        KoRemoteFile copy(&file);
        QCOMPARE(copy.getFullName(), file.getFullName());
    }

    void trailingSlashIsRemovedFromCallersPath()
    {
        QString path = QStringLiteral("/sdcard/Movies/");
        KoRemoteFile folder(QString(), path, 100, 0, 0, QString());
        QCOMPARE(path, QStringLiteral("/sdcard/Movies"));
        QCOMPARE(folder.getPath()->getName(), QStringLiteral("Movies"));
        // Only one slash goes, and the root stays the root.
        QString twice = QStringLiteral("/a//");
        KoRemoteFile f2(QString(), twice, 100, 0, 0, QString());
        QCOMPARE(twice, QStringLiteral("/a/"));
        QString root = QStringLiteral("/");
        KoRemoteFile f3(QString(), root, 100, 0, 0, QString());
        QCOMPARE(f3.getPath()->getAbsolutePath(), QStringLiteral("/"));
        // The const overload leaves the caller's text alone.
        const QString constant = QStringLiteral("/b/");
        KoRemoteFile f4(QString(), constant, 100, 0, 0, QString());
        QCOMPARE(constant, QStringLiteral("/b/"));
        QCOMPARE(f4.getPath()->getAbsolutePath(), QStringLiteral("/b"));
    }

    void phoneTypeCodes_data()
    {
        QTest::addColumn<int>("phoneType");
        QTest::addColumn<int>("code");
        QTest::newRow("folder") << 100 << 0;
        QTest::newRow("video") << 300 << 0xCC;
        QTest::newRow("txt") << 500 << 0x154;
        QTest::newRow("apk") << 601 << 0x24;
        QTest::newRow("unknown -1") << -1 << 4;
        QTest::newRow("unknown 505") << 505 << 4;
    }
    void phoneTypeCodes()
    {
        QFETCH(int, phoneType);
        QFETCH(int, code);
        KoRemoteFile file(QString(), QStringLiteral("/sdcard/x.bin"), phoneType, 0, 0, QString());
        QCOMPARE(file.getFileType(), code);
        QCOMPARE(file.isFolder(), code == 0);
        // parseType replaces the code and nothing else.
        file.setSecret(true);
        file.parseType(200);
        QCOMPARE(file.getFileType(), 0x4C);
        QVERIFY(file.isSecret());
    }

    void flagsKeepOtherBits()
    {
        KoAbstractFile file;
        file.setEditStatus(1);
        file.setSecret(true);
        file.setFileType(0x154);
        QCOMPARE(file.getFlags(), 0x200 | 0x154 | 1);
        // Bits outside the type field in the argument are ignored.
        file.setFileType(0xFFFF);
        QCOMPARE(file.getFileType(), 0x1FC);
        QCOMPARE(file.getEditStatus(), 1);
        QVERIFY(file.isSecret());
        file.setFileType(0);
        file.setEditStatus(2);
        QCOMPARE(file.getFlags(), 0x200 | 2);
        file.setSecret(false);
        QCOMPARE(file.getFlags(), 2);
    }

    void copyConstructorClearsEditBits()
    {
        KoRemoteFile file(QStringLiteral("srv"), QStringLiteral("6F3A/L0/001"), 200, 1234, 5678,
                          QStringLiteral("IMG_0001.HEIC"));
        file.setEditStatus(1);
        file.setSecret(true);
        file.setCut(true);
        KoRemoteFile copy(&file);
        QCOMPARE(copy.getFullName(), QStringLiteral("IMG_0001.HEIC"));
        QCOMPARE(*copy.getPath(), *file.getPath());
        QVERIFY(copy.isCut());
        QCOMPARE(copy.getFlags(), 0x4C);
    }

    void remoteFilePathRules_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("absolute");
        QTest::addColumn<QString>("shownName");
        QTest::newRow("empty") << ""
                               << "x"
                               << ""
                               << "";
        QTest::newRow("root named") << "/"
                                    << "手机存储"
                                    << "/"
                                    << "手机存储";
        QTest::newRow("trailing slash") << "/sdcard/DCIM/"
                                        << ""
                                        << "/sdcard/DCIM"
                                        << "DCIM";
        QTest::newRow("album id") << "1028075469"
                                  << "Camera"
                                  << "1028075469"
                                  << "Camera";
    }
    void remoteFilePathRules()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QFETCH(QString, absolute);
        QFETCH(QString, shownName);
        KoRemoteFilePath value(path, name);
        QCOMPARE(value.getAbsolutePath(), absolute);
        QCOMPARE(value.getName(), shownName);
    }

    void localFileReadsDisk()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("报告.final.PDF"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(QByteArray(1500, 'x')), qint64(1500));
        QVERIFY(f.flush());
        QVERIFY(f.setFileTime(QDateTime::fromMSecsSinceEpoch(1600000000000LL), QFileDevice::FileModificationTime));
        f.close();
        KoLocalFile file(path);
        QCOMPARE(file.getName(), QStringLiteral("报告.final"));
        QCOMPARE(file.getSuffix(), QStringLiteral("PDF"));
        QCOMPARE(file.getSize(), qint64(1500));
        QCOMPARE(file.getLastModified(), qint64(1600000000000LL));
        QCOMPARE(file.getFileType(), 0x114);

        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("photos.2023")));
        KoLocalFile folder(dir.filePath(QStringLiteral("photos.2023")) + QLatin1Char('/'));
        QVERIFY(folder.isFolder());
        QCOMPARE(folder.getFullName(), QStringLiteral("photos.2023"));

        // Restored from stored values: no disk access, the name comes from the path.
        KoLocalFile gone(dir.filePath(QStringLiteral("gone.tar.gz")), QStringLiteral("gone.tar.gz"), 0x1C, 77);
        QCOMPARE(gone.getName(), QStringLiteral("gone.tar"));
        QCOMPARE(gone.getSize(), qint64(77));
        KoLocalFile trailingDot(QStringLiteral("/tmp/a.b."), QStringLiteral("a.b"), 0x3C, 1);
        QCOMPARE(trailingDot.getName(), QStringLiteral("a.b"));
        QCOMPARE(trailingDot.getSuffix(), QString());
    }

    void localFileTypes_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("code");
        QTest::newRow("JPEG upper") << "a.JPEG" << 0x4C;
        QTest::newRow("heic") << "IMG_0001.HEIC" << 0x4C;
        QTest::newRow("mov") << "clip.MOV" << 0xCC;
        QTest::newRow("csv") << "a.csv" << 0xD4;
        QTest::newRow("tar.gz") << "a.tar.gz" << 0x1C;
        QTest::newRow("json is other") << "a.json" << 0x3C;
        QTest::newRow("no suffix") << "Makefile" << 0x3C;
        QTest::newRow("dotfile") << ".bashrc" << 0x3C;
    }
    void localFileTypes()
    {
        QFETCH(QString, fileName);
        QFETCH(int, code);
        QTemporaryDir dir;
        QFile f(dir.filePath(fileName));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QCOMPARE(KoLocalFile(f.fileName()).getFileType(), code);
    }

    void mimeTableCoversEveryFileType()
    {
        // Every non-folder code a local file can carry is reachable from some suffix.
        QSet<int> codes;
        for (const QString& suffix : KoFileMimeType::getInstance()->suffixes())
            codes.insert(KoLocalFile::fileTypeOfSuffix(suffix));
        for (int code : {0x1C, 0x24, 0x3C, 0x4C, 0x54, 0x8C, 0x94, 0xCC, 0xD4, 0x114, 0x154})
            QVERIFY2(codes.contains(code), qPrintable(QString::number(code, 16)));
        QCOMPARE(KoFileMimeType::getInstance()->getMimeType(QStringLiteral("PnG")), QStringLiteral("image/png"));
        QCOMPARE(KoFileMimeType::getInstance()->getMimeTypeOfFileName(QStringLiteral("/a.b/c")), QString());
    }

    void categories()
    {
        KoRemoteCategory category(QString(), 11, 1000, 5000);
        QCOMPARE(category.getPath()->getAbsolutePath(), QStringLiteral("/"));
        QCOMPARE(category.getPath()->getName(), QStringLiteral("SD卡"));
        KoRemoteCategory unknown(QString(), 4, 0, 0);
        QCOMPARE(unknown.getPath()->getAbsolutePath(), QString());
        // Deleting through the base pointer is how the lists free them.
        KoAbstractFile* base = new KoRemoteCategory(QString(), 12, -1, -1);
        delete base;
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
