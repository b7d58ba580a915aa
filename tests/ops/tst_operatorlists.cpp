// The transfer lists across runs: the transfer-list file written at exit and while the lists
// change, read back with interrupted transfers paused and resumable to identical files; bad
// lines, a failed write, and a mixed run whose counts come home to (0, 0).

#include "KoOpsTransferFixture.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <cstring>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace KoOpsTransfer;

namespace {
const QString kPhoneId = QStringLiteral("android-list-1");
}

class TestOperatorLists : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void restartBringsTransfersBackPausedAndResumable_data();
    void restartBringsTransfersBackPausedAndResumable();
    void badLinesAreSkippedWithTheirIds();
    void aFailedWriteKeepsTheOldFile();
    void anUnreadableFileIsNeverReplaced();
    void listsReachTheFileWhileRunning();
    void finishedRecordsAndTheirSignals();
    void mixedRunEndsAtZero();

private:
    QStringList fileLines() const;

    KoOpsPhone m_fx;
    KoRemoteFileOperator* m_op = nullptr;
    QTemporaryDir* m_local = nullptr;
};

void TestOperatorLists::initTestCase()
{
    KoServerConfig::setSweepIntervalMs(100);
    QVERIFY(m_fx.start(this, kPhoneId));
    connectPhone(m_fx);
}

void TestOperatorLists::cleanupTestCase()
{
    dropConnectManager();
    KoServerConfig::reset();
}

void TestOperatorLists::init()
{
    m_fx.reset();
    KoServerConfig::setRequestDeadlineMs(15000);
    m_local = new QTemporaryDir;
    QVERIFY(m_local->isValid());
    QFile::remove(convertListPath());
    m_op = KoRemoteFileOperator::getInstance();
}

void TestOperatorLists::cleanup()
{
    delete m_op;
    m_op = nullptr;
    delete m_local;
    m_local = nullptr;
    QFile::remove(convertListPath());
}

