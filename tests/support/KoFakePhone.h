#pragma once

// Loopback stand-in for the phone app's own file service (plain HTTP on 127.0.0.1, paths under
// "/file/v2/" and "/msg/"), serving a local folder as the phone's storage. What it does with each
// request is written down in docs/protocol.md, "Phone file service". Every request is logged with
// its parsed body; any operation can be answered by a scripted response instead (a delay, an
// error status, a broken body, silence), once or until cleared. The relay fake forwards its file
// operations to the same service, so one phone object serves both routes.

#include "support/KoTestHttpServer.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One request as the fake saw it.
struct KoFakeCall {
    QByteArray route;                     // "lan", "relay" or "account"
    QString op;                           // operation: last path segment on the LAN, "cmd" on the relay
    QByteArray path;                      // HTTP path as received
    QMap<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray rawBody;
    QJsonObject body; // empty when the body is not a JSON object
    QString bodyFile; // a large body left in the server's spill file (rawBody is then empty)
    QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
    // The call a request makes on a route, its body read as JSON where it is.
    static KoFakeCall fromRequest(const KoTestRequest& request, const QByteArray& route, const QString& op);
};

// Scripted answers by operation and the log of calls, shared by the fake phone and relay.
class KoFakeScript
{
public:
    void queueAnswer(const QString& op, const KoTestResponse& response);
    void setAnswer(const QString& op, const KoTestResponse& response);
    // The real answer, sent delayMs late.
    void setDelay(const QString& op, int delayMs);
    void clearScripts();

    QList<KoFakeCall> calls() const { return m_calls; }
    QList<KoFakeCall> callsTo(const QString& op) const;
    void clearCalls() { m_calls.clear(); }
    // Runs the event loop until count calls were logged in all.
    bool waitForCalls(int count, int timeoutMs = 5000);

protected:
    QHash<QString, QList<KoTestResponse>> m_queued;
    QHash<QString, KoTestResponse> m_fixed;
    QHash<QString, int> m_delays;
    QList<KoFakeCall> m_calls;
};

class KoFakePhone : public QObject, public KoFakeScript
{
    Q_OBJECT
public:
    // The phone's own result codes.
    enum Code {
        CodeOk = 0,
        CodeBadRequest = 1,     // malformed body, unknown operation or a name that is not allowed
        CodeNotFound = 2,       // no such file, folder, album or copy job
        CodeExists = 3,         // the target name is taken
        CodeFailed = 4,         // the storage refused the change
        CodeNoPermission = 100, // a path outside the phone's storage
    };

    // root: the folder that serves as category 9 ("手机存储"); it must exist.
    explicit KoFakePhone(const QString& root, QObject* parent = nullptr);
    bool start();
    // "http://127.0.0.1:<port>"
    QString baseUrl() const;
    QString ip() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const;
    KoTestHttpServer* http() { return m_http; }

    // --- identity ------------------------------------------------------------------
    void setIdentity(const QString& deviceId, const QString& deviceName, int deviceType, int appVersion, int uid);
    QString deviceId() const { return m_deviceId; }
    QString deviceName() const { return m_deviceName; }
    int deviceType() const { return m_deviceType; }
    int appVersion() const { return m_appVersion; }
    int uid() const { return m_uid; }
    // Desktops (their "deviceId") that connected and have not disconnected.
    QStringList connectedDesktops() const { return m_desktops; }

    // --- storage -------------------------------------------------------------------
    QString root() const { return m_roots.value(9); }
    // Categories listed by "listCategory", in order (default: 9 only).
    void setCategories(const QList<int>& categories) { m_categories = categories; }
    // Serves category from dir: a folder tree for every category but 2; for category 2
    // ("相册") every sub-folder of dir is one album of photos.
    void setCategoryRoot(int category, const QString& dir);
    // Local file behind a phone path of a category; empty when it is outside the storage.
    QString localPath(int category, const QString& phonePath) const;
    // Opaque ids of the album fake: no "/" and no ".", as a phone's ids.
    static QString albumId(const QString& album);
    static QString photoId(const QString& album, const QString& fileName);

    // Scripting and the log come from KoFakeScript (op as in KoFakeCall::op; both routes).

    // Logs the call and answers it: the scripted answer when there is one, else the service's.
    KoTestResponse answer(const KoFakeCall& call);
    // The service's own answer to one operation (no log, no scripting).
    QJsonObject serve(const QString& op, const QJsonObject& body);

