// Group downloads, download retries and the results of downloads and sub-listings.

#include "ops/KoRemoteFileOperator.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QPointer>

#include "app/KoCommonUtil.h"
#include "client/KoClientHelper.h"
#include "link/KoRemoteConnectManager.h"
#include "model/KoBaseFacility.h"
#include "model/KoFileDownloadInfo.h"
#include "model/KoRemoteFile.h"
#include "net/KoUserActionRecord.h"

namespace {

bool isPlainComponent(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() == 0)
            return false;
    }
    return true;
}

QString dstFileOf(KoRemoteFileTask* task)
{
    auto* download = qobject_cast<KoRemoteFileDownloadTaskBase*>(task);
    return download ? download->getDstFilePath() : QString();
}

struct SubListFields {
    bool ok = false;
    int parentId = -1;
    QString srcDir;
    QString dstDir;
};

SubListFields subListOf(KoRemoteFileTask* task)
{
    SubListFields f;
    if (auto* t = qobject_cast<KoRemoteFileGetSubListTaskBase*>(task))
        f = {true, t->getParentTaskId(), t->getSrcDirPath(), t->getDstDirPath()};
    return f;
}

} // namespace

bool KoRemoteFileOperator::isLocalFileExist(QString path)
{
    return QFileInfo::exists(path) || QFileInfo::exists(KoClientHelper::partialPathOf(path));
}

QString KoRemoteFileOperator::makeSafeLocalPath(const QString& baseDir, const QString& relative)
{
    if (baseDir.isEmpty() || relative.isEmpty())
        return QString();
    const QStringList parts = relative.split(QLatin1Char('/'));
    for (const QString& part : parts) {
        if (!isPlainComponent(part))
            return QString();
    }
    const QString base = QDir::cleanPath(baseDir);
    const QString joined = base.endsWith(QLatin1Char('/')) ? base + relative : base + QLatin1Char('/') + relative;
    const QString cleaned = QDir::cleanPath(joined);
    const QString prefix = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
    if (!cleaned.startsWith(prefix) || cleaned.size() <= prefix.size())
        return QString();
    return cleaned;
}

// --- start of a group download ----------------------------------------------------------------

void KoRemoteFileOperator::getFileGroupDownloadStartV2(int category, QList<KoRemoteFile*>& files, QString dstDirPath,
                                                       KoBaseFacility* device)
{
    startGroupDownload(true, category, files, dstDirPath, device);
}

void KoRemoteFileOperator::getFileGroupDownloadStartV3(int category, QList<KoRemoteFile*>& files, QString dstDirPath,
                                                       KoBaseFacility* device)
{
    startGroupDownload(false, category, files, dstDirPath, device);
}

void KoRemoteFileOperator::countUnlistedDownloadFailure(const QString& what)
{
    ++m_unlistedDownloadFailures;
    emit fileDownloadErrorV2(what);
}

