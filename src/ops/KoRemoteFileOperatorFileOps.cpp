// Listing and file operations on the phone: each starts one task at once.

#include "ops/KoRemoteFileOperator.h"

#include <QMetaMethod>

#include "model/KoBaseFacility.h"
#include "model/KoCategoryFolderAlias.h"
#include "model/KoFileCopyInfo.h"
#include "model/KoRemoteCategory.h"
#include "model/KoRemoteFile.h"

namespace {

// The phone-album category, whose well-known folders are shown by their alias.
constexpr int kCategoryPhoneAlbum = 3;

template <typename T>
void freeList(QList<T*>* list)
{
    if (!list)
        return;
    qDeleteAll(*list);
    delete list;
}

} // namespace

// --- LAN route ----------------------------------------------------------------------------

void KoRemoteFileOperator::getCategoryIndexStart(QString remoteServer, QString deviceId)
{
    startTaskNow(new KoRemoteFileGetCategoryIndexTask(getFileTaskId(), deviceId, remoteServer, this));
}

void KoRemoteFileOperator::getFileListStartV2(int category, QString remoteDirPath, QString remoteServer,
                                              QString deviceId)
{
    startTaskNow(
        new KoRemoteFileGetFileListTaskV2(getFileTaskId(), deviceId, remoteServer, category, remoteDirPath, this));
}

void KoRemoteFileOperator::renameFileV2(QString deviceId, int category, KoRemoteFile* file, QString newName)
{
    if (!file)
        return;
    startTaskNow(new KoRemoteFileRenameTaskV2(getFileTaskId(), deviceId, file->getRemoteServer(), category,
                                              file->getPath()->getAbsolutePath(), newName, this));
}

void KoRemoteFileOperator::makeDiretoryV2(int category, QString newDirPath, QString remoteServer, QString deviceId)
{
    if (newDirPath.isEmpty())
        return;
    startTaskNow(new KoRemoteFileMkdirTaskV2(getFileTaskId(), deviceId, remoteServer, category, newDirPath, this));
}

void KoRemoteFileOperator::deleteFileV2(int category, QStringList paths, QString remoteServer, QString deviceId)
{
    startTaskNow(new KoRemoteFileDeleteTaskV2(getFileTaskId(), deviceId, remoteServer, category, paths, this));
}

void KoRemoteFileOperator::moveFileV2(int srcCategory, QStringList paths, int dstCategory, QString dstDirPath,
                                      QString remoteServer, QString deviceId)
{
    if (paths.isEmpty() || dstDirPath.isEmpty())
        return;
    startTaskNow(new KoRemoteFileMoveTaskV2(getFileTaskId(), deviceId, remoteServer, srcCategory, paths, dstCategory,
                                            dstDirPath, this));
}

void KoRemoteFileOperator::getFileCopyStartV2(int srcCategory, QStringList paths, int dstCategory, QString dstDirPath,
                                              QString remoteServer)
{
    if (paths.isEmpty() || dstDirPath.isEmpty())
        return;
    startTaskNow(
        new KoRemoteFileCopyTaskV2(getFileTaskId(), remoteServer, srcCategory, paths, dstCategory, dstDirPath, this));
}

void KoRemoteFileOperator::askFileCopyProgressV2(int askId, QString remoteServer)
{
    startTaskNow(new KoRemoteFileCopyProgressTaskV2(getFileTaskId(), remoteServer, askId, this));
}

void KoRemoteFileOperator::cancelFileCopyV2(int cancelId, QString remoteServer)
{
    startTaskNow(new KoRemoteFileCopyCancelTaskV2(getFileTaskId(), remoteServer, cancelId, this));
}

// --- relay route --------------------------------------------------------------------------

void KoRemoteFileOperator::getCategoryIndexStartV3(KoBaseFacility* device)
{
    if (!device)
        return;
    startTaskNow(new KoRemoteFileGetCategoryIndexTaskV3(getFileTaskId(), device->getUid(), device->getDeviceType(),
                                                        device->getDeviceId(), this));
}

void KoRemoteFileOperator::getFileListStartV3(int category, QString remoteDirPath, KoBaseFacility* device)
{
    if (!device)
        return;
    startTaskNow(new KoRemoteFileGetFileListTaskV3(getFileTaskId(), device->getUid(), device->getDeviceType(),
                                                   device->getDeviceId(), category, remoteDirPath, this));
}

void KoRemoteFileOperator::renameFileV3(int category, KoRemoteFile* file, QString newName, KoBaseFacility* device)
{
    if (!file || !device)
        return;
    startTaskNow(new KoRemoteFileRenameTaskV3(getFileTaskId(), device->getUid(), device->getDeviceType(),
                                              device->getDeviceId(), category, file->getPath()->getAbsolutePath(),
                                              newName, this));
}

