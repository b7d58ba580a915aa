#include "support/KoTestFiles.h"

#include <QtTest>

#include <csignal>
#include <memory>

// The runnable fake phone as a newcomer starts it (tools/fake_phone): its sample phone lists
// every category, albums with thumbnails of every shape and a date, the SD card and the app
// disk; a copy onto a taken name finishes under a numbered name; it never writes into a folder
// of other files; relay-only, it is out of reach on the LAN but served through the relay; and it
// leaves on a signal with its temporary folders (uploads, the test CA) removed.
namespace {
QString toolPath()
{
    return QStringLiteral(KO_BINARY_DIR "/tools/reraze_fake_phone");
}

// A started tool with its output so far.
struct KoToolRun {
    std::unique_ptr<QProcess> process{new QProcess};
    QByteArray output;

    void start(const QStringList& args, const QString& tmpDir)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmpDir);
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(toolPath(), args + QStringList{"--udp-port", "0"});
    }
    bool waitFor(const QByteArray& text, int timeoutMs = 60000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!output.contains(text) && timer.elapsed() < timeoutMs && process->state() != QProcess::NotRunning) {
            process->waitForReadyRead(100);
            output += process->readAll();
        }
        output += process->readAll();
        return output.contains(text);
    }
    // The value after `key` up to the end of its word.
    QString valueAfter(const QByteArray& key) const
    {
        const int at = output.indexOf(key);
        if (at < 0)
            return QString();
        const int from = at + key.size();
        int end = from;
        while (end < output.size() && !QChar(output[end]).isSpace() && output[end] != ',')
            ++end;
        return QString::fromUtf8(output.mid(from, end - from));
    }
    ~KoToolRun()
    {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(10000);
        }
    }
};

// Writes "path=content" files and "path/" folders below dir.
bool writeTree(const QString& dir, const QStringList& entries)
{
    for (const QString& entry : entries) {
        const QString path = dir + "/" + entry.section('=', 0, 0);
        const bool ok = entry.endsWith('/') ? QDir().mkpath(path)
                                            : KoTestFiles::writeFile(path, entry.section('=', 1).toUtf8());
        if (!ok)
            return false;
    }
    return true;
}

QStringList namesOf(const QJsonArray& entries, const QString& key)
{
    QStringList names;
    for (const QJsonValue& entry : entries)
        names.append(entry.toObject().value(key).toString().section(QLatin1Char('/'), -1));
    return names;
}
} // namespace

class TestFakePhoneTool : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    KoToolRun m_sample;
    QString m_baseUrl;
    QNetworkAccessManager m_net;

    // The answer's body, or "error <code>" when the request failed.
    QByteArray postTo(QNetworkRequest request, const QJsonObject& body)
    {
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        std::unique_ptr<QNetworkReply> reply(m_net.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact)));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!finished.wait(30000))
            return QByteArray();
        if (reply->error() != QNetworkReply::NoError)
            return "error " + QByteArray::number(int(reply->error()));
        return reply->readAll();
    }
    QByteArray postRaw(const QString& op, const QJsonObject& body)
    {
        return postTo(QNetworkRequest(QUrl(m_baseUrl + "/file/v2/" + op)), body);
    }
    QJsonObject post(const QString& op, const QJsonObject& body)
    {
        return QJsonDocument::fromJson(postRaw(op, body)).object();
    }

