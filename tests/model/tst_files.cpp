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
    void cleanupTestCase();
    void remoteNames_data();
    void remoteNames();
    void trailingSlashIsRemovedFromCallersPath();
    void oddPathsNeverCrash_data();
    void oddPathsNeverCrash();
    void phoneTypeCodes_data();
    void phoneTypeCodes();
    void flagsKeepOtherBits();
    void copyConstructorClearsEditBits();
    void remoteFilePathRules_data();
    void remoteFilePathRules();
    void localFileReadsDisk();
    void localFileTypes_data();
    void localFileTypes();
    void mimeTableCoversEveryFileType();
    void categories_data();
    void categories();
};

void TestFiles::cleanupTestCase()
{
    delete KoFileMimeType::getInstance();
}

void TestFiles::remoteNames_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<bool>("hidden");

    QTest::newRow("photo") << "/storage/emulated/0/DCIM/Camera/IMG_20230401_120000.jpg" << 200 << ""
                           << "IMG_20230401_120000" << "jpg" << "IMG_20230401_120000.jpg" << false;
    QTest::newRow("several dots") << "/storage/emulated/0/Download/backup.2023.tar.gz" << 600 << ""
                                  << "backup.2023.tar" << "gz" << "backup.2023.tar.gz" << false;
    QTest::newRow("dotfile") << "/storage/emulated/0/Android/data/.nomedia" << 0 << ""
                             << "" << "nomedia" << ".nomedia" << true;
    QTest::newRow("dotfile with suffix") << "/sdcard/.config.json" << 0 << "" << ".config" << "json"
                                         << ".config.json" << false;
    QTest::newRow("no suffix") << "/storage/emulated/0/Music/README" << 500 << "" << "README" << ""
                               << "README" << false;
    QTest::newRow("dot only in a parent folder") << "/storage/emulated/0/Documents/v1.2/notes" << 500 << ""
                                                 << "notes" << "" << "notes" << false;
    QTest::newRow("trailing dot") << "/sdcard/odd." << 0 << "" << "odd" << "" << "odd" << false;
    QTest::newRow("folder with dots") << "/storage/emulated/0/com.example.app" << 100 << ""
                                      << "com.example.app" << "" << "com.example.app" << false;
    QTest::newRow("hidden folder, trailing slash") << "/storage/emulated/0/.thumbnails/" << 100 << ""
                                                   << ".thumbnails" << "" << ".thumbnails" << false;
    QTest::newRow("folder display name") << "/storage/emulated/0/DCIM/Camera" << 100 << "相机" << "相机" << ""
                                         << "相机" << false;
    QTest::newRow("album photo by id") << "6F3A2B1C-0D4E-4F5A-9B8C-7D6E5F4A3B2C/L0/001" << 200
                                       << "IMG_0001.HEIC" << "IMG_0001" << "HEIC" << "IMG_0001.HEIC" << false;
    QTest::newRow("album folder by id") << "1028075469" << 100 << "Camera" << "Camera" << "" << "Camera" << false;
    QTest::newRow("folder display name with dot") << "/x/y" << 100 << "v2.0" << "v2" << "0" << "v2.0" << false;
    QTest::newRow("root") << "/" << 100 << "" << "/" << "" << "/" << false;
    QTest::newRow("root with display") << "/" << 100 << "我的vu" << "/" << "" << "/" << false;
    QTest::newRow("chinese name") << "/sdcard/文档/会议纪要.docx" << 501 << "" << "会议纪要" << "docx"
                                  << "会议纪要.docx" << false;
}

void TestFiles::remoteNames()
{
    QFETCH(QString, path);
    QFETCH(int, type);
    QFETCH(QString, display);
    QFETCH(QString, name);
    QFETCH(QString, suffix);
    QFETCH(QString, fullName);
    QFETCH(bool, hidden);

    KoRemoteFile file(QStringLiteral("http://192.168.1.5:8080"), path, type, 10, 20, display);
    QCOMPARE(file.getName(), name);
    QCOMPARE(file.getSuffix(), suffix);
    QCOMPARE(file.getFullName(), fullName);
    QCOMPARE(file.isHiddenFile(), hidden);
    QCOMPARE(file.getRemoteServer(), QStringLiteral("http://192.168.1.5:8080"));
    QCOMPARE(file.getSize(), qint64(10));
    QCOMPARE(file.getLastModified(), qint64(20));
    QVERIFY(!file.isCut());
}

