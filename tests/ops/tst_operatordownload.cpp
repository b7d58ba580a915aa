// Group downloads through the operator against the fake phone, end to end and byte for byte:
// folder trees, the overwrite question, hostile names from the phone, stalls, resets,
// time-outs, pause, cancel, retries and the failures that must still bring the counts home.

#include "KoOpsTransferFixture.h"
#include "net/KoUserActionRecord.h"
#include "support/KoFakeLanPhone.h"

#include <QJsonArray>

using namespace KoOpsTransfer;

namespace {
const QString kPhoneId = QStringLiteral("android-dl-1");

// The phone's answer to a sub-listing of one folder holding these entries.
KoTestResponse subListing(const QString& folder, double size, const QJsonArray& files)
{
    return KoTestResponse::json(QJsonObject{{QStringLiteral("code"), 0},
                                            {QStringLiteral("data"),
                                             QJsonArray{QJsonObject{{QStringLiteral("path"), folder},
                                                                    {QStringLiteral("size"), size},
                                                                    {QStringLiteral("files"), files}}}}});
}
} // namespace

class TestOperatorDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void safeLocalPaths();
    void folderTreeArrivesByteForByte();
    void folderTreeOverTheRelay();
    void overwriteQuestionAndBothModes();
    void hostileNamesStayInsideTheFolder();
    void answerFromARefusalReceiverEndsTheGroupOnce();
    void interruptedDownloadsKeepThePartial_data();
    void interruptedDownloadsKeepThePartial();
    void aStartedDownloadIsTransferringBeforeItsFirstByte();
    void pauseThenRetryResumes_data();
    void pauseThenRetryResumes();
    void pausedDownloadResumesFromThePhoneBackOnANewPort();
    void wholeAlbumDownloadsIntoItsFolder();
    void cancelAndRemoveStopTheTaskAndDeleteThePartial_data();
    void cancelAndRemoveStopTheTaskAndDeleteThePartial();
    void retryOfARunningRecordDoesNothing();
    void folderInTheWayFailsTheDownload();
    void twoWritersOfOneTargetNeverRun();
    void namesThatMeetInOneFolder_data();
    void namesThatMeetInOneFolder();
    void failedAndSilentSubListingsDoNotHoldTheGroup();
    void code100FailsTheRecord();
    void bulkRetryAndBulkClear();
    void everyFileOfAFolderIsLoggedAndListed();

private:
    KoRemoteFileOperator* freshOperator();
    KoRemoteFile* folder(const QString& path) { return m_fx.remoteFile(path, 100); }
    KoRemoteFile* file(const QString& path) { return m_fx.remoteFile(path, 500); }
    // Starts a LAN group download of the entries (deleted here afterwards).
    void download(QList<KoRemoteFile*> entries, const QString& dst, bool lan = true);
    bool waitIdle(int timeoutMs = 20000);
    // Starts the download of /name (holding bytes) into the local folder and lets it stall after
    // stallAfter bytes; returns its partial file once it holds them, or empty text.
    QString stalledDownload(const QString& name, const QByteArray& bytes, int stallAfter);

    KoOpsPhone m_fx;
    KoRemoteFileOperator* m_op = nullptr;
    QTemporaryDir* m_local = nullptr;
};

void TestOperatorDownload::initTestCase()
{
    KoServerConfig::setSweepIntervalMs(100);
    QVERIFY(m_fx.start(this, kPhoneId));
    connectPhone(m_fx);
}

void TestOperatorDownload::cleanupTestCase()
{
    dropConnectManager();
    KoServerConfig::reset();
}

void TestOperatorDownload::init()
{
    m_fx.reset();
    KoServerConfig::setRequestDeadlineMs(15000);
    m_local = new QTemporaryDir;
    QVERIFY(m_local->isValid());
    m_op = freshOperator();
}

void TestOperatorDownload::cleanup()
{
    delete m_op;
    m_op = nullptr;
    delete m_local;
    m_local = nullptr;
    QFile::remove(convertListPath());
    connectPhone(m_fx);
}

KoRemoteFileOperator* TestOperatorDownload::freshOperator()
{
    QFile::remove(convertListPath());
    return KoRemoteFileOperator::getInstance();
}

void TestOperatorDownload::download(QList<KoRemoteFile*> entries, const QString& dst, bool lan)
{
    if (lan)
        m_op->getFileGroupDownloadStartV2(9, entries, dst, &m_fx.device);
    else
        m_op->getFileGroupDownloadStartV3(9, entries, dst, &m_fx.device);
    qDeleteAll(entries);
}

QString TestOperatorDownload::stalledDownload(const QString& name, const QByteArray& bytes, int stallAfter)
{
    if (!m_fx.writeFile(QLatin1Char('/') + name, bytes))
        return QString();
    KoTestResponse stall;
    stall.stallAfter = stallAfter;
    m_fx.phone->queueDownloadFault(stall);
    const QString dst = m_local->path();
    download({file(QLatin1Char('/') + name)}, dst);
    const bool held = QTest::qWaitFor(
        [&] { return partialsIn(dst).size() == 1 && QFileInfo(partialsIn(dst).first()).size() == stallAfter; },
        20000);
    return held ? partialsIn(dst).first() : QString();
}

bool TestOperatorDownload::waitIdle(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QTest::qWait(20);
        bool busy = !idle(m_op);
        for (KoFileConvertInfo* info : *m_op->getDownLoadingList())
            busy = busy || info->getConvertState() < 2;
        if (!busy)
            return true;
    }
    return false;
}

void TestOperatorDownload::safeLocalPaths()
{
    const QString base = QStringLiteral("/tmp/target");
    QCOMPARE(KoRemoteFileOperator::makeSafeLocalPath(base, QStringLiteral("a/b.txt")),
             QStringLiteral("/tmp/target/a/b.txt"));
    QCOMPARE(KoRemoteFileOperator::makeSafeLocalPath(base + QLatin1Char('/'), QStringLiteral("照片.jpg")),
             QStringLiteral("/tmp/target/照片.jpg"));
    QCOMPARE(KoRemoteFileOperator::makeSafeLocalPath(base, QStringLiteral(".config.json")),
             QStringLiteral("/tmp/target/.config.json"));
    for (const QString& bad :
         {QStringLiteral(".."), QStringLiteral("../x"), QStringLiteral("a/../../x"), QStringLiteral("a//b"),
          QStringLiteral("/etc/passwd"), QStringLiteral("."), QStringLiteral("a/./b"), QStringLiteral("a\\..\\b"),
          QString(), QStringLiteral("a") + QChar(0) + QStringLiteral("b"), QStringLiteral("a/")})
        QVERIFY2(KoRemoteFileOperator::makeSafeLocalPath(base, bad).isEmpty(), qPrintable(bad));
    QVERIFY(KoRemoteFileOperator::makeSafeLocalPath(QString(), QStringLiteral("a")).isEmpty());
}

