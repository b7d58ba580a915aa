#include "ops/KoRemoteFileTasks.h"

#include <QFileInfo>
#include <QMutexLocker>

#include "app/KoCheckSumUtil.h"
#include "client/KoClientHelper.h"
#include "model/KoFileCopyInfo.h"
#include "model/KoRemoteCategory.h"
#include "model/KoRemoteFile.h"
#include "ops/KoRemoteFileOperator.h"

namespace {

// At most this many bytes left to send go up in one in-memory request.
constexpr qint64 kShortUploadLimit = 1000000;

using Op = KoRemoteFileOperator;

void resultV2(int id, int code)
{
    Op::deliverResultV2(id, code, nullptr, nullptr);
}

void resultV3(int id, int code)
{
    Op::deliverResultV3(id, code, nullptr);
}

void progressV2(int id, qint64 done, qint64 total)
{
    Op::deliverProgressV2(id, done, total);
}

void progressV3(int id, qint64 done, qint64 total)
{
    Op::deliverProgressV3(id, done, total);
}

// The operator takes every list as a list of base records: the pointers are copied over.
template <typename T>
QList<KoAbstractFile*>* asFiles(QList<T*>* list, QList<KoAbstractFile*>& files)
{
    if (!list)
        return nullptr;
    files.reserve(list->size());
    for (T* record : *list)
        files.append(record);
    return &files;
}

template <typename T>
void listV2(int id, int code, QList<T*>* list)
{
    QList<KoAbstractFile*> files;
    Op::deliverResultV2(id, code, asFiles(list, files), nullptr);
}

template <typename T>
void listV3(int id, int code, QList<T*>* list)
{
    QList<KoAbstractFile*> files;
    Op::deliverResultV3(id, code, asFiles(list, files));
}

void subListV2(int id, int code, qint64, QList<KoRemoteFile*>* list)
{
    listV2(id, code, list);
}

void subListV3(int id, int code, qint64, QList<KoRemoteFile*>* list)
{
    listV3(id, code, list);
}

void copyListV2(int id, int code, QList<KoFileCopyInfo*>* list)
{
    Op::deliverResultV2(id, code, nullptr, list);
}

void checkSumV2(int id, int code, int csVersion, QString checksum, qint64 haveRead)
{
    Op::deliverCheckSum(id, csVersion, checksum, haveRead);
    resultV2(id, code);
}

void checkSumV3(int id, int code, int csVersion, QString checksum, qint64 haveRead)
{
    Op::deliverCheckSum(id, csVersion, checksum, haveRead);
    resultV3(id, code);
}

KoClientHelper* client()
{
    return KoClientHelper::getInstance();
}

} // namespace

// --- group download --------------------------------------------------------------------

KoRemoteFileGroupDownloadTaskBase::KoRemoteFileGroupDownloadTaskBase(int taskId, int uid, int deviceType,
                                                                     QString deviceId, QString remoteServer,
                                                                     int version, int category,
                                                                     KoDownloadPairList& pairs, QString dstDirPath,
                                                                     QList<int>& sonTaskIds, QObject* parent)
    : KoRemoteFileTask(taskId, TypeGroupDownload, uid, deviceType, std::move(deviceId), std::move(remoteServer),
                       version, parent)
    , m_sonTaskIds(sonTaskIds)
    , m_pairs(new KoDownloadPairList(pairs))
    , m_category(category)
    , m_dstDirPath(std::move(dstDirPath))
{
}

KoRemoteFileGroupDownloadTaskBase::~KoRemoteFileGroupDownloadTaskBase()
{
    for (const KoDownloadPair& pair : *m_pairs)
        delete pair.second;
    delete m_pairs;
}

void KoRemoteFileGroupDownloadTaskBase::appendSrcPathList(KoDownloadPairList& pairs)
{
    QMutexLocker locker(&m_sonMutex);
    m_pairs->append(pairs);
}

