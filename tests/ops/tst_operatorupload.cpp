// Uploads through the operator against the fake phone, byte for byte on the phone's side:
// in-memory and streamed uploads, resume after a dropped connection, the checksum step that
// decides whether the phone's bytes are continued, folder uploads, code 100, time-outs and ids.

#include "KoOpsTransferFixture.h"

#include "app/KoCheckSumUtil.h"
#include "model/KoLocalFile.h"
#include "net/KoUserActionRecord.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>

using namespace KoOpsTransfer;

namespace {
const QString kPhoneId = QStringLiteral("android-ul-1");

qint64 localSizeOf(const KoFileConvertInfo* info)
{
    const auto* upload = qobject_cast<const KoFileUploadInfo*>(info);
    return upload && upload->getLocalFile() ? QFileInfo(upload->getLocalFile()->getPath()).size() : -1;
}

// The uploaded bytes the transfer page is given at every progress report: only the file's,
// never more than its size.
struct ShownUploadBytes {
    int reports = 0;
    QStringList beyondSize;
    void attach(KoRemoteFileOperator* op, QObject* context)
    {
        QObject::connect(op, &KoRemoteFileOperator::uploadTaskProgressV2, context, [this, op](int taskId, int) {
            for (KoFileConvertInfo* info : *op->getUploadingList()) {
                if (info->getTaskId() != taskId)
                    continue;
                ++reports;
                if (info->getConvertedSize() > localSizeOf(info) || info->getProgress() > 100)
                    beyondSize << QStringLiteral("%1 of %2").arg(info->getConvertedSize()).arg(localSizeOf(info));
            }
        });
    }
    // Every finished upload shows its file's size.
    bool finishedWhole(KoRemoteFileOperator* op) const
    {
        for (KoFileConvertInfo* info : *op->getConvertedList())
            if (info->getConvertedSize() != localSizeOf(info))
                return false;
        return !op->getConvertedList()->isEmpty();
    }
};
} // namespace

class TestOperatorUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void smallExactAndLargeUploadsArriveWhole();
    void relayUploadArrivesWhole();
    void droppedStreamIsResumed();
    void shownBytesMoveWithASlowPhone_data();
    void shownBytesMoveWithASlowPhone();
    void checksumDecidesTheResumePoint();
    void folderUploadReproducesTheTree();
    void code100FailsUploadAndResumeQuery();
    void fourTimeOutsFailTheUpload();
    void pauseThenRetryFinishes();
    void idsAreUniqueWithinOneMillisecond();
    void cancelFromTheStartSignalLeavesNothingBehind();

private:
    void upload(const QString& localPath, const QString& dstDir, bool lan = true);
    QString local(const QString& name) const { return m_local->filePath(name); }
    bool waitIdle(int timeoutMs = 30000);

    KoOpsPhone m_fx;
    KoRemoteFileOperator* m_op = nullptr;
    QTemporaryDir* m_local = nullptr;
};

void TestOperatorUpload::initTestCase()
{
    KoServerConfig::setSweepIntervalMs(100);
    QVERIFY(m_fx.start(this, kPhoneId));
    m_fx.phone->watchAbortedUploads(m_fx.phone->http());
    connectPhone(m_fx);
}

void TestOperatorUpload::cleanupTestCase()
{
    dropConnectManager();
    KoServerConfig::reset();
}

void TestOperatorUpload::init()
{
    m_fx.reset();
    KoServerConfig::setRequestDeadlineMs(15000);
    m_local = new QTemporaryDir;
    QVERIFY(m_local->isValid());
    QFile::remove(convertListPath());
    m_op = KoRemoteFileOperator::getInstance();
}

void TestOperatorUpload::cleanup()
{
    delete m_op;
    m_op = nullptr;
    delete m_local;
    m_local = nullptr;
    QFile::remove(convertListPath());
}

void TestOperatorUpload::upload(const QString& localPath, const QString& dstDir, bool lan)
{
    if (lan)
        m_op->getFileUploadStartV2(localPath, 9, dstDir, KoOpsPhone::kUid, 2, kPhoneId, m_fx.url());
    else
        m_op->getFileUploadStartV3(localPath, 9, dstDir, KoOpsPhone::kUid, 2, kPhoneId);
}

bool TestOperatorUpload::waitIdle(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QTest::qWait(20);
        bool busy = !idle(m_op);
        for (KoFileConvertInfo* info : *m_op->getUploadingList())
            busy = busy || info->getConvertState() < 2;
        if (!busy)
            return true;
    }
    return false;
}