void TestOperatorDownload::folderTreeArrivesByteForByte()
{
    KoWatchdog watchdog(120);
    const QString base = QStringLiteral("/照片");
    QVERIFY(m_fx.writeFile(base + QStringLiteral("/旅行 2023/海边.jpg"), randomBytes(150000, 1)));
    QVERIFY(m_fx.writeFile(base + QStringLiteral("/深/更深/最深/数据.bin"), randomBytes(300001, 2)));
    QVERIFY(m_fx.writeFile(base + QStringLiteral("/.config.json"), "{\"a\":1}"));
    QVERIFY(m_fx.writeFile(base + QStringLiteral("/.hidden"), "secret"));
    QVERIFY(m_fx.writeFile(base + QStringLiteral("/空.txt"), QByteArray()));
    QVERIFY(QDir().mkpath(m_fx.root() + base + QStringLiteral("/空文件夹/里面也空")));
    QVERIFY(m_fx.writeFile(QStringLiteral("/说明.txt"), randomBytes(4096, 3)));
    const QDateTime phoneTime = QDateTime::fromSecsSinceEpoch(1600000000);
    {
        QFile stamped(m_fx.root() + base + QStringLiteral("/旅行 2023/海边.jpg"));
        QVERIFY(stamped.open(QIODevice::ReadWrite));
        QVERIFY(stamped.setFileTime(phoneTime, QFileDevice::FileModificationTime));
    }

    KoCountWatch counts;
    counts.attach(m_op, this);
    QSignalSpy done(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2);
    QSignalSpy started(m_op, &KoRemoteFileOperator::fileDownloadStartV2);
    const QString dst = m_local->filePath(QStringLiteral("下载"));
    download({folder(base), file(QStringLiteral("/说明.txt"))}, dst);
    QTRY_VERIFY_WITH_TIMEOUT(!done.isEmpty(), 60000);
    QVERIFY(waitIdle());
    QCOMPARE(done.last().at(0).toInt(), 0);
    QCOMPARE(counts.download, 0);
    QCOMPARE(started.size(), 5); // hidden ".hidden" is never fetched
    QVERIFY(m_op->getDownLoadingList()->isEmpty());
    QCOMPARE(m_op->getConvertedList()->size(), 5);

    QMap<QString, QByteArray> expected = tree(m_fx.root() + base);
    expected.remove(QStringLiteral(".hidden"));
    QCOMPARE(tree(dst + QStringLiteral("/照片")), expected);
    QCOMPARE(readAll(dst + QStringLiteral("/说明.txt")), readAll(m_fx.root() + QStringLiteral("/说明.txt")));
    QCOMPARE(QFileInfo(dst + QStringLiteral("/照片/旅行 2023/海边.jpg")).lastModified().toSecsSinceEpoch(),
             phoneTime.toSecsSinceEpoch());
    // Nothing is left half-written anywhere.
    QDirIterator it(dst, QDirIterator::Subdirectories);
    while (it.hasNext())
        QVERIFY(!it.next().endsWith(QStringLiteral(".ReRazeDownload")));
    QCOMPARE(m_op->getTaskFromList(0), nullptr);
}

void TestOperatorDownload::folderTreeOverTheRelay()
{
    KoWatchdog watchdog(60);
    QVERIFY(m_fx.writeFile(QStringLiteral("/relay/a/一.bin"), randomBytes(70000, 4)));
    QVERIFY(m_fx.writeFile(QStringLiteral("/relay/b.txt"), "bee"));
    QSignalSpy done(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2);
    const QString dst = m_local->path();
    download({folder(QStringLiteral("/relay"))}, dst, false);
    QTRY_VERIFY_WITH_TIMEOUT(!done.isEmpty(), 30000);
    QCOMPARE(tree(dst + QStringLiteral("/relay")), tree(m_fx.root() + QStringLiteral("/relay")));
    QVERIFY(!m_fx.relay->callsTo(QStringLiteral("getFile")).isEmpty());
    QVERIFY(idle(m_op));
}

void TestOperatorDownload::overwriteQuestionAndBothModes()
{
    KoWatchdog watchdog(60);
    QVERIFY(m_fx.writeFile(QStringLiteral("/ow/a.txt"), "phone a"));
    QVERIFY(m_fx.writeFile(QStringLiteral("/ow/b.txt"), "phone b, the whole of it"));
    QVERIFY(m_fx.writeFile(QStringLiteral("/ow/c.txt"), "phone c"));
    const QString dst = m_local->path();
    QVERIFY(writeAll(dst + QStringLiteral("/a.txt"), "local a"));
    // A stale partial of something else: overwriting must never continue it.
    QVERIFY(writeAll(dst + QStringLiteral("/b.txt.ReRazeDownload"), "STALE BYTES"));

    QSignalSpy query(m_op, &KoRemoteFileOperator::fileGroupDownloadQuery);
    QSignalSpy started(m_op, &KoRemoteFileOperator::fileDownloadStartV2);
    QSignalSpy done(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2);
    auto selection = [this]() {
        return QList<KoRemoteFile*>{file(QStringLiteral("/ow/a.txt")), file(QStringLiteral("/ow/b.txt")),
                                    file(QStringLiteral("/ow/c.txt"))};
    };
    download(selection(), dst);
    QCOMPARE(query.size(), 1);
    QCOMPARE(query.at(0).at(1).toInt(), 2);
    QCOMPARE(query.at(0).at(2).toString(), kPhoneId);
    QVERIFY(started.isEmpty());
    const int group = query.at(0).at(0).toInt();
    QVERIFY(m_op->getTaskFromList(group));

    // Skip: only c comes, a and the partial of b stay as they were.
    m_op->fileGroupDownloadRespond(group, 1);
    QVERIFY(!m_op->getTaskFromList(group));
    QCOMPARE(started.size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!done.isEmpty(), 20000);
    QCOMPARE(readAll(dst + QStringLiteral("/a.txt")), QByteArray("local a"));
    QCOMPARE(readAll(dst + QStringLiteral("/b.txt.ReRazeDownload")), QByteArray("STALE BYTES"));
    QCOMPARE(readAll(dst + QStringLiteral("/c.txt")), QByteArray("phone c"));
    // A second answer to the same question does nothing.
    m_op->fileGroupDownloadRespond(group, 0);
    QCOMPARE(started.size(), 1);

    // Overwrite: all three, each identical to the phone's.
    download(selection(), dst);
    QCOMPARE(query.size(), 2);
    QCOMPARE(query.at(1).at(1).toInt(), 3);
    done.clear();
    m_op->fileGroupDownloadRespond(query.at(1).at(0).toInt(), 0);
    QCOMPARE(started.size(), 4);
    QTRY_VERIFY_WITH_TIMEOUT(!done.isEmpty() && idle(m_op), 20000);
    QCOMPARE(readAll(dst + QStringLiteral("/a.txt")), QByteArray("phone a"));
    QCOMPARE(readAll(dst + QStringLiteral("/b.txt")), QByteArray("phone b, the whole of it"));
    QVERIFY(!QFile::exists(dst + QStringLiteral("/b.txt.ReRazeDownload")));
    for (const KoFakeCall& call : m_fx.phone->callsTo(QStringLiteral("getFile")))
        QCOMPARE(call.body.value(QStringLiteral("haveRead")).toDouble(), 0.0);
}