void KoRemoteFileGroupDownloadTaskBase::removeSonTask(int id)
{
    QMutexLocker locker(&m_sonMutex);
    m_sonTaskIds.removeAll(id);
}

bool KoRemoteFileGroupDownloadTaskBase::isSonTaskListEmpty()
{
    QMutexLocker locker(&m_sonMutex);
    return m_sonTaskIds.isEmpty();
}

KoRemoteFileGroupDownloadTaskV2::KoRemoteFileGroupDownloadTaskV2(int taskId, int uid, int deviceType,
                                                                 QString deviceId, QString remoteServer, int category,
                                                                 KoDownloadPairList& pairs, QString dstDirPath,
                                                                 QList<int>& sonTaskIds, QObject* parent)
    : KoRemoteFileGroupDownloadTaskBase(taskId, uid, deviceType, std::move(deviceId), std::move(remoteServer),
                                        VersionLan, category, pairs, std::move(dstDirPath), sonTaskIds, parent)
{
}

KoRemoteFileGroupDownloadTaskV3::KoRemoteFileGroupDownloadTaskV3(int taskId, int uid, int deviceType,
                                                                 QString deviceId, int category,
                                                                 KoDownloadPairList& pairs, QString dstDirPath,
                                                                 QList<int>& sonTaskIds, QObject* parent)
    : KoRemoteFileGroupDownloadTaskBase(taskId, uid, deviceType, std::move(deviceId), QString(), VersionRelay,
                                        category, pairs, std::move(dstDirPath), sonTaskIds, parent)
{
}

// --- one base per kind ------------------------------------------------------------------

KoRemoteFileDownloadTaskBase::KoRemoteFileDownloadTaskBase(int taskId, Route route, int category, QString srcFilePath,
                                                           QString dstFilePath, qint64 offset, int csVersion,
                                                           QString checksum, QObject* parent)
    : KoRemoteFileTask(taskId, TypeDownload, std::move(route), parent)
    , m_offset(offset)
    , m_csVersion(csVersion)
    , m_category(category)
    , m_srcFilePath(std::move(srcFilePath))
    , m_dstFilePath(std::move(dstFilePath))
    , m_checksum(std::move(checksum))
{
}

KoRemoteFileUploadTaskBase::KoRemoteFileUploadTaskBase(int taskId, Route route, QString srcFilePath, QString fileName,
                                                       int category, QString dstDirPath, int valid, qint64 offset,
                                                       QString uploadFid, QObject* parent)
    : KoRemoteFileTask(taskId, TypeUpload, std::move(route), parent)
    , m_offset(offset)
    , m_valid(valid)
    , m_category(category)
    , m_srcFilePath(std::move(srcFilePath))
    , m_dstDirPath(std::move(dstDirPath))
    , m_fileName(std::move(fileName))
    , m_uploadFid(std::move(uploadFid))
{
}

bool KoRemoteFileUploadTaskBase::isShortUpload() const
{
    return QFileInfo(m_srcFilePath).size() - m_offset <= kShortUploadLimit;
}

KoRemoteFileRenameTaskBase::KoRemoteFileRenameTaskBase(int taskId, Route route, int category, QString renameFilePath,
                                                       QString newName, QObject* parent)
    : KoRemoteFileTask(taskId, TypeRename, std::move(route), parent)
    , m_category(category)
    , m_renameFilePath(std::move(renameFilePath))
    , m_newName(std::move(newName))
{
}

KoRemoteFileMkdirTaskBase::KoRemoteFileMkdirTaskBase(int taskId, Route route, int category, QString newDirPath,
                                                     QObject* parent)
    : KoRemoteFileTask(taskId, TypeMkdir, std::move(route), parent)
    , m_category(category)
    , m_newDirPath(std::move(newDirPath))
{
}

KoRemoteFileDeleteTaskBase::KoRemoteFileDeleteTaskBase(int taskId, Route route, int category, QStringList paths,
                                                       QObject* parent)
    : KoRemoteFileTask(taskId, TypeDelete, std::move(route), parent)
    , m_category(category)
    , m_paths(std::move(paths))
{
}

