#pragma once

#include "net/KoNetworkHelper.h"

#include <QJsonObject>
#include <QMutex>
#include <QSet>
#include <QString>

class QNetworkReply;
class QTimer;
class KoReplyType;

// The usage log: one JSON line per user action in the current ".uar" file of <app data>/uar/,
// uploaded to the account server at most once a day; also the upload of crash dumps waiting
// in <app data>/dump/. Formats: docs/protocol.md, "Usage log".
//
// The records of single transferred files come by the thousand with a folder: they are kept
// and written together within kBatchMs, before any other record, before an upload, when the
// current file is asked for and at the end. Every other record is written at once.
class KoUserActionRecord : public KoNetworkHelper
{
    Q_OBJECT
public:
    // A log file is closed for good when it reaches this size (besides the daily change).
    static constexpr qint64 kMaxLogFileBytes = 1024 * 1024;
    static constexpr qint64 kUploadIntervalMs = 24LL * 60 * 60 * 1000;
    // Files bigger than this are never read into a request.
    static constexpr qint64 kMaxUploadBytes = 32LL * 1024 * 1024;
    static constexpr int kBatchMs = 1000;

    static KoUserActionRecord* getInstance();
    // Writes what is kept and empties the dump folder.
    ~KoUserActionRecord() override;

    static QString getUarDir();
    static QString getDumpDir();
    // The file the next record goes to (started when needed), once the kept records are in.
    QString currentLogFile();

    void recordEnterApp();
    void recordExitApp();
    void recordUserLogin();
    void recordUserLogout();
    void recordBtnForgetPwdClicked();
    void recordBtnFileUploadClicked();
    void recordBtnFileDownloadClicked();
    void recordFileDragIn();
    void recordFileDragOut();
    void recordCheckUpdate();
    // type: 0 LAN, 1 relay.
    void recordDownloadFile(int type, bool success);
    void recordUploadFile(int type, bool ok);

    // At most once per kUploadIntervalMs: uploads every log file, deleting each one accepted.
    void uploadRecord();
    // Uploads every crash dump, deleting each one accepted.
    void uploadDump();

public slots:
    void onFinished(QNetworkReply* reply) override;
    void onTimeout(QNetworkReply* reply) override;

private:
    KoUserActionRecord();
    void initData();
    // batched: kept for up to kBatchMs (on this object's thread) instead of written at once.
    void appendAction(const QString& action, const QJsonObject& extra = QJsonObject(), bool batched = false);
    QString currentLogFileLocked();
    void writeKeptLocked();
    void writeKept();
    void uploadFile(const QString& path, int type);
    void finishUpload(KoReplyType* record, bool accepted);

    QMutex m_fileLock;
    // Lines not yet in the file, oldest first.
    QByteArray m_kept;
    QTimer* m_batchTimer = nullptr;
    // Files whose upload is under way: never written to, never sent twice at once.
    QSet<QString> m_inFlight;

    static KoUserActionRecord* s_instance;
    static QMutex s_mutex;
};