void TestOperatorDownload::hostileNamesStayInsideTheFolder()
{
    KoWatchdog watchdog(60);
    QVERIFY(m_fx.writeFile(QStringLiteral("/dir/ok.txt"), "fine"));
    QVERIFY(m_fx.writeFile(QStringLiteral("/dir/sub/deep.txt"), "deep"));
    QVERIFY(m_fx.writeFile(QStringLiteral("/escape.txt"), "ESCAPED"));
    QVERIFY(m_fx.writeFile(QStringLiteral("/other/x.txt"), "OUTSIDE"));
    const QString dst = m_local->filePath(QStringLiteral("target"));
    const QString sentinel = m_local->filePath(QStringLiteral("sentinel"));
    QVERIFY(writeAll(sentinel + QStringLiteral("/keep.txt"), "untouched"));
    QVERIFY(QDir().mkpath(dst));

    auto entry = [](const QString& path, int type, qint64 size) {
        return QJsonObject{{QStringLiteral("path"), path},
                           {QStringLiteral("type"), type},
                           {QStringLiteral("size"), double(size)},
                           {QStringLiteral("lastTime"), 1.6e12}};
    };
    const QJsonArray files{
        entry(QStringLiteral("/dir/ok.txt"), 500, 4),
        entry(QStringLiteral("/dir/sub"), 100, 0),
        entry(QStringLiteral("/dir/sub/deep.txt"), 500, 4),
        entry(QStringLiteral("/dir/../../sentinel/keep.txt"), 500, 7),
        entry(QStringLiteral("/dir/../escape.txt"), 500, 7),
        entry(QStringLiteral("/other/x.txt"), 500, 7),
        entry(QStringLiteral("/dirx/y.txt"), 500, 7),
        entry(QStringLiteral("/dir//z.txt"), 500, 7),
        entry(QStringLiteral("/dir/../../sentinel"), 100, 0),
        entry(QStringLiteral("/dir/a\\..\\..\\b.txt"), 500, 7),
    };
    m_fx.phone->queueAnswer(QStringLiteral("getMultiSubPaths"), subListing(QStringLiteral("/dir"), 40, files));

    // Top-level names from display names: "/" inside, climbing, empty.
    auto named = [this](const QString& path, const QString& display, int type) {
        return new KoRemoteFile(m_fx.url(), path, type, 0, 0, display);
    };
    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileDownloadErrorV2);
    QSignalSpy done(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2);
    download({folder(QStringLiteral("/dir")), named(QStringLiteral("/dir/ok"), QStringLiteral("sub/evil"), 500),
              named(QStringLiteral("/x"), QStringLiteral(".."), 100)},
             dst);
    QTRY_VERIFY_WITH_TIMEOUT(!done.isEmpty(), 20000);
    QVERIFY(waitIdle());

    QCOMPARE(tree(sentinel), (QMap<QString, QByteArray>{{QStringLiteral("keep.txt"), "untouched"}}));
    const QMap<QString, QByteArray> expected{{QStringLiteral("dir"), "<dir>"},
                                             {QStringLiteral("dir/ok.txt"), "fine"},
                                             {QStringLiteral("dir/sub"), "<dir>"},
                                             {QStringLiteral("dir/sub/deep.txt"), "deep"}};
    QCOMPARE(tree(dst), expected);
    QCOMPARE(tree(m_local->path()).size(), expected.size() + 3); // target, sentinel, keep.txt
    // Seven refused entries of the listing and two refused top-level names, each a failure.
    QCOMPARE(errors.size(), 9);
    QCOMPARE(done.last().at(0).toInt(), 9);
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("getFile")).size(), 2);
}

void TestOperatorDownload::answerFromARefusalReceiverEndsTheGroupOnce()
{
    KoWatchdog watchdog(60);
    QVERIFY(m_fx.writeFile(QStringLiteral("/a.bin"), "alpha"));
    const QString dst = m_local->filePath(QStringLiteral("target"));
    QVERIFY(QDir().mkpath(dst));
    // A receiver that answers for every group as soon as it hears of a refused name: the group
    // is ended from inside the start call.
    QObject receiver;
    connect(m_op, &KoRemoteFileOperator::fileDownloadErrorV2, &receiver, [this]() {
        for (int id = 0; id < 8; ++id)
            m_op->fileGroupDownloadRespond(id, 0);
    });
    QSignalSpy success(m_op, &KoRemoteFileOperator::fileDownloadSuccessV2);
    download({file(QStringLiteral("/a.bin")),
              new KoRemoteFile(m_fx.url(), QStringLiteral("/x"), 500, 0, 0, QStringLiteral(".."))},
             dst);
    QTRY_COMPARE_WITH_TIMEOUT(success.size(), 1, 20000);
    QVERIFY(waitIdle());
    QCOMPARE(readAll(dst + QStringLiteral("/a.bin")), QByteArray("alpha"));
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("getFile")).size(), 1);
}

// A phone that stalls or resets mid-file: what arrived is kept and resumed from. One stall
// heals within the retries; a reset fails the record at once; four stalls in a row use up the
// retries and fail it. A failed record's retry goes on from its partial file.
void TestOperatorDownload::interruptedDownloadsKeepThePartial_data()
{
    QTest::addColumn<bool>("reset"); // else a stall
    QTest::addColumn<int>("at");     // body bytes sent before the fault
    QTest::addColumn<int>("faults"); // requests in a row that meet it
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("deadlineMs");
    QTest::addColumn<bool>("healsAlone");
    QTest::addColumn<bool>("noLength"); // a close-delimited body: only the listed size tells it was cut
    QTest::newRow("one stall resumes on its own") << false << 400000 << 1 << 1200000 << 1500 << true << false;
    QTest::newRow("a reset fails, the retry resumes") << true << 500000 << 1 << 900000 << 15000 << false << false;
    QTest::newRow("a reset without a length fails, the retry resumes")
        << true << 500000 << 1 << 900000 << 15000 << false << true;
    QTest::newRow("four time-outs fail keeping the partial")
        << false << 1000 << 4 << 100000 << 1000 << false << false;
}