void KoRemoteFileOperator::makeDiretoryV3(int category, QString newDirPath, KoBaseFacility* device)
{
    if (!device || newDirPath.isEmpty())
        return;
    startTaskNow(new KoRemoteFileMkdirTaskV3(getFileTaskId(), device->getUid(), device->getDeviceType(),
                                             device->getDeviceId(), category, newDirPath, this));
}

void KoRemoteFileOperator::deleteFileV3(int category, QStringList paths, KoBaseFacility* device)
{
    if (!device)
        return;
    startTaskNow(new KoRemoteFileDeleteTaskV3(getFileTaskId(), device->getUid(), device->getDeviceType(),
                                              device->getDeviceId(), category, paths, this));
}

void KoRemoteFileOperator::moveFileV3(int srcCategory, QStringList paths, int dstCategory, QString dstDirPath,
                                      KoBaseFacility* device)
{
    if (!device || paths.isEmpty() || dstDirPath.isEmpty())
        return;
    startTaskNow(new KoRemoteFileMoveTaskV3(getFileTaskId(), device->getUid(), device->getDeviceType(),
                                            device->getDeviceId(), srcCategory, paths, dstCategory, dstDirPath,
                                            this));
}

// --- results ------------------------------------------------------------------------------

void KoRemoteFileOperator::handleCategoryIndexResult(KoRemoteFileTask* task, int code, QList<KoAbstractFile*>* list)
{
    const QString deviceId = task->getDeviceId();
    if (code != 0 || !list) {
        if (list)
            qDeleteAll(*list);
        // Reported on both routes, so that a page waiting for the index learns of the failure.
        emit taskExecuteTimeoutV2(task->getTaskType(), deviceId);
        return;
    }
    auto* categories = new QList<KoRemoteCategory*>;
    for (KoAbstractFile* record : qAsConst(*list)) {
        if (auto* category = qobject_cast<KoRemoteCategory*>(record))
            categories->append(category);
        else
            delete record;
    }
    if (!hasReceiver(QMetaMethod::fromSignal(&KoRemoteFileOperator::getCategoryListSuccess))) {
        freeList(categories);
        return;
    }
    emit getCategoryListSuccess(deviceId, categories);
}

void KoRemoteFileOperator::handleFileListResult(KoRemoteFileTask* task, int code, QList<KoAbstractFile*>* list)
{
    if (code != 0 || !list) {
        if (list)
            qDeleteAll(*list);
        // Told like a failed index, so that a page waiting for the listing stops waiting.
        emit taskExecuteTimeoutV2(task->getTaskType(), task->getDeviceId());
        return;
    }
    int category = 0;
    QString dirPath;
    if (auto* t = qobject_cast<KoRemoteFileGetFileListTaskBase*>(task)) {
        category = t->getCategory();
        dirPath = t->getSrcDirPath();
    }
    auto* files = new QList<KoRemoteFile*>;
    for (KoAbstractFile* record : qAsConst(*list)) {
        auto* file = qobject_cast<KoRemoteFile*>(record);
        if (!file || file->isHiddenFile()) {
            delete record;
            continue;
        }
        if (category == kCategoryPhoneAlbum) {
            const QString alias = KoCategoryFolderAlias::getInstance()->getFolderAlias(
                file->getPath()->getAbsolutePath());
            if (!alias.isEmpty()) {
                file->setName(alias);
                file->getPath()->setName(alias);
            }
        }
        files->append(file);
    }
    if (!hasReceiver(QMetaMethod::fromSignal(&KoRemoteFileOperator::getFileListSuccessV2))) {
        freeList(files);
        return;
    }
    emit getFileListSuccessV2(category, dirPath, task->getDeviceId(), files);
}

void KoRemoteFileOperator::handleCopyResult(KoRemoteFileTask* task, int code, QList<KoFileCopyInfo*>* copyList)
{
    if (code != 0 || !copyList) {
        if (copyList)
            qDeleteAll(*copyList);
        emit fileCopyErrorV2(task->getTaskId(), task->getRemoteServer());
        return;
    }
    auto* copies = new QList<KoFileCopyInfo*>(*copyList);
    if (!hasReceiver(QMetaMethod::fromSignal(&KoRemoteFileOperator::fileCopyStartV2))) {
        freeList(copies);
        return;
    }
    emit fileCopyStartV2(task->getTaskId(), task->getRemoteServer(), copies);
}

void KoRemoteFileOperator::handleCopyProgressResult(KoRemoteFileTask* task, int code,
                                                    QList<KoFileCopyInfo*>* copyList)
{
    if (code != 0 || !copyList) {
        if (copyList)
            qDeleteAll(*copyList);
        return;
    }
    auto* copies = new QList<KoFileCopyInfo*>(*copyList);
    auto* progressTask = qobject_cast<KoRemoteFileCopyProgressTaskV2*>(task);
    if (!progressTask || !hasReceiver(QMetaMethod::fromSignal(&KoRemoteFileOperator::fileCopyProgressV2))) {
        freeList(copies);
        return;
    }
    // Named by the copy job it asks about, not by its own id.
    emit fileCopyProgressV2(progressTask->getAskId(), copies);
}