void TestOperatorUpload::smallExactAndLargeUploadsArriveWhole()
{
    KoWatchdog watchdog(90);
    QVERIFY(QDir().mkpath(m_fx.root() + QStringLiteral("/in")));
    const QByteArray small = randomBytes(10000, 21);
    const QByteArray exact = randomBytes(1000000, 22);
    const QByteArray large = randomBytes(3000000, 23);
    QVERIFY(writeAll(local(QStringLiteral("小.bin")), small));
    QVERIFY(writeAll(local(QStringLiteral("exact.bin")), exact));
    QVERIFY(writeAll(local(QStringLiteral("large.tar.gz")), large));
    QVERIFY(writeAll(local(QStringLiteral("empty.txt")), QByteArray()));
    KoCountWatch counts;
    counts.attach(m_op, this);
    ShownUploadBytes shown;
    shown.attach(m_op, this);
    QSignalSpy started(m_op, &KoRemoteFileOperator::fileUploadStartV2);
    QSignalSpy success(m_op, &KoRemoteFileOperator::fileUploadSuccessV2);
    QSignalSpy done(m_op, &KoRemoteFileOperator::allUploadSuccessV2);
    for (const QString& name : {QStringLiteral("小.bin"), QStringLiteral("exact.bin"), QStringLiteral("large.tar.gz"),
                                QStringLiteral("empty.txt")})
        upload(local(name), QStringLiteral("/in/"));
    upload(local(QStringLiteral("missing.bin")), QStringLiteral("/in"));
    upload(m_local->path(), QStringLiteral("/in"));
    QCOMPARE(started.size(), 4);
    QCOMPARE(counts.upload, 4);
    const QRegularExpression fidForm(QStringLiteral("^[0-9A-F]{32}$"));
    for (int i = 0; i < 4; ++i)
        QVERIFY(fidForm.match(uploadAt(m_op, i)->getUploadFid()).hasMatch());

    QVERIFY(waitIdle());
    QCOMPARE(success.size(), 4);
    QStringList remote;
    for (const QList<QVariant>& args : success)
        remote << args.at(0).toString();
    remote.sort();
    QCOMPARE(remote,
             (QStringList{QStringLiteral("/in/empty.txt"), QStringLiteral("/in/exact.bin"),
                          QStringLiteral("/in/large.tar.gz"), QStringLiteral("/in/小.bin")}));
    QCOMPARE(done.last().at(0).toInt(), 0);
    QCOMPARE(counts.upload, 0);
    QCOMPARE(tree(m_fx.root() + QStringLiteral("/in")),
             (QMap<QString, QByteArray>{
                 {"小.bin", small}, {"exact.bin", exact}, {"large.tar.gz", large}, {"empty.txt", ""}}));
    QCOMPARE(m_op->getConvertedList()->size(), 4);
    QCOMPARE(m_op->getConvertedList()->first()->getConvertState(), 2);
    QCOMPARE(m_op->getRunningTransferCount(), 0);
    // The multipart framing was once counted as the file's ("1.75KB/1.55KB").
    QVERIFY(shown.reports > 0);
    QCOMPARE(shown.beyondSize, QStringList());
    QVERIFY(shown.finishedWhole(m_op));
}

void TestOperatorUpload::relayUploadArrivesWhole()
{
    KoWatchdog watchdog(60);
    QVERIFY(QDir().mkpath(m_fx.root() + QStringLiteral("/relay")));
    const QByteArray bytes = randomBytes(1500000, 24);
    QVERIFY(writeAll(local(QStringLiteral("远程.bin")), bytes));
    QSignalSpy success(m_op, &KoRemoteFileOperator::fileUploadSuccessV2);
    upload(local(QStringLiteral("远程.bin")), QStringLiteral("/relay"), false);
    QVERIFY(waitIdle());
    QCOMPARE(success.size(), 1);
    QCOMPARE(success.at(0).at(0).toString(), QStringLiteral("/relay/远程.bin"));
    QCOMPARE(readAll(m_fx.root() + QStringLiteral("/relay/远程.bin")), bytes);
    QVERIFY(!m_fx.relay->callsTo(QStringLiteral("uploadFile")).isEmpty());
}