QStringList TestOperatorLists::fileLines() const
{
    QString text = QString::fromUtf8(readAll(convertListPath()));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void TestOperatorLists::restartBringsTransfersBackPausedAndResumable_data()
{
    QTest::addColumn<bool>("longNames");
    QTest::newRow("short names") << false;
    // Three names of 250 bytes that differ only in their last character.
    QTest::newRow("names of 250 bytes") << true;
}

void TestOperatorLists::restartBringsTransfersBackPausedAndResumable()
{
    QFETCH(bool, longNames);
    KoWatchdog watchdog(90);
    const auto nameOf = [longNames](int i) { return longNames ? longName(i) : QStringLiteral("f%1.bin").arg(i); };
    const QDateTime phoneTime = QDateTime::fromSecsSinceEpoch(1500000000);
    QList<QByteArray> bytes;
    QList<KoRemoteFile*> files;
    for (int i = 0; i < 3; ++i) {
        bytes << randomBytes(400000 + i, 40 + i);
        const QString path = QStringLiteral("/run/") + nameOf(i);
        QVERIFY(m_fx.writeFile(path, bytes.last()));
        QFile stamped(m_fx.root() + path);
        QVERIFY(stamped.open(QIODevice::ReadWrite));
        QVERIFY(stamped.setFileTime(phoneTime, QFileDevice::FileModificationTime));
        files << new KoRemoteFile(m_fx.url(), path, 500, 400000 + i, quint64(phoneTime.toMSecsSinceEpoch()),
                                  QString());
        // Every one stops part of the way.
        KoTestResponse stall;
        stall.stallAfter = 100000 * (i + 1);
        // One without a length: only the listing tells its size.
        stall.noContentLength = i == 0;
        m_fx.phone->queueDownloadFault(stall);
    }
    const QString dst = m_local->path();
    m_op->getFileGroupDownloadStartV2(9, files, dst, &m_fx.device);
    qDeleteAll(files);
    // The stalls go to the requests in their order of arrival, whichever file each one is.
    const auto partialSizes = [&dst]() {
        QList<qint64> sizes;
        for (const QString& partial : partialsIn(dst))
            sizes << QFileInfo(partial).size();
        std::sort(sizes.begin(), sizes.end());
        return sizes;
    };
    QTRY_VERIFY_WITH_TIMEOUT(partialSizes() == (QList<qint64>{100000, 200000, 300000}), 20000);
    // An upload that failed stays failed.
    QVERIFY(writeAll(m_local->filePath(QStringLiteral("up/u.bin")), "upload"));
    QSignalSpy upErrors(m_op, &KoRemoteFileOperator::fileUploadErrorV2);
    m_op->getFileUploadStartV2(m_local->filePath(QStringLiteral("up/u.bin")), 9, QStringLiteral("/absent"),
                               KoOpsPhone::kUid, 2, kPhoneId, m_fx.url());
    QTRY_VERIFY_WITH_TIMEOUT(!upErrors.isEmpty(), 20000);
    const QString fid = uploadAt(m_op, 0)->getUploadFid();

    delete m_op;
    m_op = nullptr;
    const QStringList lines = fileLines();
    QCOMPARE(lines.size(), 4);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject o = QJsonDocument::fromJson(lines.at(i).toUtf8()).object();
        QCOMPARE(o.value(QStringLiteral("state")).toInt(), 4);
        const QString partial = KoClientHelper::partialPathOf(o.value(QStringLiteral("localPath")).toString());
        QVERIFY(partialsIn(dst).contains(partial));
        if (!longNames)
            QCOMPARE(partial, o.value(QStringLiteral("localPath")).toString() + QStringLiteral(".ReRazeDownload"));
        const qint64 held = QFileInfo(partial).size();
        QCOMPARE(qint64(o.value(QStringLiteral("haveRead")).toDouble()), held);
        QCOMPARE(qint64(o.value(QStringLiteral("lastModified")).toDouble()), phoneTime.toMSecsSinceEpoch());
        // What the list shows after the restart: the listed size and the bytes held.
        const qint64 total = qint64(o.value(QStringLiteral("totalSize")).toDouble());
        QVERIFY(total >= 400000 && total <= 400002);
        QCOMPARE(qint64(o.value(QStringLiteral("convertedSize")).toDouble()), held);
        QCOMPARE(o.value(QStringLiteral("progress")).toInt(), int(held * 100 / total));
    }
    QCOMPARE(QJsonDocument::fromJson(lines.at(3).toUtf8()).object().value(QStringLiteral("state")).toInt(), 3);

    m_op = KoRemoteFileOperator::getInstance();
    KoCountWatch counts;
    counts.attach(m_op, this);
    QCOMPARE(m_op->getDownLoadingList()->size(), 3);
    QCOMPARE(m_op->getUploadingList()->size(), 1);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(downloadAt(m_op, i)->getTaskId(), i);
        QCOMPARE(downloadAt(m_op, i)->getConvertState(), 4);
        QCOMPARE(downloadAt(m_op, i)->getRetryTimes(), 3);
    }
    QCOMPARE(uploadAt(m_op, 0)->getTaskId(), 3);
    QCOMPARE(uploadAt(m_op, 0)->getUploadFid(), fid);
    QCOMPARE(m_op->getFileTaskId(), 4);
    QVERIFY(idle(m_op));

    QSignalSpy success(m_op, &KoRemoteFileOperator::fileDownloadSuccessV2);
    for (int i = 0; i < 3; ++i)
        m_op->getFileRetryDownloadStart(i);
    QTRY_VERIFY_WITH_TIMEOUT(success.size() == 3, 30000);
    for (int i = 0; i < 3; ++i) {
        const QString target = dst + QLatin1Char('/') + nameOf(i);
        QCOMPARE(readAll(target), bytes.at(i));
        // The phone's time, kept across the restart.
        QCOMPARE(QFileInfo(target).lastModified().toSecsSinceEpoch(), phoneTime.toSecsSinceEpoch());
    }
    const QList<KoFakeCall> calls = m_fx.phone->callsTo(QStringLiteral("getFile"));
    QList<double> resumedFrom;
    for (int i = calls.size() - 3; i < calls.size(); ++i)
        resumedFrom << calls.at(i).body.value(QStringLiteral("haveRead")).toDouble();
    std::sort(resumedFrom.begin(), resumedFrom.end());
    QCOMPARE(resumedFrom, (QList<double>{100000, 200000, 300000}));
    QVERIFY(partialsIn(dst).isEmpty());
    QTRY_COMPARE(counts.download, 0);
}

void TestOperatorLists::badLinesAreSkippedWithTheirIds()
{
    delete m_op;
    m_op = nullptr;
    QVERIFY(writeAll(m_local->filePath(QStringLiteral("u.txt")), "u"));
    // A record of a crashed run, still marked as running.
    const QString good =
        QStringLiteral(
            "{\"category\":9,\"convertedSize\":0,\"deviceId\":\"%1\",\"deviceName\":\"\",\"deviceType\":2,"
            "\"fileName\":\"u.txt\",\"fileType\":340,\"finishedTime\":0,\"haveRead\":0,\"localPath\":\"%2\","
            "\"progress\":0,\"remotePath\":\"/\",\"remoteServer\":\"\",\"state\":1,\"totalSize\":1,\"type\":1,"
            "\"uid\":%3,\"unick\":\"\",\"uploadFid\":\"ABC\",\"version\":1}")
            .arg(kPhoneId, m_local->filePath(QStringLiteral("u.txt")))
            .arg(KoOpsPhone::kUid);
    QVERIFY(writeAll(convertListPath(),
                     (good + QStringLiteral("\nnot json at all\n\n") + good + QLatin1Char('\n')).toUtf8()));
    m_op = KoRemoteFileOperator::getInstance();
    QCOMPARE(m_op->getUploadingList()->size(), 2);
    QCOMPARE(uploadAt(m_op, 0)->getTaskId(), 0);
    QCOMPARE(uploadAt(m_op, 1)->getTaskId(), 3);
    QCOMPARE(uploadAt(m_op, 0)->getConvertState(), 4);
    QCOMPARE(m_op->getFileTaskId(), 4);
    QVERIFY(idle(m_op));
}

