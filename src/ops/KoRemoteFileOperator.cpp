#include "ops/KoRemoteFileOperator.h"

#include <QMetaMethod>
#include <QMutexLocker>
#include <QTimer>

#include <limits>

#include "client/KoClientHelper.h"
#include "model/KoAbstractFile.h"
#include "model/KoCategoryFolderAlias.h"
#include "model/KoFileConvertInfo.h"
#include "model/KoFileCopyInfo.h"
#include "model/KoFileDownloadInfo.h"
#include "model/KoFileMimeType.h"

KoRemoteFileOperator* KoRemoteFileOperator::s_instance = nullptr;
QMutex KoRemoteFileOperator::s_mutex;

namespace {

template <typename T>
void deleteRecords(QList<T*>* list)
{
    if (!list)
        return;
    qDeleteAll(*list);
    list->clear();
}

// A delete or move the phone answered with 0 while naming entries it left alone.
constexpr int kPartialFailureCode = 4;

KoRemoteFileOperator* liveOperator()
{
    // Never creates one: a late answer after the operator has gone has nowhere to go.
    return KoRemoteFileOperator::hasInstance() ? KoRemoteFileOperator::getInstance() : nullptr;
}

} // namespace

KoRemoteFileOperator* KoRemoteFileOperator::getInstance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new KoRemoteFileOperator();
    return s_instance;
}

bool KoRemoteFileOperator::hasInstance()
{
    QMutexLocker locker(&s_mutex);
    return s_instance != nullptr;
}

KoRemoteFileOperator::KoRemoteFileOperator(QObject* parent)
    : QObject(parent)
{
    m_activeDownloadCount.storeRelaxed(0);
    m_activeUploadCount.storeRelaxed(0);
    m_nextTaskId.storeRelaxed(0);

    for (ConvertList* list : {&m_downloading, &m_uploading, &m_finished}) {
        list->mutex = new QMutex;
        list->list = new QList<KoFileConvertInfo*>;
    }

    m_client = KoClientHelper::getInstance();
    m_loading = true;
    loadConvertList();
    m_loading = false;

    m_thumbnailPaths = new QHash<QString, QString>;
    m_thumbnailStates = new QHash<QString, int>;
    m_tmpFilePaths = new QHash<QString, QString>;
    m_tmpFileStates = new QHash<QString, int>;
    m_taskListMutex = new QMutex;
    m_taskList = new QList<KoRemoteFileTask*>;

    m_checkTaskTimer = new QTimer(this);
    connect(m_checkTaskTimer, &QTimer::timeout, this, &KoRemoteFileOperator::onCheckTaskTimer);
    m_checkTaskTimer->start(kSchedulerIntervalMs);

    // Changes of the lists reach the file soon, so a crash loses little of a run.
    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    connect(m_saveTimer, &QTimer::timeout, this, &KoRemoteFileOperator::onSaveTimer);

    m_activeDownloadCount.storeRelaxed(0);
    m_activeUploadCount.storeRelaxed(0);

    connect(m_client.data(), &KoClientHelper::uploadConvertInfo, this, &KoRemoteFileOperator::onConvertInfoUpdate);
}

KoRemoteFileOperator::~KoRemoteFileOperator()
{
    {
        QMutexLocker locker(&s_mutex);
        if (s_instance == this)
            s_instance = nullptr;
    }
    m_checkTaskTimer->stop();
    m_saveTimer->stop();
    saveConvertList();
    // Records and tasks go in one pass, as they lie among the children.
    QSet<QObject*> doomed;
    takeAllConvertRecords(doomed);
    takeAllTasks(doomed);
    deleteInChildOrder(doomed);
    clearThumbnail();
    clearTmpFile();

    delete m_taskListMutex;
    m_taskListMutex = nullptr;
    delete m_taskList;
    m_taskList = nullptr;
    delete m_thumbnailPaths;
    m_thumbnailPaths = nullptr;
    delete m_thumbnailStates;
    m_thumbnailStates = nullptr;
    delete m_tmpFilePaths;
    m_tmpFilePaths = nullptr;
    delete m_tmpFileStates;
    m_tmpFileStates = nullptr;
    for (ConvertList* list : {&m_downloading, &m_uploading, &m_finished}) {
        delete list->mutex;
        list->mutex = nullptr;
        delete list->list;
        list->list = nullptr;
        list->byTaskId.clear();
    }

    // Each destructor clears its class's instance pointer.
    delete m_client.data();
    if (KoFileMimeType::hasInstance())
        delete KoFileMimeType::getInstance();
    if (KoCategoryFolderAlias::hasInstance())
        delete KoCategoryFolderAlias::getInstance();
}