void TestOperatorDownload::interruptedDownloadsKeepThePartial()
{
    QFETCH(bool, reset);
    QFETCH(int, at);
    QFETCH(int, faults);
    QFETCH(int, size);
    QFETCH(int, deadlineMs);
    QFETCH(bool, healsAlone);
    QFETCH(bool, noLength);
    KoWatchdog watchdog(90);
    KoServerConfig::setRequestDeadlineMs(deadlineMs);
    const QByteArray bytes = randomBytes(size, quint32(at));
    QVERIFY(m_fx.writeFile(QStringLiteral("/cut.bin"), bytes));
    for (int i = 0; i < faults; ++i) {
        KoTestResponse fault;
        (reset ? fault.resetAfter : fault.stallAfter) = at;
        fault.noContentLength = noLength;
        m_fx.phone->queueDownloadFault(fault);
    }
    KoCountWatch counts;
    counts.attach(m_op, this);
    QSignalSpy success(m_op, &KoRemoteFileOperator::fileDownloadSuccessV2);
    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileDownloadErrorV2);
    QSignalSpy done(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2);
    const QString target = m_local->filePath(QStringLiteral("cut.bin"));
    download({noLength ? new KoRemoteFile(m_fx.url(), QStringLiteral("/cut.bin"), 200, size, 0, QString())
                       : file(QStringLiteral("/cut.bin"))},
             m_local->path());
    KoFileDownloadInfo* record = downloadAt(m_op, 0);
    QVERIFY(record);
    const int firstId = record->getTaskId();
    const auto calls = [this] { return m_fx.phone->callsTo(QStringLiteral("getFile")); };
    const auto lastHaveRead = [&] { return calls().last().body.value(QStringLiteral("haveRead")).toDouble(); };

    if (healsAlone) {
        QTRY_VERIFY_WITH_TIMEOUT(!success.isEmpty(), 30000);
        QVERIFY(errors.isEmpty());
        QCOMPARE(readAll(target), bytes);
        QCOMPARE(calls().size(), 2);
        QCOMPARE(lastHaveRead(), double(at));
        QVERIFY(!calls().last().body.value(QStringLiteral("checksum")).toString().isEmpty());
        QVERIFY(idle(m_op));
        return;
    }

    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 30000);
    QTest::qWait(300);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(record->getConvertState(), 3);
    QCOMPARE(calls().size(), faults);
    // Each time-out restarts the record in its slot under a new task id.
    QCOMPARE(record->getTaskId(), firstId + faults - 1);
    const qint64 kept = QFileInfo(target + QStringLiteral(".ReRazeDownload")).size();
    QVERIFY(kept > 0);
    QCOMPARE(record->getHaveRead(), kept);
    if (faults > 1) {
        QCOMPARE(kept, qint64(faults) * at);
        QCOMPARE(record->getRetryTimes(), 0);
    }
    QCOMPARE(counts.download, 0);
    QVERIFY(done.isEmpty());
    QCOMPARE(m_op->getRunningTransferCount(), 0);
    QVERIFY(idle(m_op));

    m_op->getFileRetryDownloadStart(record->getTaskId());
    QTRY_VERIFY_WITH_TIMEOUT(!success.isEmpty(), 20000);
    QCOMPARE(readAll(target), bytes);
    QCOMPARE(lastHaveRead(), double(kept));
    QVERIFY(idle(m_op));
}

