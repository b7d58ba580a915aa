#include "model/KoFileUploadInfo.h"

#include "model/KoLocalFile.h"

KoFileUploadInfo::KoFileUploadInfo(int taskId, KoLocalFile* localFile, int category, const QString& dstDirPath,
                                   int uid, int deviceType, const QString& deviceId, QObject* parent)
    : KoFileConvertInfo(taskId, uid, deviceType, deviceId, QString(), TypeUpload, 1, parent)
    , m_localFile(localFile)
    , m_category(category)
    , m_dstDirPath(dstDirPath)
{
    if (m_localFile) {
        m_localFile->setParent(nullptr);
        m_totalSize = m_localFile->getSize();
    }
}

KoFileUploadInfo::~KoFileUploadInfo()
{
    delete m_localFile;
}
