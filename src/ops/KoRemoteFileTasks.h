#pragma once

#include "ops/KoRemoteFileTask.h"

#include <QList>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QStringList>

class KoRemoteFile;

// (local target path, remote file) of a group download; the group task owns the file.
using KoDownloadPair = QPair<QString, KoRemoteFile*>;
using KoDownloadPairList = QList<KoDownloadPair>;

// ---------------------------------------------------------------------------------------
// Group download: never makes a request of its own; it gathers the files of a selection
// while the sub-listings of its folders come back.
class KoRemoteFileGroupDownloadTaskBase : public KoRemoteFileTask
{
    Q_OBJECT
public:
    ~KoRemoteFileGroupDownloadTaskBase() override;
    void execute() override { markStarted(); }

    KoDownloadPairList* getSrcPathList() const { return m_pairs; }
    int getCategory() const { return m_category; }
    QString getDstDirPath() const { return m_dstDirPath; }
    // Takes over the files of the pairs.
    void appendSrcPathList(KoDownloadPairList& pairs);
    void removeSonTask(int id);
    bool isSonTaskListEmpty();

protected:
    KoRemoteFileGroupDownloadTaskBase(int taskId, int uid, int deviceType, QString deviceId, QString remoteServer,
                                      int version, int category, KoDownloadPairList& pairs, QString dstDirPath,
                                      QList<int>& sonTaskIds, QObject* parent);

private:
    QMutex m_sonMutex;
    QList<int> m_sonTaskIds;
    KoDownloadPairList* m_pairs;
    int m_category;
    QString m_dstDirPath;
};

class KoRemoteFileGroupDownloadTaskV2 : public KoRemoteFileGroupDownloadTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileGroupDownloadTaskV2(int taskId, int uid, int deviceType, QString deviceId, QString remoteServer,
                                    int category, KoDownloadPairList& pairs, QString dstDirPath,
                                    QList<int>& sonTaskIds, QObject* parent = nullptr);
};

class KoRemoteFileGroupDownloadTaskV3 : public KoRemoteFileGroupDownloadTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileGroupDownloadTaskV3(int taskId, int uid, int deviceType, QString deviceId, int category,
                                    KoDownloadPairList& pairs, QString dstDirPath, QList<int>& sonTaskIds,
                                    QObject* parent = nullptr);
};

// ---------------------------------------------------------------------------------------
// One base per kind holds what the task names; the LAN (V2) and relay (V3) classes below it
// add only their constructor and request, so the operator reads each kind through its base.

class KoRemoteFileDownloadTaskBase : public KoRemoteFileTask
{
    Q_OBJECT
public:
    qint64 getOffset() const { return m_offset; }
    int getCsVersion() const { return m_csVersion; }
    int getCategory() const { return m_category; }
    QString getSrcFilePath() const { return m_srcFilePath; }
    QString getDstFilePath() const { return m_dstFilePath; }
    QString getChecksum() const { return m_checksum; }

protected:
    KoRemoteFileDownloadTaskBase(int taskId, Route route, int category, QString srcFilePath, QString dstFilePath,
                                 qint64 offset, int csVersion, QString checksum, QObject* parent);

    qint64 m_offset;
    int m_csVersion;
    int m_category;
    QString m_srcFilePath;
    QString m_dstFilePath;
    QString m_checksum;
};

// The file name is the relay's; on the LAN it is empty and the phone takes the source's.
class KoRemoteFileUploadTaskBase : public KoRemoteFileTask
{
    Q_OBJECT
public:
    qint64 getOffset() const { return m_offset; }
    int getValid() const { return m_valid; }
    int getCategory() const { return m_category; }
    QString getSrcFilePath() const { return m_srcFilePath; }
    QString getDstDirPath() const { return m_dstDirPath; }
    QString getFileName() const { return m_fileName; }
    QString getUploadFid() const { return m_uploadFid; }

protected:
    KoRemoteFileUploadTaskBase(int taskId, Route route, QString srcFilePath, QString fileName, int category,
                               QString dstDirPath, int valid, qint64 offset, QString uploadFid, QObject* parent);
    // Short files go up in one in-memory request.
    bool isShortUpload() const;

