#pragma once

#include "model/KoFileConvertInfo.h"

class KoRemoteFile;

// One file of a copy made inside a phone (kind 2). Never stored in the transfer lists.
// It owns its file.
class KoFileCopyInfo : public KoFileConvertInfo
{
    Q_OBJECT
public:
    // Percent = copied * 100 / size, clamped to 0..100; state 0 while nothing is copied,
    // 1 while the size exceeds the copied bytes, else 2. A file of size 0 (or less) counts
    // as done: 100 % and state 2.
    KoFileCopyInfo(int taskId, KoRemoteFile* file, const QString& remoteServer, qint64 copiedSize,
                   QObject* parent = nullptr);
    ~KoFileCopyInfo() override;

    KoRemoteFile* getRemoteFile() const { return m_remoteFile; }

private:
    KoRemoteFile* m_remoteFile;
};
