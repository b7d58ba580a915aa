// Thumbnails and temporary copies of phone files, cached for one run.

#include "ops/KoRemoteFileOperator.h"

#include "app/KoCommonUtil.h"
#include "model/KoBaseFacility.h"
#include "model/KoRemoteFile.h"

namespace {

// Fetch states of a cache key.
constexpr int kFetchFailed = -1;
constexpr int kFetchRunning = 0;
constexpr int kFetchDone = 1;

// A suffix from the phone names the local copy only when it cannot leave the folder.
bool isPlainSuffix(const QString& suffix)
{
    return !suffix.contains(QLatin1Char('/')) && !suffix.contains(QLatin1Char('\\')) && !suffix.contains(QChar(0));
}

} // namespace

QString KoRemoteFileOperator::cacheKey(const QString& remotePath, const QString& deviceId)
{
    return KoCommonUtil::getMd5Str(remotePath + QLatin1Char('@') + deviceId);
}

QString KoRemoteFileOperator::getThumbnailDir() const
{
    return KoCommonUtil::getAppDataDir() + QStringLiteral("/thumbnail");
}

QString KoRemoteFileOperator::getTmpFileDir() const
{
    return KoCommonUtil::getAppDataDir() + QStringLiteral("/tmp");
}

QString KoRemoteFileOperator::cachedFetch(bool thumbnail, KoRemoteFile* file, const QString& deviceId,
                                          const FetchTaskMaker& make)
{
    QHash<QString, QString>* paths = thumbnail ? m_thumbnailPaths : m_tmpFilePaths;
    QHash<QString, int>* states = thumbnail ? m_thumbnailStates : m_tmpFileStates;
    const QString remotePath = file->getPath()->getAbsolutePath();
    const QString key = cacheKey(remotePath, deviceId);
    const auto cached = paths->constFind(key);
    if (cached != paths->constEnd()) {
        states->insert(key, kFetchDone);
        return *cached;
    }
    if (states->value(key, kFetchFailed) == kFetchRunning)
        return QString();
    QString localPath;
    if (thumbnail) {
        localPath = getThumbnailDir() + QLatin1Char('/') + key + QStringLiteral(".png");
    } else {
        const QString suffix = isPlainSuffix(file->getSuffix()) ? file->getSuffix() : QString();
        // A suffix from the phone may be as long as a whole name: cut so the name still fits.
        const int room = KoCommonUtil::kMaxFileNameBytes - key.size() - 1;
        localPath = getTmpFileDir() + QLatin1Char('/') + key + QLatin1Char('.')
            + KoCommonUtil::leftUtf8(suffix, room);
    }
    states->insert(key, kFetchRunning);
    KoRemoteFileTask* task = make(getFileTaskId(), remotePath, localPath);
    if (task && !thumbnail)
        task->setExpectedSize(file->getSize());
    if (!insertTaskInList(task)) {
        delete task;
        states->remove(key);
        return QString();
    }
    // A thumbnail waits for the scheduler's slots; a temporary copy is wanted now.
    if (!thumbnail)
        task->execute();
    return QString();
}

QString KoRemoteFileOperator::getThumbnailPathV2(int category, KoRemoteFile* file, QString deviceId)
{
    if (!file)
        return QString();
    return cachedFetch(true, file, deviceId, [&](int id, const QString& remotePath, const QString& localPath) {
        return new KoRemoteFileThumbnailTaskV2(id, deviceId, file->getRemoteServer(), category, remotePath, localPath,
                                               this);
    });
}

QString KoRemoteFileOperator::getThumbnailPathV3(int category, KoRemoteFile* file, KoBaseFacility* device)
{
    if (!file || !device)
        return QString();
    return cachedFetch(true, file, device->getDeviceId(),
                       [&](int id, const QString& remotePath, const QString& localPath) {
                           return new KoRemoteFileThumbnailTaskV3(id, device->getUid(), device->getDeviceType(),
                                                                  device->getDeviceId(), category, remotePath,
                                                                  localPath, this);
                       });
}