    qint64 m_offset;
    int m_valid;
    int m_category;
    QString m_srcFilePath;
    QString m_dstDirPath;
    QString m_fileName;
    QString m_uploadFid;
};

class KoRemoteFileRenameTaskBase : public KoRemoteFileTask
{
    Q_OBJECT
public:
    int getCategory() const { return m_category; }
    QString getRenameFilePath() const { return m_renameFilePath; }
    QString getNewName() const { return m_newName; }

protected:
    KoRemoteFileRenameTaskBase(int taskId, Route route, int category, QString renameFilePath, QString newName,
                               QObject* parent);

    int m_category;
    QString m_renameFilePath;
    QString m_newName;
};

class KoRemoteFileMkdirTaskBase : public KoRemoteFileTask
{
    Q_OBJECT
public:
    int getCategory() const { return m_category; }
    QString getNewDirPath() const { return m_newDirPath; }

protected:
    KoRemoteFileMkdirTaskBase(int taskId, Route route, int category, QString newDirPath, QObject* parent);

    int m_category;
    QString m_newDirPath;
};

class KoRemoteFileDeleteTaskBase : public KoRemoteFileTask
{
    Q_OBJECT
public:
    int getCategory() const { return m_category; }
    QStringList getFilePathList() const { return m_paths; }

protected:
    KoRemoteFileDeleteTaskBase(int taskId, Route route, int category, QStringList paths, QObject* parent);

    int m_category;
    QStringList m_paths;
};

class KoRemoteFileGetSubListTaskBase : public KoRemoteFileTask
{
    Q_OBJECT
public:
    int getParentTaskId() const { return m_parentTaskId; }
    int getCategory() const { return m_category; }
    QString getSrcDirPath() const { return m_srcDirPath; }
    QString getDstDirPath() const { return m_dstDirPath; }

protected:
    KoRemoteFileGetSubListTaskBase(int taskId, int parentTaskId, Route route, int category, QString srcDirPath,
                                   QString dstDirPath, QObject* parent);

    int m_parentTaskId;
    int m_category;
    QString m_srcDirPath;
    QString m_dstDirPath;
};

class KoRemoteFileGetFileListTaskBase : public KoRemoteFileTask
{
    Q_OBJECT
public:
    int getCategory() const { return m_category; }
    QString getSrcDirPath() const { return m_srcDirPath; }

protected:
    KoRemoteFileGetFileListTaskBase(int taskId, Route route, int category, QString srcDirPath, QObject* parent);

    int m_category;
    QString m_srcDirPath;
};

class KoRemoteFileMoveTaskBase : public KoRemoteFileTask
{
    Q_OBJECT
public:
    int getSrcCategory() const { return m_srcCategory; }
    int getDstCategory() const { return m_dstCategory; }
    QStringList getFilePathList() const { return m_paths; }
    QString getDstDirPath() const { return m_dstDirPath; }

protected:
    KoRemoteFileMoveTaskBase(int taskId, Route route, int srcCategory, QStringList paths, int dstCategory,
                             QString dstDirPath, QObject* parent);

    int m_srcCategory;
    int m_dstCategory;
    QStringList m_paths;
    QString m_dstDirPath;
};

// Temporary copy and thumbnail share their fields: a file on the phone fetched to a local path.
class KoRemoteFileFetchTaskBase : public KoRemoteFileTask
{
    Q_OBJECT
public:
    int getCategory() const { return m_category; }
    QString getSrcFilePath() const { return m_srcFilePath; }
    QString getDstFilePath() const { return m_dstFilePath; }

protected:
    KoRemoteFileFetchTaskBase(int taskId, int taskType, Route route, int category, QString srcFilePath,
                              QString dstFilePath, QObject* parent);

    int m_category;
    QString m_srcFilePath;
    QString m_dstFilePath;
};

