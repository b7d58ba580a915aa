#pragma once

#include "net/KoNetworkHelper.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class KoFileCopyInfo;
class KoRemoteCategory;
class KoRemoteFile;
class KoReplyType;
class QNetworkReply;
class QFile;

// The one client through which file operations and connection messages reach a phone:
// straight to the phone's own HTTP server on the LAN (operations ending in V2), through the
// file relay server (ending in Remote), plus the network-state query to the account server.
//
// Each kind of operation has one stored callback per route; a request replaces its kind's
// callback, and every answer or failure of that kind runs whatever callback is stored when it
// is reported, with the caller's request id first and the result code second. Result codes:
// 0 success, the phone's own "code" (1 when it has none), -1 time-out or empty answer,
// -2 empty answer with an HTTP error status, -3 request refused before sending.
// A result list is deleted right after its callback returns; its records belong to the
// receiver. On a failure reported by the client itself the list pointer is null.
//
// Failures known before anything is sent are reported on a later turn of the event loop,
// never inside the request call, so a caller holding its own state is not re-entered.
class KoClientHelper : public KoNetworkHelper
{
    Q_OBJECT
public:
    using ResultCallback = std::function<void(int id, int code)>;
    using CategoryCallback = std::function<void(int id, int code, QList<KoRemoteCategory*>* list)>;
    using FileListCallback = std::function<void(int id, int code, QList<KoRemoteFile*>* list)>;
    using SubFileListCallback = std::function<void(int id, int code, qint64 totalSize, QList<KoRemoteFile*>* list)>;
    using CopyListCallback = std::function<void(int id, int code, QList<KoFileCopyInfo*>* list)>;
    using ConnectStartCallback =
        std::function<void(int id, int code, QString deviceId, int deviceType, QString deviceName, int appVersion)>;
    using ReachableCallback = std::function<void(int id, int code, QString toDeviceId)>;
    using NetworkStateCallback =
        std::function<void(int id, int code, QString toDeviceId, QString ip, int port, int networkState)>;

    // Reply-type codes of this client's requests.
    enum : int {
        TypeCategoryIndexV2 = 101001,
        TypeFileListV2 = 101002,
        TypeDownloadV2 = 101003,
        TypeUploadV2 = 101004,
        TypeDeleteV2 = 101005,
        TypeRenameV2 = 101006,
        TypeNewFolderV2 = 101007,
        TypeThumbnailV2 = 101008,
        TypeSubFileListV2 = 101009,
        TypeMoveV2 = 101010,
        TypeCopyV2 = 101011,
        TypeCopyProgressV2 = 101012,
        TypeCancelCopyV2 = 101013,
        TypeAlbumListV2 = 101014,
        TypeAlbumFolderV2 = 101015,
        TypeAlbumDeleteV2 = 101016,
        TypeAskCheckSumV2 = 101017,
        TypeAskReachable = 101018,
        TypeUploadShortV2 = 101019,
        TypeDesktopStartConnect = 102001,
        TypeDisconnReRaze = 102002,
        TypeConnectFacility = 202001,
        TypeDisconnectFacility = 202002,
        TypeConnectFacilityRespond = 202003,
        TypeDisconnectFacilityRespond = 202004,
        TypeCategoryIndexRemote = 203001,
        TypeFileListRemote = 203002,
        TypeDownloadRemote = 203003,
        TypeUploadRemote = 203004,
        TypeDeleteRemote = 203005,
        TypeRenameRemote = 203006,
        TypeNewFolderRemote = 203007,
        TypeThumbnailRemote = 203008,
        TypeSubFileListRemote = 203009,
        TypeMoveRemote = 203010,
        TypeAlbumListRemote = 203011,
        TypeAlbumFolderRemote = 203012,
        TypeAlbumDeleteRemote = 203013,
        TypeAskCheckSumRemote = 203014,
        TypeUploadShortRemote = 203015,
        TypeUnknownPushRespond = 204001,
        TypeAskNetworkState = 205001,
    };