void TestOperatorUpload::droppedStreamIsResumed()
{
    KoWatchdog watchdog(90);
    QVERIFY(QDir().mkpath(m_fx.root() + QStringLiteral("/drop")));
    const QByteArray bytes = randomBytes(2500000, 25);
    QVERIFY(writeAll(local(QStringLiteral("drop.bin")), bytes));
    // The first request's connection goes down with part of its data kept by the phone.
    m_fx.phone->queueUploadDrop(600000);
    ShownUploadBytes shown;
    shown.attach(m_op, this);
    QSignalSpy success(m_op, &KoRemoteFileOperator::fileUploadSuccessV2);
    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileUploadErrorV2);
    upload(local(QStringLiteral("drop.bin")), QStringLiteral("/drop"));
    QVERIFY(waitIdle());
    QCOMPARE(success.size(), 1);
    QVERIFY(errors.isEmpty());
    QCOMPARE(readAll(m_fx.root() + QStringLiteral("/drop/drop.bin")), bytes);
    // The slot went back: nothing holds a transfer slot any more.
    QCOMPARE(m_op->getRunningTransferCount(), 0);
    bool resumed = false;
    for (const KoFakeCall& call : m_fx.phone->callsTo(QStringLiteral("uploadFile")))
        resumed = resumed || (call.header("offset").toLongLong() > 0 && call.header("valid") == "1");
    QVERIFY(resumed);
    QVERIFY(!m_fx.phone->callsTo(QStringLiteral("checksum")).isEmpty());
    // The resumed request counts from the phone's offset.
    QCOMPARE(shown.beyondSize, QStringList());
    QVERIFY(shown.finishedWhole(m_op));
}

void TestOperatorUpload::shownBytesMoveWithASlowPhone_data()
{
    QTest::addColumn<bool>("lan");
    QTest::addColumn<int>("size");
    // A small file goes out from memory; a larger one is streamed and sends its last part
    // from memory.
    for (bool lan : {true, false}) {
        const char* route = lan ? "lan" : "relay";
        QTest::addRow("%s in memory", route) << lan << 900000;
        QTest::addRow("%s last part in memory", route) << lan << 3000000;
    }
}

void TestOperatorUpload::shownBytesMoveWithASlowPhone()
{
    QFETCH(bool, lan);
    QFETCH(int, size);
    KoWatchdog watchdog(120);
    QVERIFY(QDir().mkpath(m_fx.root() + QStringLiteral("/slow")));
    const QByteArray bytes = randomBytes(size, 30);
    const QString name = QStringLiteral("%1-%2.bin").arg(lan ? "lan" : "relay").arg(size);
    QVERIFY(writeAll(local(name), bytes));

    // The phone reads an in-memory part of a megabyte in a few seconds: from the start, or for a
    // stream from the question about its resume point on. Asked after the cut, it holds the first
    // 1960000 bytes, and the rest fits in memory.
    const qint64 slowRate = 300 * 1000;
    const bool streamed = size > 1000000;
    const qint64 held = 1960000;
    const KoTestResponse holding = KoTestResponse::json(
        QJsonObject{{"code", 0}, {"haveRead", double(held)}, {"checksum", "CS-SLOW"}, {"csVersion", 1}});
    m_fx.phone->queueAnswer(QStringLiteral("checksum"), holding);
    m_fx.phone->queueAnswer(QStringLiteral("askChecksum"), holding);
    KoTestHttpServer* server = lan ? m_fx.phone->http() : m_fx.relay->http();
    const auto readFastAgain = qScopeGuard([server] { server->setReadRate(0); });
    if (!streamed)
        server->setReadRate(slowRate);
    // (the phone's count the request went on from, the bytes shown) at every report.
    QList<QPair<qint64, qint64>> shown;
    QObject watcher;
    connect(m_fx.phone, &KoFakePhone::called, &watcher, [server, slowRate](const KoFakeCall& call) {
        if (call.op == QLatin1String("checksum") || call.op == QLatin1String("askChecksum"))
            server->setReadRate(slowRate);
    });
    connect(m_op, &KoRemoteFileOperator::uploadTaskProgressV2, &watcher, [this, &shown](int taskId, int) {
        for (KoFileConvertInfo* info : *m_op->getUploadingList()) {
            if (info->getTaskId() == taskId)
                shown.append({info->getHaveRead(), info->getConvertedSize()});
        }
    });
    QSignalSpy success(m_op, &KoRemoteFileOperator::fileUploadSuccessV2);
    upload(local(name), QStringLiteral("/slow"), lan);
    QVERIFY(waitIdle(60000));
    QCOMPARE(success.size(), 1);
    QCOMPARE(readAll(m_fx.root() + QStringLiteral("/slow/") + name), bytes);

    // The in-memory part went on from the phone's count.
    QVERIFY(!shown.isEmpty());
    const qint64 offset = shown.last().first;
    QCOMPARE(offset, streamed ? held : 0);
    QStringList faults;
    QSet<qint64> between;
    qint64 last = -1;
    for (const auto& report : qAsConst(shown)) {
        if (report.second > size)
            faults << QStringLiteral("%1 past the size").arg(report.second);
        if (report.first != offset)
            continue;
        if (report.second < last)
            faults << QStringLiteral("%1 after %2").arg(report.second).arg(last);
        last = report.second;
        if (report.second > offset && report.second < size)
            between.insert(report.second);
    }
    QCOMPARE(faults, QStringList());
    QVERIFY2(between.size() >= 3, qPrintable(QStringLiteral("%1 values between").arg(between.size())));
}