KoRemoteFileGetSubListTaskBase::KoRemoteFileGetSubListTaskBase(int taskId, int parentTaskId, Route route,
                                                               int category, QString srcDirPath, QString dstDirPath,
                                                               QObject* parent)
    : KoRemoteFileTask(taskId, TypeSubList, std::move(route), parent)
    , m_parentTaskId(parentTaskId)
    , m_category(category)
    , m_srcDirPath(std::move(srcDirPath))
    , m_dstDirPath(std::move(dstDirPath))
{
}

KoRemoteFileGetFileListTaskBase::KoRemoteFileGetFileListTaskBase(int taskId, Route route, int category,
                                                                 QString srcDirPath, QObject* parent)
    : KoRemoteFileTask(taskId, TypeFileList, std::move(route), parent)
    , m_category(category)
    , m_srcDirPath(std::move(srcDirPath))
{
}

KoRemoteFileMoveTaskBase::KoRemoteFileMoveTaskBase(int taskId, Route route, int srcCategory, QStringList paths,
                                                   int dstCategory, QString dstDirPath, QObject* parent)
    : KoRemoteFileTask(taskId, TypeMove, std::move(route), parent)
    , m_srcCategory(srcCategory)
    , m_dstCategory(dstCategory)
    , m_paths(std::move(paths))
    , m_dstDirPath(std::move(dstDirPath))
{
}

KoRemoteFileFetchTaskBase::KoRemoteFileFetchTaskBase(int taskId, int taskType, Route route, int category,
                                                     QString srcFilePath, QString dstFilePath, QObject* parent)
    : KoRemoteFileTask(taskId, taskType, std::move(route), parent)
    , m_category(category)
    , m_srcFilePath(std::move(srcFilePath))
    , m_dstFilePath(std::move(dstFilePath))
{
}

KoRemoteFileUploadCheckSumTaskBase::KoRemoteFileUploadCheckSumTaskBase(int taskId, Route route, QString srcFilePath,
                                                                       QString fileName, int category,
                                                                       QString dstDirPath, QString uploadFid,
                                                                       QObject* parent)
    : KoRemoteFileTask(taskId, TypeUploadCheckSum, std::move(route), parent)
    , m_category(category)
    , m_srcFilePath(std::move(srcFilePath))
    , m_dstDirPath(std::move(dstDirPath))
    , m_fileName(std::move(fileName))
    , m_uploadFid(std::move(uploadFid))
{
}

void KoRemoteFileUploadCheckSumTaskBase::takeCheckSumAnswer(int csVersion, const QString& checksum, qint64 haveRead)
{
    // No answer (version -1, no checksum) compares equal to an unreadable local file. The
    // phone's bytes are continued only when its fingerprint names this very file: without one
    // nothing says they belong to it, and the upload starts from 0.
    const QString local = KoCheckSumUtil::getFileCheckSumWithVersion(m_srcFilePath, csVersion);
    m_valid = local == checksum;
    m_bytesRead = m_valid && !checksum.isEmpty() ? haveRead : 0;
}

// --- LAN route -------------------------------------------------------------------------

KoRemoteFileDownloadTaskV2::KoRemoteFileDownloadTaskV2(int taskId, QString deviceId, QString remoteServer,
                                                       int category, QString srcFilePath, QString dstFilePath,
                                                       qint64 offset, int csVersion, QString checksum,
                                                       QObject* parent)
    : KoRemoteFileDownloadTaskBase(taskId, Route::lan(std::move(deviceId), std::move(remoteServer)), category,
                                   std::move(srcFilePath), std::move(dstFilePath), offset, csVersion,
                                   std::move(checksum), parent)
{
}

void KoRemoteFileDownloadTaskV2::execute()
{
    markStarted();
    client()->downloadFileV2(m_taskId, m_remoteServer, m_dstFilePath, m_category, m_srcFilePath, m_offset,
                             m_csVersion, m_checksum, resultV2, progressV2, m_expectedSize);
}

