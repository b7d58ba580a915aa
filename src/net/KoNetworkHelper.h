#pragma once

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QNetworkReply;
class QTimer;
#include "app/KoCommonUtil.h"
#include "net/KoNetworkObject.h"
class KoReplyMap;
class KoReplyType;

// Base of every HTTP client. Requests go out through the shared KoNetworkObject and are
// filed with their record in this client's reply map; every finished reply of the program
// reaches onFinished of every client, and each acts only on the replies it filed. Every request
// asks for its answer as it is (`identity`); an answer in another content coding is aborted as
// soon as its head is in (OperationCanceledError), before any of its bytes is handed on.
// A sweep (KoServerConfig::sweepIntervalMs) expires at most one overdue request per tick.
// Everything runs on the GUI thread.
class KoNetworkHelper : public QObject
{
    Q_OBJECT
public:
    explicit KoNetworkHelper(QObject* parent = nullptr);
    // Deletes every record still pending; replies still in flight are aborted.
    ~KoNetworkHelper() override;

    // POST of body as compact JSON; each header entry becomes a raw header (UTF-8).
    // Download progress with a known total reaches downloadProgress. The map owns record
    // from now on. Failures arrive later as a finished reply. The answer is read into memory:
    // one that announces or brings more than maxAnswer bytes is aborted at once (limitAnswer).
    void postHttpData(QJsonObject& body, QString url, KoReplyType* record, QMap<QString, QString>* headers,
                      qint64 maxAnswer = KoCommonUtil::kMaxJsonAnswer);
    // Same request for a file download: in addition every arrival of data reaches dataReady,
    // so the body can be written out even when the answer gives no total length. No cap:
    // the receiver writes the body out as it comes.
    void downloadHttpData(QJsonObject& body, QString url, KoReplyType* record, QMap<QString, QString>* headers);
    // GET with the same filing and cap; download progress as for postHttpData.
    void getHttpData(QString url, KoReplyType* record, QMap<QString, QString>* headers = nullptr,
                     qint64 maxAnswer = KoCommonUtil::kMaxJsonAnswer);

    // Multipart upload of localPath from min(offset, size) to its end, streamed from the file.
    // A file that cannot be read makes the request fail; it is not reported here. Over plain
    // http an answer that came before the whole body went out says so (answeredBeforeBodySent).
    void uploadHttpFile(const QString& localPath, QString url, KoReplyType* record, QMap<QString, QString>* headers,
                        qint64 offset);
    // The same request with the part read into memory first.
    void uploadShortHttpFile(const QString& localPath, QString url, KoReplyType* record,
                             QMap<QString, QString>* headers, qint64 offset);

    KoReplyMap* getReplyMap() const { return m_replyMap; }

    // Aborts an upload; then runs once the phone has read what was sent of it and closed the
    // connection (plain http; a few seconds at most), else on the next turn of the event loop.
    void abortUpload(QNetworkReply* reply, std::function<void()> then);
    // The final answer of an upload came while part of its body had not gone out: the peer
    // may hold less than was meant, whatever the answer says.
    static bool answeredBeforeBodySent(QNetworkReply* reply);

    // Bounds an answer that is read into memory: the network layer buffers at most
    // maxAnswer + 1 bytes of it (over plain http: plus one received piece), and it is aborted
    // (OperationCanceledError, body dropped) as soon as its Content-Length or the bytes
    // received pass maxAnswer.
    void limitAnswer(QNetworkReply* reply, qint64 maxAnswer);

    // Multipart framing of one file part; the whole body is partSize + name bytes + this.
    static const qint64 kMultipartOverhead = 187;
    static QByteArray multipartBoundary();

public slots:
    // Base: a reply of this client is removed from the map (record deleted) and scheduled
    // for deletion; other replies are left alone.
    virtual void onFinished(QNetworkReply* reply);
    // Called by the sweep for an expired request, before its record is removed (an override
    // may take it itself with takeRecord). Base: nothing.
    virtual void onTimeout(QNetworkReply* reply);
    // Upload progress of a multipart upload, only for totals above 0. Base: nothing.
    virtual void uploadProgress(QNetworkReply* reply, qint64 bytesSent, qint64 bytesTotal);
    // Download progress, only for totals above 0. Base: nothing.
    virtual void downloadProgress(QNetworkReply* reply, qint64 bytesReceived, qint64 bytesTotal);
    // New data of a reply sent with downloadHttpData. Base: nothing.
    virtual void dataReady(QNetworkReply* reply);

protected slots:
    void onCheckTimeout();

protected:
    // Only https with a host: user ids, passwords and cookies never travel in clear text.
    static bool isSecureUrl(const QString& url);
    // Takes ownership of record and hands it to fail on the next turn of the event loop, so a
    // refused request fails like an unreachable server, after its caller has returned. If this
    // object goes first, record is deleted unanswered.
    void failLater(KoReplyType* record, std::function<void(KoReplyType*)> fail);
    // Start of onFinished and onTimeout: a reply this client filed is taken out of the map and
    // scheduled for deletion, and its record handed over; a late finish of the same reply then
    // finds nothing to answer. Null for other replies and for cancelled records.
    std::unique_ptr<KoReplyType> takeRecord(QNetworkReply* reply);

    QPointer<KoNetworkObject> m_network;
    KoReplyMap* m_replyMap = nullptr;
    QTimer* m_sweepTimer = nullptr;

private:
    void initData();
    void initConnection();
    void fileReply(QNetworkReply* reply, KoReplyType* record);
    void forwardDownloadProgress(QNetworkReply* reply);
    // The answer's cap and the upload progress of a multipart upload.
    void watchUpload(QNetworkReply* reply);
    void sendMultipart(const QString& localPath, const QString& url, KoReplyType* record,
                       QMap<QString, QString>* headers, qint64 offset, bool inMemory);
};