void TestOperatorUpload::checksumDecidesTheResumePoint()
{
    KoWatchdog watchdog(90);
    const QByteArray bytes = randomBytes(400000, 26);
    QVERIFY(writeAll(local(QStringLiteral("cs.bin")), bytes));
    // Into a folder that does not exist yet: the upload fails and waits for a retry.
    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileUploadErrorV2);
    QSignalSpy success(m_op, &KoRemoteFileOperator::fileUploadSuccessV2);
    upload(local(QStringLiteral("cs.bin")), QStringLiteral("/later"));
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 20000);
    KoFileUploadInfo* record = uploadAt(m_op, 0);
    QCOMPARE(record->getConvertState(), 3);
    QVERIFY(idle(m_op));
    QVERIFY(QDir().mkpath(m_fx.root() + QStringLiteral("/later")));

    auto answer = [](qint64 haveRead, const QString& checksum, int version) {
        return KoTestResponse::json(
            QJsonObject{{"code", 0}, {"haveRead", double(haveRead)}, {"checksum", checksum}, {"csVersion", version}});
    };
    // "offset/valid" of the last upload request.
    auto lastStart = [this]() {
        const KoFakeCall call = m_fx.phone->callsTo(QStringLiteral("uploadFile")).last();
        return call.header("offset") + '/' + call.header("valid");
    };

    // A fingerprint of something else: from 0.
    m_fx.phone->queueAnswer(QStringLiteral("checksum"),
                            answer(200000, QStringLiteral("0123456789ABCDEF0123456789ABCDEF"), 1));
    m_fx.phone->setAnswer(QStringLiteral("uploadFile"),
                          KoTestResponse::json(QJsonObject{{QStringLiteral("code"), 4}}));
    m_op->getFileRetryUploadStart(record->getTaskId());
    QTRY_VERIFY_WITH_TIMEOUT(errors.size() == 2, 20000);
    QCOMPARE(lastStart(), QByteArray("0/0"));

    // No fingerprint at all (a version this program cannot compute) with bytes held: from 0.
    m_fx.phone->queueAnswer(QStringLiteral("checksum"), answer(200000, QString(), 2));
    m_op->getFileRetryUploadStart(record->getTaskId());
    QTRY_VERIFY_WITH_TIMEOUT(errors.size() == 3, 20000);
    QCOMPARE(lastStart(), QByteArray("0/0"));

    // This very file's fingerprint: from what the phone holds, here nothing (a new start).
    m_fx.phone->clearScripts();
    const QString mine = KoCheckSumUtil::getCurrentVersionFileCheckSum(local(QStringLiteral("cs.bin")));
    m_fx.phone->queueAnswer(QStringLiteral("checksum"), answer(0, mine, 1));
    m_op->getFileRetryUploadStart(record->getTaskId());
    QTRY_VERIFY_WITH_TIMEOUT(!success.isEmpty(), 20000);
    QCOMPARE(lastStart(), QByteArray("0/0"));
    QCOMPARE(readAll(m_fx.root() + QStringLiteral("/later/cs.bin")), bytes);
    QVERIFY(idle(m_op));
}