// --- task list ---------------------------------------------------------------------------

int KoRemoteFileOperator::getFileTaskId()
{
    return m_nextTaskId.fetchAndAddOrdered(1);
}

bool KoRemoteFileOperator::insertTaskInList(KoRemoteFileTask* task)
{
    if (!task)
        return false;
    QMutexLocker locker(m_taskListMutex);
    if (m_taskById.contains(task->getTaskId()))
        return false;
    m_taskList->append(task);
    m_taskById.insert(task->getTaskId(), task);
    switch (task->getTaskType()) {
    case KoRemoteFileTask::TypeDownload:
    case KoRemoteFileTask::TypeUpload:
        m_transferQueue.append(task->getTaskId());
        break;
    case KoRemoteFileTask::TypeThumbnail:
    case KoRemoteFileTask::TypeMkdir:
        m_thumbnailQueue.append(task->getTaskId());
        break;
    default:
        break;
    }
    return true;
}

KoRemoteFileTask* KoRemoteFileOperator::popTaskFromList(int taskId)
{
    KoRemoteFileTask* task = nullptr;
    bool slotFreed = false;
    {
        QMutexLocker locker(m_taskListMutex);
        task = m_taskById.take(taskId);
        if (!task)
            return nullptr;
        m_taskList->removeOne(task);
        // Every kind of slot goes back with its task, the new-folder tasks' included.
        slotFreed = m_transferSlots.remove(taskId);
        slotFreed = m_thumbnailSlots.remove(taskId) || slotFreed;
        const auto folder = m_folderTaskKeys.constFind(taskId);
        if (folder != m_folderTaskKeys.constEnd()) {
            // The uploads into that folder may go now.
            if (--m_pendingFolders[*folder] <= 0)
                m_pendingFolders.remove(*folder);
            m_folderTaskKeys.erase(folder);
            slotFreed = true;
        }
    }
    if (slotFreed)
        requestSchedulerPass();
    return task;
}

KoRemoteFileTask* KoRemoteFileOperator::getTaskFromList(int taskId)
{
    QMutexLocker locker(m_taskListMutex);
    return m_taskById.value(taskId, nullptr);
}

bool KoRemoteFileOperator::removeTaskFromList(int taskId)
{
    KoRemoteFileTask* task = popTaskFromList(taskId);
    delete task;
    return task != nullptr;
}

void KoRemoteFileOperator::takeAllTasks(QSet<QObject*>& into)
{
    QList<KoRemoteFileTask*> tasks;
    {
        QMutexLocker locker(m_taskListMutex);
        tasks.swap(*m_taskList);
        m_taskById.clear();
        m_transferSlots.clear();
        m_thumbnailSlots.clear();
        m_transferQueue.clear();
        m_thumbnailQueue.clear();
        m_folderTaskKeys.clear();
        m_pendingFolders.clear();
    }
    for (KoRemoteFileTask* task : qAsConst(tasks))
        into.insert(task);
}

int KoRemoteFileOperator::getRunningTransferCount()
{
    QMutexLocker locker(m_taskListMutex);
    return m_transferSlots.size();
}

int KoRemoteFileOperator::getRunningThumbnailCount()
{
    QMutexLocker locker(m_taskListMutex);
    return m_thumbnailSlots.size();
}

void KoRemoteFileOperator::startTaskNow(KoRemoteFileTask* task)
{
    if (!insertTaskInList(task)) {
        delete task;
        return;
    }
    task->execute();
}

void KoRemoteFileOperator::startTransferInSlot(KoRemoteFileTask* task)
{
    if (!insertTaskInList(task)) {
        delete task;
        return;
    }
    {
        QMutexLocker locker(m_taskListMutex);
        m_transferSlots.insert(task->getTaskId());
    }
    markTransferring(task);
    task->execute();
}

void KoRemoteFileOperator::requestSchedulerPass()
{
    if (m_passRequested)
        return;
    m_passRequested = true;
    QTimer::singleShot(0, this, &KoRemoteFileOperator::onCheckTaskTimer);
}

void KoRemoteFileOperator::onCheckTaskTimer()
{
    m_passRequested = false;
    // Slots are taken under the lock; the requests go out after it is released, since a task
    // may report its result before execute() returns.
    QList<int> toStart;
    {
        QMutexLocker locker(m_taskListMutex);
        takeFromQueueLocked(m_transferQueue, m_transferSlots, kMaxRunningTransfers, toStart);
        takeFromQueueLocked(m_thumbnailQueue, m_thumbnailSlots, kMaxRunningThumbnails, toStart);
    }
    for (int id : qAsConst(toStart)) {
        // An earlier start may have ended or removed this one already; its slot went with it.
        KoRemoteFileTask* task = getTaskFromList(id);
        if (task && task->getTaskState() == KoRemoteFileTask::StateWaiting) {
            markTransferring(task);
            task->execute();
        }
    }
}