// Resume negotiation before an upload: what the phone holds of the file decides the offset.
class KoRemoteFileUploadCheckSumTaskBase : public KoRemoteFileTask
{
    Q_OBJECT
public:
    bool isValid() const { return m_valid; }
    qint64 getBytesRead() const { return m_bytesRead; }
    int getCategory() const { return m_category; }
    QString getSrcFilePath() const { return m_srcFilePath; }
    QString getDstDirPath() const { return m_dstDirPath; }
    // The relay's; empty on the LAN.
    QString getFileName() const { return m_fileName; }
    QString getUploadFid() const { return m_uploadFid; }
    // Compares the phone's checksum of its partial file with the local file's.
    void takeCheckSumAnswer(int csVersion, const QString& checksum, qint64 haveRead);

protected:
    KoRemoteFileUploadCheckSumTaskBase(int taskId, Route route, QString srcFilePath, QString fileName, int category,
                                       QString dstDirPath, QString uploadFid, QObject* parent);

    bool m_valid = false;
    qint64 m_bytesRead = 0;
    int m_category;
    QString m_srcFilePath;
    QString m_dstDirPath;
    QString m_fileName;
    QString m_uploadFid;
};

// ---------------------------------------------------------------------------------------
// LAN route (task version 2): the phone is addressed by its base URL.