    // The phone's "code" for a refused operation for lack of permission.
    static constexpr int kCodeNoPermission = 100;
    // Downloads refused before any byte for their local name: the target's folder cannot hold
    // it, or it is a partial-file name (one ending with kDownloadSuffix as the disk compares).
    static constexpr int kCodeNameNotHeld = -5;
    static constexpr int kCodeReservedName = -6;
    // "code" put into the answer to a push this program cannot handle.
    static constexpr int kUnknownPushCode = 20000;
    static const char* const kVersionName; // "V3.2.0"
    static const char* const kVersionCode; // "85"

    static KoClientHelper* getInstance();
    // Aborts every pending request (no callback runs) and clears the instance pointer.
    ~KoClientHelper() override;

    void addHeaders(QMap<QString, QString>& headers);
    void addHeadersRemote(QMap<QString, QString>& headers, int toUid, QString toDeviceId, int toDeviceType);

    // --- listing -----------------------------------------------------------------
    void getCategoryIndex(int id, QString remoteServer, CategoryCallback callback);
    void getCategoryIndexRemote(int id, int toUid, QString toDeviceId, int toDeviceType, CategoryCallback callback);
    // Category 2 lists the albums at "/" and one album's photos below it (path = album id).
    void getFileListV2(int id, QString remoteServer, int category, QString path, FileListCallback callback);
    void getFileListRemote(int id, int toUid, QString toDeviceId, int toDeviceType, int category, QString path,
                           FileListCallback callback);
    void getSubFileListV2(int id, QString remoteServer, int category, QString path, SubFileListCallback callback);
    void getSubFileListRemote(int id, int toUid, QString toDeviceId, int toDeviceType, int category, QString path,
                              SubFileListCallback callback);

    // --- file operations ---------------------------------------------------------
    void newFolderV2(int id, QString baseUrl, int category, QString path, ResultCallback callback);
    void newFolderRemote(int id, int toUid, QString toDeviceId, int toDeviceType, int category, QString path,
                         ResultCallback callback);
    // Category 2 names photos by their file id.
    void deleteFileV2(int id, QString baseUrl, int category, QStringList files, FileListCallback callback);
    void deleteFileRemote(int id, int toUid, QString toDeviceId, int toDeviceType, int category, QStringList files,
                          FileListCallback callback);
    void renameFileV2(int id, QString baseUrl, int category, QString path, QString name, ResultCallback callback);
    void renameFileRemote(int id, int toUid, QString toDeviceId, int toDeviceType, int category, QString path,
                          QString name, ResultCallback callback);
    void moveFileV2(int id, QString baseUrl, int srcCategory, QStringList src, int dstCategory, QString dst,
                    FileListCallback callback);
    void moveFileRemote(int id, int toUid, QString toDeviceId, int toDeviceType, int srcCategory, QStringList src,
                        int dstCategory, QString dst, FileListCallback callback);
    void copyFileV2(int id, QString baseUrl, QString taskId, int srcCategory, QStringList src, int dstCategory,
                    QString dst, CopyListCallback callback);
    void copyFileProgressV2(int id, QString baseUrl, QString taskId, CopyListCallback callback);
    void cancelCopyFileV2(int id, QString baseUrl, QString taskId, ResultCallback callback);

    // --- LAN connection messages -------------------------------------------------
    void desktopStartConnect(int id, QString baseUrl, ConnectStartCallback callback);
    void disconnReRaze(int id, QString baseUrl, int toUid, ResultCallback callback);
    void askReachable(int id, QString baseUrl, int toUid, QString toDeviceId, int toDeviceType,
                      ReachableCallback callback);

    // --- relay connection messages and the network-state query -------------------
    void connectFacility(int id, int toUid, QString toDeviceId, int toDeviceType, ResultCallback callback);
    void disconnectFacility(int id, int toUid, QString toDeviceId, int toDeviceType, ResultCallback callback);
    void connectFacilityRespond(int id, QString pushId, int toUid, QString toDeviceId, int toDeviceType, bool accept,
                                ResultCallback callback);
    void disconnectFacilityRespond(int id, QString pushId, int toUid, QString toDeviceId, int toDeviceType,
                                   ResultCallback callback);
    void unknownPushRespond(int id, QJsonObject push, ResultCallback callback);
    void askDeviceNetworkState(int id, int toUid, QString toDeviceId, int toDeviceType,
                               NetworkStateCallback callback);