void KoRemoteFileOperator::takeFromQueueLocked(QList<int>& queue, QSet<int>& pool, int limit, QList<int>& toStart)
{
    int at = 0;
    while (at < queue.size() && pool.size() < limit) {
        const int id = queue.at(at);
        KoRemoteFileTask* task = m_taskById.value(id, nullptr);
        if (!task || task->getTaskState() != KoRemoteFileTask::StateWaiting || pool.contains(id)) {
            queue.removeAt(at);
            continue;
        }
        // One whose phone folder is still being made stays in its place; the folder check
        // builds a key, so only for a task that could start now.
        if (!m_pendingFolders.isEmpty() && waitsForFolderLocked(task)) {
            ++at;
            continue;
        }
        queue.removeAt(at);
        pool.insert(id);
        toStart.append(id);
    }
}

void KoRemoteFileOperator::markTransferring(KoRemoteFileTask* task)
{
    // A transfer whose request goes out is under way, also before its first byte moves.
    const int type = task->getTaskType();
    const int selector = type == KoRemoteFileTask::TypeDownload ? ListDownloading
        : type == KoRemoteFileTask::TypeUpload                  ? ListUploading
                                                                : 0;
    if (!selector)
        return;
    KoFileConvertInfo* record = getInfoFromConvertList(task->getTaskId(), selector);
    if (record && record->getConvertState() == KoFileConvertInfo::StateWaiting)
        record->setConvertState(KoFileConvertInfo::StateConverting);
}

// --- entry points of the callbacks ----------------------------------------------------------

void KoRemoteFileOperator::deliverResultV2(int taskId, int code, QList<KoAbstractFile*>* list,
                                           QList<KoFileCopyInfo*>* copyList)
{
    if (KoRemoteFileOperator* op = liveOperator()) {
        op->onTaskExecuteResultV2(taskId, code, list, copyList);
        return;
    }
    deleteRecords(list);
    deleteRecords(copyList);
}

void KoRemoteFileOperator::deliverResultV3(int taskId, int code, QList<KoAbstractFile*>* list)
{
    if (KoRemoteFileOperator* op = liveOperator()) {
        op->onTaskExecuteResultV3(taskId, code, list);
        return;
    }
    deleteRecords(list);
}

void KoRemoteFileOperator::deliverProgressV2(int taskId, qint64 done, qint64 total)
{
    if (KoRemoteFileOperator* op = liveOperator())
        op->onTaskProgressV2(taskId, done, total);
}

void KoRemoteFileOperator::deliverProgressV3(int taskId, qint64 done, qint64 total)
{
    if (KoRemoteFileOperator* op = liveOperator())
        op->onTaskProgressV3(taskId, done, total);
}

void KoRemoteFileOperator::deliverCheckSum(int taskId, int csVersion, const QString& checksum, qint64 haveRead)
{
    KoRemoteFileOperator* op = liveOperator();
    if (!op)
        return;
    // The task may have been cancelled meanwhile; then only the result goes on, to be dropped.
    auto* task = qobject_cast<KoRemoteFileUploadCheckSumTaskBase*>(op->getTaskFromList(taskId));
    if (task)
        task->takeCheckSumAnswer(csVersion, checksum, haveRead);
}

// --- result frame -----------------------------------------------------------------------------

void KoRemoteFileOperator::onTaskExecuteResultV2(int taskId, int code, QList<KoAbstractFile*>* list,
                                                 QList<KoFileCopyInfo*>* copyList)
{
    KoRemoteFileTask* task = popTaskFromList(taskId);
    if (!task) {
        deleteRecords(list);
        deleteRecords(copyList);
        return;
    }
    handleResult(task, code, list, copyList);
    delete task;
}

void KoRemoteFileOperator::onTaskExecuteResultV3(int taskId, int code, QList<KoAbstractFile*>* list)
{
    KoRemoteFileTask* task = popTaskFromList(taskId);
    if (!task) {
        deleteRecords(list);
        return;
    }
    handleResult(task, code, list, nullptr);
    delete task;
}