void TestFiles::trailingSlashIsRemovedFromCallersPath()
{
    QString path = QStringLiteral("/storage/emulated/0/Movies/");
    KoRemoteFile folder(QString(), path, 100, 0, 0, QString());
    QCOMPARE(path, QStringLiteral("/storage/emulated/0/Movies"));
    QCOMPARE(folder.getPath()->getAbsolutePath(), QStringLiteral("/storage/emulated/0/Movies"));
    QCOMPARE(folder.getPath()->getName(), QStringLiteral("Movies"));

    // Only one slash goes, and the root stays the root.
    QString twice = QStringLiteral("/a//");
    KoRemoteFile f2(QString(), twice, 100, 0, 0, QString());
    QCOMPARE(twice, QStringLiteral("/a/"));
    QString root = QStringLiteral("/");
    KoRemoteFile f3(QString(), root, 100, 0, 0, QString());
    QCOMPARE(root, QStringLiteral("/"));
    QCOMPARE(f3.getPath()->getAbsolutePath(), QStringLiteral("/"));

    // The const overload leaves the caller's text alone.
    const QString constant = QStringLiteral("/b/");
    KoRemoteFile f4(QString(), constant, 100, 0, 0, QString());
    QCOMPARE(constant, QStringLiteral("/b/"));
    QCOMPARE(f4.getPath()->getAbsolutePath(), QStringLiteral("/b"));
}

void TestFiles::oddPathsNeverCrash_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("empty") << "" << 0 << "" << "";
    QTest::newRow("empty folder") << "" << 100 << "" << "";
    QTest::newRow("only dots") << "..." << 0 << "..." << "";
    QTest::newRow("only dots in folder") << "/a/..." << 0 << ".." << "";
    QTest::newRow("one dot") << "." << 0 << "." << "";
    QTest::newRow("slash dot") << "/." << 0 << "" << "";
    QTest::newRow("double slash") << "//" << 0 << "" << "";
    QTest::newRow("no slash with dot") << "a.b" << 0 << "a" << "b";
    QTest::newRow("single char") << "a" << 0 << "a" << "";
    QTest::newRow("dot then slash") << "./" << 0 << "." << "";
}

void TestFiles::oddPathsNeverCrash()
{
    QFETCH(QString, path);
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QString, suffix);
    KoRemoteFile file(QString(), path, type, -1, quint64(-1), QString());
    QCOMPARE(file.getName(), name);
    QCOMPARE(file.getSuffix(), suffix);
    QCOMPARE(file.getLastModified(), qint64(-1));
    KoRemoteFile copy(&file);
    QCOMPARE(copy.getFullName(), file.getFullName());
}

void TestFiles::phoneTypeCodes_data()
{
    QTest::addColumn<int>("phoneType");
    QTest::addColumn<int>("code");
    QTest::newRow("folder") << 100 << 0;
    QTest::newRow("photo") << 200 << 0x4C;
    QTest::newRow("video") << 300 << 0xCC;
    QTest::newRow("audio") << 400 << 0x8C;
    QTest::newRow("txt") << 500 << 0x154;
    QTest::newRow("word") << 501 << 0x54;
    QTest::newRow("ppt") << 502 << 0x94;
    QTest::newRow("excel") << 503 << 0xD4;
    QTest::newRow("pdf") << 504 << 0x114;
    QTest::newRow("zip") << 600 << 0x1C;
    QTest::newRow("apk") << 601 << 0x24;
    QTest::newRow("unknown 0") << 0 << 4;
    QTest::newRow("unknown -1") << -1 << 4;
    QTest::newRow("unknown 505") << 505 << 4;
}

void TestFiles::phoneTypeCodes()
{
    QFETCH(int, phoneType);
    QFETCH(int, code);
    KoRemoteFile file(QString(), QStringLiteral("/sdcard/x.bin"), phoneType, 0, 0, QString());
    QCOMPARE(file.getFileType(), code);
    QCOMPARE(file.isFolder(), code == 0);
    QCOMPARE(file.isFile(), code != 0);
    // parseType replaces the code and nothing else.
    file.setSecret(true);
    file.parseType(200);
    QCOMPARE(file.getFileType(), 0x4C);
    QVERIFY(file.isSecret());
}

void TestFiles::flagsKeepOtherBits()
{
    KoAbstractFile file;
    file.setEditStatus(1);
    file.setSecret(true);
    file.setFileType(0x154);
    QCOMPARE(file.getFlags(), 0x200 | 0x154 | 1);
    QVERIFY(file.isSelected());
    // Bits outside the type field in the argument are ignored.
    file.setFileType(0xFFFF);
    QCOMPARE(file.getFileType(), 0x1FC);
    QCOMPARE(file.getEditStatus(), 1);
    QVERIFY(file.isSecret());
    file.setFileType(0);
    file.setEditStatus(2);
    QCOMPARE(file.getFlags(), 0x200 | 2);
    QVERIFY(!file.isSelected());
    QVERIFY(file.isFolder());
    file.setSecret(false);
    QCOMPARE(file.getFlags(), 2);
}