void TestOperatorLists::aFailedWriteKeepsTheOldFile()
{
    delete m_op;
    m_op = nullptr;
    const QByteArray old = QByteArray("{\"old\":1}\n");
    QVERIFY(writeAll(convertListPath(), old));
    m_op = KoRemoteFileOperator::getInstance();
    QVERIFY(m_fx.writeFile(QStringLiteral("/w.txt"), "w"));
    QList<KoRemoteFile*> files{m_fx.remoteFile(QStringLiteral("/w.txt"), 500)};
    m_fx.phone->setDelay(QStringLiteral("getFile"), 5000);
    m_op->getFileGroupDownloadStartV2(9, files, m_local->path(), &m_fx.device);
    qDeleteAll(files);

    // No byte may be written: the save fails and the old file must stay whole.
    struct rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = saved;
    tiny.rlim_cur = 0;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    delete m_op;
    m_op = nullptr;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previous);
    QCOMPARE(readAll(convertListPath()), old);

    // A folder that cannot be written to (for a user other than root) keeps it as well.
    if (::geteuid() != 0) {
        const QString dir = QFileInfo(convertListPath()).absolutePath();
        m_op = KoRemoteFileOperator::getInstance();
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        delete m_op;
        m_op = nullptr;
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(readAll(convertListPath()), old);
    }
    m_op = KoRemoteFileOperator::getInstance();
}