void KoRemoteFileOperator::handleResult(KoRemoteFileTask* task, int code, QList<KoAbstractFile*>* list,
                                        QList<KoFileCopyInfo*>* copyList)
{
    const int type = task->getTaskType();
    const bool lanOnly = type == KoRemoteFileTask::TypeCopy || type == KoRemoteFileTask::TypeCopyProgress
        || type == KoRemoteFileTask::TypeCopyCancel;
    if (type < KoRemoteFileTask::TypeDownload || type > KoRemoteFileTask::TypeUploadCheckSum
        || (lanOnly && task->getTaskVersion() != KoRemoteFileTask::VersionLan)) {
        deleteRecords(list);
        deleteRecords(copyList);
        return;
    }
    if (code == KoClientHelper::kCodeNoPermission) {
        deleteRecords(list);
        deleteRecords(copyList);
        handleNoPermission(task);
        return;
    }
    if (code == -1) {
        deleteRecords(list);
        deleteRecords(copyList);
        handleTimeout(task);
        return;
    }
    // The handlers below take every record they are given, or free it.
    switch (type) {
    case KoRemoteFileTask::TypeDownload:
        deleteRecords(list);
        handleDownloadResult(task, code);
        break;
    case KoRemoteFileTask::TypeUpload:
        deleteRecords(list);
        handleUploadResult(task, code);
        break;
    case KoRemoteFileTask::TypeUploadCheckSum:
        deleteRecords(list);
        handleUploadCheckSumResult(task, code);
        break;
    case KoRemoteFileTask::TypeSubList:
        handleSubListResult(task, code, list);
        break;
    case KoRemoteFileTask::TypeCategoryIndex:
        handleCategoryIndexResult(task, code, list);
        break;
    case KoRemoteFileTask::TypeFileList:
        handleFileListResult(task, code, list);
        break;
    case KoRemoteFileTask::TypeCopy:
        deleteRecords(list);
        handleCopyResult(task, code, copyList);
        return;
    case KoRemoteFileTask::TypeCopyProgress:
        deleteRecords(list);
        handleCopyProgressResult(task, code, copyList);
        return;
    case KoRemoteFileTask::TypeTmpFile:
        deleteRecords(list);
        handleTmpFileResult(task, code);
        break;
    case KoRemoteFileTask::TypeThumbnail:
        deleteRecords(list);
        handleThumbnailResult(task, code);
        break;
    default: {
        // Rename, new folder, delete, move and copy cancel.
        const bool partial = list && !list->isEmpty();
        deleteRecords(list);
        const QString deviceId = task->getDeviceId();
        if (type == KoRemoteFileTask::TypeRename) {
            auto* rename = qobject_cast<KoRemoteFileRenameTaskBase*>(task);
            const QString path = rename ? rename->getRenameFilePath() : QString();
            if (code == 0) {
                forgetCachedCopies(path, deviceId);
                emit renameFileFinishedV2(path, deviceId);
            } else {
                emit renameFileFailedV2(code, deviceId);
            }
        } else if (type == KoRemoteFileTask::TypeMkdir) {
            auto* mkdir = qobject_cast<KoRemoteFileMkdirTaskBase*>(task);
            const QString path = mkdir ? mkdir->getNewDirPath() : QString();
            if (code == 0)
                emit makeDiretoryFinishedV2(path, deviceId);
            else
                emit makeDirectoryFailedV2(code, deviceId);
        } else if (type == KoRemoteFileTask::TypeDelete && code == 0) {
            auto* del = qobject_cast<KoRemoteFileDeleteTaskBase*>(task);
            const QStringList paths = del ? del->getFilePathList() : QStringList();
            for (const QString& path : qAsConst(paths))
                forgetCachedCopies(path, deviceId);
            emit deleteFileFinishedV2(QString(), deviceId);
        } else if (type == KoRemoteFileTask::TypeMove && code == 0) {
            auto* move = qobject_cast<KoRemoteFileMoveTaskBase*>(task);
            const QStringList paths = move ? move->getFilePathList() : QStringList();
            const QString dstDir = move ? move->getDstDirPath() : QString();
            for (const QString& path : qAsConst(paths))
                forgetCachedCopies(path, deviceId);
            emit moveFileFinishedV2(QString(), dstDir, deviceId);
        }
        // The phone names what it left alone; a refusal of the whole request has no list.
        if ((type == KoRemoteFileTask::TypeDelete || type == KoRemoteFileTask::TypeMove) && (code != 0 || partial)) {
            const int failure = code != 0 ? code : kPartialFailureCode;
            if (type == KoRemoteFileTask::TypeDelete)
                emit deleteFileFailedV2(failure, deviceId);
            else
                emit moveFileFailedV2(failure, deviceId);
        }
        break;
    }
    }
    deleteRecords(copyList);
}

