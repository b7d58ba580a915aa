#pragma once

#include <QAtomicInt>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

#include "ops/KoRemoteFileTasks.h"

class KoAbstractFile;
class KoBaseFacility;
class KoClientHelper;
class KoFileConvertInfo;
class KoFileCopyInfo;
class KoFileDownloadInfo;
class KoFileUploadInfo;
class KoRemoteCategory;
class KoRemoteFile;
class QTimer;

// The one object through which the user interface works on a phone's files. Every request
// becomes a task (KoRemoteFileTask); listing and file operations start at once, transfers,
// thumbnails and the folders of a folder upload wait for the 500 ms scheduler, which runs at
// most five transfers and five thumbnail/new-folder requests at a time. Results come back by
// task id and reach the user interface as the signals below, V2-named whatever the route.
//
// Lists in signals: getFileListSuccessV2, getCategoryListSuccess, fileCopyStartV2 and
// fileCopyProgressV2 hand over a new list that the one receiver owns together with its
// records and must delete. Connect exactly one owning receiver to each of them; when none is
// connected the operator deletes the list itself.
//
// Transfer lists: the list pointers stay the same for the operator's life; every change of a
// list is told by a signal, and the lists reach "fileConvertData.KoInfo" soon after a change
// and at exit (docs/protocol.md, "Transfer-list file").
//
// No signal is emitted while one of the operator's locks is held, so a receiver connected
// directly may call back into the operator. Everything runs on the GUI thread.
class KoRemoteFileOperator : public QObject
{
    Q_OBJECT
public:
    // Transfer list selectors.
    enum ListSelector : int { ListDownloading = 100, ListUploading = 200, ListFinished = 300 };
    // The transfer-list file below the application-data folder, and how soon a change is saved.
    static const char* const kConvertListFileName; // "fileConvertData.KoInfo"
    static constexpr int kSaveDelayMs = 1000;
    // Scheduler limits.
    static constexpr int kMaxRunningTransfers = 5;
    static constexpr int kMaxRunningThumbnails = 5;
    static constexpr int kSchedulerIntervalMs = 500;

    static KoRemoteFileOperator* getInstance();
    // True while the instance exists (does not create one).
    static bool hasInstance();
    ~KoRemoteFileOperator() override;

    // --- task list and ids ---------------------------------------------------------
    int getFileTaskId();
    bool insertTaskInList(KoRemoteFileTask* task);
    // The caller owns the returned task; its scheduler slot, if any, is given back.
    KoRemoteFileTask* popTaskFromList(int taskId);
    KoRemoteFileTask* getTaskFromList(int taskId);
    bool removeTaskFromList(int taskId);
    // Empties the task list, handing its tasks over.
    void takeAllTasks(QSet<QObject*>& into);
    // Running tasks that hold a scheduler slot, by kind.
    int getRunningTransferCount();
    int getRunningThumbnailCount();

    // --- entry points of the task callbacks --------------------------------------------
    // They reach the live operator by task id; without one, the records they carry are freed.
    static void deliverResultV2(int taskId, int code, QList<KoAbstractFile*>* list, QList<KoFileCopyInfo*>* copyList);
    static void deliverResultV3(int taskId, int code, QList<KoAbstractFile*>* list);
    static void deliverProgressV2(int taskId, qint64 done, qint64 total);
    static void deliverProgressV3(int taskId, qint64 done, qint64 total);
    // The phone's answer about a partial upload, for the upload-checksum task with that id.
    static void deliverCheckSum(int taskId, int csVersion, const QString& checksum, qint64 haveRead);