void TestFiles::copyConstructorClearsEditBits()
{
    KoRemoteFile file(QStringLiteral("srv"), QStringLiteral("6F3A/L0/001"), 200, 1234, 5678,
                      QStringLiteral("IMG_0001.HEIC"));
    file.setEditStatus(1);
    file.setSecret(true);
    file.setCut(true);
    KoRemoteFile copy(&file);
    QCOMPARE(copy.getRemoteServer(), QStringLiteral("srv"));
    QCOMPARE(copy.getSize(), qint64(1234));
    QCOMPARE(copy.getLastModified(), qint64(5678));
    QCOMPARE(copy.getFileType(), 0x4C);
    QCOMPARE(copy.getName(), QStringLiteral("IMG_0001"));
    QCOMPARE(copy.getSuffix(), QStringLiteral("HEIC"));
    QCOMPARE(*copy.getPath(), *file.getPath());
    QVERIFY(copy.isCut());
    QCOMPARE(copy.getFlags(), 0x4C);
}

void TestFiles::remoteFilePathRules_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("absolute");
    QTest::addColumn<QString>("shownName");
    QTest::newRow("empty") << "" << "x" << "" << "";
    QTest::newRow("root") << "/" << "" << "/" << "/";
    QTest::newRow("root named") << "/" << "手机存储" << "/" << "手机存储";
    QTest::newRow("folder") << "/storage/emulated/0/DCIM" << "" << "/storage/emulated/0/DCIM" << "DCIM";
    QTest::newRow("trailing slash") << "/storage/emulated/0/DCIM/" << "" << "/storage/emulated/0/DCIM" << "DCIM";
    QTest::newRow("named") << "/storage/emulated/0/DCIM/Camera" << "相机" << "/storage/emulated/0/DCIM/Camera"
                           << "相机";
    QTest::newRow("album id") << "1028075469" << "Camera" << "1028075469" << "Camera";
}

void TestFiles::remoteFilePathRules()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, absolute);
    QFETCH(QString, shownName);
    KoRemoteFilePath value(path, name);
    QCOMPARE(value.getAbsolutePath(), absolute);
    QCOMPARE(value.getName(), shownName);
    value.setName(QStringLiteral("zu"));
    QCOMPARE(value.getName(), QStringLiteral("zu"));
    QCOMPARE(value.getAbsolutePath(), absolute);
}

void TestFiles::localFileReadsDisk()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("报告.final.PDF"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(QByteArray(1500, 'x')), qint64(1500));
    f.close();
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(1600000000000LL);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(when, QFileDevice::FileModificationTime));
    f.close();

    KoLocalFile file(path);
    QCOMPARE(file.getPath(), path);
    QCOMPARE(file.getName(), QStringLiteral("报告.final"));
    QCOMPARE(file.getSuffix(), QStringLiteral("PDF"));
    QCOMPARE(file.getFullName(), QStringLiteral("报告.final.PDF"));
    QCOMPARE(file.getSize(), qint64(1500));
    QCOMPARE(file.getLastModified(), qint64(1600000000000LL));
    QCOMPARE(file.getFileType(), 0x114);
    QVERIFY(file.isDocument());

    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("photos.2023")));
    KoLocalFile folder(dir.filePath(QStringLiteral("photos.2023")) + QLatin1Char('/'));
    QVERIFY(folder.isFolder());
    QCOMPARE(folder.getFullName(), QStringLiteral("photos.2023"));

    // Restored from stored values: no disk access, the name comes from the path.
    KoLocalFile gone(dir.filePath(QStringLiteral("gone.tar.gz")), QStringLiteral("gone.tar.gz"), 0x1C, 77);
    QCOMPARE(gone.getName(), QStringLiteral("gone.tar"));
    QCOMPARE(gone.getSuffix(), QStringLiteral("gz"));
    QCOMPARE(gone.getSize(), qint64(77));
    QCOMPARE(gone.getFileType(), 0x1C);
    KoLocalFile trailingDot(QStringLiteral("/tmp/a.b."), QStringLiteral("a.b"), 0x3C, 1);
    QCOMPARE(trailingDot.getName(), QStringLiteral("a.b"));
    QCOMPARE(trailingDot.getSuffix(), QString());
}