    // --- downloads, thumbnails and uploads (KoClientHelperTransfer.cpp) --------------
    using ProgressCallback = std::function<void(int id, qint64 done, qint64 total)>;
    using CheckSumCallback = std::function<void(int id, int code, int csVersion, QString checksum, qint64 haveRead)>;
    // Appended to a download's target path while it is being received.
    static const char* const kDownloadSuffix; // ".ReRazeDownload"
    // The partial file of a download into target: target + kDownloadSuffix whenever that name
    // fits in KoCommonUtil::kMaxFileNameBytes; otherwise the name is cut at a character and
    // "~" + 8 hex digits of the MD5 of the whole name are put before the suffix, so that every
    // caller (resume, cancel, remove, restart) finds the same file for the same target.
    static QString partialPathOf(const QString& target);
    // The bytes of target's partial file; 0 when there is none.
    static qint64 partialSizeOf(const QString& target);
    // The rest of a streamed upload goes from memory once no more than this is left to send.
    static constexpr qint64 kTailSwitchBytes = 999999;
    // Largest rest a tail switch reads into memory; a phone holding less gets a stream again.
    static constexpr qint64 kTailMemoryLimit = 1024 * 1024;

    // Receives into partialPathOf(localPath), resuming from its size; offset is not used.
    // expectedSize is the size the phone listed for the file (-1: unknown). The file is complete
    // when it holds the answer's announced length (resume point + Content-Length), or without
    // one at least expectedSize bytes; an answer without a body completes it only when it is
    // expected empty or the partial file already holds expectedSize bytes. Anything shorter is a
    // failure that keeps the partial file for a resume and leaves localPath alone. A resumed
    // answer that would not end at expectedSize fails and empties the partial file.
    // Results: 0 stored at localPath, 1 network/HTTP error, short answer, cancel, pause or failed
    // rename, -1 deadline or a trickle (KoServerConfig::slowTransferMs), -3 the partial file
    // cannot be used (also: a pending download writes it), kCodeNameNotHeld, kCodeReservedName,
    // -4 empty answer.
    void downloadFileV2(int id, QString baseUrl, QString localPath, int category, QString path, qint64 offset,
                        int csVersion, QString checksum, ResultCallback callback, ProgressCallback progress,
                        qint64 expectedSize = -1);
    void downloadFileRemote(int id, int toUid, QString toDeviceId, int toDeviceType, QString localPath, int category,
                            QString path, qint64 offset, int csVersion, QString checksum, ResultCallback callback,
                            ProgressCallback progress, qint64 expectedSize = -1);
    void getThumbnailV2(int id, QString baseUrl, QString localPath, int category, QString path,
                        ResultCallback callback);
    void getThumbnailRemote(int id, int toUid, QString toDeviceId, int toDeviceType, QString localPath, int category,
                            QString path, ResultCallback callback);
    // Cancel deletes the partial file, pause keeps it; both end the download with 1.
    // The callback argument is not used.
    void cancelDownloadFileV2(int id, ResultCallback callback);
    void cancelDownloadFileRemote(int id, ResultCallback callback);
    void pauseDownloadFileV2(int id, ResultCallback callback);
    void pauseDownloadFileRemote(int id, ResultCallback callback);

