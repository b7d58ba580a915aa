// Listing and file operations through the operator against the fake phone, on both routes:
// what reaches the phone, which signals come back, what the receiver gets to own, and that
// receivers may call back into the operator from inside its signals.

#include "KoOpsTestFixture.h"

#include "app/KoCommonUtil.h"

#include "model/KoFileConvertInfo.h"
#include "model/KoFileCopyInfo.h"
#include "model/KoFileDownloadInfo.h"
#include "model/KoRemoteCategory.h"

#include <QJsonArray>

namespace {
const QString kPhoneId = QStringLiteral("android-ops-1");
}

class TestOperatorFileOps : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void taskIdsCountFromZero();
    void aListedIdIsNotTakenTwice();
    void categoryIndexOnBothRoutes();
    void categoryIndexFailureIsReportedOnBothRoutes();
    void folderListingLeavesOutHiddenAndNamesAlbumFolders();
    void folderListingOverTheRelay();
    void listingCode100EmptyAnswerAndFailure();
    void renameForgetsCachedCopies();
    void renameFailureCarriesThePhonesCode();
    void newFolderFinishedAndFailed();
    void deleteForgetsEveryPathOnce();
    void moveReportsOnceWithTheTarget();
    void failedDeletesAndMovesAreTold_data();
    void failedDeletesAndMovesAreTold();
    void guardsSendNothing();
    void relayFileOperations();
    void copyStartProgressAndCancel();
    void copyFailureAndProgressFailure();
    void listsAreFreedWithoutReceivers();
    void resultOfAGoneTaskIsDropped();
    void receiversMayCallBackIntoTheOperator();

private:
    // Waits until the task with that id has reported and left the task list.
    bool waitGone(int taskId, int timeoutMs = 10000);
    QStringList names(const QList<KoRemoteFile*>& files) const;

    KoOpsPhone m_fx;
    KoRemoteFileOperator* m_op = nullptr;
};

void TestOperatorFileOps::initTestCase()
{
    KoServerConfig::setSweepIntervalMs(100);
    QVERIFY(m_fx.start(this, kPhoneId));
}

void TestOperatorFileOps::cleanupTestCase()
{
    KoServerConfig::reset();
}

void TestOperatorFileOps::init()
{
    m_fx.reset();
    // Every run starts without the transfer records of the one before.
    QFile::remove(KoCommonUtil::getAppDataDir() + QStringLiteral("/fileConvertData.KoInfo"));
    m_op = KoRemoteFileOperator::getInstance();
}

void TestOperatorFileOps::cleanup()
{
    delete m_op;
    m_op = nullptr;
    QVERIFY(!KoRemoteFileOperator::hasInstance());
}

bool TestOperatorFileOps::waitGone(int taskId, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (m_op->getTaskFromList(taskId) && timer.elapsed() < timeoutMs)
        QTest::qWait(10);
    return !m_op->getTaskFromList(taskId);
}

QStringList TestOperatorFileOps::names(const QList<KoRemoteFile*>& files) const
{
    QStringList result;
    for (KoRemoteFile* file : files)
        result << file->getFullName();
    return result;
}

void TestOperatorFileOps::taskIdsCountFromZero()
{
    QCOMPARE(m_op->getFileTaskId(), 0);
    QCOMPARE(m_op->getFileTaskId(), 1);
    m_op->getCategoryIndexStart(m_fx.url(), kPhoneId);
    QVERIFY(m_op->getTaskFromList(2));
    QVERIFY(waitGone(2));
}

void TestOperatorFileOps::aListedIdIsNotTakenTwice()
{
    QStringList paths{QStringLiteral("/a")};
    // The operator refuses a second task under a listed id; the refused one stays the caller's.
    auto* first = new KoRemoteFileDeleteTaskV2(100, kPhoneId, m_fx.url(), 9, paths, m_op);
    KoRemoteFileDeleteTaskV2 second(100, kPhoneId, m_fx.url(), 9, paths);
    QVERIFY(m_op->insertTaskInList(first));
    QVERIFY(!m_op->insertTaskInList(&second));
    QVERIFY(!m_op->insertTaskInList(nullptr));
    QCOMPARE(m_op->getTaskFromList(100), first);
    QVERIFY(m_op->removeTaskFromList(100));
    QVERIFY(!m_op->removeTaskFromList(100));
}

