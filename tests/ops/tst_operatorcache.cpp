// Thumbnail and temporary-copy caches and the scheduler's slots, against fake phones.

#include "KoOpsTestFixture.h"

#include "app/KoCommonUtil.h"
#include "model/KoFileDownloadInfo.h"
#include "model/KoFileUploadInfo.h"
#include "model/KoLocalFile.h"

#include <QCryptographicHash>
#include <QSet>

namespace {
const QString kPhoneId = QStringLiteral("android-cache-1");
const QString kOtherPhoneId = QStringLiteral("android-cache-2");

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}
} // namespace

class TestOperatorCache : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void thumbnailIsFetchedOnceAndThenCached_data();
    void thumbnailIsFetchedOnceAndThenCached();
    void failedThumbnailIsFetchedAgain();
    void erasedAndClearedThumbnailsAreFetchedAgain();
    void temporaryCopyIsFetchedOnceAndReported_data();
    void temporaryCopyIsFetchedOnceAndReported();
    void failedTemporaryCopyIsReportedAndFetchedAgain();
    void timedOutTemporaryCopyIsReportedAndFetchedAgain();
    void temporaryCopyNeverLeavesItsFolder();
    void exitEmptiesBothFolders();
    void schedulerRunsAtMostFiveOfEachKind();
    void newFolderSlotsAreGivenBack();
    void downloadProgressUpdatesItsRecord();
    void uploadRefusedWithCode100FailsItsRecord();

private:
    KoOpsPhone m_fx;
    KoOpsPhone m_other; // a second phone, so that transfers and thumbnails use separate connections
    KoRemoteFileOperator* m_op = nullptr;
};

void TestOperatorCache::initTestCase()
{
    KoServerConfig::setSweepIntervalMs(100);
    QVERIFY(m_fx.start(this, kPhoneId));
    QVERIFY(m_other.start(this, kOtherPhoneId, false));
}

void TestOperatorCache::cleanupTestCase()
{
    KoServerConfig::reset();
}

void TestOperatorCache::init()
{
    m_fx.reset();
    m_other.reset();
    KoServerConfig::setRequestDeadlineMs(15000);
    // Every run starts without the transfer records of the one before.
    QFile::remove(KoCommonUtil::getAppDataDir() + QStringLiteral("/fileConvertData.KoInfo"));
    m_op = KoRemoteFileOperator::getInstance();
}

void TestOperatorCache::cleanup()
{
    delete m_op;
    m_op = nullptr;
}

void TestOperatorCache::thumbnailIsFetchedOnceAndThenCached_data()
{
    QTest::addColumn<QString>("phonePath");
    QTest::newRow("short name") << QStringLiteral("/p/a.jpg");
    QTest::newRow("name of 250 bytes") << QStringLiteral("/p/") + longName();
}

void TestOperatorCache::thumbnailIsFetchedOnceAndThenCached()
{
    QFETCH(QString, phonePath);
    QVERIFY(m_fx.writeFile(phonePath, "thumbnail bytes"));
    QScopedPointer<KoRemoteFile> file(m_fx.remoteFile(phonePath));
    QSignalSpy finished(m_op, &KoRemoteFileOperator::thumbnailDownloadFinishedV2);
    QCOMPARE(m_op->getThumbnailPathV2(9, file.data(), kPhoneId), QString());
    QCOMPARE(m_op->getThumbnailPathV2(9, file.data(), kPhoneId), QString());
    QVERIFY(!m_op->isThumbnailExistV2(file.data(), kPhoneId));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
    const QString key = KoRemoteFileOperator::cacheKey(phonePath, kPhoneId);
    QCOMPARE(finished.at(0), (QVariantList{key, kPhoneId}));

    const QString path = m_op->getThumbnailPathV2(9, file.data(), kPhoneId);
    QCOMPARE(path, m_op->getThumbnailDir() + "/" + key + ".png");
    QCOMPARE(readAll(path), QByteArray("thumbnail bytes"));
    QVERIFY(m_op->isThumbnailExistV2(file.data(), kPhoneId));
    // The same phone through the relay finds the same thumbnail.
    QCOMPARE(m_op->getThumbnailPathV3(9, file.data(), &m_fx.device), path);
    QVERIFY(m_op->isThumbnailExistV3(file.data(), &m_fx.device));
    QTest::qWait(700);
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("getThumbnail")).size(), 1);
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("getThumbnail")).at(0).body.value("path").toString(), phonePath);
    QCOMPARE(finished.size(), 1);
}