    // --- listing and file operations, LAN route ----------------------------------------
    void getCategoryIndexStart(QString remoteServer, QString deviceId);
    void getFileListStartV2(int category, QString remoteDirPath, QString remoteServer, QString deviceId);
    void renameFileV2(QString deviceId, int category, KoRemoteFile* file, QString newName);
    void makeDiretoryV2(int category, QString newDirPath, QString remoteServer, QString deviceId);
    void deleteFileV2(int category, QStringList paths, QString remoteServer, QString deviceId);
    void moveFileV2(int srcCategory, QStringList paths, int dstCategory, QString dstDirPath, QString remoteServer,
                    QString deviceId);
    void getFileCopyStartV2(int srcCategory, QStringList paths, int dstCategory, QString dstDirPath,
                            QString remoteServer);
    void askFileCopyProgressV2(int askId, QString remoteServer);
    void cancelFileCopyV2(int cancelId, QString remoteServer);

    // --- listing and file operations, relay route (the device is read, not kept) -------
    void getCategoryIndexStartV3(KoBaseFacility* device);
    void getFileListStartV3(int category, QString remoteDirPath, KoBaseFacility* device);
    void renameFileV3(int category, KoRemoteFile* file, QString newName, KoBaseFacility* device);
    void makeDiretoryV3(int category, QString newDirPath, KoBaseFacility* device);
    void deleteFileV3(int category, QStringList paths, KoBaseFacility* device);
    void moveFileV3(int srcCategory, QStringList paths, int dstCategory, QString dstDirPath, KoBaseFacility* device);

    // --- thumbnail and temporary-copy caches ---------------------------------------------
    // Lower-case MD5 of "<absolute path>@<device id>": the same on both routes.
    static QString cacheKey(const QString& remotePath, const QString& deviceId);
    QString getThumbnailPathV2(int category, KoRemoteFile* file, QString deviceId);
    QString getThumbnailPathV3(int category, KoRemoteFile* file, KoBaseFacility* device);
    bool isThumbnailExistV2(KoRemoteFile* file, QString deviceId);
    bool isThumbnailExistV3(KoRemoteFile* file, KoBaseFacility* device);
    QString getTmpFilePathV2(int category, KoRemoteFile* file, QString deviceId);
    QString getTmpFilePathV3(int category, KoRemoteFile* file, KoBaseFacility* device);
    void eraseThumbnail(QString key);
    void eraseTmpFile(QString key);
    void clearThumbnail();
    void clearTmpFile();
    QString getThumbnailDir() const;
    QString getTmpFileDir() const;

    // --- transfer records and lists -------------------------------------------------------
    QList<KoFileConvertInfo*>* getDownLoadingList() const { return m_downloading.list; }
    QList<KoFileConvertInfo*>* getUploadingList() const { return m_uploading.list; }
    QList<KoFileConvertInfo*>* getConvertedList() const { return m_finished.list; }
    KoFileConvertInfo* getInfoFromConvertList(int taskId, int selector);
    KoFileConvertInfo* popInfoFromConvertList(int taskId, int selector);
    void addInfoToConvertList(KoFileConvertInfo* info, int selector, bool atFront);
    // Gives a listed record a new task id and keeps the id index in step.
    void setConvertInfoTaskId(KoFileConvertInfo* info, int selector, int taskId);
    void getConvertingCount(int& download, int& upload);
    void incConvertingCount(int selector);
    // Raises the count without telling; the caller emits convertCountChanged itself.
    void raiseConvertingCount(int selector);
    void emitConvertCount();
    void decConvertingCount(int selector);
    void cancelFileDownload(int taskId);
    void pauseFileDownload(int taskId);
    void removeDownloadErrorTask(int taskId);
    void cancelFileUpload(int taskId);
    void pauseFileUpload(int taskId);
    void removeUploadErrorTask(int taskId);
    void removeConvertedTask(int taskId);
    void clearConvertedList();
    void clearConvertList(int selector);
    void clearAllFailedDownload();
    void clearAllFailedUpload();
    void clearDownloadList();
    void clearUploadList();
    void checkDownloadListComplete();
    void checkUploadListComplete();
    void loadConvertList();
    // Empties the three lists, handing their records over.
    void takeAllConvertRecords(QSet<QObject*>& into);
    // Delete the objects (children of this one or not) in linear time.
    void deleteConvertRecords(const QList<KoFileConvertInfo*>& records);
    void deleteInChildOrder(QSet<QObject*> doomed);
    void loadConvertLines(const QByteArray& content);
    void saveConvertList();
    QString getConvertListPath() const;