KoRemoteFileUploadTaskV2::KoRemoteFileUploadTaskV2(int taskId, QString deviceId, QString remoteServer,
                                                   QString srcFilePath, int category, QString dstDirPath, int valid,
                                                   qint64 offset, QString uploadFid, QObject* parent)
    : KoRemoteFileUploadTaskBase(taskId, Route::lan(std::move(deviceId), std::move(remoteServer)),
                                 std::move(srcFilePath), QString(), category, std::move(dstDirPath), valid, offset,
                                 std::move(uploadFid), parent)
{
}

void KoRemoteFileUploadTaskV2::execute()
{
    markStarted();
    const int csVersion = KoCheckSumUtil::getCurrentVersion();
    const QString checksum = KoCheckSumUtil::getCurrentVersionFileCheckSum(m_srcFilePath);
    if (isShortUpload())
        client()->uploadShortFileV2(m_taskId, m_remoteServer, m_srcFilePath, m_category, m_dstDirPath, m_offset,
                                    m_valid, csVersion, checksum, m_uploadFid, resultV2, progressV2);
    else
        client()->uploadFileV2(m_taskId, m_remoteServer, m_srcFilePath, m_category, m_dstDirPath, m_offset, m_valid,
                               csVersion, checksum, m_uploadFid, resultV2, progressV2);
}

KoRemoteFileRenameTaskV2::KoRemoteFileRenameTaskV2(int taskId, QString deviceId, QString remoteServer, int category,
                                                   QString renameFilePath, QString newName, QObject* parent)
    : KoRemoteFileRenameTaskBase(taskId, Route::lan(std::move(deviceId), std::move(remoteServer)), category,
                                 std::move(renameFilePath), std::move(newName), parent)
{
}

void KoRemoteFileRenameTaskV2::execute()
{
    markStarted();
    client()->renameFileV2(m_taskId, m_remoteServer, m_category, m_renameFilePath, m_newName, resultV2);
}

KoRemoteFileMkdirTaskV2::KoRemoteFileMkdirTaskV2(int taskId, QString deviceId, QString remoteServer, int category,
                                                 QString newDirPath, QObject* parent)
    : KoRemoteFileMkdirTaskBase(taskId, Route::lan(std::move(deviceId), std::move(remoteServer)), category,
                                std::move(newDirPath), parent)
{
}

void KoRemoteFileMkdirTaskV2::execute()
{
    markStarted();
    client()->newFolderV2(m_taskId, m_remoteServer, m_category, m_newDirPath, resultV2);
}

KoRemoteFileDeleteTaskV2::KoRemoteFileDeleteTaskV2(int taskId, QString deviceId, QString remoteServer, int category,
                                                   QStringList& paths, QObject* parent)
    : KoRemoteFileDeleteTaskBase(taskId, Route::lan(std::move(deviceId), std::move(remoteServer)), category, paths,
                                 parent)
{
}

void KoRemoteFileDeleteTaskV2::execute()
{
    markStarted();
    client()->deleteFileV2(m_taskId, m_remoteServer, m_category, m_paths, listV2<KoRemoteFile>);
}

KoRemoteFileGetSubListTaskV2::KoRemoteFileGetSubListTaskV2(int taskId, int parentTaskId, QString deviceId,
                                                           QString remoteServer, int category, QString srcDirPath,
                                                           QString dstDirPath, QObject* parent)
    : KoRemoteFileGetSubListTaskBase(taskId, parentTaskId, Route::lan(std::move(deviceId), std::move(remoteServer)),
                                     category, std::move(srcDirPath), std::move(dstDirPath), parent)
{
}

void KoRemoteFileGetSubListTaskV2::execute()
{
    markStarted();
    client()->getSubFileListV2(m_taskId, m_remoteServer, m_category, m_srcDirPath, subListV2);
}