void TestOperatorUpload::folderUploadReproducesTheTree()
{
    KoWatchdog watchdog(120);
    const QString top = local(QStringLiteral("相册 备份"));
    QVERIFY(writeAll(top + QStringLiteral("/a.txt"), "alpha"));
    QVERIFY(writeAll(top + QStringLiteral("/子/b.bin"), randomBytes(1200000, 27)));
    QVERIFY(writeAll(top + QStringLiteral("/子/孙/c.txt"), "gamma"));
    QVERIFY(QDir().mkpath(top + QStringLiteral("/空")));
    QVERIFY(writeAll(top + QStringLiteral("/.hidden"), "not sent"));
    QVERIFY(QFile::link(top + QStringLiteral("/a.txt"), top + QStringLiteral("/link.txt")));
    for (int i = 0; i < 12; ++i)
        QVERIFY(writeAll(top + QStringLiteral("/many/f%1.txt").arg(i), QByteArray::number(i).repeated(100)));
    QVERIFY(QDir().mkpath(m_fx.root() + QStringLiteral("/up")));

    QSignalSpy done(m_op, &KoRemoteFileOperator::allUploadSuccessV2);
    QSignalSpy madeDirs(m_op, &KoRemoteFileOperator::makeDiretoryFinishedV2);
    m_op->getDirUploadStartV2(top, 9, QStringLiteral("/up"), KoOpsPhone::kUid, 2, kPhoneId, m_fx.url());
    QCOMPARE(m_op->getUploadingList()->size(), 15);
    QVERIFY(waitIdle(60000));
    QTRY_COMPARE_WITH_TIMEOUT(madeDirs.size(), 5, 10000);
    QCOMPARE(done.last().at(0).toInt(), 0);

    QMap<QString, QByteArray> expected = tree(top);
    expected.remove(QStringLiteral(".hidden"));
    expected.remove(QStringLiteral("link.txt"));
    QCOMPARE(tree(m_fx.root() + QStringLiteral("/up/相册 备份")), expected);
    // Every folder was asked for before anything went into it.
    QVERIFY(m_fx.phone->callsTo(QStringLiteral("uploadFile")).size() >= 15);
}

void TestOperatorUpload::code100FailsUploadAndResumeQuery()
{
    KoWatchdog watchdog(60);
    QVERIFY(writeAll(local(QStringLiteral("deny.bin")), "denied"));
    KoCountWatch counts;
    counts.attach(m_op, this);
    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileUploadErrorV2);
    QSignalSpy refused(m_op, &KoRemoteFileOperator::taskExecuteNoPermission);
    // Refusals are not failed transfers of the usage log.
    const auto logged = [] {
        return readAll(KoUserActionRecord::getInstance()->currentLogFile()).count("\"action\":\"UploadFile\"");
    };
    const int loggedBefore = logged();
    // A folder outside the phone's storage: the phone answers 100.
    upload(local(QStringLiteral("deny.bin")), QStringLiteral("/../outside"));
    QTRY_VERIFY_WITH_TIMEOUT(!refused.isEmpty(), 20000);
    QCOMPARE(refused.at(0).at(0).toInt(), 2);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("/../outside/deny.bin"));
    KoFileUploadInfo* record = uploadAt(m_op, 0);
    QCOMPARE(record->getConvertState(), 3);
    QCOMPARE(counts.upload, 0);

    // The resume query refused: the record fails, the count comes home.
    m_fx.phone->queueAnswer(QStringLiteral("checksum"),
                            KoTestResponse::json(QJsonObject{{QStringLiteral("code"), 100}}));
    m_op->getFileRetryUploadStart(record->getTaskId());
    QCOMPARE(counts.upload, 1);
    QTRY_VERIFY_WITH_TIMEOUT(refused.size() == 2, 20000);
    QCOMPARE(refused.at(1).at(0).toInt(), 15);
    QCOMPARE(errors.size(), 2);
    QCOMPARE(record->getConvertState(), 3);
    QCOMPARE(counts.upload, 0);
    QVERIFY(m_op->getTaskFromList(record->getTaskId()) == nullptr);
    QCOMPARE(logged(), loggedBefore);
}

void TestOperatorUpload::fourTimeOutsFailTheUpload()
{
    KoWatchdog watchdog(90);
    KoServerConfig::setRequestDeadlineMs(800);
    QVERIFY(QDir().mkpath(m_fx.root() + QStringLiteral("/mute")));
    QVERIFY(writeAll(local(QStringLiteral("mute.bin")), randomBytes(5000, 28)));
    KoTestResponse silence;
    silence.noAnswer = true;
    m_fx.phone->setAnswer(QStringLiteral("uploadFile"), silence);
    KoCountWatch counts;
    counts.attach(m_op, this);
    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileUploadErrorV2);
    upload(local(QStringLiteral("mute.bin")), QStringLiteral("/mute"));
    const int firstId = uploadAt(m_op, 0)->getTaskId();
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 40000);
    QTest::qWait(300);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("/mute/mute.bin"));
    KoFileUploadInfo* record = uploadAt(m_op, 0);
    QCOMPARE(record->getConvertState(), 3);
    QCOMPARE(record->getRetryTimes(), 0);
    // Each restart: a resume query and an upload, each under a new id.
    QCOMPARE(record->getTaskId(), firstId + 6);
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("checksum")).size(), 3);
    QCOMPARE(counts.upload, 0);
    QCOMPARE(m_op->getRunningTransferCount(), 0);
}