    // Asks how much of an upload the phone holds. The answer goes to the callback given here.
    void uploadFileAskCheckSumV2(int id, QString baseUrl, QString localPath, int category, QString path,
                                 QString uploadFid, CheckSumCallback callback);
    void uploadFileAskCheckSumRemote(int id, int toUid, QString toDeviceId, int toDeviceType, QString localPath,
                                     int category, QString path, QString uploadFid, CheckSumCallback callback);
    // Streamed from the file; switches to uploadShort* for its tail (the phone is asked once it
    // has read the cut stream). A success answered before the whole body went out counts only
    // when the phone then holds the whole file; else -1.
    void uploadFileV2(int id, QString baseUrl, QString localPath, int category, QString path, qint64 offset,
                      int valid, int csVersion, QString checksum, QString uploadFid, ResultCallback callback,
                      ProgressCallback progress);
    void uploadShortFileV2(int id, QString baseUrl, QString localPath, int category, QString path, qint64 offset,
                           int valid, int csVersion, QString checksum, QString uploadFid, ResultCallback callback,
                           ProgressCallback progress);
    void uploadFileRemote(int id, int toUid, QString toDeviceId, int toDeviceType, QString localPath, QString name,
                          int category, QString path, qint64 offset, int valid, int csVersion, QString checksum,
                          QString uploadFid, ResultCallback callback, ProgressCallback progress);
    void uploadShortFileRemote(int id, int toUid, QString toDeviceId, int toDeviceType, QString localPath,
                               QString name, int category, QString path, qint64 offset, int valid, int csVersion,
                               QString checksum, QString uploadFid, ResultCallback callback,
                               ProgressCallback progress);
    // Stops the upload (or its resume query) with this id without a result. The callback
    // argument is not used.
    void cancelUploadFileV2(int id, ResultCallback callback);
    void cancelUploadFileRemote(int id, ResultCallback callback);

signals:
    // Resume checkpoint of a running transfer.
    void uploadConvertInfo(int id, qint64 offset, int csVersion = -1, QString checksum = QString());

public slots:
    void onFinished(QNetworkReply* reply) override;
    void onTimeout(QNetworkReply* reply) override;
    void uploadProgress(QNetworkReply* reply, qint64 bytesSent, qint64 bytesTotal) override;
    void downloadProgress(QNetworkReply* reply, qint64 bytesReceived, qint64 bytesTotal) override;
    void dataReady(QNetworkReply* reply) override;

private:
    KoClientHelper();

    // Request plumbing (KoClientHelper.cpp).
    QString relayOperationUrl() const;
    // False when the URL or a header name or value holds CR, LF or NUL: it could end its line
    // early and carry a header (or request) of its author's own.
    static bool isSafeRequest(const QString& url, const QMap<QString, QString>& headers);
    // Sends a JSON request; refuses it (-3, later) when a header could inject another one.
    void sendJson(QJsonObject& body, const QString& url, KoReplyType* record, QMap<QString, QString>& headers);
    // One request of a kind on either route; the answer finds its callback by type and id. On
    // the LAN it goes to the phone's base URL plus path; through the relay the body names the
    // command and the headers name the phone.
    void sendLan(int type, int id, const QString& baseUrl, const QString& path, QJsonObject body);
    void sendRelay(int type, int id, int toUid, const QString& toDeviceId, int toDeviceType, QJsonObject body);
    // Reports code for a request of type through its kind's callback, with the failure fillers.
    void reportFailure(int type, int id, int code, const QString& targetDeviceId);
    void reportFailureLater(int type, int id, int code, const QString& targetDeviceId);
    // Hands a JSON answer to its kind's handler; false for a type without one.
    bool dispatchAnswer(int type, int id, const QString& server, const QJsonObject& answer);