    // --- downloads ---------------------------------------------------------------------
    void getFileGroupDownloadStartV2(int category, QList<KoRemoteFile*>& files, QString dstDirPath,
                                     KoBaseFacility* device);
    void getFileGroupDownloadStartV3(int category, QList<KoRemoteFile*>& files, QString dstDirPath,
                                     KoBaseFacility* device);
    void fileGroupDownloadRespond(int taskId, int mode);
    void getFileRetryDownloadStart(int taskId);
    void allFailedDownloadRetry();
    int checkGroupDownloadTaskSrcPathListV2(KoRemoteFileGroupDownloadTaskV2* task);
    int checkGroupDownloadTaskSrcPathListV3(KoRemoteFileGroupDownloadTaskV3* task);
    void startGroupDownloadTaskDownloadV2(KoRemoteFileGroupDownloadTaskV2* task, int mode);
    void startGroupDownloadTaskDownloadV3(KoRemoteFileGroupDownloadTaskV3* task, int mode);
    static bool isLocalFileExist(QString path);
    // The local path for a name taken from a phone, below baseDir: relative is one or more
    // "/"-separated components; "", ".", "..", and components holding "\\" or NUL are refused,
    // and so is any result that would not lie below baseDir. Empty when refused.
    static QString makeSafeLocalPath(const QString& baseDir, const QString& relative);

    // --- uploads -------------------------------------------------------------------------
    void getFileUploadStartV2(QString localFilePath, int category, QString dstDirPath, int uid, int deviceType,
                              QString deviceId, QString remoteServer);
    void getFileUploadStartV3(QString localFilePath, int category, QString dstDirPath, int uid, int deviceType,
                              QString deviceId);
    void getDirUploadStartV2(QString localDirPath, int category, QString dstDirPath, int uid, int deviceType,
                             QString deviceId, QString remoteServer);
    void getDirUploadStartV3(QString localDirPath, int category, QString dstDirPath, int uid, int deviceType,
                             QString deviceId);
    void getFileRetryUploadStart(int taskId);
    void allFailedUploadRetry();

public slots:
    void onTaskExecuteResultV2(int taskId, int code, QList<KoAbstractFile*>* list, QList<KoFileCopyInfo*>* copyList);
    void onTaskExecuteResultV3(int taskId, int code, QList<KoAbstractFile*>* list);
    void onTaskProgressV2(int taskId, qint64 done, qint64 total);
    void onTaskProgressV3(int taskId, qint64 done, qint64 total);

