// Upload start (files and whole folders), the resume step, retries and upload results.

#include "ops/KoRemoteFileOperator.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QPointer>

#include "app/KoCommonUtil.h"
#include "client/KoClientHelper.h"
#include "link/KoRemoteConnectManager.h"
#include "model/KoFileUploadInfo.h"
#include "model/KoLocalFile.h"
#include "net/KoUserActionRecord.h"

namespace {

struct UploadFields {
    QString srcPath;
    QString dstDir;
    QString fileName;
};

// What an upload or resume-query task names; the file name is the relay tasks'.
UploadFields uploadFieldsOf(KoRemoteFileTask* task)
{
    UploadFields f;
    if (auto* t = qobject_cast<KoRemoteFileUploadTaskBase*>(task))
        f = {t->getSrcFilePath(), t->getDstDirPath(), t->getFileName()};
    else if (auto* c = qobject_cast<KoRemoteFileUploadCheckSumTaskBase*>(task))
        f = {c->getSrcFilePath(), c->getDstDirPath(), c->getFileName()};
    if (f.fileName.isEmpty())
        f.fileName = QFileInfo(f.srcPath).fileName();
    return f;
}

QString withSlash(const QString& dir)
{
    return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

} // namespace

QString KoRemoteFileOperator::uploadRemotePath(const QString& dstDirPath, const QString& localPath)
{
    return withSlash(dstDirPath) + QFileInfo(localPath).fileName();
}

QString KoRemoteFileOperator::folderKey(const QString& deviceId, const QString& remotePath)
{
    QString path = remotePath;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return deviceId + QLatin1Char('\n') + path;
}

bool KoRemoteFileOperator::waitsForFolderLocked(KoRemoteFileTask* task) const
{
    QString folder;
    if (task->getTaskType() == KoRemoteFileTask::TypeUpload) {
        if (auto* t = qobject_cast<KoRemoteFileUploadTaskBase*>(task))
            folder = t->getDstDirPath();
    } else if (task->getTaskType() == KoRemoteFileTask::TypeMkdir && m_folderTaskKeys.contains(task->getTaskId())) {
        // A folder inside a folder that is still being made waits for its parent.
        auto* mkdir = qobject_cast<KoRemoteFileMkdirTaskBase*>(task);
        const QString path = mkdir ? mkdir->getNewDirPath() : QString();
        const int slash = path.lastIndexOf(QLatin1Char('/'));
        folder = slash > 0 ? path.left(slash) : QStringLiteral("/");
    } else {
        return false;
    }
    return m_pendingFolders.contains(folderKey(task->getDeviceId(), folder));
}

QString KoRemoteFileOperator::makeUploadFid(const QString& fullName)
{
    // Two uploads of one name in one millisecond would share an id on the phone: the later
    // one takes the next millisecond that is still free.
    qint64 ms = QDateTime::currentMSecsSinceEpoch();
    QString fid;
    do {
        fid = KoCommonUtil::getMd5Str(fullName + QLatin1Char('@') + QString::number(ms++)).toUpper();
    } while (m_uploadFids.contains(fid));
    m_uploadFids.insert(fid);
    return fid;
}

// --- start ------------------------------------------------------------------------------------

void KoRemoteFileOperator::getFileUploadStartV2(QString localFilePath, int category, QString dstDirPath, int uid,
                                                int deviceType, QString deviceId, QString remoteServer)
{
    startFileUpload(true, localFilePath, category, dstDirPath, uid, deviceType, deviceId, remoteServer);
}

void KoRemoteFileOperator::getFileUploadStartV3(QString localFilePath, int category, QString dstDirPath, int uid,
                                                int deviceType, QString deviceId)
{
    startFileUpload(false, localFilePath, category, dstDirPath, uid, deviceType, deviceId, QString());
}

void KoRemoteFileOperator::getDirUploadStartV2(QString localDirPath, int category, QString dstDirPath, int uid,
                                               int deviceType, QString deviceId, QString remoteServer)
{
    startDirUpload(true, localDirPath, category, dstDirPath, uid, deviceType, deviceId, remoteServer);
}

void KoRemoteFileOperator::getDirUploadStartV3(QString localDirPath, int category, QString dstDirPath, int uid,
                                               int deviceType, QString deviceId)
{
    startDirUpload(false, localDirPath, category, dstDirPath, uid, deviceType, deviceId, QString());
}

void KoRemoteFileOperator::startFileUpload(bool lan, const QString& localFilePath, int category,
                                           const QString& dstDirPath, int uid, int deviceType,
                                           const QString& deviceId, const QString& remoteServer)
{
    const QFileInfo info(localFilePath);
    if (!info.exists() || !info.isFile())
        return;
    const int id = getFileTaskId();
    auto* localFile = new KoLocalFile(localFilePath);
    auto* record = new KoFileUploadInfo(id, localFile, category, dstDirPath, uid, deviceType, deviceId, this);
    bool found = false;
    QString nick;
    QString deviceName;
    KoRemoteConnectManager::getInstance()->getConnectedFacilityDetailInfo(uid, deviceId, found, nick, deviceName);
    if (found) {
        record->setDeviceName(deviceName);
        record->setUsrNick(nick);
    }
    const QString fid = makeUploadFid(localFile->getFullName());
    record->setUploadFid(fid);
    addInfoToConvertList(record, ListUploading, false);
    // Record, task and count are in place before a receiver hears of them: it may cancel.
    KoRemoteFileTask* task = lan
        ? static_cast<KoRemoteFileTask*>(new KoRemoteFileUploadTaskV2(id, deviceId, remoteServer, localFilePath,
                                                                      category, dstDirPath, 0, 0, fid, this))
        : new KoRemoteFileUploadTaskV3(id, uid, deviceType, deviceId, localFilePath, localFile->getFullName(),
                                       category, dstDirPath, 0, 0, fid, this);
    if (!insertTaskInList(task))
        delete task;
    raiseConvertingCount(ListUploading);
    emit fileUploadStartV2(localFilePath, deviceId);
    emitConvertCount();
    requestSchedulerPass();
}

void KoRemoteFileOperator::startDirUpload(bool lan, const QString& localDirPath, int category,
                                          const QString& dstDirPath, int uid, int deviceType, const QString& deviceId,
                                          const QString& remoteServer)
{
    const QFileInfo info(localDirPath);
    if (!info.exists() || !info.isDir())
        return;
    const QString remoteDir = withSlash(dstDirPath) + QDir(localDirPath).dirName();
    const int id = getFileTaskId();
    KoRemoteFileTask* mkdir = lan
        ? static_cast<KoRemoteFileTask*>(
            new KoRemoteFileMkdirTaskV2(id, deviceId, remoteServer, category, remoteDir, this))
        : new KoRemoteFileMkdirTaskV3(id, uid, deviceType, deviceId, category, remoteDir, this);
    if (insertTaskInList(mkdir)) {
        // What goes into the folder waits until the phone has answered for the folder.
        QMutexLocker locker(m_taskListMutex);
        const QString key = folderKey(deviceId, remoteDir);
        m_folderTaskKeys.insert(id, key);
        ++m_pendingFolders[key];
    } else {
        delete mkdir;
    }

    const QFileInfoList entries = QDir(localDirPath)
                                      .entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot
                                                         | QDir::NoSymLinks,
                                                     QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink())
            continue;
        if (entry.isFile())
            startFileUpload(lan, entry.absoluteFilePath(), category, remoteDir, uid, deviceType, deviceId,
                            remoteServer);
        else if (entry.isDir())
            startDirUpload(lan, entry.absoluteFilePath(), category, remoteDir, uid, deviceType, deviceId,
                           remoteServer);
    }
    requestSchedulerPass();
}