void TestOperatorUpload::pauseThenRetryFinishes()
{
    KoWatchdog watchdog(60);
    QVERIFY(QDir().mkpath(m_fx.root() + QStringLiteral("/pause")));
    const QByteArray bytes = randomBytes(300000, 29);
    QVERIFY(writeAll(local(QStringLiteral("p.bin")), bytes));
    m_fx.phone->setDelay(QStringLiteral("uploadFile"), 3000);
    QSignalSpy paused(m_op, &KoRemoteFileOperator::fileUploadPause);
    QSignalSpy success(m_op, &KoRemoteFileOperator::fileUploadSuccessV2);
    upload(local(QStringLiteral("p.bin")), QStringLiteral("/pause"));
    KoFileUploadInfo* record = uploadAt(m_op, 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_op->getRunningTransferCount() == 1, 5000);
    const int id = record->getTaskId();
    m_op->pauseFileUpload(id);
    QCOMPARE(paused.size(), 1);
    QCOMPARE(record->getConvertState(), 4);
    QVERIFY(idle(m_op));
    QCOMPARE(m_op->getRunningTransferCount(), 0);
    m_fx.phone->clearScripts();
    m_op->getFileRetryUploadStart(id);
    QCOMPARE(record->getConvertState(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!success.isEmpty(), 20000);
    QCOMPARE(readAll(m_fx.root() + QStringLiteral("/pause/p.bin")), bytes);
    QVERIFY(waitIdle());
}

void TestOperatorUpload::idsAreUniqueWithinOneMillisecond()
{
    QSet<QString> fids;
    for (int i = 0; i < 40; ++i) {
        const QString path = local(QStringLiteral("d%1/same.txt").arg(i));
        QVERIFY(writeAll(path, "x"));
        upload(path, QStringLiteral("/nowhere"));
    }
    for (KoFileConvertInfo* info : *m_op->getUploadingList())
        fids.insert(qobject_cast<KoFileUploadInfo*>(info)->getUploadFid());
    QCOMPARE(fids.size(), 40);
    QCOMPARE(m_op->getUploadingList()->size(), 40);
    while (!m_op->getUploadingList()->isEmpty())
        m_op->cancelFileUpload(m_op->getUploadingList()->first()->getTaskId());
    QVERIFY(idle(m_op));
    QCOMPARE(m_op->getRunningTransferCount(), 0);
}

QTEST_GUILESS_MAIN(TestOperatorUpload)
#include "tst_operatorupload.moc"

void TestOperatorUpload::cancelFromTheStartSignalLeavesNothingBehind()
{
    KoWatchdog watchdog(60);
    QVERIFY(writeAll(local(QStringLiteral("up.bin")), "payload"));
    KoCountWatch counts;
    counts.attach(m_op, this);
    // A receiver that cancels whatever has just been added, from inside the start signals.
    QObject receiver;
    connect(m_op, &KoRemoteFileOperator::fileUploadStartV2, &receiver,
            [this]() { m_op->cancelFileUpload(uploadAt(m_op, 0)->getTaskId()); });
    connect(m_op, &KoRemoteFileOperator::fileDownloadStartV2, &receiver,
            [this]() { m_op->cancelFileDownload(downloadAt(m_op, 0)->getTaskId()); });
    upload(local(QStringLiteral("up.bin")), QStringLiteral("/in"));
    QVERIFY(m_fx.writeFile(QStringLiteral("/d.bin"), "remote"));
    QList<KoRemoteFile*> files{m_fx.remoteFile(QStringLiteral("/d.bin"), 500)};
    m_op->getFileGroupDownloadStartV2(9, files, m_local->path(), &m_fx.device);
    qDeleteAll(files);

    QVERIFY(m_op->getUploadingList()->isEmpty());
    QVERIFY(m_op->getDownLoadingList()->isEmpty());
    QCOMPARE(counts.download, 0);
    QCOMPARE(counts.upload, 0);
    QTest::qWait(700); // a scheduler tick: nothing may start for the cancelled records
    QVERIFY(idle(m_op));
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("uploadFile")).size(), 0);
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("getFile")).size(), 0);
}