    // --- transfers (KoFakePhoneTransfer.cpp; "getFile", "getThumbnail", "uploadFile",
    // "checksum" / "askChecksum") -----------------------------------------------------
    // The next "getFile" answers (one each, in order) take the misbehaviour of fault: its
    // stallAfter, closeAfter, resetAfter, chunked, noContentLength, delayMs, trickleMs and
    // repeatAfterMs fields, and its headers are added to the answer's.
    void queueDownloadFault(const KoTestResponse& fault);
    // Downloads always start again from 0 ("valid" 0).
    void setResumeRefused(bool refused) { m_resumeRefused = refused; }
    // Resumes answer "valid" 1 from this offset whatever the client holds (-1: off).
    void setResumeOffset(qint64 offset) { m_resumeOffset = offset; }
    // The next upload request keeps only keepBytes of its data and loses the connection
    // without an answer.
    void queueUploadDrop(qint64 keepBytes) { m_uploadDrops.append(keepBytes); }
    // Bytes held of an unfinished upload (-1: none under this id).
    qint64 uploadHeld(const QString& uploadFid) const;
    // Uploads that arrived whole and were put in place.
    // Uploads the client abandoned mid-body on server still count with what arrived.
    void watchAbortedUploads(KoTestHttpServer* server);
    KoTestResponse serveTransfer(const KoFakeCall& call);
    static bool isTransferOp(const QString& op);

signals:
    void called(const KoFakeCall& call);

private:
    KoTestResponse handleHttp(const KoTestRequest& request);

    QJsonObject listCategory();
    QJsonObject getDirectory(const QJsonObject& body);
    QJsonObject getCollections(const QJsonObject& body);
    QJsonObject getCollection(const QString& collectionId);
    QJsonObject getMultiSubPaths(const QJsonObject& body);
    QJsonObject newFolder(const QJsonObject& body);
    QJsonObject deleteFile(const QJsonObject& body);
    QJsonObject renameFile(const QJsonObject& body);
    QJsonObject moveFile(const QJsonObject& body);
    QJsonObject copyFile(const QJsonObject& body);
    QJsonObject copyFileProgress(const QJsonObject& body);
    QJsonObject cancelCopyFile(const QJsonObject& body);
    QJsonObject desktopStartConnect(const QJsonObject& body);
    QJsonObject disconnDisk(const QJsonObject& body);
    QJsonObject accessable(const QJsonObject& body);

    QJsonObject entryOf(int category, const QString& phonePath, const QString& local) const;
    // Local path of an album photo id; empty when unknown.
    QString photoPath(const QString& photoId) const;

    struct CopyJob {
        struct Item {
            QString path;
            qint64 size = 0;
            qint64 copied = 0;
        };
        QList<Item> items;
        bool cancelled = false;
    };

    struct Upload {
        QString dataFile;
        qint64 held = 0;
        qint64 size = 0;
        QString checksum;
        int csVersion = -1;
        // Put in place; the bytes now live at target.
        bool done = false;
        QString target;
    };
    KoTestResponse serveDownload(const KoFakeCall& call, bool thumbnail);
    KoTestResponse serveUpload(const KoFakeCall& call);
    QJsonObject serveCheckSum(const KoFakeCall& call);
    void storeAbortedUpload(const KoTestRequest& request);
    // Puts data of an upload at offset; false when it does not fit the bytes held.
    // bodyComplete: the request arrived whole; limit (-1: none) caps the bytes kept.
    bool storeUploadData(const QString& fid, const KoFakeCall& call, bool bodyComplete, qint64 limit, bool* complete,
                         int* code);

    QHash<QString, Upload> m_uploads;
    QTemporaryDir m_uploadDir;
    QList<KoTestResponse> m_downloadFaults;
    QList<qint64> m_uploadDrops;
    bool m_resumeRefused = false;
    qint64 m_resumeOffset = -1;

    KoTestHttpServer* m_http = nullptr;
    QString m_deviceId = QStringLiteral("phone-0001");
    QString m_deviceName = QStringLiteral("Fake Phone");
    int m_deviceType = 2;
    int m_appVersion = 30;
    int m_uid = 0;
    QStringList m_desktops;
    QList<int> m_categories{9};
    QHash<int, QString> m_roots;
    QHash<QString, CopyJob> m_copyJobs;
};
