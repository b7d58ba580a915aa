#include "model/KoFileDownloadInfo.h"

#include "model/KoRemoteFile.h"

KoFileDownloadInfo::KoFileDownloadInfo(int taskId, int uid, int deviceType, const QString& deviceId, int category,
                                       KoRemoteFile* remoteFile, const QString& localFilePath, QObject* parent)
    : KoFileConvertInfo(taskId, uid, deviceType, deviceId, QString(), TypeDownload, 1, parent)
    , m_category(category)
    , m_remoteFile(remoteFile)
    , m_localFilePath(localFilePath)
{
    // The file must not be freed by a parent as well as by this record.
    if (m_remoteFile)
        m_remoteFile->setParent(nullptr);
}

KoFileDownloadInfo::~KoFileDownloadInfo()
{
    delete m_remoteFile;
}