void TestOperatorCache::failedThumbnailIsFetchedAgain()
{
    QScopedPointer<KoRemoteFile> missing(m_fx.remoteFile(QStringLiteral("/p/missing.jpg")));
    QSignalSpy finished(m_op, &KoRemoteFileOperator::thumbnailDownloadFinishedV2);
    QCOMPARE(m_op->getThumbnailPathV3(9, missing.data(), &m_fx.device), QString());
    QTRY_COMPARE_WITH_TIMEOUT(m_fx.relay->callsTo(QStringLiteral("getThumbnail")).size(), 1, 10000);
    // Wait for the failure to come back, then ask again: a new fetch.
    QTRY_VERIFY_WITH_TIMEOUT(m_op->getTaskFromList(0) == nullptr, 10000);
    QCOMPARE(m_op->getThumbnailPathV3(9, missing.data(), &m_fx.device), QString());
    QTRY_COMPARE_WITH_TIMEOUT(m_fx.relay->callsTo(QStringLiteral("getThumbnail")).size(), 2, 10000);
    QCOMPARE(finished.size(), 0);

    // Now the phone has it: the next request after the failure gets it.
    QTRY_VERIFY_WITH_TIMEOUT(m_op->getTaskFromList(1) == nullptr, 10000);
    QVERIFY(m_fx.writeFile("/p/missing.jpg", "late"));
    m_op->getThumbnailPathV3(9, missing.data(), &m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
    QCOMPARE(readAll(m_op->getThumbnailPathV3(9, missing.data(), &m_fx.device)), QByteArray("late"));
}

void TestOperatorCache::erasedAndClearedThumbnailsAreFetchedAgain()
{
    QVERIFY(m_fx.writeFile("/e/a.jpg", "a"));
    QScopedPointer<KoRemoteFile> file(m_fx.remoteFile(QStringLiteral("/e/a.jpg")));
    QHash<QString, int> finished;
    connect(m_op, &KoRemoteFileOperator::thumbnailDownloadFinishedV2, this,
            [&](QString, QString deviceId) { ++finished[deviceId]; });
    m_op->getThumbnailPathV2(9, file.data(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(finished.value(kPhoneId), 1, 10000);
    // Another phone with the same path has its own key.
    QVERIFY(!m_op->isThumbnailExistV2(file.data(), kOtherPhoneId));
    QCOMPARE(m_op->getThumbnailPathV2(9, file.data(), kOtherPhoneId), QString());
    QTRY_COMPARE_WITH_TIMEOUT(finished.value(kOtherPhoneId), 1, 10000);

    m_op->eraseThumbnail(KoRemoteFileOperator::cacheKey(QStringLiteral("/e/a.jpg"), kPhoneId));
    QVERIFY(!m_op->isThumbnailExistV2(file.data(), kPhoneId));
    QVERIFY(m_op->isThumbnailExistV2(file.data(), kOtherPhoneId));
    QCOMPARE(m_op->getThumbnailPathV2(9, file.data(), kPhoneId), QString());
    QTRY_COMPARE_WITH_TIMEOUT(finished.value(kPhoneId), 2, 10000);
    QVERIFY(!entries(m_op->getThumbnailDir()).isEmpty());

    m_op->clearThumbnail();
    QVERIFY(entries(m_op->getThumbnailDir()).isEmpty());
    QVERIFY(!m_op->isThumbnailExistV2(file.data(), kOtherPhoneId));
    QCOMPARE(m_op->getThumbnailPathV2(9, file.data(), kPhoneId), QString());
    QTRY_COMPARE_WITH_TIMEOUT(finished.value(kPhoneId), 3, 10000);
    QCOMPARE(finished.value(kOtherPhoneId), 1);
}

void TestOperatorCache::temporaryCopyIsFetchedOnceAndReported_data()
{
    QTest::addColumn<QString>("phonePath");
    QTest::addColumn<QString>("suffix"); // of the local copy
    QTest::newRow("short name") << QStringLiteral("/docs/report.pdf") << QStringLiteral("pdf");
    QTest::newRow("name of 250 bytes") << QStringLiteral("/docs/") + longName() << QStringLiteral("txt");
    // "a." and a suffix of 83 Chinese characters: the copy's name keeps what fits in 255 bytes
    // with the key and the point, 74 characters.
    const QString suffix = longName().left(81) + QStringLiteral("甲乙");
    QTest::newRow("suffix of 249 bytes") << QStringLiteral("/docs/a.") + suffix << suffix.left(74);
}

void TestOperatorCache::temporaryCopyIsFetchedOnceAndReported()
{
    QFETCH(QString, phonePath);
    QFETCH(QString, suffix);
    const QByteArray content(300000, 'q');
    QVERIFY(m_fx.writeFile(phonePath, content));
    QScopedPointer<KoRemoteFile> file(m_fx.remoteFile(phonePath, 504));
    QSignalSpy ready(m_op, &KoRemoteFileOperator::tmpFileDownloadFinishedV2);
    QSignalSpy progress(m_op, &KoRemoteFileOperator::downloadTaskProgressV2);
    QCOMPARE(m_op->getTmpFilePathV2(9, file.data(), kPhoneId), QString());
    QCOMPARE(m_op->getTmpFilePathV2(9, file.data(), kPhoneId), QString());
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, 10000);
    const QString key = KoRemoteFileOperator::cacheKey(phonePath, kPhoneId);
    const QString expected = m_op->getTmpFileDir() + "/" + key + "." + suffix;
    QVERIFY(QFileInfo(expected).fileName().toUtf8().size() <= 255);
    QCOMPARE(ready.at(0).at(0).toString(), expected);
    QCOMPARE(readAll(expected), content);
    QCOMPARE(m_op->getTmpFilePathV2(9, file.data(), kPhoneId), expected);
    QCOMPARE(m_op->getTmpFilePathV3(9, file.data(), &m_fx.device), expected);
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("getFile")).size(), 1);
    QCOMPARE(progress.size(), 0);
    // Started at once, outside the scheduler's slots.
    QCOMPARE(m_op->getRunningTransferCount(), 0);
}