void KoRemoteFileOperator::handleNoPermission(KoRemoteFileTask* task)
{
    const QString deviceId = task->getDeviceId();
    // A refused transfer or resume query ends its record like any failure, so that the
    // counts come back to zero.
    if (task->getTaskType() == KoRemoteFileTask::TypeDownload)
        handleDownloadResult(task, KoClientHelper::kCodeNoPermission);
    else if (task->getTaskType() == KoRemoteFileTask::TypeUpload
             || task->getTaskType() == KoRemoteFileTask::TypeUploadCheckSum)
        handleUploadResult(task, KoClientHelper::kCodeNoPermission);
    emit taskExecuteNoPermission(task->getTaskType(), deviceId);
    if (task->getTaskType() == KoRemoteFileTask::TypeSubList)
        handleSubListResult(task, KoClientHelper::kCodeNoPermission, nullptr);
    else if (task->getTaskType() == KoRemoteFileTask::TypeThumbnail)
        handleThumbnailResult(task, KoClientHelper::kCodeNoPermission);
    else if (task->getTaskType() == KoRemoteFileTask::TypeTmpFile)
        handleTmpFileResult(task, KoClientHelper::kCodeNoPermission);
}

void KoRemoteFileOperator::handleTimeout(KoRemoteFileTask* task)
{
    switch (task->getTaskType()) {
    case KoRemoteFileTask::TypeDownload:
        restartDownloadAfterTimeout(task);
        return;
    case KoRemoteFileTask::TypeUpload:
    case KoRemoteFileTask::TypeUploadCheckSum:
        restartUploadAfterTimeout(task);
        return;
    default:
        break;
    }
    emit taskExecuteTimeoutV2(task->getTaskType(), task->getDeviceId());
    // A fetch that timed out may be asked for again.
    if (task->getTaskType() == KoRemoteFileTask::TypeSubList)
        handleSubListResult(task, -1, nullptr);
    else if (task->getTaskType() == KoRemoteFileTask::TypeThumbnail)
        handleThumbnailResult(task, -1);
    else if (task->getTaskType() == KoRemoteFileTask::TypeTmpFile)
        handleTmpFileResult(task, -1);
}

// --- progress and resume data --------------------------------------------------------------------

void KoRemoteFileOperator::onTaskProgressV2(int taskId, qint64 done, qint64 total)
{
    progress(taskId, done, total);
}

void KoRemoteFileOperator::onTaskProgressV3(int taskId, qint64 done, qint64 total)
{
    progress(taskId, done, total);
}

void KoRemoteFileOperator::progress(int taskId, qint64 done, qint64 total)
{
    KoRemoteFileTask* task = getTaskFromList(taskId);
    if (!task)
        return;
    if (task->getTaskType() == KoRemoteFileTask::TypeUpload) {
        KoFileConvertInfo* record = getInfoFromConvertList(taskId, ListUploading);
        if (!record)
            return;
        const qint64 converted = KoFileConvertInfo::saturatedSum(record->getHaveRead(), done);
        record->setConvertState(KoFileConvertInfo::StateConverting);
        record->setConvertedSize(converted);
        record->setProgress(KoFileConvertInfo::percentOf(converted, record->getTotalSize()));
        emit uploadTaskProgressV2(taskId, record->getProgress());
    } else if (task->getTaskType() == KoRemoteFileTask::TypeDownload) {
        KoFileConvertInfo* record = getInfoFromConvertList(taskId, ListDownloading);
        if (!record)
            return;
        // The phone's counts (a resume point, an announced length) may be anything. Without a
        // length the answer's total is unknown (-1): the listed size stands.
        const qint64 converted = KoFileConvertInfo::saturatedSum(record->getHaveRead(), done);
        const qint64 totalSize = total >= 0 ? KoFileConvertInfo::saturatedSum(record->getHaveRead(), total)
                                            : qMax(record->getTotalSize(), converted);
        record->setConvertState(KoFileConvertInfo::StateConverting);
        record->setConvertedSize(converted);
        record->setTotalSize(totalSize);
        record->setProgress(KoFileConvertInfo::percentOf(converted, totalSize));
        emit downloadTaskProgressV2(taskId, record->getProgress());
    }
}

void KoRemoteFileOperator::onConvertInfoUpdate(int taskId, qlonglong haveRead, int csVersion, QString checksum)
{
    if (!checksum.isEmpty()) {
        if (auto* record = qobject_cast<KoFileDownloadInfo*>(getInfoFromConvertList(taskId, ListDownloading))) {
            record->setHaveRead(haveRead);
            record->setCsVersion(csVersion);
            record->setChecksum(checksum);
        }
        return;
    }
    if (KoFileConvertInfo* record = getInfoFromConvertList(taskId, ListUploading))
        record->setHaveRead(haveRead);
}