namespace {
// Root reads every file whatever its mode: this thread gives up that power while it lives.
class WithoutReadOverride
{
public:
    WithoutReadOverride()
    {
        if (::geteuid() != 0) {
            m_ok = true;
            return;
        }
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2];
        std::memcpy(lowered, m_saved, sizeof lowered);
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_ok = m_lowered = ::syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~WithoutReadOverride()
    {
        if (m_lowered)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    bool ok() const { return m_ok; }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_ok = false;
    bool m_lowered = false;
};
} // namespace

void TestOperatorLists::anUnreadableFileIsNeverReplaced()
{
    // A list that could be written but not read was taken as missing, and the exit write
    // replaced its records with an empty list.
    delete m_op;
    m_op = nullptr;
    const QString path = convertListPath();
    const QByteArray old = QByteArray("{\"old\":1}\n");
    QVERIFY(writeAll(path, old));
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    {
        WithoutReadOverride notRoot;
        QVERIFY(notRoot.ok());
        m_op = KoRemoteFileOperator::getInstance();
        QVERIFY(m_op->getUploadingList()->isEmpty());
        delete m_op;
        m_op = nullptr;
    }
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QCOMPARE(readAll(path), old);

    // A missing file is still made.
    QVERIFY(QFile::remove(path));
    m_op = KoRemoteFileOperator::getInstance();
    delete m_op;
    QVERIFY(QFile::exists(path));
    m_op = KoRemoteFileOperator::getInstance();
}

void TestOperatorLists::listsReachTheFileWhileRunning()
{
    KoWatchdog watchdog(60);
    QVERIFY(m_fx.writeFile(QStringLiteral("/live.bin"), randomBytes(300000, 50)));
    KoTestResponse stall;
    stall.stallAfter = 50000;
    m_fx.phone->queueDownloadFault(stall);
    QList<KoRemoteFile*> files{m_fx.remoteFile(QStringLiteral("/live.bin"), 500)};
    m_op->getFileGroupDownloadStartV2(9, files, m_local->path(), &m_fx.device);
    qDeleteAll(files);
    QVERIFY(!QFile::exists(convertListPath()));
    // Without an orderly exit the file holds the running download, as paused.
    QTRY_VERIFY_WITH_TIMEOUT(fileLines().size() == 1, 5000);
    const QJsonObject o = QJsonDocument::fromJson(fileLines().first().toUtf8()).object();
    QCOMPARE(o.value(QStringLiteral("state")).toInt(), 4);
    QVERIFY(o.value(QStringLiteral("localPath")).toString().endsWith(QStringLiteral("/live.bin")));
    // The record itself still runs.
    QVERIFY(downloadAt(m_op, 0)->getConvertState() < 2);
    QVERIFY(!idle(m_op));
}

void TestOperatorLists::finishedRecordsAndTheirSignals()
{
    KoWatchdog watchdog(60);
    QVERIFY(m_fx.writeFile(QStringLiteral("/fin/a"), "a"));
    QVERIFY(m_fx.writeFile(QStringLiteral("/fin/b"), "b"));
    QSignalSpy done(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2);
    QList<KoRemoteFile*> files{m_fx.remoteFile(QStringLiteral("/fin/a"), 500),
                               m_fx.remoteFile(QStringLiteral("/fin/b"), 500)};
    m_op->getFileGroupDownloadStartV2(9, files, m_local->path(), &m_fx.device);
    qDeleteAll(files);
    QTRY_VERIFY_WITH_TIMEOUT(m_op->getConvertedList()->size() == 2 && idle(m_op), 20000);
    QSignalSpy moved(m_op, &KoRemoteFileOperator::fileConvertedTaskMove);
    const int newest = m_op->getConvertedList()->first()->getTaskId();
    QVERIFY(m_op->getConvertedList()->first()->getFinishedTime()
            >= m_op->getConvertedList()->last()->getFinishedTime());
    m_op->removeConvertedTask(newest);
    QCOMPARE(moved.size(), 1);
    QCOMPARE(m_op->getConvertedList()->size(), 1);
    QVERIFY(QFile::exists(m_local->filePath(QStringLiteral("a"))));
    m_op->removeConvertedTask(9999);
    QCOMPARE(moved.size(), 2);
    m_op->clearConvertedList();
    QCOMPARE(moved.last().at(0).toInt(), -1);
    QVERIFY(m_op->getConvertedList()->isEmpty());
    QCOMPARE(done.size(), 1);
}

void TestOperatorLists::mixedRunEndsAtZero()
{
    KoWatchdog watchdog(120);
    KoServerConfig::setRequestDeadlineMs(1000);
    KoCountWatch counts;
    counts.attach(m_op, this);
    QVERIFY(QDir().mkpath(m_fx.root() + QStringLiteral("/mix/in")));
    QList<KoRemoteFile*> files;
    for (int i = 0; i < 8; ++i) {
        const QString path = QStringLiteral("/mix/d%1.bin").arg(i);
        QVERIFY(m_fx.writeFile(path, randomBytes(50000, 60 + i)));
        files << m_fx.remoteFile(path, 500);
    }
    KoTestResponse reset;
    reset.resetAfter = 100;
    m_fx.phone->queueDownloadFault(reset);
    KoTestResponse stall;
    stall.stallAfter = 10;
    m_fx.phone->queueDownloadFault(stall);
    m_op->getFileGroupDownloadStartV2(9, files, m_local->filePath(QStringLiteral("dl")), &m_fx.device);
    qDeleteAll(files);
    for (int i = 0; i < 6; ++i) {
        const QString path = m_local->filePath(QStringLiteral("up/u%1.bin").arg(i));
        QVERIFY(writeAll(path, randomBytes(20000 + i, 70 + i)));
        m_op->getFileUploadStartV2(path, 9, i == 5 ? QStringLiteral("/../x") : QStringLiteral("/mix/in"),
                                   KoOpsPhone::kUid, 2, kPhoneId, m_fx.url());
    }
    QCOMPARE(counts.download, 8);
    QCOMPARE(counts.upload, 6);
    // Some are cancelled or paused by the user on the way.
    m_op->cancelFileDownload(downloadAt(m_op, 7)->getTaskId());
    m_op->pauseFileDownload(downloadAt(m_op, 6)->getTaskId());
    m_op->pauseFileUpload(uploadAt(m_op, 4)->getTaskId());
    m_op->cancelFileUpload(uploadAt(m_op, 3)->getTaskId());
    QTRY_VERIFY_WITH_TIMEOUT(counts.download == 0 && counts.upload == 0 && idle(m_op), 60000);
    QTest::qWait(300);
    QCOMPARE(counts.download, 0);
    QCOMPARE(counts.upload, 0);
    QCOMPARE(m_op->getRunningTransferCount(), 0);
    int downloadsDone = 0;
    int uploadsDone = 0;
    for (KoFileConvertInfo* info : *m_op->getConvertedList())
        (info->getConvertType() == 0 ? downloadsDone : uploadsDone) += 1;
    QCOMPARE(downloadsDone, 5);
    QCOMPARE(uploadsDone, 3);
}

QTEST_GUILESS_MAIN(TestOperatorLists)
#include "tst_operatorlists.moc"