void TestOperatorDownload::aStartedDownloadIsTransferringBeforeItsFirstByte()
{
    KoWatchdog watchdog(60);
    KoServerConfig::setRequestDeadlineMs(1000);
    const QByteArray bytes = randomBytes(50000, 12);
    QVERIFY(m_fx.writeFile(QStringLiteral("/quiet.bin"), bytes));
    // The phone says nothing for longer than the deadline, once: no byte, no progress.
    KoTestResponse silent;
    silent.delayMs = 3000;
    m_fx.phone->queueDownloadFault(silent);
    QSignalSpy progress(m_op, &KoRemoteFileOperator::downloadTaskProgressV2);
    QSignalSpy success(m_op, &KoRemoteFileOperator::fileDownloadSuccessV2);
    download({file(QStringLiteral("/quiet.bin"))}, m_local->path());
    KoFileDownloadInfo* record = downloadAt(m_op, 0);
    const int firstId = record->getTaskId();
    QCOMPARE(record->getConvertState(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_op->getRunningTransferCount() == 1, 5000);
    QVERIFY(progress.isEmpty());
    QCOMPARE(record->getConvertState(), 1);
    // Restarted in its slot after the time-out: still under way when its request reaches the
    // phone (read there, as the rest of the file may follow within any wait of ours).
    int slotsAtRetry = -1;
    int stateAtRetry = -1;
    int idAtRetry = firstId;
    QObject watch;
    connect(m_fx.phone, &KoFakePhone::called, &watch, [&](const KoFakeCall& call) {
        if (call.op == QLatin1String("getFile") && m_fx.phone->callsTo(call.op).size() == 2) {
            slotsAtRetry = m_op->getRunningTransferCount();
            stateAtRetry = record->getConvertState();
            idAtRetry = record->getTaskId();
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(!success.isEmpty(), 20000);
    QVERIFY(idAtRetry != firstId);
    QCOMPARE(slotsAtRetry, 1);
    QCOMPARE(stateAtRetry, 1);
    QCOMPARE(readAll(m_local->filePath(QStringLiteral("quiet.bin"))), bytes);
    QVERIFY(idle(m_op));
}

void TestOperatorDownload::pauseThenRetryResumes_data()
{
    QTest::addColumn<bool>("fromReceiver");
    QTest::addColumn<QString>("name");
    // The list comes back from the file with the record twice, as an earlier version may have
    // written it: one is refused while the other is listed, and leaves the other's bytes.
    QTest::addColumn<bool>("twice");
    QTest::newRow("retry later") << false << QStringLiteral("pause.bin") << false;
    QTest::newRow("retry from the pause receiver") << true << QStringLiteral("pause.bin") << false;
    QTest::newRow("a name of 250 bytes") << false << longName() << false;
    QTest::newRow("listed twice after a restart") << false << QStringLiteral("pause.bin") << true;
}

void TestOperatorDownload::pauseThenRetryResumes()
{
    QFETCH(bool, fromReceiver);
    QFETCH(QString, name);
    QFETCH(bool, twice);
    KoWatchdog watchdog(60);
    const QByteArray bytes = randomBytes(800000, 8);
    const QString dst = m_local->path();
    QSignalSpy paused(m_op, &KoRemoteFileOperator::fileDownloadPause);
    const QString partial = stalledDownload(name, bytes, 300000);
    QVERIFY(!partial.isEmpty());
    KoFileDownloadInfo* record = downloadAt(m_op, 0);
    // A name that fits keeps the plain partial name; a long one still gets one the disk takes.
    if (name.toUtf8().size() < 200)
        QCOMPARE(partial, dst + QLatin1Char('/') + name + QStringLiteral(".ReRazeDownload"));
    QVERIFY(QFileInfo(partial).fileName().toUtf8().size() <= 255);
    QCOMPARE(m_op->getRunningTransferCount(), 1);
    int id = record->getTaskId();
    if (fromReceiver) {
        // The pause has ended the task when it is told: a retry from there starts it again.
        connect(m_op, &KoRemoteFileOperator::fileDownloadPause, this,
                [this](int paused) { m_op->getFileRetryDownloadStart(paused); });
        m_op->pauseFileDownload(id);
        QCOMPARE(paused.size(), 1);
        QVERIFY(record->getTaskId() != id);
    } else {
        m_op->pauseFileDownload(id);
        QCOMPARE(paused.size(), 1);
        QCOMPARE(record->getConvertState(), 4);
        QVERIFY(!m_op->getTaskFromList(id));
        QVERIFY(idle(m_op));
        QTest::qWait(200);
        QCOMPARE(QFileInfo(partial).size(), 300000);
        if (twice) {
            delete m_op;
            const QByteArray line = readAll(convertListPath());
            QVERIFY(writeAll(convertListPath(), line + line));
            m_op = KoRemoteFileOperator::getInstance();
            QSignalSpy errors(m_op, &KoRemoteFileOperator::fileDownloadErrorV2);
            m_op->getFileRetryDownloadStart(1);
            QCOMPARE(errors.size(), 1);
            QCOMPARE(downloadAt(m_op, 1)->getFailReason(), int(KoFileDownloadInfo::FailListedTwice));
            m_op->removeDownloadErrorTask(1);
            QCOMPARE(readAll(partial), bytes.left(300000));
            record = downloadAt(m_op, 0);
            id = record->getTaskId();
        }
        m_op->getFileRetryDownloadStart(id);
        QVERIFY(record->getTaskId() != id);
    }
    QCOMPARE(record->getConvertState(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_op->getConvertedList()->size(), 1, 20000);
    QCOMPARE(readAll(dst + QLatin1Char('/') + name), bytes);
    QVERIFY(partialsIn(dst).isEmpty());
    const QList<KoFakeCall> calls = m_fx.phone->callsTo(QStringLiteral("getFile"));
    QCOMPARE(calls.size(), 2);
    QCOMPARE(calls.last().body.value(QStringLiteral("haveRead")).toDouble(), 300000.0);
    QVERIFY(idle(m_op));
}

// The phone app restarts on another port and pairs again while its old entry is listed: the
// paused download goes on from its partial file, at the new port.
void TestOperatorDownload::pausedDownloadResumesFromThePhoneBackOnANewPort()
{
    KoWatchdog watchdog(60);
    const QString name = longName();
    const QByteArray bytes = randomBytes(700000, 18);
    const QString dst = m_local->path();
    QVERIFY(!stalledDownload(name, bytes, 250000).isEmpty());
    KoFileDownloadInfo* record = downloadAt(m_op, 0);
    m_op->pauseFileDownload(record->getTaskId());
    QCOMPARE(record->getConvertState(), 4);

    auto* again = new KoFakePhone(m_fx.root(), this);
    again->setIdentity(m_fx.deviceId(), QStringLiteral("Pixel"), 2, 30, KoOpsPhone::kUid);
    QVERIFY(again->start());
    KoFakeLanPhone lan(again);
    QVERIFY(lan.start());
    KoRemoteConnectManager* manager = KoRemoteConnectManager::getInstance();
    lan.setComputer(QHostAddress::LocalHost, manager->getLanPort());
    QSignalSpy connected(manager, &KoRemoteConnectManager::deviceConnected);
    lan.pair(manager->getQrKey());
    QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 1, 10000);
    QCOMPARE(manager->getConnectedList()->size(), 1);

    QSignalSpy success(m_op, &KoRemoteFileOperator::fileDownloadSuccessV2);
    m_op->getFileRetryDownloadStart(record->getTaskId());
    QTRY_VERIFY_WITH_TIMEOUT(!success.isEmpty(), 20000);
    QCOMPARE(readAll(dst + QLatin1Char('/') + name), bytes);
    const QList<KoFakeCall> calls = again->callsTo(QStringLiteral("getFile"));
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().body.value(QStringLiteral("haveRead")).toDouble(), 250000.0);
    QVERIFY(partialsIn(dst).isEmpty());
    QVERIFY(idle(m_op));
    disconnectPhone(m_fx);
    delete again;
}

// The selected album's photos are ids of their own: every one lands in the album's folder.
void TestOperatorDownload::wholeAlbumDownloadsIntoItsFolder()
{
    KoWatchdog watchdog(60);
    const QString albums = m_fx.dir.filePath(QStringLiteral("albums"));
    const QByteArray one = randomBytes(30000, 15);
    const QByteArray two = randomBytes(40000, 16);
    QVERIFY(writeAll(albums + QStringLiteral("/Camera/IMG_1.jpg"), one));
    QVERIFY(writeAll(albums + QStringLiteral("/Camera/IMG_2.jpg"), two));
    QVERIFY(writeAll(albums + QStringLiteral("/Other/IMG_3.jpg"), randomBytes(100, 17)));
    m_fx.phone->setCategoryRoot(2, albums);
    QSignalSpy done(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2);
    const QString dst = m_local->path();
    QList<KoRemoteFile*> entries{new KoRemoteFile(m_fx.url(), KoFakePhone::albumId(QStringLiteral("Camera")), 100, 2,
                                                  quint64(-1), QStringLiteral("Camera"))};
    m_op->getFileGroupDownloadStartV2(2, entries, dst, &m_fx.device);
    qDeleteAll(entries);
    QTRY_VERIFY_WITH_TIMEOUT(!done.isEmpty(), 20000);
    QCOMPARE(done.last().at(0).toInt(), 0);
    const QString album = QStringLiteral("Camera/");
    const QMap<QString, QByteArray> expected{
        {QStringLiteral("Camera"), QByteArray("<dir>")},
        {album + KoFakePhone::photoId(QStringLiteral("Camera"), QStringLiteral("IMG_1.jpg")), one},
        {album + KoFakePhone::photoId(QStringLiteral("Camera"), QStringLiteral("IMG_2.jpg")), two}};
    QVERIFY(tree(dst) == expected);
    QVERIFY(idle(m_op));
}

void TestOperatorDownload::cancelAndRemoveStopTheTaskAndDeleteThePartial_data()
{
    QTest::addColumn<bool>("cancel"); // else removed from the list as a failed record would be
    QTest::addColumn<QString>("name");
    QTest::newRow("cancel") << true << QStringLiteral("cancel.bin");
    QTest::newRow("remove a running record") << false << QStringLiteral("cancel.bin");
    QTest::newRow("cancel, a name of 250 bytes") << true << longName();
}

void TestOperatorDownload::cancelAndRemoveStopTheTaskAndDeleteThePartial()
{
    QFETCH(bool, cancel);
    QFETCH(QString, name);
    KoWatchdog watchdog(60);
    const QString dst = m_local->path();
    KoCountWatch counts;
    counts.attach(m_op, this);
    QSignalSpy cancelled(m_op, &KoRemoteFileOperator::fileDownloadCancel);
    QSignalSpy moved(m_op, &KoRemoteFileOperator::fileDownloadErrorTaskMove);
    QVERIFY(!stalledDownload(name, randomBytes(600000, 9), 200000).isEmpty());
    const int id = downloadAt(m_op, 0)->getTaskId();
    if (cancel)
        m_op->cancelFileDownload(id);
    else
        m_op->removeDownloadErrorTask(id);
    QCOMPARE((cancel ? cancelled : moved).size(), 1);
    if (cancel)
        QCOMPARE(cancelled.at(0).at(0).toInt(), id);
    QVERIFY(m_op->getDownLoadingList()->isEmpty());
    QVERIFY(!m_op->getTaskFromList(id));
    QVERIFY(idle(m_op));
    QCOMPARE(counts.download, 0);
    QTest::qWait(300);
    // Nothing is left behind: neither the partial file nor the target.
    QCOMPARE(tree(dst), (QMap<QString, QByteArray>()));
    QCOMPARE(m_op->getRunningTransferCount(), 0);
}

void TestOperatorDownload::retryOfARunningRecordDoesNothing()
{
    KoWatchdog watchdog(60);
    const QByteArray bytes = randomBytes(500000, 11);
    QVERIFY(m_fx.writeFile(QStringLiteral("/busy.bin"), bytes));
    m_fx.phone->setDelay(QStringLiteral("getFile"), 600);
    QSignalSpy started(m_op, &KoRemoteFileOperator::fileDownloadStartV2);
    QSignalSpy success(m_op, &KoRemoteFileOperator::fileDownloadSuccessV2);
    download({file(QStringLiteral("/busy.bin"))}, m_local->path());
    KoFileDownloadInfo* record = downloadAt(m_op, 0);
    const int id = record->getTaskId();
    // Waiting, then running: a retry of either is ignored.
    m_op->getFileRetryDownloadStart(id);
    QCOMPARE(record->getTaskId(), id);
    QTRY_VERIFY_WITH_TIMEOUT(m_op->getRunningTransferCount() == 1, 5000);
    m_op->getFileRetryDownloadStart(id);
    m_op->allFailedDownloadRetry();
    QCOMPARE(record->getTaskId(), id);
    QCOMPARE(started.size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!success.isEmpty(), 20000);
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("getFile")).size(), 1);
    QCOMPARE(readAll(m_local->filePath(QStringLiteral("busy.bin"))), bytes);
    QVERIFY(idle(m_op));
}

void TestOperatorDownload::folderInTheWayFailsTheDownload()
{
    QVERIFY(m_fx.writeFile(QStringLiteral("/clash.txt"), "phone"));
    const QString dst = m_local->path();
    QVERIFY(writeAll(dst + QStringLiteral("/clash.txt/mine.txt"), "my data"));
    QSignalSpy query(m_op, &KoRemoteFileOperator::fileGroupDownloadQuery);
    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileDownloadErrorV2);
    download({file(QStringLiteral("/clash.txt"))}, dst);
    QCOMPARE(query.size(), 1);
    m_op->fileGroupDownloadRespond(query.at(0).at(0).toInt(), 0);
    QCOMPARE(errors.size(), 1);
    KoFileDownloadInfo* record = downloadAt(m_op, 0);
    QCOMPARE(record->getConvertState(), 3);
    QVERIFY(idle(m_op));
    // A retry fails the same way and sends nothing.
    m_op->getFileRetryDownloadStart(record->getTaskId());
    QCOMPARE(errors.size(), 2);
    QTest::qWait(300);
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("getFile")).size(), 0);
    QCOMPARE(tree(dst + QStringLiteral("/clash.txt")),
             (QMap<QString, QByteArray>{{QStringLiteral("mine.txt"), "my data"}}));
    QVERIFY(idle(m_op));
}

