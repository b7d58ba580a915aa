#include <QtTest>

#include <csignal>
#include <memory>

// The runnable fake phone as a newcomer starts it (tools/fake_phone): its sample phone lists
// every category, albums with thumbnails of every shape, the SD card and the app disk; it
// never writes into a folder of other files; and it leaves on a signal with its temporary
// folders (uploads, the test CA) removed.
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

    QByteArray postRaw(const QString& op, const QJsonObject& body)
    {
        QNetworkRequest request(QUrl(m_baseUrl + "/file/v2/" + op));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        std::unique_ptr<QNetworkReply> reply(m_net.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact)));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!finished.wait(30000))
            return QByteArray();
        return reply->readAll();
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