void TestOperatorCache::failedTemporaryCopyIsReportedAndFetchedAgain()
{
    QScopedPointer<KoRemoteFile> file(m_fx.remoteFile(QStringLiteral("/docs/gone.txt"), 500));
    QSignalSpy ready(m_op, &KoRemoteFileOperator::tmpFileDownloadFinishedV2);
    QSignalSpy failed(m_op, &KoRemoteFileOperator::tmpFileDownloadErrorV2);
    m_op->getTmpFilePathV3(9, file.data(), &m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
    const QString key = KoRemoteFileOperator::cacheKey(QStringLiteral("/docs/gone.txt"), kPhoneId);
    QCOMPARE(failed.at(0).at(0).toString(), m_op->getTmpFileDir() + "/" + key + ".txt");

    QVERIFY(m_fx.writeFile("/docs/gone.txt", "back"));
    QCOMPARE(m_op->getTmpFilePathV3(9, file.data(), &m_fx.device), QString());
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, 10000);
    QCOMPARE(readAll(ready.at(0).at(0).toString()), QByteArray("back"));
    QCOMPARE(m_fx.relay->callsTo(QStringLiteral("getFile")).size(), 2);
}

void TestOperatorCache::timedOutTemporaryCopyIsReportedAndFetchedAgain()
{
    QVERIFY(m_fx.writeFile("/slow/a.txt", "slow"));
    QScopedPointer<KoRemoteFile> file(m_fx.remoteFile(QStringLiteral("/slow/a.txt"), 500));
    QSignalSpy ready(m_op, &KoRemoteFileOperator::tmpFileDownloadFinishedV2);
    QSignalSpy failed(m_op, &KoRemoteFileOperator::tmpFileDownloadErrorV2);
    QSignalSpy timeouts(m_op, &KoRemoteFileOperator::taskExecuteTimeoutV2);
    KoServerConfig::setRequestDeadlineMs(300);
    KoTestResponse silence;
    silence.noAnswer = true;
    m_fx.phone->queueAnswer(QStringLiteral("getFile"), silence);
    m_op->getTmpFilePathV2(9, file.data(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.size(), 1, 10000);
    QCOMPARE(timeouts.at(0), (QVariantList{12, kPhoneId}));
    QCOMPARE(failed.size(), 1);

    KoServerConfig::setRequestDeadlineMs(15000);
    QCOMPARE(m_op->getTmpFilePathV2(9, file.data(), kPhoneId), QString());
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 1, 10000);
    QCOMPARE(readAll(ready.at(0).at(0).toString()), QByteArray("slow"));
}