void TestOperatorFileOps::categoryIndexOnBothRoutes()
{
    m_fx.phone->setCategories({9, 11, 12});
    QList<QPair<QString, QList<int>>> got;
    connect(m_op, &KoRemoteFileOperator::getCategoryListSuccess, this,
            [&](QString deviceId, QList<KoRemoteCategory*>* list) {
                QList<int> types;
                for (KoRemoteCategory* category : *list)
                    types << category->getCategoryType();
                got.append(qMakePair(deviceId, types));
                qDeleteAll(*list);
                delete list;
            });
    m_op->getCategoryIndexStart(m_fx.url(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), 1, 10000);
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("listCategory")).size(), 1);
    m_op->getCategoryIndexStartV3(&m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), 2, 10000);
    const auto expected = qMakePair(kPhoneId, QList<int>{9, 11, 12});
    QCOMPARE(got, (QList<QPair<QString, QList<int>>>{expected, expected}));
    QCOMPARE(m_fx.relay->callsTo(QStringLiteral("listCategory")).size(), 1);
}

void TestOperatorFileOps::categoryIndexFailureIsReportedOnBothRoutes()
{
    QSignalSpy timeouts(m_op, &KoRemoteFileOperator::taskExecuteTimeoutV2);
    int lists = 0;
    connect(m_op, &KoRemoteFileOperator::getCategoryListSuccess, this, [&](QString, QList<KoRemoteCategory*>* list) {
        ++lists;
        qDeleteAll(*list);
        delete list;
    });
    m_fx.phone->setAnswer(QStringLiteral("listCategory"), KoTestResponse::json(QJsonObject{{"code", 3}}));
    m_op->getCategoryIndexStart(m_fx.url(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.size(), 1, 10000);
    m_op->getCategoryIndexStartV3(&m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.size(), 2, 10000);
    QCOMPARE(timeouts.at(0), (QVariantList{14, kPhoneId}));
    QCOMPARE(timeouts.at(1).at(0).toInt(), 14);
    QCOMPARE(lists, 0);
}

void TestOperatorFileOps::folderListingLeavesOutHiddenAndNamesAlbumFolders()
{
    QVERIFY(QDir().mkpath(m_fx.root() + "/sdcard/DCIM"));
    QVERIFY(QDir().mkpath(m_fx.root() + "/sdcard/Other"));
    QVERIFY(m_fx.writeFile("/sdcard/.nomedia", "x"));
    QVERIFY(m_fx.writeFile("/sdcard/a.txt", "hello"));
    m_fx.phone->setCategoryRoot(3, m_fx.root());

    struct Listing {
        int category;
        QString dir;
        QString deviceId;
        QStringList names;
        QStringList displayNames;
    };
    QList<Listing> got;
    connect(m_op, &KoRemoteFileOperator::getFileListSuccessV2, this,
            [&](int category, QString dir, QString deviceId, QList<KoRemoteFile*>* list) {
                Listing listing{category, dir, deviceId, names(*list), {}};
                for (KoRemoteFile* file : *list)
                    listing.displayNames << file->getPath()->getName();
                got.append(listing);
                qDeleteAll(*list);
                delete list;
            });

    m_op->getFileListStartV2(3, QStringLiteral("/sdcard"), m_fx.url(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), 1, 10000);
    QCOMPARE((QVariantList{got.at(0).category, got.at(0).dir, got.at(0).deviceId}),
             (QVariantList{3, "/sdcard", kPhoneId}));
    QCOMPARE(got.at(0).names,
             (QStringList{QStringLiteral("相机胶卷"), QStringLiteral("Other"), QStringLiteral("a.txt")}));
    QCOMPARE(got.at(0).displayNames.at(0), QStringLiteral("相机胶卷"));

    // The same folder under another category keeps its name.
    m_op->getFileListStartV2(9, QStringLiteral("/sdcard"), m_fx.url(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), 2, 10000);
    QCOMPARE(got.at(1).names,
             (QStringList{QStringLiteral("DCIM"), QStringLiteral("Other"), QStringLiteral("a.txt")}));

    // Only hidden entries: an empty list all the same.
    QVERIFY(m_fx.writeFile("/hidden/.a", "1"));
    QVERIFY(m_fx.writeFile("/hidden/.b", "2"));
    m_op->getFileListStartV2(9, QStringLiteral("/hidden"), m_fx.url(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), 3, 10000);
    QVERIFY(got.at(2).names.isEmpty());
}

void TestOperatorFileOps::folderListingOverTheRelay()
{
    QVERIFY(m_fx.writeFile("/relay/one.jpg", "1"));
    QVERIFY(m_fx.writeFile("/relay/.thumbs", "2"));
    QStringList got;
    QString gotDevice;
    connect(m_op, &KoRemoteFileOperator::getFileListSuccessV2, this,
            [&](int, QString, QString deviceId, QList<KoRemoteFile*>* list) {
                got = names(*list);
                gotDevice = deviceId;
                qDeleteAll(*list);
                delete list;
            });
    m_op->getFileListStartV3(9, QStringLiteral("/relay"), &m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(got, QStringList{QStringLiteral("one.jpg")}, 10000);
    QCOMPARE(gotDevice, kPhoneId);
    QCOMPARE(m_fx.relay->callsTo(QStringLiteral("getDirectory")).size(), 1);
}

void TestOperatorFileOps::listingCode100EmptyAnswerAndFailure()
{
    QSignalSpy noPermission(m_op, &KoRemoteFileOperator::taskExecuteNoPermission);
    QSignalSpy timeouts(m_op, &KoRemoteFileOperator::taskExecuteTimeoutV2);
    int listings = 0;
    connect(m_op, &KoRemoteFileOperator::getFileListSuccessV2, this,
            [&](int, QString, QString, QList<KoRemoteFile*>* list) {
                ++listings;
                qDeleteAll(*list);
                delete list;
            });

    m_fx.phone->queueAnswer(QStringLiteral("getDirectory"), KoTestResponse::json(QJsonObject{{"code", 100}}));
    m_op->getFileListStartV2(9, QStringLiteral("/"), m_fx.url(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(noPermission.size(), 1, 10000);
    QCOMPARE(noPermission.at(0), (QVariantList{7, kPhoneId}));

    m_fx.phone->queueAnswer(QStringLiteral("getDirectory"), KoTestResponse::raw(QByteArray(), 200));
    m_op->getFileListStartV3(9, QStringLiteral("/"), &m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.size(), 1, 10000);
    QCOMPARE(timeouts.at(0), (QVariantList{7, kPhoneId}));

    // Any other failure ("not found" here) ends the listing too, on both routes, so that a page
    // waiting for it never stays busy.
    m_fx.phone->queueAnswer(QStringLiteral("getDirectory"), KoTestResponse::json(QJsonObject{{"code", 2}}));
    m_op->getFileListStartV2(9, QStringLiteral("/"), m_fx.url(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.size(), 2, 10000);
    m_fx.phone->queueAnswer(QStringLiteral("getDirectory"), KoTestResponse::json(QJsonObject{{"code", 2}}));
    m_op->getFileListStartV3(9, QStringLiteral("/gone"), &m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.size(), 3, 10000);
    for (const QList<QVariant>& timeout : qAsConst(timeouts))
        QCOMPARE(timeout, (QList<QVariant>{7, kPhoneId}));
    QCOMPARE(listings, 0);
    QCOMPARE(noPermission.size(), 1);
}

void TestOperatorFileOps::renameForgetsCachedCopies()
{
    QVERIFY(m_fx.writeFile("/r/photo.jpg", "jpeg bytes"));
    QScopedPointer<KoRemoteFile> file(m_fx.remoteFile(QStringLiteral("/r/photo.jpg")));
    QSignalSpy thumbs(m_op, &KoRemoteFileOperator::thumbnailDownloadFinishedV2);
    QVERIFY(m_op->getThumbnailPathV2(9, file.data(), kPhoneId).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(thumbs.size(), 1, 10000);
    QVERIFY(m_op->isThumbnailExistV2(file.data(), kPhoneId));

    QSignalSpy renamed(m_op, &KoRemoteFileOperator::renameFileFinishedV2);
    m_op->renameFileV2(kPhoneId, 9, file.data(), QStringLiteral("new.jpg"));
    QTRY_COMPARE_WITH_TIMEOUT(renamed.size(), 1, 10000);
    QCOMPARE(renamed.at(0), (QVariantList{"/r/photo.jpg", kPhoneId}));
    QVERIFY(QFile::exists(m_fx.root() + "/r/new.jpg"));
    QVERIFY(!m_op->isThumbnailExistV2(file.data(), kPhoneId));
    const KoFakeCall call = m_fx.phone->callsTo(QStringLiteral("renameFile")).value(0);
    QCOMPARE((QStringList{call.body.value("path").toString(), call.body.value("name").toString()}),
             (QStringList{"/r/photo.jpg", "new.jpg"}));
}

void TestOperatorFileOps::renameFailureCarriesThePhonesCode()
{
    QScopedPointer<KoRemoteFile> missing(m_fx.remoteFile(QStringLiteral("/nowhere/x.jpg")));
    QSignalSpy failed(m_op, &KoRemoteFileOperator::renameFileFailedV2);
    QSignalSpy renamed(m_op, &KoRemoteFileOperator::renameFileFinishedV2);
    m_op->renameFileV3(9, missing.data(), QStringLiteral("y.jpg"), &m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
    QCOMPARE(failed.at(0), (QVariantList{int(KoFakePhone::CodeNotFound), kPhoneId}));
    QCOMPARE(renamed.size(), 0);
}

void TestOperatorFileOps::newFolderFinishedAndFailed()
{
    QSignalSpy made(m_op, &KoRemoteFileOperator::makeDiretoryFinishedV2);
    QSignalSpy failed(m_op, &KoRemoteFileOperator::makeDirectoryFailedV2);
    m_op->makeDiretoryV2(9, QStringLiteral("/made"), m_fx.url(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(made.size(), 1, 10000);
    QCOMPARE(made.at(0), (QVariantList{"/made", kPhoneId}));
    QVERIFY(QFileInfo(m_fx.root() + "/made").isDir());

    m_op->makeDiretoryV3(9, QStringLiteral("/made"), &m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
    QCOMPARE(failed.at(0), (QVariantList{int(KoFakePhone::CodeExists), kPhoneId}));
    // Started at once, never through a scheduler slot.
    QCOMPARE(m_op->getRunningThumbnailCount(), 0);
}

void TestOperatorFileOps::deleteForgetsEveryPathOnce()
{
    const QStringList paths{QStringLiteral("/d/1.jpg"), QStringLiteral("/d/2.jpg"), QStringLiteral("/d/3.jpg")};
    QList<KoRemoteFile*> files;
    QSignalSpy thumbs(m_op, &KoRemoteFileOperator::thumbnailDownloadFinishedV2);
    for (const QString& path : paths) {
        QVERIFY(m_fx.writeFile(path, path.toUtf8()));
        files << m_fx.remoteFile(path);
        m_op->getThumbnailPathV2(9, files.last(), kPhoneId);
    }
    QTRY_COMPARE_WITH_TIMEOUT(thumbs.size(), 3, 10000);

    QSignalSpy deleted(m_op, &KoRemoteFileOperator::deleteFileFinishedV2);
    // One path the phone cannot delete: it comes back as a failed entry, which is freed.
    m_op->deleteFileV2(9, paths + QStringList{QStringLiteral("/d/missing")}, m_fx.url(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(deleted.size(), 1, 10000);
    QCOMPARE(deleted.at(0), (QVariantList{QString(), kPhoneId}));
    for (KoRemoteFile* file : files) {
        QVERIFY(!m_op->isThumbnailExistV2(file, kPhoneId));
        QVERIFY(!QFile::exists(m_fx.root() + file->getPath()->getAbsolutePath()));
    }
    QTest::qWait(100);
    QCOMPARE(deleted.size(), 1);
    qDeleteAll(files);

    // An empty list is still sent.
    m_op->deleteFileV3(9, QStringList(), &m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(m_fx.relay->callsTo(QStringLiteral("deleteFile")).size(), 1, 10000);
}

void TestOperatorFileOps::failedDeletesAndMovesAreTold_data()
{
    QTest::addColumn<bool>("move");
    QTest::addColumn<bool>("lan");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("failedCode"); // -1: no failure signal
    QTest::addColumn<int>("finished");
    QTest::newRow("delete done") << false << true << "/f/a.txt" << -1 << 1;
    QTest::newRow("delete partly, lan") << false << true << "/f/missing" << 4 << 1;
    QTest::newRow("delete partly, relay") << false << false << "/f/missing" << 4 << 1;
    QTest::newRow("move done") << true << true << "/f/a.txt" << -1 << 1;
    QTest::newRow("move partly, relay") << true << false << "/f/missing" << 4 << 1;
    QTest::newRow("move into a missing folder") << true << true << "/f/a.txt|/nowhere" << 2 << 0;
}

// The phone's refusals reached no one: the page kept showing what was not deleted or moved.
void TestOperatorFileOps::failedDeletesAndMovesAreTold()
{
    QFETCH(bool, move);
    QFETCH(bool, lan);
    QFETCH(QString, path);
    QFETCH(int, failedCode);
    QFETCH(int, finished);
    QVERIFY(m_fx.writeFile(QStringLiteral("/f/a.txt"), "a"));
    QVERIFY(QDir().mkpath(m_fx.root() + QStringLiteral("/g")));
    const QStringList parts = path.split(QLatin1Char('|'));
    const QString target = parts.value(1, QStringLiteral("/g"));
    QSignalSpy failedDelete(m_op, &KoRemoteFileOperator::deleteFileFailedV2);
    QSignalSpy failedMove(m_op, &KoRemoteFileOperator::moveFileFailedV2);
    QSignalSpy done(m_op,
                    move ? SIGNAL(moveFileFinishedV2(QString, QString, QString))
                         : SIGNAL(deleteFileFinishedV2(QString, QString)));
    if (move && lan)
        m_op->moveFileV2(9, {parts.at(0)}, 9, target, m_fx.url(), kPhoneId);
    else if (move)
        m_op->moveFileV3(9, {parts.at(0)}, 9, target, &m_fx.device);
    else if (lan)
        m_op->deleteFileV2(9, {parts.at(0)}, m_fx.url(), kPhoneId);
    else
        m_op->deleteFileV3(9, {parts.at(0)}, &m_fx.device);
    QSignalSpy& failed = move ? failedMove : failedDelete;
    QTRY_COMPARE_WITH_TIMEOUT(failed.size() + done.size(), qMax(finished, 0) + (failedCode >= 0 ? 1 : 0), 10000);
    QCOMPARE(done.size(), finished);
    QCOMPARE(failed.size(), failedCode >= 0 ? 1 : 0);
    QCOMPARE((move ? failedDelete : failedMove).size(), 0);
    if (failedCode >= 0) {
        QCOMPARE(failed.at(0).at(0).toInt(), failedCode);
        QCOMPARE(failed.at(0).at(1).toString(), kPhoneId);
    }
}

void TestOperatorFileOps::moveReportsOnceWithTheTarget()
{
    QVERIFY(m_fx.writeFile("/m/a.txt", "a"));
    QVERIFY(m_fx.writeFile("/m/b.txt", "b"));
    QVERIFY(QDir().mkpath(m_fx.root() + "/target"));
    QScopedPointer<KoRemoteFile> a(m_fx.remoteFile(QStringLiteral("/m/a.txt"), 500));
    QSignalSpy tmpReady(m_op, &KoRemoteFileOperator::tmpFileDownloadFinishedV2);
    QVERIFY(m_op->getTmpFilePathV2(9, a.data(), kPhoneId).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(tmpReady.size(), 1, 10000);
    QVERIFY(!m_op->getTmpFilePathV2(9, a.data(), kPhoneId).isEmpty());

    QSignalSpy moved(m_op, &KoRemoteFileOperator::moveFileFinishedV2);
    m_op->moveFileV2(9, {QStringLiteral("/m/a.txt"), QStringLiteral("/m/b.txt")}, 9, QStringLiteral("/target"),
                     m_fx.url(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(moved.size(), 1, 10000);
    QCOMPARE(moved.at(0), (QVariantList{QString(), "/target", kPhoneId}));
    QVERIFY(QFile::exists(m_fx.root() + "/target/a.txt"));
    QVERIFY(QFile::exists(m_fx.root() + "/target/b.txt"));
    // The temporary copy of the moved file is forgotten: the next request fetches anew.
    const int before = m_fx.phone->callsTo(QStringLiteral("getFile")).size();
    QVERIFY(m_op->getTmpFilePathV2(9, a.data(), kPhoneId).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_fx.phone->callsTo(QStringLiteral("getFile")).size(), before + 1, 10000);

    m_op->moveFileV3(9, {QStringLiteral("/target/b.txt")}, 9, QStringLiteral("/m"), &m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(moved.size(), 2, 10000);
    QCOMPARE(moved.at(1).at(1).toString(), QStringLiteral("/m"));
}

void TestOperatorFileOps::guardsSendNothing()
{
    QScopedPointer<KoRemoteFile> file(m_fx.remoteFile(QStringLiteral("/g.txt")));
    const int first = nextTaskId(m_op);
    m_op->renameFileV2(kPhoneId, 9, nullptr, QStringLiteral("x"));
    m_op->renameFileV3(9, file.data(), QStringLiteral("x"), nullptr);
    m_op->renameFileV3(9, nullptr, QStringLiteral("x"), &m_fx.device);
    m_op->makeDiretoryV2(9, QString(), m_fx.url(), kPhoneId);
    m_op->makeDiretoryV3(9, QStringLiteral("/x"), nullptr);
    m_op->deleteFileV3(9, {QStringLiteral("/x")}, nullptr);
    m_op->moveFileV2(9, QStringList(), 9, QStringLiteral("/d"), m_fx.url(), kPhoneId);
    m_op->moveFileV2(9, {QStringLiteral("/x")}, 9, QString(), m_fx.url(), kPhoneId);
    m_op->moveFileV3(9, {QStringLiteral("/x")}, 9, QStringLiteral("/d"), nullptr);
    m_op->getFileCopyStartV2(9, QStringList(), 9, QStringLiteral("/d"), m_fx.url());
    m_op->getFileCopyStartV2(9, {QStringLiteral("/x")}, 9, QString(), m_fx.url());
    m_op->getCategoryIndexStartV3(nullptr);
    m_op->getFileListStartV3(9, QStringLiteral("/"), nullptr);
    QCOMPARE(m_op->getThumbnailPathV2(9, nullptr, kPhoneId), QString());
    QCOMPARE(m_op->getThumbnailPathV3(9, file.data(), nullptr), QString());
    QCOMPARE(m_op->getTmpFilePathV2(9, nullptr, kPhoneId), QString());
    QVERIFY(!m_op->isThumbnailExistV2(nullptr, kPhoneId));
    QVERIFY(!m_op->isThumbnailExistV3(file.data(), nullptr));
    // No task took an id.
    QCOMPARE(m_op->getFileTaskId(), first);
    QTest::qWait(200);
    QVERIFY(m_fx.phone->calls().isEmpty());
}

void TestOperatorFileOps::relayFileOperations()
{
    QVERIFY(m_fx.writeFile("/v3/a.txt", "a"));
    QScopedPointer<KoRemoteFile> a(m_fx.remoteFile(QStringLiteral("/v3/a.txt"), 500));
    QSignalSpy renamed(m_op, &KoRemoteFileOperator::renameFileFinishedV2);
    QSignalSpy made(m_op, &KoRemoteFileOperator::makeDiretoryFinishedV2);
    QSignalSpy deleted(m_op, &KoRemoteFileOperator::deleteFileFinishedV2);
    m_op->renameFileV3(9, a.data(), QStringLiteral("b.txt"), &m_fx.device);
    m_op->makeDiretoryV3(9, QStringLiteral("/v3/sub"), &m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(renamed.size(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(made.size(), 1, 10000);
    QCOMPARE(renamed.at(0).at(0).toString(), QStringLiteral("/v3/a.txt"));
    QVERIFY(QFile::exists(m_fx.root() + "/v3/b.txt"));
    QVERIFY(QFileInfo(m_fx.root() + "/v3/sub").isDir());
    m_op->deleteFileV3(9, {QStringLiteral("/v3/b.txt")}, &m_fx.device);
    QTRY_COMPARE_WITH_TIMEOUT(deleted.size(), 1, 10000);
    QCOMPARE(deleted.at(0).at(1).toString(), kPhoneId);
    QVERIFY(!QFile::exists(m_fx.root() + "/v3/b.txt"));
    const KoFakeCall call = m_fx.relay->callsTo(QStringLiteral("renameFile")).value(0);
    QCOMPARE(call.header("toDeviceId"), kPhoneId.toUtf8());
    QCOMPARE(call.header("toUid"), QByteArray::number(KoOpsPhone::kUid));
}

void TestOperatorFileOps::copyStartProgressAndCancel()
{
    QVERIFY(m_fx.writeFile("/c/src.bin", QByteArray(1000, 'c')));
    QVERIFY(QDir().mkpath(m_fx.root() + "/c/dst"));
    QStringList started;
    connect(m_op, &KoRemoteFileOperator::fileCopyStartV2, this,
            [&](int taskId, QString server, QList<KoFileCopyInfo*>* list) {
                for (KoFileCopyInfo* info : *list)
                    started << QStringLiteral("%1 %2 %3 %4")
                                   .arg(taskId)
                                   .arg(server, info->getRemoteFile()->getPath()->getAbsolutePath())
                                   .arg(info->getConvertedSize());
                qDeleteAll(*list);
                delete list;
            });
    QList<QPair<int, int>> progress;
    connect(m_op, &KoRemoteFileOperator::fileCopyProgressV2, this, [&](int taskId, QList<KoFileCopyInfo*>* list) {
        progress.append({taskId, int(list->size())});
        qDeleteAll(*list);
        delete list;
    });
    const auto sentTaskId = [this](const char* op) {
        return m_fx.phone->callsTo(QLatin1String(op)).value(0).body.value("taskid").toString();
    };

    const int copyId = nextTaskId(m_op);
    m_op->getFileCopyStartV2(9, {QStringLiteral("/c/src.bin")}, 9, QStringLiteral("/c/dst"), m_fx.url());
    QTRY_COMPARE_WITH_TIMEOUT(started.size(), 1, 10000);
    QCOMPARE(started.at(0), QStringLiteral("%1 %2 /c/src.bin 1000").arg(copyId).arg(m_fx.url()));
    QCOMPARE(sentTaskId("copyFile"), QString::number(copyId));
    QVERIFY(QFile::exists(m_fx.root() + "/c/dst/src.bin"));

    // Progress is named by the job, not by the progress task's own id.
    m_op->askFileCopyProgressV2(copyId, m_fx.url());
    QTRY_COMPARE_WITH_TIMEOUT(progress, (QList<QPair<int, int>>{{copyId, 1}}), 10000);
    QCOMPARE(sentTaskId("copyFileProgress"), QString::number(copyId));

    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileCopyErrorV2);
    QSignalSpy timeouts(m_op, &KoRemoteFileOperator::taskExecuteTimeoutV2);
    const int cancelId = nextTaskId(m_op);
    m_op->cancelFileCopyV2(copyId, m_fx.url());
    QVERIFY(waitGone(cancelId));
    QCOMPARE(sentTaskId("cancelCopyFile"), QString::number(copyId));
    QCOMPARE(errors.size(), 0);
    QCOMPARE(timeouts.size(), 0);
}

void TestOperatorFileOps::copyFailureAndProgressFailure()
{
    QSignalSpy errors(m_op, &KoRemoteFileOperator::fileCopyErrorV2);
    int progress = 0;
    connect(m_op, &KoRemoteFileOperator::fileCopyProgressV2, this, [&](int, QList<KoFileCopyInfo*>* list) {
        ++progress;
        qDeleteAll(*list);
        delete list;
    });
    const int copyId = nextTaskId(m_op);
    m_op->getFileCopyStartV2(9, {QStringLiteral("/no/such")}, 9, QStringLiteral("/"), m_fx.url());
    QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 10000);
    QCOMPARE(errors.at(0), (QVariantList{copyId, m_fx.url()}));

    const int askId = nextTaskId(m_op);
    m_op->askFileCopyProgressV2(424242, m_fx.url());
    QVERIFY(waitGone(askId));
    QCOMPARE(progress, 0);
}

void TestOperatorFileOps::listsAreFreedWithoutReceivers()
{
    // No receiver takes these lists: the operator must free them (LeakSanitizer checks).
    QVERIFY(m_fx.writeFile("/free/a.txt", "a"));
    QVERIFY(m_fx.writeFile("/free/b.txt", "b"));
    m_fx.phone->setCategories({9, 11});
    QList<int> ids;
    ids << nextTaskId(m_op);
    m_op->getCategoryIndexStart(m_fx.url(), kPhoneId);
    ids << nextTaskId(m_op);
    m_op->getFileListStartV2(9, QStringLiteral("/free"), m_fx.url(), kPhoneId);
    ids << nextTaskId(m_op);
    m_op->getFileListStartV3(9, QStringLiteral("/free"), &m_fx.device);
    const int copyId = nextTaskId(m_op);
    ids << copyId;
    m_op->getFileCopyStartV2(9, {QStringLiteral("/free/a.txt")}, 9, QStringLiteral("/"), m_fx.url());
    QVERIFY(waitGone(copyId));
    ids << nextTaskId(m_op);
    m_op->askFileCopyProgressV2(copyId, m_fx.url());
    // A sub-listing result carries records too.
    auto* sub = new KoRemoteFileGetSubListTaskV2(nextTaskId(m_op), 0, kPhoneId, m_fx.url(), 9,
                                                 QStringLiteral("/free"), QStringLiteral("/tmp/x"), m_op);
    ids << sub->getTaskId();
    QVERIFY(m_op->insertTaskInList(sub));
    sub->execute();
    for (int id : ids)
        QVERIFY2(waitGone(id), qPrintable(QString::number(id)));
}

void TestOperatorFileOps::resultOfAGoneTaskIsDropped()
{
    auto* files = new QList<KoAbstractFile*>;
    files->append(m_fx.remoteFile(QStringLiteral("/x/1")));
    files->append(m_fx.remoteFile(QStringLiteral("/x/2")));
    auto* copies = new QList<KoFileCopyInfo*>;
    copies->append(new KoFileCopyInfo(1, m_fx.remoteFile(QStringLiteral("/x/3")), m_fx.url(), 0, nullptr));
    m_op->onTaskExecuteResultV2(987654, 0, files, copies);
    delete files;
    delete copies;

    auto* relayFiles = new QList<KoAbstractFile*>;
    relayFiles->append(m_fx.remoteFile(QStringLiteral("/x/4")));
    m_op->onTaskExecuteResultV3(987655, 0, relayFiles);
    delete relayFiles;
    m_op->onTaskExecuteResultV3(987656, -1, nullptr);
    m_op->onTaskProgressV2(987657, 10, 100);

    // A second result for a task already taken off the list goes the same way.
    QSignalSpy made(m_op, &KoRemoteFileOperator::makeDiretoryFinishedV2);
    const int id = nextTaskId(m_op);
    m_op->makeDiretoryV2(9, QStringLiteral("/twice"), m_fx.url(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(made.size(), 1, 10000);
    m_op->onTaskExecuteResultV2(id, 0, nullptr, nullptr);
    QCOMPARE(made.size(), 1);
}

void TestOperatorFileOps::receiversMayCallBackIntoTheOperator()
{
    KoWatchdog watchdog(30);
    QVERIFY(m_fx.writeFile("/re/a.jpg", "a"));
    QScopedPointer<KoRemoteFile> a(m_fx.remoteFile(QStringLiteral("/re/a.jpg")));
    int listings = 0;
    int thumbnailsAsked = 0;
    connect(m_op, &KoRemoteFileOperator::getFileListSuccessV2, this,
            [&](int category, QString dir, QString deviceId, QList<KoRemoteFile*>* list) {
                ++listings;
                // Everything a page does on a listing, straight from inside the signal.
                for (KoRemoteFile* file : *list) {
                    m_op->isThumbnailExistV2(file, deviceId);
                    m_op->getThumbnailPathV2(category, file, deviceId);
                    ++thumbnailsAsked;
                }
                qDeleteAll(*list);
                delete list;
                if (listings == 1)
                    m_op->getFileListStartV2(category, dir, m_fx.url(), deviceId);
            });
    int finished = 0;
    connect(m_op, &KoRemoteFileOperator::thumbnailDownloadFinishedV2, this, [&](QString, QString deviceId) {
        ++finished;
        QVERIFY(!m_op->getThumbnailPathV2(9, a.data(), deviceId).isEmpty());
        m_op->getTaskFromList(0);
        m_op->getRunningThumbnailCount();
    });
    int deletes = 0;
    connect(m_op, &KoRemoteFileOperator::deleteFileFinishedV2, this, [&](QString, QString deviceId) {
        ++deletes;
        if (deletes == 1)
            m_op->deleteFileV2(9, QStringList(), m_fx.url(), deviceId);
    });
    int completions = 0;
    connect(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2, this, [&](int) {
        ++completions;
        m_op->getInfoFromConvertList(0, KoRemoteFileOperator::ListDownloading);
        m_op->removeDownloadErrorTask(-5);
        if (completions == 1)
            m_op->checkDownloadListComplete();
    });
    connect(m_op, &KoRemoteFileOperator::fileConvertedTaskMove, this, [&](int) {
        m_op->getInfoFromConvertList(0, KoRemoteFileOperator::ListFinished);
        m_op->clearConvertList(KoRemoteFileOperator::ListFinished);
    });

    m_op->getFileListStartV2(9, QStringLiteral("/re"), m_fx.url(), kPhoneId);
    m_op->deleteFileV2(9, QStringList(), m_fx.url(), kPhoneId);
    QTRY_COMPARE_WITH_TIMEOUT(listings, 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(finished, 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(deletes, 2, 10000);
    QCOMPARE(thumbnailsAsked, 2);

    auto* record = new KoFileDownloadInfo(m_op->getFileTaskId(), 1, 2, kPhoneId, 9,
                                          m_fx.remoteFile(QStringLiteral("/re/a.jpg")), QStringLiteral("/tmp/a.jpg"),
                                          m_op);
    record->setConvertState(KoFileConvertInfo::StateFailed);
    m_op->addInfoToConvertList(record, KoRemoteFileOperator::ListDownloading, false);
    m_op->checkDownloadListComplete();
    QCOMPARE(completions, 2);
    m_op->removeConvertedTask(12345);
    m_op->clearConvertedList();
}

QTEST_GUILESS_MAIN(TestOperatorFileOps)
#include "tst_operatorfileops.moc"