    // Orders the transfer pages may rely on:
    // - A download answer's resume checkpoint (the phone's offset and checksum, kept in the
    //   record) is taken before that answer's first progress report.
    // - fileDownloadPause / fileUploadPause come once the record is paused (state 4), its task
    //   is off the task list and its request has ended: a receiver may retry it at once.
signals:
    void fileDownloadCancel(int taskId);
    void fileDownloadPause(int taskId);
    void fileDownloadErrorTaskMove(int taskId);
    void fileDownloadStartV2(QString localFilePath);
    void fileDownloadSuccessV2(QString localFilePath);
    void fileDownloadErrorV2(QString localFilePath);
    void allDownloadsSuccessV2(int failed);
    void fileUploadCancel(int taskId);
    void fileUploadPause(int taskId);
    void fileUploadErrorTaskMove(int taskId);
    void fileConvertedTaskMove(int taskId);
    void fileGroupDownloadQuery(int taskId, int fileCount, QString deviceId);
    void fileUploadStartV2(QString localFilePath, QString deviceId);
    void fileUploadSuccessV2(QString remoteFilePath, QString deviceId);
    void fileUploadErrorV2(QString remoteFilePath, QString deviceId);
    void allUploadSuccessV2(int failed);
    void fileCopyStartV2(int taskId, QString remoteServer, QList<KoFileCopyInfo*>* list);
    void fileCopyProgressV2(int taskId, QList<KoFileCopyInfo*>* list);
    void fileCopyErrorV2(int taskId, QString remoteServer);
    void renameFileFinishedV2(QString renameFilePath, QString deviceId);
    void renameFileFailedV2(int code, QString deviceId);
    void makeDiretoryFinishedV2(QString newDirPath, QString deviceId);
    void makeDirectoryFailedV2(int code, QString deviceId);
    void deleteFileFinishedV2(QString deleteFilePath, QString deviceId);
    void moveFileFinishedV2(QString srcFilePath, QString dstDirPath, QString deviceId);
    // A delete or move the phone refused or did only in part (code 4 when it answered 0 but
    // named entries it left alone); the finished signal still comes for a partial one.
    void deleteFileFailedV2(int code, QString deviceId);
    void moveFileFailedV2(int code, QString deviceId);
    void thumbnailDownloadFinishedV2(QString thumbnailFilePath, QString deviceId);
    void tmpFileDownloadFinishedV2(QString localPath);
    void tmpFileDownloadErrorV2(QString remotePath);
    void getFileListSuccessV2(int category, QString remoteDirPath, QString deviceId, QList<KoRemoteFile*>* list);
    void getCategoryListSuccess(QString deviceId, QList<KoRemoteCategory*>* list);
    void uploadTaskProgressV2(int taskId, int progress);
    void downloadTaskProgressV2(int taskId, int progress);
    // A non-transfer task ran out of time; also a category index (14) or a folder listing (7)
    // that failed in any other way than code 100, so that every listing ends in a signal.
    void taskExecuteTimeoutV2(int taskType, QString deviceId);
    void taskExecuteNoPermission(int taskType, QString deviceId);
    void convertCountChanged(int download, int upload);

private slots:
    void onCheckTaskTimer();
    void onConvertInfoUpdate(int taskId, qlonglong haveRead, int csVersion, QString checksum);

private:
    explicit KoRemoteFileOperator(QObject* parent = nullptr);

    // Inserts the task and starts it at once, outside the scheduler's slots.
    void startTaskNow(KoRemoteFileTask* task);
    // Asks for a scheduler pass on the next turn of the event loop (one at a time).
    void requestSchedulerPass();
    // Starts a restarted transfer in the slot its predecessor gave up.
    void startTransferInSlot(KoRemoteFileTask* task);
    // Under the task-list lock: takes the next startable tasks of a queue into its pool, up to
    // the pool's limit.
    void takeFromQueueLocked(QList<int>& queue, QSet<int>& pool, int limit, QList<int>& toStart);
    // Sets the waiting record of a download or upload task that is being started to transferring.
    void markTransferring(KoRemoteFileTask* task);

    // One record list with its lock and an id index beside it.
    struct ConvertList {
        QList<KoFileConvertInfo*>* list = nullptr;
        QMutex* mutex = nullptr;
        QHash<int, KoFileConvertInfo*> byTaskId;
        // The downloading list's records per target key (and so per partial file), so that a
        // start finds every other owner of its files without walking the list.
        QHash<QString, int> targets;
    };
    ConvertList* convertList(int selector);
    // Under the list's lock: the record with that id, through the index when it is current.
    KoFileConvertInfo* findInfoLocked(ConvertList& list, int taskId);
    // Under the list's lock: counts a record of the downloading list in (delta 1) or out (-1) of
    // the file index; the other lists keep none.
    void indexFilesLocked(ConvertList& list, KoFileConvertInfo* info, int delta);
    static void clearIndexLocked(ConvertList& list);
    // How many records of the downloading list have the target of that key.
    int listedDownloadsOf(const QString& key);