class KoRemoteFileDownloadTaskV2 : public KoRemoteFileDownloadTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileDownloadTaskV2(int taskId, QString deviceId, QString remoteServer, int category, QString srcFilePath,
                               QString dstFilePath, qint64 offset, int csVersion, QString checksum,
                               QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileUploadTaskV2 : public KoRemoteFileUploadTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileUploadTaskV2(int taskId, QString deviceId, QString remoteServer, QString srcFilePath, int category,
                             QString dstDirPath, int valid, qint64 offset, QString uploadFid,
                             QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileRenameTaskV2 : public KoRemoteFileRenameTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileRenameTaskV2(int taskId, QString deviceId, QString remoteServer, int category, QString renameFilePath,
                             QString newName, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileMkdirTaskV2 : public KoRemoteFileMkdirTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileMkdirTaskV2(int taskId, QString deviceId, QString remoteServer, int category, QString newDirPath,
                            QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileDeleteTaskV2 : public KoRemoteFileDeleteTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileDeleteTaskV2(int taskId, QString deviceId, QString remoteServer, int category, QStringList& paths,
                             QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileGetSubListTaskV2 : public KoRemoteFileGetSubListTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileGetSubListTaskV2(int taskId, int parentTaskId, QString deviceId, QString remoteServer, int category,
                                 QString srcDirPath, QString dstDirPath, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileGetFileListTaskV2 : public KoRemoteFileGetFileListTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileGetFileListTaskV2(int taskId, QString deviceId, QString remoteServer, int category,
                                  QString srcDirPath, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileMoveTaskV2 : public KoRemoteFileMoveTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileMoveTaskV2(int taskId, QString deviceId, QString remoteServer, int srcCategory, QStringList& paths,
                           int dstCategory, QString dstDirPath, QObject* parent = nullptr);
    void execute() override;
};

// Copy, its progress and its cancel exist on the LAN only.
class KoRemoteFileCopyTaskV2 : public KoRemoteFileTask
{
    Q_OBJECT
public:
    KoRemoteFileCopyTaskV2(int taskId, QString remoteServer, int srcCategory, QStringList& paths, int dstCategory,
                           QString dstDirPath, QObject* parent = nullptr);
    void execute() override;
    int getSrcCategory() const { return m_srcCategory; }
    int getDstCategory() const { return m_dstCategory; }
    QString getDstDirPath() const { return m_dstDirPath; }
    QStringList getFilePathList() const { return m_paths; }

private:
    int m_srcCategory;
    int m_dstCategory;
    QString m_dstDirPath;
    QStringList m_paths;
};

class KoRemoteFileCopyProgressTaskV2 : public KoRemoteFileTask
{
    Q_OBJECT
public:
    KoRemoteFileCopyProgressTaskV2(int taskId, QString remoteServer, int askId, QObject* parent = nullptr);
    void execute() override;
    int getAskId() const { return m_askId; }

private:
    int m_askId;
};

class KoRemoteFileCopyCancelTaskV2 : public KoRemoteFileTask
{
    Q_OBJECT
public:
    KoRemoteFileCopyCancelTaskV2(int taskId, QString remoteServer, int cancelId, QObject* parent = nullptr);
    void execute() override;
    int getCancelId() const { return m_cancelId; }

private:
    int m_cancelId;
};

class KoRemoteFileTmpFileTaskV2 : public KoRemoteFileFetchTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileTmpFileTaskV2(int taskId, QString deviceId, QString remoteServer, int category, QString srcFilePath,
                              QString dstFilePath, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileThumbnailTaskV2 : public KoRemoteFileFetchTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileThumbnailTaskV2(int taskId, QString deviceId, QString remoteServer, int category, QString srcFilePath,
                                QString dstFilePath, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileGetCategoryIndexTask : public KoRemoteFileTask
{
    Q_OBJECT
public:
    KoRemoteFileGetCategoryIndexTask(int taskId, QString deviceId, QString remoteServer, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileUploadCheckSumTaskV2 : public KoRemoteFileUploadCheckSumTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileUploadCheckSumTaskV2(int taskId, QString deviceId, QString remoteServer, QString srcFilePath,
                                     int category, QString dstDirPath, QString uploadFid, QObject* parent = nullptr);
    void execute() override;
};

// ---------------------------------------------------------------------------------------
// Relay route (task version 3): the phone is addressed by its owner, device id and type.

class KoRemoteFileDownloadTaskV3 : public KoRemoteFileDownloadTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileDownloadTaskV3(int taskId, int uid, int deviceType, QString deviceId, int category,
                               QString srcFilePath, QString dstFilePath, qint64 offset, int csVersion,
                               QString checksum, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileUploadTaskV3 : public KoRemoteFileUploadTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileUploadTaskV3(int taskId, int uid, int deviceType, QString deviceId, QString srcFilePath,
                             QString fileName, int category, QString dstDirPath, int valid, qint64 offset,
                             QString uploadFid, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileRenameTaskV3 : public KoRemoteFileRenameTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileRenameTaskV3(int taskId, int uid, int deviceType, QString deviceId, int category,
                             QString renameFilePath, QString newName, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileMkdirTaskV3 : public KoRemoteFileMkdirTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileMkdirTaskV3(int taskId, int uid, int deviceType, QString deviceId, int category, QString newDirPath,
                            QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileDeleteTaskV3 : public KoRemoteFileDeleteTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileDeleteTaskV3(int taskId, int uid, int deviceType, QString deviceId, int category, QStringList& paths,
                             QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileGetSubListTaskV3 : public KoRemoteFileGetSubListTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileGetSubListTaskV3(int taskId, int parentTaskId, int uid, int deviceType, QString deviceId,
                                 int category, QString srcDirPath, QString dstDirPath, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileGetFileListTaskV3 : public KoRemoteFileGetFileListTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileGetFileListTaskV3(int taskId, int uid, int deviceType, QString deviceId, int category,
                                  QString srcDirPath, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileMoveTaskV3 : public KoRemoteFileMoveTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileMoveTaskV3(int taskId, int uid, int deviceType, QString deviceId, int srcCategory, QStringList& paths,
                           int dstCategory, QString dstDirPath, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileTmpFileTaskV3 : public KoRemoteFileFetchTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileTmpFileTaskV3(int taskId, int uid, int deviceType, QString deviceId, int category,
                              QString srcFilePath, QString dstFilePath, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileThumbnailTaskV3 : public KoRemoteFileFetchTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileThumbnailTaskV3(int taskId, int uid, int deviceType, QString deviceId, int category,
                                QString srcFilePath, QString dstFilePath, QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileGetCategoryIndexTaskV3 : public KoRemoteFileTask
{
    Q_OBJECT
public:
    KoRemoteFileGetCategoryIndexTaskV3(int taskId, int uid, int deviceType, QString deviceId,
                                       QObject* parent = nullptr);
    void execute() override;
};

class KoRemoteFileUploadCheckSumTaskV3 : public KoRemoteFileUploadCheckSumTaskBase
{
    Q_OBJECT
public:
    KoRemoteFileUploadCheckSumTaskV3(int taskId, int uid, int deviceType, QString deviceId, QString srcFilePath,
                                     QString fileName, int category, QString dstDirPath, QString uploadFid,
                                     QObject* parent = nullptr);
    void execute() override;
};