void KoRemoteFileOperator::startGroupDownload(bool lan, int category, QList<KoRemoteFile*>& files,
                                              const QString& dstDirPath, KoBaseFacility* device)
{
    if (!device || files.isEmpty())
        return;
    const int groupId = getFileTaskId();
    const int uid = device->getUid();
    const int deviceType = device->getDeviceType();
    const QString deviceId = device->getDeviceId();
    const QString url = device->getUrl();

    KoDownloadPairList pairs;
    QList<int> sonIds;
    QList<KoRemoteFileTask*> subTasks;
    QStringList refused;
    for (KoRemoteFile* entry : files) {
        if (!entry)
            continue;
        // A selected entry is one name inside the chosen folder, never a path.
        if (entry->isFolder()) {
            const QString local = isPlainComponent(entry->getName()) ? makeSafeLocalPath(dstDirPath, entry->getName())
                                                                     : QString();
            if (local.isEmpty()) {
                refused << entry->getPath()->getAbsolutePath();
                continue;
            }
            const int id = getFileTaskId();
            const QString src = entry->getPath()->getAbsolutePath();
            KoRemoteFileTask* sub = lan
                ? static_cast<KoRemoteFileTask*>(
                    new KoRemoteFileGetSubListTaskV2(id, groupId, deviceId, url, category, src, local, this))
                : new KoRemoteFileGetSubListTaskV3(id, groupId, uid, deviceType, deviceId, category, src, local,
                                                   this);
            sonIds.append(id);
            subTasks.append(sub);
        } else if (entry->isFile()) {
            const QString local = isPlainComponent(entry->getFullName())
                ? makeSafeLocalPath(dstDirPath, entry->getFullName())
                : QString();
            if (local.isEmpty()) {
                refused << entry->getPath()->getAbsolutePath();
                continue;
            }
            pairs.append(qMakePair(local, new KoRemoteFile(entry)));
        }
    }

    KoRemoteFileGroupDownloadTaskBase* group = lan
        ? static_cast<KoRemoteFileGroupDownloadTaskBase*>(new KoRemoteFileGroupDownloadTaskV2(
            groupId, uid, deviceType, deviceId, url, category, pairs, dstDirPath, sonIds, this))
        : new KoRemoteFileGroupDownloadTaskV3(groupId, uid, deviceType, deviceId, category, pairs, dstDirPath, sonIds,
                                              this);
    group->execute();
    insertTaskInList(group);
    for (const QString& name : qAsConst(refused))
        countUnlistedDownloadFailure(name);
    // A receiver of those failures may already have answered for the group and ended it.
    if (!refused.isEmpty() && getTaskFromList(groupId) != group) {
        for (KoRemoteFileTask* sub : qAsConst(subTasks))
            delete sub;
        return;
    }

    if (subTasks.isEmpty()) {
        continueGroupDownload(group, deviceId);
        return;
    }
    for (KoRemoteFileTask* sub : qAsConst(subTasks))
        startTaskNow(sub);
}

int KoRemoteFileOperator::countExistingTargets(KoRemoteFileGroupDownloadTaskBase* group)
{
    if (!group)
        return 0;
    int count = 0;
    for (const KoDownloadPair& pair : qAsConst(*group->getSrcPathList()))
        count += isLocalFileExist(pair.first) ? 1 : 0;
    return count;
}

int KoRemoteFileOperator::checkGroupDownloadTaskSrcPathListV2(KoRemoteFileGroupDownloadTaskV2* task)
{
    return countExistingTargets(task);
}

int KoRemoteFileOperator::checkGroupDownloadTaskSrcPathListV3(KoRemoteFileGroupDownloadTaskV3* task)
{
    return countExistingTargets(task);
}

void KoRemoteFileOperator::continueGroupDownload(KoRemoteFileGroupDownloadTaskBase* group, const QString& deviceId)
{
    if (!group->isSonTaskListEmpty())
        return;
    const int groupId = group->getTaskId();
    const int existing = countExistingTargets(group);
    if (existing > 0) {
        emit fileGroupDownloadQuery(groupId, existing, deviceId);
        return;
    }
    if (KoRemoteFileTask* task = popTaskFromList(groupId)) {
        queueGroupDownloads(group, 0);
        delete task;
    }
}

void KoRemoteFileOperator::fileGroupDownloadRespond(int taskId, int mode)
{
    auto* group = qobject_cast<KoRemoteFileGroupDownloadTaskBase*>(getTaskFromList(taskId));
    // Only a group that waits for this answer: one with listings still out is not asked yet.
    if (!group || !group->isSonTaskListEmpty())
        return;
    KoRemoteFileTask* task = popTaskFromList(taskId);
    if (!task)
        return;
    queueGroupDownloads(group, mode);
    delete task;
}

void KoRemoteFileOperator::startGroupDownloadTaskDownloadV2(KoRemoteFileGroupDownloadTaskV2* task, int mode)
{
    queueGroupDownloads(task, mode);
}

void KoRemoteFileOperator::startGroupDownloadTaskDownloadV3(KoRemoteFileGroupDownloadTaskV3* task, int mode)
{
    queueGroupDownloads(task, mode);
}