KoRemoteFileGetFileListTaskV2::KoRemoteFileGetFileListTaskV2(int taskId, QString deviceId, QString remoteServer,
                                                             int category, QString srcDirPath, QObject* parent)
    : KoRemoteFileGetFileListTaskBase(taskId, Route::lan(std::move(deviceId), std::move(remoteServer)), category,
                                      std::move(srcDirPath), parent)
{
}

void KoRemoteFileGetFileListTaskV2::execute()
{
    markStarted();
    client()->getFileListV2(m_taskId, m_remoteServer, m_category, m_srcDirPath, listV2<KoRemoteFile>);
}

KoRemoteFileMoveTaskV2::KoRemoteFileMoveTaskV2(int taskId, QString deviceId, QString remoteServer, int srcCategory,
                                               QStringList& paths, int dstCategory, QString dstDirPath,
                                               QObject* parent)
    : KoRemoteFileMoveTaskBase(taskId, Route::lan(std::move(deviceId), std::move(remoteServer)), srcCategory, paths,
                               dstCategory, std::move(dstDirPath), parent)
{
}

void KoRemoteFileMoveTaskV2::execute()
{
    markStarted();
    client()->moveFileV2(m_taskId, m_remoteServer, m_srcCategory, m_paths, m_dstCategory, m_dstDirPath,
                         listV2<KoRemoteFile>);
}

KoRemoteFileCopyTaskV2::KoRemoteFileCopyTaskV2(int taskId, QString remoteServer, int srcCategory, QStringList& paths,
                                               int dstCategory, QString dstDirPath, QObject* parent)
    : KoRemoteFileTask(taskId, TypeCopy, std::move(remoteServer), VersionLan, parent)
    , m_srcCategory(srcCategory)
    , m_dstCategory(dstCategory)
    , m_dstDirPath(std::move(dstDirPath))
    , m_paths(paths)
{
}

void KoRemoteFileCopyTaskV2::execute()
{
    markStarted();
    // The copy job on the phone is named by this task's id.
    client()->copyFileV2(m_taskId, m_remoteServer, QString::number(m_taskId), m_srcCategory, m_paths, m_dstCategory,
                         m_dstDirPath, copyListV2);
}

KoRemoteFileCopyProgressTaskV2::KoRemoteFileCopyProgressTaskV2(int taskId, QString remoteServer, int askId,
                                                               QObject* parent)
    : KoRemoteFileTask(taskId, TypeCopyProgress, std::move(remoteServer), VersionLan, parent)
    , m_askId(askId)
{
}

void KoRemoteFileCopyProgressTaskV2::execute()
{
    markStarted();
    client()->copyFileProgressV2(m_taskId, m_remoteServer, QString::number(m_askId), copyListV2);
}

KoRemoteFileCopyCancelTaskV2::KoRemoteFileCopyCancelTaskV2(int taskId, QString remoteServer, int cancelId,
                                                           QObject* parent)
    : KoRemoteFileTask(taskId, TypeCopyCancel, std::move(remoteServer), VersionLan, parent)
    , m_cancelId(cancelId)
{
}

void KoRemoteFileCopyCancelTaskV2::execute()
{
    markStarted();
    client()->cancelCopyFileV2(m_taskId, m_remoteServer, QString::number(m_cancelId), resultV2);
}

KoRemoteFileTmpFileTaskV2::KoRemoteFileTmpFileTaskV2(int taskId, QString deviceId, QString remoteServer, int category,
                                                     QString srcFilePath, QString dstFilePath, QObject* parent)
    : KoRemoteFileFetchTaskBase(taskId, TypeTmpFile, Route::lan(std::move(deviceId), std::move(remoteServer)),
                                category, std::move(srcFilePath), std::move(dstFilePath), parent)
{
}