// --- results ------------------------------------------------------------------------------------

void KoRemoteFileOperator::failUploadRecord(KoFileUploadInfo* record, const QString& remotePath,
                                            const QString& deviceId)
{
    if (record)
        record->setConvertState(KoFileConvertInfo::StateFailed);
    emit fileUploadErrorV2(remotePath, deviceId);
    if (record)
        decConvertingCount(ListUploading);
}

void KoRemoteFileOperator::handleUploadCheckSumResult(KoRemoteFileTask* task, int code)
{
    auto* check = qobject_cast<KoRemoteFileUploadCheckSumTaskBase*>(task);
    auto* record = qobject_cast<KoFileUploadInfo*>(getInfoFromConvertList(task->getTaskId(), ListUploading));
    if (!check || !record)
        return;
    const UploadFields f = uploadFieldsOf(task);
    const int id = getFileTaskId();
    setConvertInfoTaskId(record, ListUploading, id);
    const qint64 offset = code == 0 ? check->getBytesRead() : 0;
    const int valid = code == 0 && check->isValid() ? 1 : 0;
    record->setHaveRead(offset);
    KoRemoteFileTask* upload = task->getTaskVersion() == KoRemoteFileTask::VersionLan
        ? static_cast<KoRemoteFileTask*>(
            new KoRemoteFileUploadTaskV2(id, task->getDeviceId(), task->getRemoteServer(), f.srcPath,
                                         check->getCategory(), f.dstDir, valid, offset, record->getUploadFid(), this))
        : new KoRemoteFileUploadTaskV3(id, task->getUid(), task->getDeviceType(), task->getDeviceId(), f.srcPath,
                                       f.fileName, check->getCategory(), f.dstDir, valid, offset,
                                       record->getUploadFid(), this);
    if (!insertTaskInList(upload))
        delete upload;
    requestSchedulerPass();
}