    // Listing answers (KoClientHelperListing.cpp). Handlers take (id, server, answer).
    void getCategoryIndexCallback(int id, QString server, QJsonObject answer);
    void getCategoryIndexRemoteCallback(int id, QString server, QJsonObject answer);
    void getFileListV2Callback(int id, QString server, QJsonObject answer);
    void getFileListRemoteCallback(int id, QString server, QJsonObject answer);
    void getCollectionV2IosCallback(int id, QString server, QJsonObject answer);
    void getCollectionRemoteIosCallback(int id, QString server, QJsonObject answer);
    void getFileListV2IosCallback(int id, QString server, QJsonObject answer);
    void getFileListRemoteIosCallback(int id, QString server, QJsonObject answer);
    void getSubFileListV2Callback(int id, QString server, QJsonObject answer);
    void getSubFileListRemoteCallback(int id, QString server, QJsonObject answer);
    void parseCategoryList(QString remoteServer, const QJsonObject& reply, int& code, QList<KoRemoteCategory*>* list);
    void parseFileList(QString remoteServer, const QJsonObject& reply, int& code, QList<KoRemoteFile*>* list);
    void parseCollectionList(QString remoteServer, const QJsonObject& reply, int& code, QList<KoRemoteFile*>* list);
    void parseCollectionFileList(QString remoteServer, const QJsonObject& reply, int& code,
                                 QList<KoRemoteFile*>* list);
    void parseSubFileList(QString remoteServer, const QJsonObject& reply, int& code, QList<KoRemoteFile*>* list,
                          qint64& totalSize);

    // File operation answers (KoClientHelperFileOps.cpp).
    void newFolderV2Callback(int id, QString server, QJsonObject answer);
    void newFolderRemoteCallback(int id, QString server, QJsonObject answer);
    void renameFileV2Callback(int id, QString server, QJsonObject answer);
    void renameFileRemoteCallback(int id, QString server, QJsonObject answer);
    void cancelCopyFileV2Callback(int id, QString server, QJsonObject answer);
    void deleteFileV2Callback(int id, QString server, QJsonObject answer);
    void deleteFileRemoteCallback(int id, QString server, QJsonObject answer);
    void deleteFileV2IosCallback(int id, QString server, QJsonObject answer);
    void deleteFileRemoteIosCallback(int id, QString server, QJsonObject answer);
    void moveFileV2Callback(int id, QString server, QJsonObject answer);
    void moveFileRemoteCallback(int id, QString server, QJsonObject answer);
    void copyFileV2Callback(int id, QString server, QJsonObject answer);
    void copyFileProgressV2Callback(int id, QString server, QJsonObject answer);
    void parseErrorFileList(QString serverKey, const QJsonObject& reply, int& code, QList<KoRemoteFile*>* list);
    void parseErrorCollectionFileList(QString serverKey, const QJsonObject& reply, int& code,
                                      QList<KoRemoteFile*>* list);
    void parseCopyFileList(int id, QString serverKey, const QJsonObject& reply, int& code,
                           QList<KoFileCopyInfo*>* list);

    // Connection answers (KoClientHelperConnect.cpp).
    void desktopStartConnectCallback(int id, QString server, QJsonObject answer);
    void disconnReRazeCallback(int id, QString server, QJsonObject answer);
    void askReachableCallback(int id, QString server, QJsonObject answer);
    void connectFacilityCallback(int id, QString server, QJsonObject answer);
    void disconnectFacilityCallback(int id, QString server, QJsonObject answer);
    void connectFacilityRespondCallback(int id, QString server, QJsonObject answer);
    void disconnectFacilityRespondCallback(int id, QString server, QJsonObject answer);
    void unknownPushRespondCallback(int id, QString server, QJsonObject answer);
    void askDeviceNetworkStateCallback(int id, QString server, QJsonObject answer);

    static void callResult(const ResultCallback& callback, int id, int code);

    bool m_closing = false;
    // Transfer records whose end is being reported right now (other records leave the map
    // before they are reported).
    QSet<const KoReplyType*> m_reporting;
    // Uploads cut by a tail switch whose question to the phone has not gone out yet.
    QSet<int> m_tailAskPending;