void KoRemoteFileTmpFileTaskV2::execute()
{
    markStarted();
    // Always from the start, and without progress.
    client()->downloadFileV2(m_taskId, m_remoteServer, m_dstFilePath, m_category, m_srcFilePath, 0, -1, QString(),
                             resultV2, {}, m_expectedSize);
}

KoRemoteFileThumbnailTaskV2::KoRemoteFileThumbnailTaskV2(int taskId, QString deviceId, QString remoteServer,
                                                         int category, QString srcFilePath, QString dstFilePath,
                                                         QObject* parent)
    : KoRemoteFileFetchTaskBase(taskId, TypeThumbnail, Route::lan(std::move(deviceId), std::move(remoteServer)),
                                category, std::move(srcFilePath), std::move(dstFilePath), parent)
{
}

void KoRemoteFileThumbnailTaskV2::execute()
{
    markStarted();
    client()->getThumbnailV2(m_taskId, m_remoteServer, m_dstFilePath, m_category, m_srcFilePath, resultV2);
}

KoRemoteFileGetCategoryIndexTask::KoRemoteFileGetCategoryIndexTask(int taskId, QString deviceId, QString remoteServer,
                                                                   QObject* parent)
    : KoRemoteFileTask(taskId, TypeCategoryIndex, Route::lan(std::move(deviceId), std::move(remoteServer)), parent)
{
}

void KoRemoteFileGetCategoryIndexTask::execute()
{
    markStarted();
    client()->getCategoryIndex(m_taskId, m_remoteServer, listV2<KoRemoteCategory>);
}

KoRemoteFileUploadCheckSumTaskV2::KoRemoteFileUploadCheckSumTaskV2(int taskId, QString deviceId, QString remoteServer,
                                                                   QString srcFilePath, int category,
                                                                   QString dstDirPath, QString uploadFid,
                                                                   QObject* parent)
    : KoRemoteFileUploadCheckSumTaskBase(taskId, Route::lan(std::move(deviceId), std::move(remoteServer)),
                                         std::move(srcFilePath), QString(), category, std::move(dstDirPath),
                                         std::move(uploadFid), parent)
{
}

void KoRemoteFileUploadCheckSumTaskV2::execute()
{
    markStarted();
    client()->uploadFileAskCheckSumV2(m_taskId, m_remoteServer, m_srcFilePath, m_category, m_dstDirPath, m_uploadFid,
                                      checkSumV2);
}

// --- relay route -----------------------------------------------------------------------

KoRemoteFileDownloadTaskV3::KoRemoteFileDownloadTaskV3(int taskId, int uid, int deviceType, QString deviceId,
                                                       int category, QString srcFilePath, QString dstFilePath,
                                                       qint64 offset, int csVersion, QString checksum,
                                                       QObject* parent)
    : KoRemoteFileDownloadTaskBase(taskId, Route::relay(uid, deviceType, std::move(deviceId)), category,
                                   std::move(srcFilePath), std::move(dstFilePath), offset, csVersion,
                                   std::move(checksum), parent)
{
}

void KoRemoteFileDownloadTaskV3::execute()
{
    markStarted();
    client()->downloadFileRemote(m_taskId, m_uid, m_deviceId, m_deviceType, m_dstFilePath, m_category, m_srcFilePath,
                                 m_offset, m_csVersion, m_checksum, resultV3, progressV3, m_expectedSize);
}

KoRemoteFileUploadTaskV3::KoRemoteFileUploadTaskV3(int taskId, int uid, int deviceType, QString deviceId,
                                                   QString srcFilePath, QString fileName, int category,
                                                   QString dstDirPath, int valid, qint64 offset, QString uploadFid,
                                                   QObject* parent)
    : KoRemoteFileUploadTaskBase(taskId, Route::relay(uid, deviceType, std::move(deviceId)), std::move(srcFilePath),
                                 std::move(fileName), category, std::move(dstDirPath), valid, offset,
                                 std::move(uploadFid), parent)
{
}