bool KoRemoteFileOperator::isThumbnailExistV2(KoRemoteFile* file, QString deviceId)
{
    if (!file)
        return false;
    return m_thumbnailPaths->contains(cacheKey(file->getPath()->getAbsolutePath(), deviceId));
}

bool KoRemoteFileOperator::isThumbnailExistV3(KoRemoteFile* file, KoBaseFacility* device)
{
    if (!file || !device)
        return false;
    return m_thumbnailPaths->contains(cacheKey(file->getPath()->getAbsolutePath(), device->getDeviceId()));
}

QString KoRemoteFileOperator::getTmpFilePathV2(int category, KoRemoteFile* file, QString deviceId)
{
    if (!file)
        return QString();
    return cachedFetch(false, file, deviceId, [&](int id, const QString& remotePath, const QString& localPath) {
        return new KoRemoteFileTmpFileTaskV2(id, deviceId, file->getRemoteServer(), category, remotePath, localPath,
                                             this);
    });
}

QString KoRemoteFileOperator::getTmpFilePathV3(int category, KoRemoteFile* file, KoBaseFacility* device)
{
    if (!file || !device)
        return QString();
    return cachedFetch(false, file, device->getDeviceId(),
                       [&](int id, const QString& remotePath, const QString& localPath) {
                           return new KoRemoteFileTmpFileTaskV3(id, device->getUid(), device->getDeviceType(),
                                                                device->getDeviceId(), category, remotePath,
                                                                localPath, this);
                       });
}

void KoRemoteFileOperator::eraseThumbnail(QString key)
{
    m_thumbnailPaths->remove(key);
    m_thumbnailStates->remove(key);
}

void KoRemoteFileOperator::eraseTmpFile(QString key)
{
    m_tmpFilePaths->remove(key);
    m_tmpFileStates->remove(key);
}

void KoRemoteFileOperator::clearThumbnail()
{
    KoCommonUtil::removeAllFilesOfDir(getThumbnailDir());
    m_thumbnailPaths->clear();
    m_thumbnailStates->clear();
}

void KoRemoteFileOperator::clearTmpFile()
{
    KoCommonUtil::removeAllFilesOfDir(getTmpFileDir());
    m_tmpFilePaths->clear();
    m_tmpFileStates->clear();
}

void KoRemoteFileOperator::forgetCachedCopies(const QString& remotePath, const QString& deviceId)
{
    const QString key = cacheKey(remotePath, deviceId);
    eraseThumbnail(key);
    eraseTmpFile(key);
}

void KoRemoteFileOperator::handleThumbnailResult(KoRemoteFileTask* task, int code)
{
    auto* fetch = qobject_cast<KoRemoteFileFetchTaskBase*>(task);
    if (!fetch)
        return;
    const QString deviceId = task->getDeviceId();
    const QString key = cacheKey(fetch->getSrcFilePath(), deviceId);
    if (code != 0) {
        // Asked for again on the next paint.
        m_thumbnailStates->insert(key, kFetchFailed);
        return;
    }
    m_thumbnailPaths->insert(key, fetch->getDstFilePath());
    m_thumbnailStates->insert(key, kFetchDone);
    emit thumbnailDownloadFinishedV2(key, deviceId);
}

void KoRemoteFileOperator::handleTmpFileResult(KoRemoteFileTask* task, int code)
{
    auto* fetch = qobject_cast<KoRemoteFileFetchTaskBase*>(task);
    if (!fetch)
        return;
    const QString key = cacheKey(fetch->getSrcFilePath(), task->getDeviceId());
    if (code != 0) {
        m_tmpFileStates->insert(key, kFetchFailed);
        emit tmpFileDownloadErrorV2(fetch->getDstFilePath());
        return;
    }
    m_tmpFilePaths->insert(key, fetch->getDstFilePath());
    m_tmpFileStates->insert(key, kFetchDone);
    emit tmpFileDownloadFinishedV2(fetch->getDstFilePath());
}