    // Result handling by task kind; each frees every record of its lists it does not hand on.
    void handleResult(KoRemoteFileTask* task, int code, QList<KoAbstractFile*>* list,
                      QList<KoFileCopyInfo*>* copyList);
    void handleCategoryIndexResult(KoRemoteFileTask* task, int code, QList<KoAbstractFile*>* list);
    void handleFileListResult(KoRemoteFileTask* task, int code, QList<KoAbstractFile*>* list);
    void handleCopyResult(KoRemoteFileTask* task, int code, QList<KoFileCopyInfo*>* copyList);
    void handleCopyProgressResult(KoRemoteFileTask* task, int code, QList<KoFileCopyInfo*>* copyList);
    void handleThumbnailResult(KoRemoteFileTask* task, int code);
    void handleTmpFileResult(KoRemoteFileTask* task, int code);
    void handleNoPermission(KoRemoteFileTask* task);
    void handleTimeout(KoRemoteFileTask* task);
    // Transfers (group download, downloads, uploads).
    void handleSubListResult(KoRemoteFileTask* task, int code, QList<KoAbstractFile*>* list);
    void handleDownloadResult(KoRemoteFileTask* task, int code);
    void handleUploadResult(KoRemoteFileTask* task, int code);
    void handleUploadCheckSumResult(KoRemoteFileTask* task, int code);
    void restartDownloadAfterTimeout(KoRemoteFileTask* task);
    void restartUploadAfterTimeout(KoRemoteFileTask* task);
    void forgetCachedCopies(const QString& remotePath, const QString& deviceId);
    // The cached copy's path, or "" while one fetch of it (a thumbnail through the scheduler,
    // a temporary copy at once) is made by the task that make builds.
    using FetchTaskMaker =
        std::function<KoRemoteFileTask*(int taskId, const QString& remotePath, const QString& localPath)>;
    QString cachedFetch(bool thumbnail, KoRemoteFile* file, const QString& deviceId, const FetchTaskMaker& make);

    // Transfer records (KoRemoteFileOperatorTransfer.cpp).
    // Takes the record's task off the list and stops it: a running download is cancelled
    // (partial dropped) or paused (partial kept), a running upload cancelled.
    void stopRecordTask(int taskId, int selector, bool cancel);
    // Removes and returns every record of a list that the predicate picks, keeping the index.
    QList<KoFileConvertInfo*> takeConvertInfos(int selector, const std::function<bool(KoFileConvertInfo*)>& pick);
    QList<KoFileConvertInfo*> snapshotConvertList(int selector);
    // A record's line in the transfer-list file as last written, with what it was made from:
    // a save makes the lines of changed records only (JSON is most of a save's cost).
    struct StoredLine {
        int taskId = -1;
        int state = -1;
        int progress = -1;
        int csVersion = 0;
        qint64 totalSize = 0;
        qint64 convertedSize = 0;
        qint64 haveRead = 0;
        qint64 finishedTime = 0;
        qint64 lastModified = 0;
        qint64 reached = -1; // the point stored for a transfer under way
        QString checksum;
        QString uploadFid;
        QString deviceName;
        QString usrNick;
        QByteArray line;
        bool sameSource(const StoredLine& o) const;
    };
    static StoredLine storedSourceOf(KoFileConvertInfo* info);
    // Writes the lists; the final write (at exit) also marks running transfers paused.
    bool writeConvertList(bool final);
    void scheduleConvertListSave();
    void onSaveTimer();

    // Downloads (KoRemoteFileOperatorDownload.cpp).
    void startGroupDownload(bool lan, int category, QList<KoRemoteFile*>& files, const QString& dstDirPath,
                            KoBaseFacility* device);
    int countExistingTargets(KoRemoteFileGroupDownloadTaskBase* group);
    // Asks or queues once no sub-listing of the group is pending.
    void continueGroupDownload(KoRemoteFileGroupDownloadTaskBase* group, const QString& deviceId);
    void queueGroupDownloads(KoRemoteFileGroupDownloadTaskBase* group, int mode);
    KoRemoteFileTask* newDownloadTask(bool lan, int taskId, int uid, int deviceType, const QString& deviceId,
                                      const QString& remoteServer, KoFileDownloadInfo* record);
    // The cleaned absolute form of a local path, by which downloads compare their files.
    static QString localKey(const QString& path);
    // Deletes the partial file of a download record that has left the list, unless another
    // listed record (one of a list of an earlier version) still resumes from it.
    void dropUnownedPartial(KoFileConvertInfo* info);
    void restartDownloadRecord(KoFileDownloadInfo* record, bool bulk);
    void failDownloadRecord(KoFileDownloadInfo* record, const QString& target, int reason);
    void countUnlistedDownloadFailure(const QString& what);