void TestOperatorDownload::twoWritersOfOneTargetNeverRun()
{
    KoWatchdog watchdog(60);
    QVERIFY(m_fx.writeFile(QStringLiteral("/one/same.txt"), "first"));
    QVERIFY(m_fx.writeFile(QStringLiteral("/two/same.txt"), "second"));
    m_fx.phone->setDelay(QStringLiteral("getFile"), 500);
    QSignalSpy started(m_op, &KoRemoteFileOperator::fileDownloadStartV2);
    QSignalSpy success(m_op, &KoRemoteFileOperator::fileDownloadSuccessV2);
    const QString dst = m_local->path();
    download({file(QStringLiteral("/one/same.txt")), file(QStringLiteral("/two/same.txt"))}, dst);
    QCOMPARE(started.size(), 1);
    // While it runs, another group for the same target is skipped too, even when told to
    // overwrite.
    QSignalSpy query(m_op, &KoRemoteFileOperator::fileGroupDownloadQuery);
    download({file(QStringLiteral("/two/same.txt"))}, dst);
    if (!query.isEmpty())
        m_op->fileGroupDownloadRespond(query.at(0).at(0).toInt(), 0);
    QCOMPARE(started.size(), 1);
    QCOMPARE(m_op->getDownLoadingList()->size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!success.isEmpty() && idle(m_op), 20000);
    QCOMPARE(readAll(dst + QStringLiteral("/same.txt")), QByteArray("first"));
}

void TestOperatorDownload::namesThatMeetInOneFolder_data()
{
    QTest::addColumn<QStringList>("names");   // as the phone lists them
    QTest::addColumn<QStringList>("refused"); // a name the disk cannot hold, a partial-file name
    QTest::addColumn<QString>("apart");       // comes in a second group
    // Once the finished list is cleared: "retry" the failed rows, "remove" them, or download the
    // folder "again", overwriting.
    QTest::addColumn<QString>("then");
    const QString x = QStringLiteral("x.bin");
    const QString partial = QStringLiteral(".ReRazeDownload");
    QString start; // 231 bytes
    while (start.size() < 77)
        start += QStringLiteral("长");
    QString tooLong;
    while (tooLong.toUtf8().size() < 300)
        tooLong += QStringLiteral("名");
    const QStringList twins{x, x + partial};
    QTest::newRow("a file and its partial-named twin, retried")
        << twins << QStringList{x + partial} << QString() << "retry";
    QTest::newRow("the twin listed first, removed")
        << QStringList{x + partial, x} << QStringList{x + partial} << QString() << "remove";
    QTest::newRow("the twin in a second group, again") << twins << QStringList{x + partial} << x + partial << "again";
    QTest::newRow("x.bin in a second group, retried") << twins << QStringList{x + partial} << x << "retry";
    QTest::newRow("x.bin in a second group, removed") << twins << QStringList{x + partial} << x << "remove";
    QTest::newRow("a chain of three, again")
        << QStringList{x + partial + partial, x, x + partial} << QStringList{x + partial + partial, x + partial}
        << QString() << "again";
    QTest::newRow("two long names sharing their first 231 bytes")
        << QStringList{start + QStringLiteral("-first-copy.bin"), start + QStringLiteral("-other-copy.bin")}
        << QStringList() << QString() << QString();
    QTest::newRow("a 300-byte name, retried")
        << QStringList{QStringLiteral("ok.txt"), tooLong} << QStringList{tooLong} << QString() << "retry";
}