// Also the end of an upload whose resume query the phone refused (code 100).
void KoRemoteFileOperator::handleUploadResult(KoRemoteFileTask* task, int code)
{
    const bool lan = task->getTaskVersion() == KoRemoteFileTask::VersionLan;
    const UploadFields f = uploadFieldsOf(task);
    const QString remotePath = uploadRemotePath(f.dstDir, f.srcPath);
    const QString deviceId = task->getDeviceId();
    const int id = task->getTaskId();
    if (code != 0) {
        // The phone's refusal (100) is not a failed transfer of the usage log.
        if (code != KoClientHelper::kCodeNoPermission)
            KoUserActionRecord::getInstance()->recordUploadFile(lan ? 0 : 1, false);
        auto* record = qobject_cast<KoFileUploadInfo*>(getInfoFromConvertList(id, ListUploading));
        if (record)
            record->setHaveRead(record->getConvertedSize());
        failUploadRecord(record, remotePath, deviceId);
        return;
    }
    KoUserActionRecord::getInstance()->recordUploadFile(lan ? 0 : 1, true);
    KoFileConvertInfo* record = popInfoFromConvertList(id, ListUploading);
    if (record) {
        record->setConvertState(KoFileConvertInfo::StateFinished);
        record->setTotalSize(QFileInfo(f.srcPath).size());
        // The phone holds the whole file, whatever progress reports the answer outran.
        record->setConvertedSize(record->getTotalSize());
        record->setProgress(100);
        record->setFinishedTime(QDateTime::currentMSecsSinceEpoch());
        addInfoToConvertList(record, ListFinished, true);
    }
    emit fileUploadSuccessV2(remotePath, deviceId);
    checkUploadListComplete();
    if (record)
        decConvertingCount(ListUploading);
}

