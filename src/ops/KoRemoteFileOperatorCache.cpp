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
    return !suffix.contains(QLatin1Char('/')) && !suffix.contains(QLatin1Char('\\'))
        && !suffix.contains(QChar(0));
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

QString KoRemoteFileOperator::getThumbnailPathV2(int category, KoRemoteFile* file, QString deviceId)
{
    if (!file)
        return QString();
    const QString remotePath = file->getPath()->getAbsolutePath();
    const QString key = cacheKey(remotePath, deviceId);
    auto cached = m_thumbnailPaths->constFind(key);
    if (cached != m_thumbnailPaths->constEnd()) {
        m_thumbnailStates->insert(key, kFetchDone);
        return *cached;
    }
    if (m_thumbnailStates->value(key, kFetchFailed) == kFetchRunning)
        return QString();
    const QString localPath = getThumbnailDir() + QLatin1Char('/') + key + QStringLiteral(".png");
    m_thumbnailStates->insert(key, kFetchRunning);
    auto* task = new KoRemoteFileThumbnailTaskV2(getFileTaskId(), deviceId, file->getRemoteServer(), category,
                                                 remotePath, localPath, this);
    if (!insertTaskInList(task)) {
        delete task;
        m_thumbnailStates->remove(key);
    }
    return QString();
}

QString KoRemoteFileOperator::getThumbnailPathV3(int category, KoRemoteFile* file, KoBaseFacility* device)
{
    if (!file || !device)
        return QString();
    const QString deviceId = device->getDeviceId();
    const QString remotePath = file->getPath()->getAbsolutePath();
    const QString key = cacheKey(remotePath, deviceId);
    auto cached = m_thumbnailPaths->constFind(key);
    if (cached != m_thumbnailPaths->constEnd()) {
        m_thumbnailStates->insert(key, kFetchDone);
        return *cached;
    }
    if (m_thumbnailStates->value(key, kFetchFailed) == kFetchRunning)
        return QString();
    const QString localPath = getThumbnailDir() + QLatin1Char('/') + key + QStringLiteral(".png");
    m_thumbnailStates->insert(key, kFetchRunning);
    auto* task = new KoRemoteFileThumbnailTaskV3(getFileTaskId(), device->getUid(), device->getDeviceType(), deviceId,
                                                 category, remotePath, localPath, this);
    if (!insertTaskInList(task)) {
        delete task;
        m_thumbnailStates->remove(key);
    }
    return QString();
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
    const QString remotePath = file->getPath()->getAbsolutePath();
    const QString key = cacheKey(remotePath, deviceId);
    auto cached = m_tmpFilePaths->constFind(key);
    if (cached != m_tmpFilePaths->constEnd()) {
        m_tmpFileStates->insert(key, kFetchDone);
        return *cached;
    }
    if (m_tmpFileStates->value(key, kFetchFailed) == kFetchRunning)
        return QString();
    const QString suffix = isPlainSuffix(file->getSuffix()) ? file->getSuffix() : QString();
    const QString localPath = getTmpFileDir() + QLatin1Char('/') + key + QLatin1Char('.') + suffix;
    m_tmpFileStates->insert(key, kFetchRunning);
    startTaskNow(new KoRemoteFileTmpFileTaskV2(getFileTaskId(), deviceId, file->getRemoteServer(), category,
                                               remotePath, localPath, this));
    return QString();
}

QString KoRemoteFileOperator::getTmpFilePathV3(int category, KoRemoteFile* file, KoBaseFacility* device)
{
    if (!file || !device)
        return QString();
    const QString deviceId = device->getDeviceId();
    const QString remotePath = file->getPath()->getAbsolutePath();
    const QString key = cacheKey(remotePath, deviceId);
    auto cached = m_tmpFilePaths->constFind(key);
    if (cached != m_tmpFilePaths->constEnd()) {
        m_tmpFileStates->insert(key, kFetchDone);
        return *cached;
    }
    if (m_tmpFileStates->value(key, kFetchFailed) == kFetchRunning)
        return QString();
    const QString suffix = isPlainSuffix(file->getSuffix()) ? file->getSuffix() : QString();
    const QString localPath = getTmpFileDir() + QLatin1Char('/') + key + QLatin1Char('.') + suffix;
    m_tmpFileStates->insert(key, kFetchRunning);
    startTaskNow(new KoRemoteFileTmpFileTaskV3(getFileTaskId(), device->getUid(), device->getDeviceType(), deviceId,
                                               category, remotePath, localPath, this));
    return QString();
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