// Names of one folder whose local or partial files meet: each file arrives whole, or fails
// without a request and without leaving anything, whatever the user does with the history and
// the failed rows afterwards; never one file's bytes under another name.
void TestOperatorDownload::namesThatMeetInOneFolder()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, refused);
    QFETCH(QString, apart);
    QFETCH(QString, then);
    KoWatchdog watchdog(120);
    QMap<QString, QByteArray> expected;
    QJsonArray files;
    QJsonArray later;
    for (int i = 0; i < names.size(); ++i) {
        const QByteArray bytes = randomBytes(names.at(i) == QLatin1String("x.bin") ? 3000000 : 60000 + i, 40 + i);
        const QString path = QStringLiteral("/pair/") + names.at(i);
        if (names.at(i).toUtf8().size() <= 255)
            QVERIFY(m_fx.writeFile(path, bytes));
        if (!refused.contains(names.at(i)))
            expected.insert(names.at(i), bytes);
        (names.at(i) == apart ? later : files)
            .append(QJsonObject{{QStringLiteral("path"), path},
                                {QStringLiteral("type"), 500},
                                {QStringLiteral("size"), double(bytes.size())},
                                {QStringLiteral("lastTime"), 1.6e12}});
    }
    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileDownloadErrorV2);
    connect(m_op, &KoRemoteFileOperator::fileGroupDownloadQuery, this,
            [this](int id) { m_op->fileGroupDownloadRespond(id, 0); }, Qt::QueuedConnection);
    QJsonArray all = files;
    for (const QJsonValue& entry : qAsConst(later))
        all.append(entry);
    const QString dst = m_local->path();
    for (const QJsonArray& group : {files, later, then == QLatin1String("again") ? all : QJsonArray()}) {
        if (group.isEmpty())
            continue;
        m_fx.phone->queueAnswer(QStringLiteral("getMultiSubPaths"), subListing(QStringLiteral("/pair"), 0, group));
        download({folder(QStringLiteral("/pair"))}, dst);
        QVERIFY(waitIdle(60000));
        if (m_op->getConvertedList()->isEmpty())
            continue;
        m_op->clearConvertedList();
        const QList<QPointer<KoFileConvertInfo>> failed(m_op->getDownLoadingList()->begin(),
                                                        m_op->getDownLoadingList()->end());
        for (const QPointer<KoFileConvertInfo>& info : failed) {
            if (info && then == QLatin1String("retry"))
                m_op->getFileRetryDownloadStart(info->getTaskId());
            else if (info && then == QLatin1String("remove"))
                m_op->removeDownloadErrorTask(info->getTaskId());
        }
        QVERIFY(waitIdle(60000));
    }
    QCOMPARE(tree(dst + QStringLiteral("/pair")), expected);
    QCOMPARE(m_op->getDownLoadingList()->size(), then == QLatin1String("remove") ? 0 : refused.size());
    for (KoFileConvertInfo* info : *m_op->getDownLoadingList()) {
        auto* record = qobject_cast<KoFileDownloadInfo*>(info);
        const bool tooLong = QFileInfo(record->getLocalFilePath()).fileName().toUtf8().size() > 255;
        QCOMPARE(record->getFailReason(),
                 int(tooLong ? KoFileDownloadInfo::FailNameNotHeld : KoFileDownloadInfo::FailReservedName));
    }
    for (const QString& name : qAsConst(refused))
        QVERIFY(errors.contains(QVariantList{dst + QStringLiteral("/pair/") + name}));
    for (const KoFakeCall& call : m_fx.phone->callsTo(QStringLiteral("getFile")))
        QVERIFY(!refused.contains(call.body.value(QStringLiteral("path")).toString().mid(6)));
}

void TestOperatorDownload::failedAndSilentSubListingsDoNotHoldTheGroup()
{
    KoWatchdog watchdog(60);
    KoServerConfig::setRequestDeadlineMs(1000);
    QVERIFY(m_fx.writeFile(QStringLiteral("/loose.txt"), "loose"));
    QVERIFY(m_fx.writeFile(QStringLiteral("/gone/x.txt"), "x"));
    QVERIFY(m_fx.writeFile(QStringLiteral("/mute/y.txt"), "y"));
    m_fx.phone->queueAnswer(QStringLiteral("getMultiSubPaths"),
                            KoTestResponse::json(QJsonObject{{QStringLiteral("code"), 2}}));
    KoTestResponse silence;
    silence.noAnswer = true;
    m_fx.phone->queueAnswer(QStringLiteral("getMultiSubPaths"), silence);
    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileDownloadErrorV2);
    QSignalSpy timeouts(m_op, &KoRemoteFileOperator::taskExecuteTimeoutV2);
    QSignalSpy done(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2);
    const QString dst = m_local->path();
    download({folder(QStringLiteral("/gone")), folder(QStringLiteral("/mute")), file(QStringLiteral("/loose.txt"))},
             dst);
    QTRY_VERIFY_WITH_TIMEOUT(!done.isEmpty(), 20000);
    QCOMPARE(timeouts.size(), 1);
    QCOMPARE(timeouts.at(0).at(0).toInt(), 6);
    QCOMPARE(errors.size(), 2);
    QStringList folders{errors.at(0).at(0).toString(), errors.at(1).at(0).toString()};
    folders.sort();
    QCOMPARE(folders, (QStringList{dst + QStringLiteral("/gone"), dst + QStringLiteral("/mute")}));
    QCOMPARE(done.last().at(0).toInt(), 2);
    QCOMPARE(readAll(dst + QStringLiteral("/loose.txt")), QByteArray("loose"));
    QTRY_VERIFY(idle(m_op));
    // The group task is gone with its listings.
    for (int id = 0; id < 4; ++id)
        QVERIFY(!m_op->getTaskFromList(id));
}