void KoRemoteFileUploadTaskV3::execute()
{
    markStarted();
    const int csVersion = KoCheckSumUtil::getCurrentVersion();
    const QString checksum = KoCheckSumUtil::getCurrentVersionFileCheckSum(m_srcFilePath);
    if (isShortUpload())
        client()->uploadShortFileRemote(m_taskId, m_uid, m_deviceId, m_deviceType, m_srcFilePath, m_fileName,
                                        m_category, m_dstDirPath, m_offset, m_valid, csVersion, checksum, m_uploadFid,
                                        resultV3, progressV3);
    else
        client()->uploadFileRemote(m_taskId, m_uid, m_deviceId, m_deviceType, m_srcFilePath, m_fileName, m_category,
                                   m_dstDirPath, m_offset, m_valid, csVersion, checksum, m_uploadFid, resultV3,
                                   progressV3);
}

KoRemoteFileRenameTaskV3::KoRemoteFileRenameTaskV3(int taskId, int uid, int deviceType, QString deviceId,
                                                   int category, QString renameFilePath, QString newName,
                                                   QObject* parent)
    : KoRemoteFileRenameTaskBase(taskId, Route::relay(uid, deviceType, std::move(deviceId)), category,
                                 std::move(renameFilePath), std::move(newName), parent)
{
}

void KoRemoteFileRenameTaskV3::execute()
{
    markStarted();
    client()->renameFileRemote(m_taskId, m_uid, m_deviceId, m_deviceType, m_category, m_renameFilePath, m_newName,
                               resultV3);
}

KoRemoteFileMkdirTaskV3::KoRemoteFileMkdirTaskV3(int taskId, int uid, int deviceType, QString deviceId, int category,
                                                 QString newDirPath, QObject* parent)
    : KoRemoteFileMkdirTaskBase(taskId, Route::relay(uid, deviceType, std::move(deviceId)), category,
                                std::move(newDirPath), parent)
{
}

void KoRemoteFileMkdirTaskV3::execute()
{
    markStarted();
    client()->newFolderRemote(m_taskId, m_uid, m_deviceId, m_deviceType, m_category, m_newDirPath, resultV3);
}

KoRemoteFileDeleteTaskV3::KoRemoteFileDeleteTaskV3(int taskId, int uid, int deviceType, QString deviceId,
                                                   int category, QStringList& paths, QObject* parent)
    : KoRemoteFileDeleteTaskBase(taskId, Route::relay(uid, deviceType, std::move(deviceId)), category, paths, parent)
{
}

void KoRemoteFileDeleteTaskV3::execute()
{
    markStarted();
    client()->deleteFileRemote(m_taskId, m_uid, m_deviceId, m_deviceType, m_category, m_paths, listV3<KoRemoteFile>);
}

KoRemoteFileGetSubListTaskV3::KoRemoteFileGetSubListTaskV3(int taskId, int parentTaskId, int uid, int deviceType,
                                                           QString deviceId, int category, QString srcDirPath,
                                                           QString dstDirPath, QObject* parent)
    : KoRemoteFileGetSubListTaskBase(taskId, parentTaskId, Route::relay(uid, deviceType, std::move(deviceId)),
                                     category, std::move(srcDirPath), std::move(dstDirPath), parent)
{
}

void KoRemoteFileGetSubListTaskV3::execute()
{
    markStarted();
    client()->getSubFileListRemote(m_taskId, m_uid, m_deviceId, m_deviceType, m_category, m_srcDirPath, subListV3);
}

KoRemoteFileGetFileListTaskV3::KoRemoteFileGetFileListTaskV3(int taskId, int uid, int deviceType, QString deviceId,
                                                             int category, QString srcDirPath, QObject* parent)
    : KoRemoteFileGetFileListTaskBase(taskId, Route::relay(uid, deviceType, std::move(deviceId)), category,
                                      std::move(srcDirPath), parent)
{
}

void KoRemoteFileGetFileListTaskV3::execute()
{
    markStarted();
    client()->getFileListRemote(m_taskId, m_uid, m_deviceId, m_deviceType, m_category, m_srcDirPath,
                                listV3<KoRemoteFile>);
}