    // Stored callbacks, one per kind and route.
    CategoryCallback m_categoryV2;
    CategoryCallback m_categoryRemote;
    FileListCallback m_fileListV2;
    FileListCallback m_fileListRemote;
    SubFileListCallback m_subFileListV2;
    SubFileListCallback m_subFileListRemote;
    ResultCallback m_newFolderV2;
    ResultCallback m_newFolderRemote;
    FileListCallback m_deleteV2;
    FileListCallback m_deleteRemote;
    ResultCallback m_renameV2;
    ResultCallback m_renameRemote;
    FileListCallback m_moveV2;
    FileListCallback m_moveRemote;
    CopyListCallback m_copyV2;
    CopyListCallback m_copyProgressV2;
    ResultCallback m_cancelCopyV2;
    ConnectStartCallback m_desktopStartConnect;
    ResultCallback m_disconnReRaze;
    ReachableCallback m_askReachable;
    ResultCallback m_connectFacility;
    ResultCallback m_disconnectFacility;
    ResultCallback m_connectFacilityRespond;
    ResultCallback m_disconnectFacilityRespond;
    ResultCallback m_unknownPushRespond;
    NetworkStateCallback m_askNetworkState;

    // Transfers (KoClientHelperTransfer.cpp).
    static bool isTransferType(int type);
    // Ends a download, thumbnail, upload or resume query whose reply finished.
    void finishTransfer(QNetworkReply* reply, KoReplyType* record);
    // Reports an expired transfer whose record is already out of the map.
    void timeoutTransfer(KoReplyType* record);
    void transferUploadProgress(QNetworkReply* reply, qint64 bytesSent, qint64 bytesTotal);
    void transferDownloadProgress(QNetworkReply* reply, qint64 bytesReceived, qint64 bytesTotal);
    void startDownload(int type, int id, const QString& url, QJsonObject body, QMap<QString, QString> headers,
                       const QString& localPath, qint64 expectedSize);
    void startThumbnail(int type, int id, const QString& url, QJsonObject body, QMap<QString, QString> headers,
                        const QString& localPath);
    void cancelDownload(int id, bool dropPartial);
    void sendCheckSum(int type, int id, const QString& url, const QString& localPath, int category,
                      const QString& path, const QString& uploadFid, QMap<QString, QString> headers,
                      KoReplyType* record, CheckSumCallback callback);
    void sendUpload(int type, int id, const QString& url, QMap<QString, QString> headers, const QString& localPath,
                    qint64 offset, qint64 size, KoReplyType* record, bool tailSwitch);
    void startUploadV2(int type, int id, QString baseUrl, QString localPath, int category, QString path,
                       qint64 offset, int valid, int csVersion, QString checksum, QString uploadFid, bool tailSwitch);
    void startUploadRemote(int type, int id, int toUid, QString toDeviceId, int toDeviceType, QString localPath,
                           QString name, int category, QString path, qint64 offset, int valid, int csVersion,
                           QString checksum, QString uploadFid, bool tailSwitch);
    void switchUploadTail(QNetworkReply* reply, KoReplyType* record);
    // For an upload whose success came before its whole body went out: reports 0 only when the
    // phone then holds the whole file, else -1 (retried from the phone's count).
    std::function<void()> earlyUploadCheck(const KoReplyType* record);
    void cancelUpload(int id);
    void writeArrived(KoReplyType* record, QNetworkReply* reply);
    bool beginAnswer(KoReplyType* record, QNetworkReply* reply);
    int handleDownloadFile(QFile* file, KoReplyType* record, QNetworkReply* reply);
    void deliverProgress(KoReplyType* record, qint64 done, qint64 total, bool force);
    void flushProgress(KoReplyType* record);
    void refuseLater(int type, int id, int code = -3);
    void limitReadBuffer(int id);
    ResultCallback resultSlotOf(int type) const;
    ProgressCallback progressSlotOf(int type) const;

    ResultCallback m_downloadV2;
    ResultCallback m_downloadRemote;
    ProgressCallback m_downloadProgressV2;
    ProgressCallback m_downloadProgressRemote;
    ResultCallback m_thumbnailV2;
    ResultCallback m_thumbnailRemote;
    ResultCallback m_uploadV2;
    ResultCallback m_uploadRemote;
    ProgressCallback m_uploadProgressV2;
    ProgressCallback m_uploadProgressRemote;

    static KoClientHelper* s_instance;
    static QMutex s_mutex;
};