void TestOperatorDownload::code100FailsTheRecord()
{
    QVERIFY(m_fx.writeFile(QStringLiteral("/denied.txt"), "no"));
    QVERIFY(m_fx.writeFile(QStringLiteral("/fine.txt"), "yes"));
    KoCountWatch counts;
    counts.attach(m_op, this);
    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileDownloadErrorV2);
    QSignalSpy refused(m_op, &KoRemoteFileOperator::taskExecuteNoPermission);
    QSignalSpy done(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2);
    const auto logged = [] {
        return readAll(KoUserActionRecord::getInstance()->currentLogFile()).count("\"action\":\"DownloadFile\"");
    };
    const int loggedBefore = logged();
    const QString dst = m_local->path();
    download({file(QStringLiteral("/denied.txt")), file(QStringLiteral("/fine.txt"))}, dst);
    QCOMPARE(counts.download, 2);
    const int id = downloadAt(m_op, 0)->getTaskId();
    // The phone's refusal arrives before the scheduler starts the task.
    m_op->onTaskExecuteResultV2(id, 100, nullptr, nullptr);
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused.at(0).at(0).toInt(), 1);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), dst + QStringLiteral("/denied.txt"));
    QCOMPARE((QList<int>{downloadAt(m_op, 0)->getConvertState(), counts.download}), (QList<int>{3, 1}));
    // The refusal is not a failed download of the usage log.
    QCOMPARE(logged(), loggedBefore);
    QTRY_VERIFY_WITH_TIMEOUT(!done.isEmpty(), 20000);
    QCOMPARE(done.last().at(0).toInt(), 1);
    QCOMPARE(counts.download, 0);
}

void TestOperatorDownload::bulkRetryAndBulkClear()
{
    KoWatchdog watchdog(60);
    for (const QString& name : {QStringLiteral("p"), QStringLiteral("q"), QStringLiteral("r")})
        QVERIFY(m_fx.writeFile(QStringLiteral("/bulk/") + name, name.toUtf8().repeated(1000)));
    KoTestResponse reset;
    reset.resetAfter = 10;
    m_fx.phone->queueDownloadFault(reset);
    m_fx.phone->queueDownloadFault(reset);
    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileDownloadErrorV2);
    QSignalSpy done(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2);
    const QString dst = m_local->path();
    download({file(QStringLiteral("/bulk/p")), file(QStringLiteral("/bulk/q")), file(QStringLiteral("/bulk/r"))},
             dst);
    QTRY_VERIFY_WITH_TIMEOUT(errors.size() == 2 && idle(m_op), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(m_op->getDownLoadingList()->size() == 2, 5000);

    // Phone gone: the bulk retry leaves them failed and says so once each.
    disconnectPhone(m_fx);
    m_op->allFailedDownloadRetry();
    QCOMPARE(errors.size(), 4);
    QVERIFY(idle(m_op));
    connectPhone(m_fx);
    KoFileDownloadInfo* first = downloadAt(m_op, 0);
    first->setRetryTimes(1);
    m_op->allFailedDownloadRetry();
    QCOMPARE(first->getRetryTimes(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(m_op->getDownLoadingList()->isEmpty() && idle(m_op), 20000);
    QCOMPARE(tree(dst).size(), 3);
    QCOMPARE(readAll(dst + QStringLiteral("/q")), QByteArray("q").repeated(1000));

    // Clearing: failed ones lose their partial file, the signal says "all".
    KoTestResponse again;
    again.resetAfter = 100;
    m_fx.phone->queueDownloadFault(again);
    QSignalSpy cancelled(m_op, &KoRemoteFileOperator::fileDownloadCancel);
    QSignalSpy query(m_op, &KoRemoteFileOperator::fileGroupDownloadQuery);
    download({file(QStringLiteral("/bulk/p"))}, dst);
    m_op->fileGroupDownloadRespond(query.last().at(0).toInt(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(downloadAt(m_op, 0) && downloadAt(m_op, 0)->getConvertState() == 3, 20000);
    QVERIFY(QFile::exists(dst + QStringLiteral("/p.ReRazeDownload")));
    m_op->clearAllFailedDownload();
    QCOMPARE(cancelled.size(), 1);
    QCOMPARE(cancelled.at(0).at(0).toInt(), -1);
    QVERIFY(m_op->getDownLoadingList()->isEmpty());
    QVERIFY(!QFile::exists(dst + QStringLiteral("/p.ReRazeDownload")));
    QVERIFY(idle(m_op));
}

// A folder's files go into the usage log and the saved list together, not one write each;
// every one of them must still be there, and the list saved during the run must read as the
// one written at exit.
void TestOperatorDownload::everyFileOfAFolderIsLoggedAndListed()
{
    KoWatchdog watchdog(240);
    const int count = 300;
    for (int i = 0; i < count; ++i)
        QVERIFY(m_fx.writeFile(QStringLiteral("/many/d%1/f%2.txt").arg(i / 50).arg(i), randomBytes(100 + i, i)));
    const QString logPath = KoUserActionRecord::getInstance()->currentLogFile();
    const auto logged = [&logPath] { return readAll(logPath).count("\"action\":\"DownloadFile\""); };
    const int loggedBefore = logged();
    QSignalSpy done(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2);
    download({folder(QStringLiteral("/many"))}, m_local->path());
    QTRY_VERIFY_WITH_TIMEOUT(!done.isEmpty(), 180000);
    QCOMPARE(m_op->getConvertedList()->size(), count);
    // Without anything asking for the file: the kept records reach it by themselves.
    QTRY_COMPARE_WITH_TIMEOUT(logged() - loggedBefore, count, 10000);

    // The periodic save holds every file once.
    const auto savedNames = [] {
        QStringList names;
        for (const QByteArray& line : readAll(convertListPath()).split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value(QStringLiteral("state")).toInt() == 2)
                names << o.value(QStringLiteral("fileName")).toString();
        }
        names.sort();
        return names;
    };
    QStringList expected;
    for (int i = 0; i < count; ++i)
        expected << QStringLiteral("f%1.txt").arg(i);
    expected.sort();
    QTRY_COMPARE_WITH_TIMEOUT(savedNames(), expected, 15000);
    // A record that leaves after it was saved leaves the file too; one that changed is saved
    // as it is now; the lines kept from the earlier save read as fresh ones do.
    auto* gone = qobject_cast<KoFileDownloadInfo*>(m_op->getConvertedList()->first());
    QVERIFY(gone);
    expected.removeOne(QFileInfo(gone->getLocalFilePath()).fileName());
    m_op->getConvertedList()->last()->setDeviceName(QStringLiteral("改名的手机"));
    m_op->removeConvertedTask(gone->getTaskId());
    QTRY_COMPARE_WITH_TIMEOUT(savedNames(), expected, 15000);
    QCOMPARE(readAll(convertListPath()).count("改名的手机"), 1);
    const QByteArray periodic = readAll(convertListPath());
    m_op->saveConvertList();
    QCOMPARE(readAll(convertListPath()), periodic);
}

QTEST_GUILESS_MAIN(TestOperatorDownload)
#include "tst_operatordownload.moc"