KoRemoteFileMoveTaskV3::KoRemoteFileMoveTaskV3(int taskId, int uid, int deviceType, QString deviceId, int srcCategory,
                                               QStringList& paths, int dstCategory, QString dstDirPath,
                                               QObject* parent)
    : KoRemoteFileMoveTaskBase(taskId, Route::relay(uid, deviceType, std::move(deviceId)), srcCategory, paths,
                               dstCategory, std::move(dstDirPath), parent)
{
}

void KoRemoteFileMoveTaskV3::execute()
{
    markStarted();
    client()->moveFileRemote(m_taskId, m_uid, m_deviceId, m_deviceType, m_srcCategory, m_paths, m_dstCategory,
                             m_dstDirPath, listV3<KoRemoteFile>);
}

KoRemoteFileTmpFileTaskV3::KoRemoteFileTmpFileTaskV3(int taskId, int uid, int deviceType, QString deviceId,
                                                     int category, QString srcFilePath, QString dstFilePath,
                                                     QObject* parent)
    : KoRemoteFileFetchTaskBase(taskId, TypeTmpFile, Route::relay(uid, deviceType, std::move(deviceId)), category,
                                std::move(srcFilePath), std::move(dstFilePath), parent)
{
}

void KoRemoteFileTmpFileTaskV3::execute()
{
    markStarted();
    client()->downloadFileRemote(m_taskId, m_uid, m_deviceId, m_deviceType, m_dstFilePath, m_category, m_srcFilePath,
                                 0, -1, QString(), resultV3, {}, m_expectedSize);
}

KoRemoteFileThumbnailTaskV3::KoRemoteFileThumbnailTaskV3(int taskId, int uid, int deviceType, QString deviceId,
                                                         int category, QString srcFilePath, QString dstFilePath,
                                                         QObject* parent)
    : KoRemoteFileFetchTaskBase(taskId, TypeThumbnail, Route::relay(uid, deviceType, std::move(deviceId)), category,
                                std::move(srcFilePath), std::move(dstFilePath), parent)
{
}

void KoRemoteFileThumbnailTaskV3::execute()
{
    markStarted();
    client()->getThumbnailRemote(m_taskId, m_uid, m_deviceId, m_deviceType, m_dstFilePath, m_category, m_srcFilePath,
                                 resultV3);
}

KoRemoteFileGetCategoryIndexTaskV3::KoRemoteFileGetCategoryIndexTaskV3(int taskId, int uid, int deviceType,
                                                                       QString deviceId, QObject* parent)
    : KoRemoteFileTask(taskId, TypeCategoryIndex, uid, deviceType, std::move(deviceId), VersionRelay, parent)
{
}

void KoRemoteFileGetCategoryIndexTaskV3::execute()
{
    markStarted();
    client()->getCategoryIndexRemote(m_taskId, m_uid, m_deviceId, m_deviceType, listV3<KoRemoteCategory>);
}

KoRemoteFileUploadCheckSumTaskV3::KoRemoteFileUploadCheckSumTaskV3(int taskId, int uid, int deviceType,
                                                                   QString deviceId, QString srcFilePath,
                                                                   QString fileName, int category, QString dstDirPath,
                                                                   QString uploadFid, QObject* parent)
    : KoRemoteFileUploadCheckSumTaskBase(taskId, Route::relay(uid, deviceType, std::move(deviceId)),
                                         std::move(srcFilePath), std::move(fileName), category, std::move(dstDirPath),
                                         std::move(uploadFid), parent)
{
}

void KoRemoteFileUploadCheckSumTaskV3::execute()
{
    markStarted();
    client()->uploadFileAskCheckSumRemote(m_taskId, m_uid, m_deviceId, m_deviceType, m_srcFilePath, m_category,
                                          m_dstDirPath, m_uploadFid, checkSumV3);
}
