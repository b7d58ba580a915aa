#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

#include <curl/curl.h>

#include <deque>
#include <functional>

class KoCurlMulti;
class KoFileRangeDevice;

// One plain-http request to a phone, carried out by a curl easy handle on KoCurlMulti, behind
// the reply contract of the network access manager that the callers of KoNetworkHelper rely
// on: uploadProgress while the body leaves, metaDataChanged once the final answer head is in,
// readyRead as the body comes (held back above readBufferSize, so an answer cap bounds
// memory), downloadProgress about ten times a second and at the end, and finished exactly once,
// also after abort() (OperationCanceledError at once, the body dropped). HTTP statuses map to
// errors as the manager maps them; the answer stays readable.
// The framing is curl's, held to these bounds besides: two different Content-Length values
// or more than a few interim (1xx) answers fail the request (ProtocolFailure) and close its
// connection; a transfer that moves less than a few KB in KoServerConfig::slowTransferMs fails
// with TimeoutError. No cookies, no redirects, no proxy, no content decoding.
// A body streamed from a file goes over a connection of its own and is never sent twice: a cut
// connection fails the request and the caller asks the phone where to go on. A body in memory
// may reuse an idle connection and is sent again when that one turns out closed. A kept
// connection on which bytes already wait when the request is about to go out (a second answer
// the peer sent unasked) is closed, and the request goes out on a fresh one, unseen by callers.
// A final answer that comes while the body is still going out ends the request once it is
// whole (its connection closed, no more uploadProgress), marked answeredBeforeBodySent.
class KoCurlReply : public QNetworkReply
{
    Q_OBJECT
public:
    // The request's url (http), raw headers and User-Agent go out as they stand; `Accept` and
    // `Expect` are not added. A POST sends head + the bytes of device + tail (the device is
    // taken over and opened here); without a device head + tail go out from memory. A GET sends
    // no body. Starts on the next turn of the event loop.
    KoCurlReply(KoCurlMulti* multi, QNetworkAccessManager::Operation operation, const QNetworkRequest& request,
                const QByteArray& head, KoFileRangeDevice* device, const QByteArray& tail, QObject* parent = nullptr);
    ~KoCurlReply() override;

    void abort() override;
    // abort(), and then runs once the phone has read what was sent and closed the connection
    // (or after a few seconds): a question that follows cannot overtake the cut body.
    void abortAndDrain(std::function<void()> then);
    void close() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }
    void setReadBufferSize(qint64 size) override;

    // The final answer came while part of the request's body had not gone out yet: whatever it
    // says, the peer may not hold the whole body.
    bool answeredBeforeBodySent() const { return m_answeredEarly; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;

private:
    friend class KoCurlMulti;
    CURL* easy() const { return m_easy; }
    // Called by the multi: the transfer ended with result; then deliver() tells it.
    void transferDone(CURLcode result);
    // Emits what curl's callbacks stored since the last call.
    void deliver();

    static size_t onWrite(char* data, size_t size, size_t count, void* self);
    static size_t onHeader(char* data, size_t size, size_t count, void* self);
    static size_t onRead(char* data, size_t size, size_t count, void* self);
    static int onSocketOpened(void* self, curl_socket_t socket, curlsocktype purpose);
    static int onRequestDue(void* self, char* peerIp, char* localIp, int peerPort, int localPort);
    // The attempt ended before its request went out, on a kept connection that already held
    // unread bytes: true once, and the next attempt gets a fresh connection.
    bool retryOnFreshConnection();
    static int onProgress(void* self, curl_off_t downTotal, curl_off_t downNow, curl_off_t upTotal, curl_off_t upNow);
    // False fails the transfer.
    bool headerLine(const QByteArray& line);
    bool takeHead();
    void noteAnswerWhole();
    void start();
    void resume();
    void fail(NetworkError code, const QString& text);
    void finish();

    QPointer<KoCurlMulti> m_multi;
    CURL* m_easy = nullptr;
    curl_socket_t m_socket = CURL_SOCKET_BAD; // the own connection of a streamed body
    bool m_newConnection = false;             // this attempt opened its connection
    bool m_staleConnection = false;           // the attempt was stopped for bytes waiting on its connection
    bool m_retried = false;
    curl_slist* m_headerList = nullptr;
    QByteArray m_url;

    // The request's body.
    QByteArray m_memoryBody; // head + tail when there is no device
    QByteArray m_partHead;
    KoFileRangeDevice* m_device = nullptr;
    QByteArray m_partTail;
    qint64 m_bodyTotal = 0;
    qint64 m_bodyRead = 0; // handed to curl
    qint64 m_sent = 0;     // gone out, as curl counts
    qint64 m_sentReported = 0;
    QString m_readError;

    // The answer.
    QList<QByteArray> m_headLines; // of the head being read
    int m_heads = 0;
    bool m_haveHead = false;
    bool m_headPending = false;
    bool m_answeredEarly = false;
    bool m_earlyAnswerWhole = false; // and all of it is in
    QString m_protocolError;
    qint64 m_length = -1;
    std::deque<QByteArray> m_chunks; // received, read from m_frontPos of the first on
    qint64 m_frontPos = 0;
    qint64 m_buffered = 0;
    qint64 m_received = 0;
    qint64 m_receivedReported = 0;
    QElapsedTimer m_progressClock;
    bool m_paused = false;

    bool m_transferDone = false;
    CURLcode m_result = CURLE_OK;
    bool m_done = false;
};