private slots:
    void initTestCase()
    {
        if (!QFileInfo(toolPath()).isExecutable())
            QSKIP("reraze_fake_phone is not built in this build folder");
        QVERIFY(m_dir.isValid());
        QDir().mkpath(m_dir.filePath("tmp"));
        m_sample.start({"--sample", m_dir.filePath("phone")}, m_dir.filePath("tmp"));
        QVERIFY2(m_sample.waitFor("category 12:"), m_sample.output.constData());
        m_baseUrl = m_sample.valueAfter(" at ");
        QVERIFY2(m_baseUrl.startsWith("http://127.0.0.1:"), m_sample.output.constData());
    }

    void everyCategoryIsListed()
    {
        const QJsonObject answer = post("listCategory", {{"xxx", "xxx"}});
        QCOMPARE(answer.value("code").toInt(-1), 0);
        QCOMPARE(answer.value("categories").toArray(), QJsonArray({9, 2, 11, 12}));
    }

    void albumsListWithThumbnailsOfEveryShape()
    {
        const QJsonObject albums = post("getCollections", {{"category", 2}});
        QCOMPARE(albums.value("code").toInt(-1), 0);
        const QJsonArray collections = albums.value("collections").toArray();
        QMap<QString, int> counts;
        QString cameraId;
        for (const QJsonValue& value : collections) {
            const QJsonObject album = value.toObject();
            counts.insert(album.value("title").toString(), album.value("count").toInt());
            if (album.value("title").toString() == QStringLiteral("相机"))
                cameraId = album.value("id").toString();
        }
        QCOMPARE(counts,
                 (QMap<QString, int>{{QStringLiteral("相机"), 6},
                                     {QStringLiteral("截图 📱"), 2},
                                     {QStringLiteral("旅行 🌅 厦门 2026"), 3},
                                     {QStringLiteral("空相册"), 0}}));
        // Each album is dated by its newest photo, an empty one by its folder.
        for (const QJsonValue& value : collections) {
            const QString title = value.toObject().value("title").toString();
            const QFileInfo dir(m_dir.filePath("phone/albums/" + title));
            qint64 newest = dir.lastModified().toMSecsSinceEpoch();
            const QFileInfoList photos = QDir(dir.filePath()).entryInfoList(QDir::Files);
            if (!photos.isEmpty())
                newest = 0;
            for (const QFileInfo& photo : photos)
                newest = qMax(newest, photo.lastModified().toMSecsSinceEpoch());
            QVERIFY(newest > 0);
            QCOMPARE(qint64(value.toObject().value("lastTime").toDouble(-1)), newest);
        }

        const QJsonObject camera = post("getDirectory", {{"category", 2}, {"collectionId", cameraId}});
        const QJsonArray photos = camera.value("files").toArray();
        QCOMPARE(photos.size(), 6);
        QSet<int> shapes; // width / height in hundredths
        for (const QJsonValue& photo : photos) {
            const QString id = photo.toObject().value("id").toString();
            const QImage thumbnail = QImage::fromData(postRaw("getThumbnail", {{"category", 2}, {"fileId", id}}));
            QVERIFY2(!thumbnail.isNull(), qPrintable(photo.toObject().value("name").toString()));
            shapes.insert(thumbnail.width() * 100 / thumbnail.height());
        }
        QCOMPARE(shapes, (QSet<int>{133, 75, 177, 56, 100, 300}));
    }

    void foldersOfEveryCategoryList_data()
    {
        QTest::addColumn<int>("category");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("SD card") << 11 << "/"
                                 << QStringList{"Android", "DCIM", "Movies", "Music", "备份", "backup.zip"};
        QTest::newRow("app disk") << 12 << "/" << QStringList{"共享 📱", "工作文档", "我的文件", "相片备份"};
        QTest::newRow("storage, emoji") << 9 << "/📁 收藏" << QStringList{"🌅 日出.jpg", "😀 表情包.png"};
        QTest::newRow("storage, five deep") << 9 << "/文档/工作/2026/十二月/周报" << QStringList{"第一周.txt"};
    }
    void foldersOfEveryCategoryList()
    {
        QFETCH(int, category);
        QFETCH(QString, path);
        QFETCH(QStringList, names);
        const QJsonObject answer = post("getDirectory", {{"category", category}, {"path", path}});
        QCOMPARE(answer.value("code").toInt(-1), 0);
        QStringList got = namesOf(answer.value("files").toArray(), "path");
        got.sort();
        names.sort();
        QCOMPARE(got, names);
    }

    // A paste onto a taken name finishes, as on a phone: the copy takes a numbered name and what
    // was there stays as it was. Entries: "path=content" for a file, "path/" for a folder.
    void copyOntoTakenNameFinishes_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("into"); // folder, empty for the source's own
        QTest::addColumn<QString>("after");
        QTest::newRow("into its own folder") << QStringList{"a.txt=A"} << "a.txt"
                                             << ""
                                             << "a(1).txt=A a.txt=A";
        QTest::newRow("onto another file of that name") << QStringList{"s/a.txt=new", "t/a.txt=old"} << "s/a.txt"
                                                        << "t"
                                                        << "s/ s/a.txt=new t/ t/a(1).txt=new t/a.txt=old";
        QTest::newRow("first number taken") << QStringList{"a.txt=A", "a(1).txt=B"} << "a.txt"
                                            << ""
                                            << "a(1).txt=B a(2).txt=A a.txt=A";
        QTest::newRow("folder with a dot") << QStringList{"v1.2/x=X"} << "v1.2"
                                           << ""
                                           << "v1.2(1)/ v1.2(1)/x=X v1.2/ v1.2/x=X";
        QTest::newRow("hidden file") << QStringList{".cfg=C"} << ".cfg"
                                     << ""
                                     << ".cfg(1)=C .cfg=C";
        QTest::newRow("name free") << QStringList{"s/a.txt=A", "t/"} << "s/a.txt"
                                   << "t"
                                   << "s/ s/a.txt=A t/ t/a.txt=A";
    }
    void copyOntoTakenNameFinishes()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, source);
        QFETCH(QString, into);
        QFETCH(QString, after);
        const QString folder = QStringLiteral("/粘贴/") + QTest::currentDataTag();
        const QString local = m_dir.filePath("phone/storage") + folder;
        QVERIFY(writeTree(local, before));
        const QString taskId = QStringLiteral("copy ") + QTest::currentDataTag();
        const QJsonObject started = post("copyFile",
                                         {{"taskid", taskId},
                                          {"srcCategory", 9},
                                          {"dstCategory", 9},
                                          {"src", QJsonArray{QJsonObject{{"path", folder + "/" + source}}}},
                                          {"dst", into.isEmpty() ? folder : folder + "/" + into}});
        QCOMPARE(started.value("code").toInt(-1), 0);
        // The copy dialog waits for every entry's progress to reach its size.
        const QJsonArray progress = post("copyFileProgress", {{"taskid", taskId}}).value("files").toArray();
        QCOMPARE(progress.size(), 1);
        const QJsonObject entry = progress.at(0).toObject();
        QCOMPARE(entry.value("path").toString(), folder + "/" + source);
        QVERIFY(entry.value("size").toDouble() > 0);
        QCOMPARE(entry.value("progress").toDouble(), entry.value("size").toDouble());
        QCOMPARE(KoTestFiles::treeOf(local), after);
    }

    // A phone on another network: the address its report gives refuses connections, and the
    // relay serves its storage.
    void relayOnlyIsOutOfReachOnTheLan()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        KoToolRun run;
        run.start({"--root", m_dir.filePath("phone/storage"), "--account", "--relay-only", "--device-id",
                   "far-phone"},
                  tmp.path());
        QVERIFY2(run.waitFor("RERAZE_EXTRA_CA_FILE="), run.output.constData());
        const QUrl lan(run.valueAfter("LAN address "));
        QVERIFY2(lan.host() == "127.0.0.1" && lan.port() > 0, run.output.constData());
        QNetworkRequest probe(lan.resolved(QUrl("/file/v2/accessable")));
        QCOMPARE(postTo(probe, {{"toDeviceId", "far-phone"}}),
                 "error " + QByteArray::number(int(QNetworkReply::ConnectionRefusedError)));

        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(tls.caCertificates()
                              + QSslCertificate::fromPath(run.valueAfter("RERAZE_EXTRA_CA_FILE=")));
        QNetworkRequest report(QUrl(run.valueAfter("RERAZE_ACCOUNT_URL=") + "device/report"));
        report.setSslConfiguration(tls);
        const QJsonObject devices = QJsonDocument::fromJson(postTo(report, {{"cmd", "DEVICE_REPORT"}})).object();
        const QJsonObject device = devices.value("devices").toArray().at(0).toObject();
        QCOMPARE(device.value("deviceId").toString(), "far-phone");
        QCOMPARE(device.value("state").toInt(), 2);
        QCOMPARE(device.value("ip").toString(), lan.host());
        QCOMPARE(device.value("port").toInt(), lan.port());

        QNetworkRequest listing(QUrl(run.valueAfter("RERAZE_RELAY_URL=") + "reraze/operation"));
        listing.setSslConfiguration(tls);
        listing.setRawHeader("toUid", "1001");
        listing.setRawHeader("toDeviceId", "far-phone");
        listing.setRawHeader("toDeviceType", "2");
        const QJsonObject answer = QJsonDocument::fromJson(
                                       postTo(listing, {{"cmd", "getDirectory"}, {"category", 9}, {"path", "/文档"}}))
                                       .object();
        QCOMPARE(answer.value("code").toInt(-1), 0);
        QVERIFY(namesOf(answer.value("files").toArray(), "path").contains(QStringLiteral("工作")));
    }

    void sampleNeverMixesWithOtherFiles()
    {
        // A folder of the user's own files is refused and left as it was.
        const QString own = m_dir.filePath("own");
        QVERIFY(QDir().mkpath(own));
        QFile mine(own + "/mine.txt");
        QVERIFY(mine.open(QIODevice::WriteOnly) && mine.write("mine") == 4);
        mine.close();
        KoToolRun refused;
        refused.start({"--sample", own}, m_dir.filePath("tmp"));
        QVERIFY(refused.process->waitForFinished(60000));
        QCOMPARE(refused.process->exitCode(), 1);
        QCOMPARE(QDir(own).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"mine.txt"});

        // A sample tree already there keeps what the user changed in it.
        const QString readme = m_dir.filePath("phone/storage/readme.txt");
        QFile changed(readme);
        QVERIFY(changed.open(QIODevice::WriteOnly) && changed.write("changed") == 7);
        changed.close();
        KoToolRun again;
        again.start({"--sample", m_dir.filePath("phone")}, m_dir.filePath("tmp"));
        QVERIFY2(again.waitFor("category 12:"), again.output.constData());
        QVERIFY(changed.open(QIODevice::ReadOnly));
        QCOMPARE(changed.readAll(), QByteArray("changed"));
    }

    // Ctrl+C, kill or a closed terminal: the test CA and the upload folder go with the phone.
    void signalLeavesNoTemporaryFolder_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalLeavesNoTemporaryFolder()
    {
        QFETCH(int, signalNumber);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        KoToolRun run;
        run.start({"--root", m_dir.filePath("phone/storage"), "--account"}, tmp.path());
        QVERIFY2(run.waitFor("RERAZE_EXTRA_CA_FILE="), run.output.constData());
        const QString caFile = run.valueAfter("RERAZE_EXTRA_CA_FILE=");
        QVERIFY2(caFile.startsWith(tmp.path()) && QFile::exists(caFile), qPrintable(caFile));
        ::kill(pid_t(run.process->processId()), signalNumber);
        QVERIFY(run.process->waitForFinished(30000));
        QCOMPARE(run.process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process->exitCode(), 0);
        QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestFakePhoneTool)
#include "tst_fakephone.moc"