void TestOperatorCache::temporaryCopyNeverLeavesItsFolder()
{
    QVERIFY(m_fx.writeFile("/odd/one", "1"));
    QVERIFY(m_fx.writeFile("/odd/two", "2"));
    // Names and suffixes come from the phone's display names here.
    QScopedPointer<KoRemoteFile> slash(
        new KoRemoteFile(m_fx.url(), QStringLiteral("/odd/one"), 500, 1, 0, QStringLiteral("x.a/../../../evil")));
    QScopedPointer<KoRemoteFile> backslash(
        new KoRemoteFile(m_fx.url(), QStringLiteral("/odd/two"), 500, 1, 0, QStringLiteral("y.b\\..\\evil")));
    QVERIFY(slash->getSuffix().contains('/'));
    QVERIFY(backslash->getSuffix().contains('\\'));
    QSignalSpy ready(m_op, &KoRemoteFileOperator::tmpFileDownloadFinishedV2);
    m_op->getTmpFilePathV2(9, slash.data(), kPhoneId);
    m_op->getTmpFilePathV2(9, backslash.data(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(ready.size(), 2, 10000);
    const QString tmpDir = QDir::cleanPath(m_op->getTmpFileDir());
    QSet<QString> paths;
    for (const QList<QVariant>& args : ready)
        paths.insert(args.at(0).toString());
    const QSet<QString> expected{
        tmpDir + "/" + KoRemoteFileOperator::cacheKey(QStringLiteral("/odd/one"), kPhoneId) + ".",
        tmpDir + "/" + KoRemoteFileOperator::cacheKey(QStringLiteral("/odd/two"), kPhoneId) + "."};
    QCOMPARE(paths, expected);
    for (const QString& path : paths)
        QCOMPARE(QFileInfo(path).absolutePath(), tmpDir);
    QVERIFY(!QFile::exists(KoCommonUtil::getAppDataDir() + "/evil"));
}

void TestOperatorCache::exitEmptiesBothFolders()
{
    QVERIFY(m_fx.writeFile("/x/a.jpg", "a"));
    QScopedPointer<KoRemoteFile> file(m_fx.remoteFile(QStringLiteral("/x/a.jpg")));
    QSignalSpy thumbs(m_op, &KoRemoteFileOperator::thumbnailDownloadFinishedV2);
    QSignalSpy copies(m_op, &KoRemoteFileOperator::tmpFileDownloadFinishedV2);
    m_op->getThumbnailPathV2(9, file.data(), kPhoneId);
    m_op->getTmpFilePathV2(9, file.data(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(thumbs.size(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(copies.size(), 1, 10000);
    const QString thumbnailDir = m_op->getThumbnailDir();
    const QString tmpDir = m_op->getTmpFileDir();
    QVERIFY(!entries(thumbnailDir).isEmpty() && !entries(tmpDir).isEmpty());
    delete m_op;
    QVERIFY(entries(thumbnailDir).isEmpty() && entries(tmpDir).isEmpty());
    // A new run knows nothing of the old files.
    m_op = KoRemoteFileOperator::getInstance();
    QVERIFY(!m_op->isThumbnailExistV2(file.data(), kPhoneId));
    QCOMPARE(m_op->getFileTaskId(), 0);
}

void TestOperatorCache::schedulerRunsAtMostFiveOfEachKind()
{
    QTemporaryDir local;
    QVERIFY(local.isValid());
    const int count = 8;
    QList<int> downloadIds;
    QList<KoRemoteFile*> thumbFiles;
    for (int i = 0; i < count; ++i) {
        QVERIFY(m_fx.writeFile(QStringLiteral("/t/%1.bin").arg(i), QByteArray(1000 + i, 'd')));
        QVERIFY(m_other.writeFile(QStringLiteral("/th/%1.jpg").arg(i), QByteArray::number(i)));
        thumbFiles << m_other.remoteFile(QStringLiteral("/th/%1.jpg").arg(i));
    }
    m_fx.phone->setDelay(QStringLiteral("getFile"), 1500);
    m_other.phone->setDelay(QStringLiteral("getThumbnail"), 1500);

    // Waiting downloads as a group download queues them.
    for (int i = 0; i < count; ++i) {
        const int id = m_op->getFileTaskId();
        downloadIds << id;
        QVERIFY(m_op->insertTaskInList(
            new KoRemoteFileDownloadTaskV2(id, kPhoneId, m_fx.url(), 9, QStringLiteral("/t/%1.bin").arg(i),
                                           local.filePath(QString::number(i)), 0, -1, QString(), m_op)));
    }
    QSignalSpy finished(m_op, &KoRemoteFileOperator::thumbnailDownloadFinishedV2);
    for (KoRemoteFile* file : thumbFiles)
        QCOMPARE(m_op->getThumbnailPathV2(9, file, kOtherPhoneId), QString());

    // In flight at the phone = requests it received - results the operator has had.
    int downloadsArrived = 0;
    int thumbsArrived = 0;
    int maxDownloads = 0;
    int maxThumbs = 0;
    QStringList firstDownloads;
    auto downloadsDone = [&] {
        int done = 0;
        for (int id : downloadIds)
            done += m_op->getTaskFromList(id) ? 0 : 1;
        return done;
    };
    QObject context; // the phones outlive this test; its receivers must not
    connect(m_fx.phone, &KoFakePhone::called, &context, [&](const KoFakeCall& call) {
        if (call.op != QLatin1String("getFile"))
            return;
        ++downloadsArrived;
        if (firstDownloads.size() < 5)
            firstDownloads << call.body.value("path").toString();
        maxDownloads = qMax(maxDownloads, downloadsArrived - downloadsDone());
        QVERIFY(m_op->getRunningTransferCount() <= 5);
    });
    connect(m_other.phone, &KoFakePhone::called, &context, [&](const KoFakeCall& call) {
        if (call.op != QLatin1String("getThumbnail"))
            return;
        ++thumbsArrived;
        maxThumbs = qMax(maxThumbs, thumbsArrived - int(finished.size()));
        QVERIFY(m_op->getRunningThumbnailCount() <= 5);
    });

    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), count, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(downloadsDone(), count, 30000);
    QCOMPARE((QList<int>{downloadsArrived, thumbsArrived, maxDownloads, maxThumbs}),
             (QList<int>{count, count, 5, 5}));
    // The first five in queue order went first.
    firstDownloads.sort();
    QCOMPARE(firstDownloads, (QStringList{"/t/0.bin", "/t/1.bin", "/t/2.bin", "/t/3.bin", "/t/4.bin"}));
    for (int i = 0; i < count; ++i)
        QCOMPARE(readAll(local.filePath(QString::number(i))), QByteArray(1000 + i, 'd'));
    QCOMPARE(m_op->getRunningTransferCount(), 0);
    QCOMPARE(m_op->getRunningThumbnailCount(), 0);
    qDeleteAll(thumbFiles);
}

void TestOperatorCache::newFolderSlotsAreGivenBack()
{
    // The folders of a folder upload wait for the scheduler and take thumbnail slots.
    QSignalSpy made(m_op, &KoRemoteFileOperator::makeDiretoryFinishedV2);
    const int folders = 7;
    for (int i = 0; i < folders; ++i) {
        QVERIFY(m_op->insertTaskInList(new KoRemoteFileMkdirTaskV2(m_op->getFileTaskId(), kPhoneId, m_fx.url(), 9,
                                                                   QStringLiteral("/up%1").arg(i), m_op)));
    }
    QTRY_COMPARE_WITH_TIMEOUT(made.size(), folders, 10000);
    for (int i = 0; i < folders; ++i)
        QVERIFY(QFileInfo(m_fx.root() + QStringLiteral("/up%1").arg(i)).isDir());
    QCOMPARE(m_op->getRunningThumbnailCount(), 0);

    // Thumbnails still start afterwards.
    QVERIFY(m_fx.writeFile("/up0/a.jpg", "a"));
    QScopedPointer<KoRemoteFile> file(m_fx.remoteFile(QStringLiteral("/up0/a.jpg")));
    QSignalSpy thumbs(m_op, &KoRemoteFileOperator::thumbnailDownloadFinishedV2);
    m_op->getThumbnailPathV2(9, file.data(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(thumbs.size(), 1, 10000);
}

void TestOperatorCache::downloadProgressUpdatesItsRecord()
{
    QTemporaryDir local;
    QVERIFY(local.isValid());
    const QByteArray content(200000, 'p');
    QVERIFY(m_fx.writeFile("/dl/big.bin", content));
    const int id = m_op->getFileTaskId();
    auto* record = new KoFileDownloadInfo(id, KoOpsPhone::kUid, 2, kPhoneId, 9,
                                          m_fx.remoteFile(QStringLiteral("/dl/big.bin"), 0),
                                          local.filePath("big.bin"), m_op);
    m_op->addInfoToConvertList(record, KoRemoteFileOperator::ListDownloading, false);
    QList<int> percents;
    connect(m_op, &KoRemoteFileOperator::downloadTaskProgressV2, this, [&](int taskId, int percent) {
        QCOMPARE(taskId, id);
        percents << percent;
    });
    QVERIFY(m_op->insertTaskInList(
        new KoRemoteFileDownloadTaskV2(id, kPhoneId, m_fx.url(), 9, QStringLiteral("/dl/big.bin"),
                                       local.filePath("big.bin"), 0, -1, QString(), m_op)));
    QTRY_VERIFY_WITH_TIMEOUT(!m_op->getTaskFromList(id), 10000);
    QVERIFY(!percents.isEmpty());
    QCOMPARE(percents.last(), 100);
    // Done: the record moved on to the finished list with its sizes.
    QCOMPARE((QList<qint64>{record->getConvertState(), record->getProgress(), record->getConvertedSize(),
                            record->getTotalSize()}),
             (QList<qint64>{KoFileConvertInfo::StateFinished, 100, content.size(), content.size()}));
    QCOMPARE(readAll(local.filePath("big.bin")), content);
    QCOMPARE((QList<KoFileConvertInfo*>{m_op->getInfoFromConvertList(id, KoRemoteFileOperator::ListDownloading),
                                        m_op->getInfoFromConvertList(id, KoRemoteFileOperator::ListFinished),
                                        m_op->getInfoFromConvertList(id, KoRemoteFileOperator::ListUploading)}),
             (QList<KoFileConvertInfo*>{nullptr, record, nullptr}));

    // A new task id for the record is found at once under the new id only.
    m_op->setConvertInfoTaskId(record, KoRemoteFileOperator::ListFinished, id + 100);
    QCOMPARE(m_op->getInfoFromConvertList(id, KoRemoteFileOperator::ListFinished), nullptr);
    QCOMPARE(m_op->getInfoFromConvertList(id + 100, KoRemoteFileOperator::ListFinished), record);
    // Even one changed behind the operator's back.
    record->setTaskId(id + 200);
    QCOMPARE(m_op->getInfoFromConvertList(id + 100, KoRemoteFileOperator::ListFinished), nullptr);
    QCOMPARE(m_op->popInfoFromConvertList(id + 200, KoRemoteFileOperator::ListFinished), record);
    QCOMPARE(m_op->getInfoFromConvertList(id + 200, KoRemoteFileOperator::ListFinished), nullptr);
    delete record;
}

void TestOperatorCache::uploadRefusedWithCode100FailsItsRecord()
{
    QTemporaryDir local;
    QVERIFY(local.isValid());
    const QString path = local.filePath("up.txt");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("upload me");
    }
    const int id = m_op->getFileTaskId();
    auto* record = new KoFileUploadInfo(id, new KoLocalFile(path), 9, QStringLiteral("/inbox"), KoOpsPhone::kUid, 2,
                                        kPhoneId, m_op);
    m_op->addInfoToConvertList(record, KoRemoteFileOperator::ListUploading, false);
    m_op->incConvertingCount(KoRemoteFileOperator::ListUploading);

    QStringList order;
    QString failedPath;
    connect(m_op, &KoRemoteFileOperator::fileUploadErrorV2, this, [&](QString remotePath, QString deviceId) {
        order << "error";
        failedPath = remotePath;
        QCOMPARE(deviceId, kPhoneId);
    });
    connect(m_op, &KoRemoteFileOperator::convertCountChanged, this,
            [&](int download, int upload) { order << QStringLiteral("count %1 %2").arg(download).arg(upload); });
    connect(m_op, &KoRemoteFileOperator::taskExecuteNoPermission, this, [&](int type, QString deviceId) {
        order << QStringLiteral("noPermission %1 %2").arg(type).arg(deviceId);
    });
    m_fx.phone->queueAnswer(QStringLiteral("uploadFile"), KoTestResponse::json(QJsonObject{{"code", 100}}));
    QVERIFY(m_op->insertTaskInList(new KoRemoteFileUploadTaskV2(id, kPhoneId, m_fx.url(), path, 9,
                                                                QStringLiteral("/inbox"), 0, 0, QString(), m_op)));
    QTRY_VERIFY_WITH_TIMEOUT(!m_op->getTaskFromList(id), 10000);
    QCOMPARE(order, (QStringList{"error", "count 0 0", "noPermission 2 " + kPhoneId}));
    QCOMPARE(failedPath, QStringLiteral("/inbox/up.txt"));
    QCOMPARE(record->getConvertState(), int(KoFileConvertInfo::StateFailed));
    int downloads = -1;
    int uploads = -1;
    m_op->getConvertingCount(downloads, uploads);
    QCOMPARE(uploads, 0);
    QCOMPARE(m_op->getRunningTransferCount(), 0);
}

QTEST_GUILESS_MAIN(TestOperatorCache)
#include "tst_operatorcache.moc"