    // Uploads (KoRemoteFileOperatorUpload.cpp).
    void startFileUpload(bool lan, const QString& localFilePath, int category, const QString& dstDirPath, int uid,
                         int deviceType, const QString& deviceId, const QString& remoteServer);
    void startDirUpload(bool lan, const QString& localDirPath, int category, const QString& dstDirPath, int uid,
                        int deviceType, const QString& deviceId, const QString& remoteServer);
    QString makeUploadFid(const QString& fullName);
    void restartUploadRecord(KoFileUploadInfo* record, bool bulk);
    void failUploadRecord(KoFileUploadInfo* record, const QString& remotePath, const QString& deviceId);
    static QString uploadRemotePath(const QString& dstDirPath, const QString& localPath);
    // Whether the scheduler must hold this task back: its phone folder is still being made.
    bool waitsForFolderLocked(KoRemoteFileTask* task) const;
    static QString folderKey(const QString& deviceId, const QString& remotePath);
    void progress(int taskId, qint64 done, qint64 total);
    // Whether a signal has a receiver to take over the list it hands on.
    bool hasReceiver(const QMetaMethod& signal) const { return isSignalConnected(signal); }

    QPointer<KoClientHelper> m_client;
    ConvertList m_downloading;
    QAtomicInt m_activeDownloadCount;
    ConvertList m_uploading;
    QAtomicInt m_activeUploadCount;
    ConvertList m_finished;
    QHash<QString, QString>* m_thumbnailPaths = nullptr;
    QHash<QString, int>* m_thumbnailStates = nullptr;
    QHash<QString, QString>* m_tmpFilePaths = nullptr;
    QHash<QString, int>* m_tmpFileStates = nullptr;
    QTimer* m_checkTaskTimer = nullptr;
    QAtomicInt m_nextTaskId;
    QMutex* m_taskListMutex = nullptr;
    QList<KoRemoteFileTask*>* m_taskList = nullptr;
    QHash<int, KoRemoteFileTask*> m_taskById;
    // Ids of the tasks that hold a slot of each kind; the counts are their sizes.
    QSet<int> m_transferSlots;
    QSet<int> m_thumbnailSlots;
    // Ids of the tasks that may wait for a slot of each kind, in the order they came, so that a
    // pass looks at the next ones only, not at every listed task. Started and ended tasks leave
    // when a pass comes to them (guarded by the task-list mutex).
    QList<int> m_transferQueue;
    QList<int> m_thumbnailQueue;
    bool m_passRequested = false;
    // New-folder tasks of folder uploads still listed: task id -> folder key, and the count
    // of such tasks per key (guarded by the task-list mutex).
    QHash<int, QString> m_folderTaskKeys;
    QHash<QString, int> m_pendingFolders;
    // Upload ids handed out or loaded; a new one never repeats them.
    QSet<QString> m_uploadFids;
    // Download failures without a record (refused names, failed sub-listings), added to the
    // failed count of the next completion signal.
    int m_unlistedDownloadFailures = 0;
    QTimer* m_saveTimer = nullptr;
    // The lines of the last periodic save by record.
    QHash<const KoFileConvertInfo*, StoredLine> m_storedLines;
    int m_saveDelayMs = kSaveDelayMs;
    bool m_loading = false;
    // The list file exists but could not be read: it is never written in this run, so that
    // its records are not replaced by an empty list.
    bool m_listUnreadable = false;

    static KoRemoteFileOperator* s_instance;
    static QMutex s_mutex;
};