QString KoRemoteFileOperator::localKey(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

void KoRemoteFileOperator::dropUnownedPartial(KoFileConvertInfo* info)
{
    auto* download = qobject_cast<KoFileDownloadInfo*>(info);
    if (download && listedDownloadsOf(localKey(download->getLocalFilePath())) == 0)
        KoCommonUtil::deleteFile(KoClientHelper::partialPathOf(download->getLocalFilePath()));
}

KoRemoteFileTask* KoRemoteFileOperator::newDownloadTask(bool lan, int taskId, int uid, int deviceType,
                                                        const QString& deviceId, const QString& remoteServer,
                                                        KoFileDownloadInfo* record)
{
    const KoRemoteFile* file = record->getRemoteFile();
    const QString src = file ? file->getPath()->getAbsolutePath() : QString();
    KoRemoteFileTask* task = nullptr;
    if (lan)
        task = new KoRemoteFileDownloadTaskV2(taskId, deviceId, remoteServer, record->getCategory(), src,
                                              record->getLocalFilePath(), record->getHaveRead(),
                                              record->getCsVersion(), record->getChecksum(), this);
    else
        task = new KoRemoteFileDownloadTaskV3(taskId, uid, deviceType, deviceId, record->getCategory(), src,
                                              record->getLocalFilePath(), record->getHaveRead(),
                                              record->getCsVersion(), record->getChecksum(), this);
    if (file)
        task->setExpectedSize(file->getSize());
    return task;
}

void KoRemoteFileOperator::queueGroupDownloads(KoRemoteFileGroupDownloadTaskBase* group, int mode)
{
    if (!group)
        return;
    const bool lan = group->getTaskVersion() == KoRemoteFileTask::VersionLan;
    const int uid = group->getUid();
    const int deviceType = group->getDeviceType();
    const QString deviceId = group->getDeviceId();
    const QString server = group->getRemoteServer();
    const int category = group->getCategory();

    // One phone for the whole group: asked once.
    bool found = false;
    QString nick;
    QString deviceName;
    KoRemoteConnectManager::getInstance()->getConnectedFacilityDetailInfo(uid, deviceId, found, nick, deviceName);

    // Two writers on one target would mix their bytes, and a listed record (paused and failed
    // ones too, and one just queued) resumes from its partial file: the later one is left out.
    bool queued = false;
    for (const KoDownloadPair& pair : qAsConst(*group->getSrcPathList())) {
        const QString& target = pair.first;
        if (!pair.second)
            continue;
        const QString key = localKey(target);
        if (listedDownloadsOf(key) > 0)
            continue;
        const bool exists = isLocalFileExist(target);
        if (mode != 0 && exists)
            continue;

        const int id = getFileTaskId();
        auto* record = new KoFileDownloadInfo(id, uid, deviceType, deviceId, category, new KoRemoteFile(pair.second),
                                              target, this);
        record->setTotalSize(pair.second->getSize());
        if (found) {
            record->setDeviceName(deviceName);
            record->setUsrNick(nick);
        }
        // A folder in the way is the user's: it is never replaced, the download fails.
        if (QFileInfo(target).isDir()) {
            record->setConvertState(KoFileConvertInfo::StateFailed);
            record->setFailReason(KoFileDownloadInfo::FailFolderInTheWay);
            addInfoToConvertList(record, ListDownloading, false);
            emit fileDownloadErrorV2(target);
            continue;
        }
        // Overwriting starts from nothing: old bytes are never continued by new ones.
        if (exists) {
            const QString partial = KoClientHelper::partialPathOf(target);
            if (QFileInfo(partial).isFile())
                QFile::remove(partial);
        }
        addInfoToConvertList(record, ListDownloading, false);
        // Record, task and count are in place before a receiver hears of them: it may cancel.
        KoRemoteFileTask* task = newDownloadTask(lan, id, uid, deviceType, deviceId, server, record);
        if (!insertTaskInList(task))
            delete task;
        raiseConvertingCount(ListDownloading);
        emit fileDownloadStartV2(target);
        emitConvertCount();
        queued = true;
    }
    if (queued)
        requestSchedulerPass();
}

// --- sub-listing results ------------------------------------------------------------------------

void KoRemoteFileOperator::handleSubListResult(KoRemoteFileTask* task, int code, QList<KoAbstractFile*>* list)
{
    auto dropList = [list]() {
        if (list) {
            qDeleteAll(*list);
            list->clear();
        }
    };
    const SubListFields f = subListOf(task);
    auto* group = f.ok ? qobject_cast<KoRemoteFileGroupDownloadTaskBase*>(getTaskFromList(f.parentId)) : nullptr;
    if (!group) {
        dropList();
        return;
    }
    const QString deviceId = task->getDeviceId();
    if (code != 0 || !list) {
        // The group goes on with what it has; the folder that could not be listed is told.
        dropList();
        countUnlistedDownloadFailure(f.dstDir);
        group->removeSonTask(task->getTaskId());
        continueGroupDownload(group, deviceId);
        return;
    }

    QString srcDir = f.srcDir;
    while (srcDir.size() > 1 && srcDir.endsWith(QLatin1Char('/')))
        srcDir.chop(1);
    const QString prefix = srcDir == QLatin1String("/") ? srcDir : srcDir + QLatin1Char('/');
    KoDownloadPairList pairs;
    QStringList refused;
    for (KoAbstractFile* item : qAsConst(*list)) {
        auto* entry = qobject_cast<KoRemoteFile*>(item);
        if (!entry) {
            delete item;
            continue;
        }
        const QString path = entry->getPath()->getAbsolutePath();
        // Only what lies below the asked folder, by names that stay inside the local one. An
        // album's photos are ids of their own, not paths below the album's: each goes straight
        // into the album's folder under its own name.
        QString local;
        if (path.startsWith(prefix))
            local = makeSafeLocalPath(f.dstDir, path.mid(prefix.size()));
        else if (group->getCategory() == 2 && entry->isFile() && isPlainComponent(entry->getFullName()))
            local = makeSafeLocalPath(f.dstDir, entry->getFullName());
        if (local.isEmpty()) {
            refused << path;
            delete entry;
            continue;
        }
        if (entry->isFile() && !entry->isHiddenFile()) {
            pairs.append(qMakePair(local, entry));
            continue;
        }
        if (entry->isFolder() && entry->getSize() == 0 && !QFileInfo(local).isFile())
            KoCommonUtil::mkdir(local);
        delete entry;
    }
    list->clear();
    group->appendSrcPathList(pairs);
    for (const QString& path : qAsConst(refused))
        countUnlistedDownloadFailure(path);
    group->removeSonTask(task->getTaskId());
    continueGroupDownload(group, deviceId);
}

// --- download results ------------------------------------------------------------------------------

void KoRemoteFileOperator::failDownloadRecord(KoFileDownloadInfo* record, const QString& target, int reason)
{
    if (record) {
        record->setConvertState(KoFileConvertInfo::StateFailed);
        record->setFailReason(reason);
        record->setHaveRead(KoClientHelper::partialSizeOf(record->getLocalFilePath()));
    }
    emit fileDownloadErrorV2(target);
    if (record)
        decConvertingCount(ListDownloading);
}

void KoRemoteFileOperator::handleDownloadResult(KoRemoteFileTask* task, int code)
{
    const bool lan = task->getTaskVersion() == KoRemoteFileTask::VersionLan;
    const QString target = dstFileOf(task);
    const int id = task->getTaskId();
    if (code != 0) {
        // The phone's refusal (100) is not a failed transfer of the usage log.
        if (code != KoClientHelper::kCodeNoPermission)
            KoUserActionRecord::getInstance()->recordDownloadFile(lan ? 0 : 1, false);
        const int reason = code == KoClientHelper::kCodeNameNotHeld ? KoFileDownloadInfo::FailNameNotHeld
            : code == KoClientHelper::kCodeReservedName             ? KoFileDownloadInfo::FailReservedName
                                                                    : KoFileDownloadInfo::FailOther;
        failDownloadRecord(qobject_cast<KoFileDownloadInfo*>(getInfoFromConvertList(id, ListDownloading)), target,
                           reason);
        return;
    }
    KoUserActionRecord::getInstance()->recordDownloadFile(lan ? 0 : 1, true);
    auto* record = qobject_cast<KoFileDownloadInfo*>(popInfoFromConvertList(id, ListDownloading));
    if (record) {
        record->setConvertState(KoFileConvertInfo::StateFinished);
        record->setFinishedTime(QDateTime::currentMSecsSinceEpoch());
        addInfoToConvertList(record, ListFinished, true);
        // Without a known time (0) the file keeps the time it got now, not 1970.
        const KoRemoteFile* file = record->getRemoteFile();
        if (file && file->getLastModified() > 0)
            KoCommonUtil::setModifiedTime(QDateTime::fromMSecsSinceEpoch(file->getLastModified()), target);
    }
    emit fileDownloadSuccessV2(target);
    checkDownloadListComplete();
    if (record)
        decConvertingCount(ListDownloading);
}

void KoRemoteFileOperator::restartDownloadAfterTimeout(KoRemoteFileTask* task)
{
    const bool lan = task->getTaskVersion() == KoRemoteFileTask::VersionLan;
    KoUserActionRecord::getInstance()->recordDownloadFile(lan ? 0 : 1, false);
    auto* record = qobject_cast<KoFileDownloadInfo*>(getInfoFromConvertList(task->getTaskId(), ListDownloading));
    if (!record)
        return;
    record->setHaveRead(KoClientHelper::partialSizeOf(record->getLocalFilePath()));
    if (record->getRetryTimes() < 1) {
        failDownloadRecord(record, dstFileOf(task), KoFileDownloadInfo::FailOther);
        return;
    }
    const int id = getFileTaskId();
    setConvertInfoTaskId(record, ListDownloading, id);
    record->setRetryTimes(record->getRetryTimes() - 1);
    startTransferInSlot(newDownloadTask(lan, id, task->getUid(), task->getDeviceType(), task->getDeviceId(),
                                        task->getRemoteServer(), record));
}

// --- retries ---------------------------------------------------------------------------------------------

void KoRemoteFileOperator::restartDownloadRecord(KoFileDownloadInfo* record, bool bulk)
{
    bool connected = false;
    bool isLocal = false;
    QString url;
    KoRemoteConnectManager::getInstance()->getConnectedFacilityNetworkStatus(record->getUid(), record->getDeviceId(),
                                                                             connected, isLocal, url);
    const QString target = record->getLocalFilePath();
    // Not reachable, a folder in the way, or another listed record of the same file.
    const int reason = QFileInfo(target).isDir()  ? KoFileDownloadInfo::FailFolderInTheWay
        : listedDownloadsOf(localKey(target)) > 1 ? KoFileDownloadInfo::FailListedTwice
                                                  : KoFileDownloadInfo::FailOther;
    if (!connected || reason != KoFileDownloadInfo::FailOther) {
        if (!bulk || connected) {
            record->setConvertState(KoFileConvertInfo::StateFailed);
            record->setFailReason(reason);
            scheduleConvertListSave();
        }
        emit fileDownloadErrorV2(target);
        return;
    }
    const int id = getFileTaskId();
    setConvertInfoTaskId(record, ListDownloading, id);
    record->setConvertState(KoFileConvertInfo::StateWaiting);
    KoRemoteFileTask* task = newDownloadTask(isLocal, id, record->getUid(), record->getDeviceType(),
                                             record->getDeviceId(), url, record);
    if (!insertTaskInList(task))
        delete task;
    raiseConvertingCount(ListDownloading);
    emit fileDownloadStartV2(target);
    emitConvertCount();
    requestSchedulerPass();
}

void KoRemoteFileOperator::getFileRetryDownloadStart(int taskId)
{
    auto* record = qobject_cast<KoFileDownloadInfo*>(getInfoFromConvertList(taskId, ListDownloading));
    if (!record)
        return;
    // Its task still waits or runs: a second one would write the same file.
    if (getTaskFromList(taskId))
        return;
    record->resetRetryTimes();
    restartDownloadRecord(record, false);
}

void KoRemoteFileOperator::allFailedDownloadRetry()
{
    QList<QPointer<KoFileConvertInfo>> records;
    for (KoFileConvertInfo* info : snapshotConvertList(ListDownloading))
        records.append(info);
    for (const QPointer<KoFileConvertInfo>& info : qAsConst(records)) {
        // A receiver of an earlier signal may have removed it meanwhile.
        if (!info || info->getConvertState() != KoFileConvertInfo::StateFailed)
            continue;
        if (getTaskFromList(info->getTaskId()))
            continue;
        if (auto* record = qobject_cast<KoFileDownloadInfo*>(info.data()))
            restartDownloadRecord(record, true);
    }
}
