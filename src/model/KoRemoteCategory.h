#pragma once

#include "model/KoAbstractFile.h"
#include "model/KoRemoteFilePath.h"

// One entry of a phone's category page, always a folder. Its size field holds the
// available size; the total size is kept apart.
// Category types: 1 "我的vu", 2 "相册", 3 "手机相册", 9 "手机存储", 11 "SD卡", 12 "zu".
class KoRemoteCategory : public KoAbstractFile
{
    Q_OBJECT
public:
    KoRemoteCategory(const QString& remoteServer, int categoryType, qint64 availableSize, qint64 totalSize);
    ~KoRemoteCategory() override;

    // The display name of a category type; empty for an unknown one.
    static QString nameOfCategory(int categoryType);

    QString getRemoteServer() const { return m_remoteServer; }
    int getCategoryType() const { return m_categoryType; }
    qint64 getTotalSize() const { return m_totalSize; }
    void setTotalSize(qint64 size) { m_totalSize = size; }
    // The category root: path "/" with the category's name.
    KoRemoteFilePath* getPath() { return &m_path; }
    const KoRemoteFilePath* getPath() const { return &m_path; }

private:
    QString m_remoteServer;
    int m_categoryType = 0;
    qint64 m_totalSize = 0;
    KoRemoteFilePath m_path;
};
