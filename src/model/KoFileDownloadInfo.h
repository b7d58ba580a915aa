#pragma once

#include "model/KoFileConvertInfo.h"

class KoRemoteFile;

// A download record (kind 0). It owns its remote file.
class KoFileDownloadInfo : public KoFileConvertInfo
{
    Q_OBJECT
public:
    KoFileDownloadInfo(int taskId, int uid, int deviceType, const QString& deviceId, int category,
                       KoRemoteFile* remoteFile, const QString& localFilePath, QObject* parent = nullptr);
    ~KoFileDownloadInfo() override;

    KoRemoteFile* getRemoteFile() const { return m_remoteFile; }
    QString getLocalFilePath() const { return m_localFilePath; }
    int getCategory() const { return m_category; }
    QString getChecksum() const { return m_checksum; }
    void setChecksum(const QString& checksum) { m_checksum = checksum; }
    int getCsVersion() const { return m_csVersion; }
    void setCsVersion(int version) { m_csVersion = version; }
    // Why the download was refused before any byte moved, for the user; FailOther for every
    // other failure. Not stored: a retry tells it again.
    enum FailReason { FailOther = 0, FailNameNotHeld, FailReservedName, FailFolderInTheWay, FailListedTwice };
    int getFailReason() const { return m_failReason; }
    void setFailReason(int reason) { m_failReason = reason; }

private:
    int m_category;
    KoRemoteFile* m_remoteFile;
    QString m_localFilePath;
    QString m_checksum;
    int m_csVersion = -1;
    int m_failReason = FailOther;
};