void KoRemoteFileOperator::restartUploadAfterTimeout(KoRemoteFileTask* task)
{
    const bool lan = task->getTaskVersion() == KoRemoteFileTask::VersionLan;
    KoUserActionRecord::getInstance()->recordUploadFile(lan ? 0 : 1, false);
    auto* record = qobject_cast<KoFileUploadInfo*>(getInfoFromConvertList(task->getTaskId(), ListUploading));
    if (!record)
        return;
    const bool isUpload = task->getTaskType() == KoRemoteFileTask::TypeUpload;
    if (isUpload)
        record->setHaveRead(record->getConvertedSize());
    if (record->getRetryTimes() <= 0) {
        const UploadFields f = uploadFieldsOf(task);
        failUploadRecord(record, isUpload ? uploadRemotePath(f.dstDir, f.srcPath) : QString(), task->getDeviceId());
        return;
    }
    const int id = getFileTaskId();
    setConvertInfoTaskId(record, ListUploading, id);
    record->setRetryTimes(record->getRetryTimes() - 1);
    KoLocalFile* local = record->getLocalFile();
    const QString localPath = local ? local->getPath() : QString();
    KoRemoteFileTask* check = lan
        ? static_cast<KoRemoteFileTask*>(new KoRemoteFileUploadCheckSumTaskV2(
            id, task->getDeviceId(), task->getRemoteServer(), localPath, record->getCategory(),
            record->getDstDirPath(), record->getUploadFid(), this))
        : new KoRemoteFileUploadCheckSumTaskV3(id, task->getUid(), task->getDeviceType(), task->getDeviceId(),
                                               localPath, local ? local->getFullName() : QString(),
                                               record->getCategory(), record->getDstDirPath(), record->getUploadFid(),
                                               this);
    startTaskNow(check);
}

// --- retries ------------------------------------------------------------------------------------------

void KoRemoteFileOperator::restartUploadRecord(KoFileUploadInfo* record, bool bulk)
{
    bool connected = false;
    bool isLocal = false;
    QString url;
    KoRemoteConnectManager::getInstance()->getConnectedFacilityNetworkStatus(record->getUid(), record->getDeviceId(),
                                                                             connected, isLocal, url);
    KoLocalFile* local = record->getLocalFile();
    const QString localPath = local ? local->getPath() : QString();
    if (!connected) {
        if (!bulk) {
            record->setConvertState(KoFileConvertInfo::StateFailed);
            scheduleConvertListSave();
        }
        emit fileUploadErrorV2(localPath, record->getDeviceId());
        return;
    }
    const int id = getFileTaskId();
    setConvertInfoTaskId(record, ListUploading, id);
    record->setConvertState(KoFileConvertInfo::StateWaiting);
    const QString deviceId = record->getDeviceId();
    KoRemoteFileTask* check = isLocal
        ? static_cast<KoRemoteFileTask*>(
            new KoRemoteFileUploadCheckSumTaskV2(id, record->getDeviceId(), url, localPath, record->getCategory(),
                                                 record->getDstDirPath(), record->getUploadFid(), this))
        : new KoRemoteFileUploadCheckSumTaskV3(id, record->getUid(), record->getDeviceType(), record->getDeviceId(),
                                               localPath, local ? local->getFullName() : QString(),
                                               record->getCategory(), record->getDstDirPath(), record->getUploadFid(),
                                               this);
    // Task and count are in place before a receiver hears of them: it may cancel the record.
    raiseConvertingCount(ListUploading);
    startTaskNow(check);
    emit fileUploadStartV2(localPath, deviceId);
    emitConvertCount();
}

void KoRemoteFileOperator::getFileRetryUploadStart(int taskId)
{
    auto* record = qobject_cast<KoFileUploadInfo*>(getInfoFromConvertList(taskId, ListUploading));
    if (!record)
        return;
    // Its task still waits or runs: a second one would send the same upload twice.
    if (getTaskFromList(taskId))
        return;
    record->resetRetryTimes();
    restartUploadRecord(record, false);
}

void KoRemoteFileOperator::allFailedUploadRetry()
{
    QList<QPointer<KoFileConvertInfo>> records;
    for (KoFileConvertInfo* info : snapshotConvertList(ListUploading))
        records.append(info);
    for (const QPointer<KoFileConvertInfo>& info : qAsConst(records)) {
        if (!info || info->getConvertState() != KoFileConvertInfo::StateFailed || getTaskFromList(info->getTaskId()))
            continue;
        if (auto* record = qobject_cast<KoFileUploadInfo*>(info.data()))
            restartUploadRecord(record, true);
    }
}