void TestFiles::localFileTypes_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("code");
    QTest::newRow("jpg") << "a.jpg" << 0x4C;
    QTest::newRow("JPEG upper") << "a.JPEG" << 0x4C;
    QTest::newRow("heic") << "IMG_0001.HEIC" << 0x4C;
    QTest::newRow("mp3") << "song.mp3" << 0x8C;
    QTest::newRow("flac") << "song.flac" << 0x8C;
    QTest::newRow("mp4") << "clip.mp4" << 0xCC;
    QTest::newRow("mov") << "clip.MOV" << 0xCC;
    QTest::newRow("rmvb") << "film.rmvb" << 0xCC;
    QTest::newRow("doc") << "a.doc" << 0x54;
    QTest::newRow("docx") << "a.docx" << 0x54;
    QTest::newRow("ppt") << "a.ppt" << 0x94;
    QTest::newRow("pptx") << "a.pptx" << 0x94;
    QTest::newRow("xls") << "a.xls" << 0xD4;
    QTest::newRow("xlsx") << "a.xlsx" << 0xD4;
    QTest::newRow("csv") << "a.csv" << 0xD4;
    QTest::newRow("pdf") << "a.pdf" << 0x114;
    QTest::newRow("txt") << "a.txt" << 0x154;
    QTest::newRow("log") << "a.log" << 0x154;
    QTest::newRow("zip") << "a.zip" << 0x1C;
    QTest::newRow("rar") << "a.rar" << 0x1C;
    QTest::newRow("tar.gz") << "a.tar.gz" << 0x1C;
    QTest::newRow("apk") << "app.apk" << 0x24;
    QTest::newRow("unknown suffix") << "a.qqqq" << 0x3C;
    QTest::newRow("json is other") << "a.json" << 0x3C;
    QTest::newRow("no suffix") << "Makefile" << 0x3C;
    QTest::newRow("dotfile") << ".bashrc" << 0x3C;
}

void TestFiles::localFileTypes()
{
    QFETCH(QString, fileName);
    QFETCH(int, code);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    KoLocalFile file(path);
    QCOMPARE(file.getFileType(), code);
    QVERIFY(file.isFile());
}

void TestFiles::mimeTableCoversEveryFileType()
{
    // Every non-folder code a local file can carry is reachable from some suffix.
    QSet<int> codes;
    for (const QString& suffix : KoFileMimeType::getInstance()->suffixes())
        codes.insert(KoLocalFile::fileTypeOfSuffix(suffix));
    const int expected[] = {0x1C, 0x24, 0x3C, 0x4C, 0x54, 0x8C, 0x94, 0xCC, 0xD4, 0x114, 0x154};
    for (int code : expected)
        QVERIFY2(codes.contains(code), qPrintable(QString::number(code, 16)));
    QCOMPARE(KoFileMimeType::getInstance()->getMimeType(QStringLiteral("PnG")), QStringLiteral("image/png"));
    QCOMPARE(KoFileMimeType::getInstance()->getMimeType(QString()), QString());
    QCOMPARE(KoFileMimeType::getInstance()->getMimeTypeOfFileName(QStringLiteral("/a.b/c")), QString());
    QCOMPARE(KoFileMimeType::getInstance()->getMimeTypeOfFileName(QStringLiteral("/a/c.apk")),
             QStringLiteral("application/vnd.android.package-archive"));
}

void TestFiles::categories_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::newRow("1") << 1 << "我的vu";
    QTest::newRow("2") << 2 << "相册";
    QTest::newRow("3") << 3 << "手机相册";
    QTest::newRow("9") << 9 << "手机存储";
    QTest::newRow("11") << 11 << "SD卡";
    QTest::newRow("12") << 12 << "zu";
    QTest::newRow("unknown") << 0 << "";
    QTest::newRow("unknown 4") << 4 << "";
}

void TestFiles::categories()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    KoRemoteCategory category(QStringLiteral("http://10.0.0.2:9000"), type, 1000, 5000);
    QVERIFY(category.isFolder());
    QCOMPARE(category.getCategoryType(), type);
    QCOMPARE(category.getName(), name);
    QCOMPARE(category.getSize(), qint64(1000));
    QCOMPARE(category.getTotalSize(), qint64(5000));
    QCOMPARE(category.getRemoteServer(), QStringLiteral("http://10.0.0.2:9000"));
    QCOMPARE(category.getPath()->getAbsolutePath(), name.isEmpty() ? QString() : QStringLiteral("/"));
    QCOMPARE(category.getPath()->getName(), name);
    // Deleting through the base pointer is how the lists free them.
    KoAbstractFile* base = new KoRemoteCategory(QString(), type, -1, -1);
    delete base;
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
