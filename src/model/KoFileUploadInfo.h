#pragma once

#include "model/KoFileConvertInfo.h"

class KoLocalFile;

// An upload record (kind 1). It owns its local file; the total size is the file's size
// at construction.
class KoFileUploadInfo : public KoFileConvertInfo
{
    Q_OBJECT
public:
    KoFileUploadInfo(int taskId, KoLocalFile* localFile, int category, const QString& dstDirPath, int uid,
                     int deviceType, const QString& deviceId, QObject* parent = nullptr);
    ~KoFileUploadInfo() override;

    KoLocalFile* getLocalFile() const { return m_localFile; }
    QString getDstDirPath() const { return m_dstDirPath; }
    int getCategory() const { return m_category; }
    QString getUploadFid() const { return m_uploadFid; }
    void setUploadFid(const QString& fid) { m_uploadFid = fid; }

private:
    KoLocalFile* m_localFile;
    int m_category;
    QString m_dstDirPath;
    QString m_uploadFid;
};
