#pragma once

// Loopback stand-in for the HTTP(S) servers the program talks to (phone, relay, account,
// update site). Real sockets on 127.0.0.1, HTTP/1.1 with keep-alive; answers are scripted per
// path or by a handler and can misbehave on purpose (delay, stall, clean close or reset after
// N body bytes, no answer) so tests can drive the client's error paths. Every request is
// logged. Large request bodies spill to a temp file and large answers stream from a file
// with back-pressure, so uploads and downloads of hundreds of MB never sit in memory.
// Runs in the caller's thread and event loop.

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>

#include <functional>

class QTcpServer;
class KoTestHttpConnection;

struct KoTestRequest {
    QByteArray method;                    // "POST", "GET"
    QByteArray path;                      // path with query, e.g. "/file/v2/list"
    QMap<QByteArray, QByteArray> headers; // names lower-cased; repeated headers joined with ", "
    QByteArray body;                      // raw body (de-chunked); empty when spilled to bodyFile
    QString bodyFile;                     // set when the body was streamed to a temp file (large uploads)
    qint64 bodySize = 0;
    bool aborted = false;                            // client closed before the whole body / answer went out
    qint64 answerBodySent = 0;                       // body bytes of the answer handed to the socket so far
    QByteArray header(const QByteArray& name) const; // case-insensitive
    QByteArray pathOnly() const;                     // path without the query
    QByteArray bodyBytes() const;                    // body, read back from bodyFile when spilled (small tests only)
};

struct KoTestResponse {
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body; // or a file to stream:
    QString bodyFile;
    qint64 bodyFileOffset = 0;
    bool chunked = false;         // Transfer-Encoding: chunked
    bool noContentLength = false; // close-delimited body
    int delayMs = 0;              // wait before answering
    qint64 stallAfter = -1;       // send this many body bytes then go silent (keep socket open)
    qint64 closeAfter = -1;       // send this many body bytes then close the socket cleanly
    qint64 resetAfter = -1;       // send this many body bytes then reset (RST) the connection
    bool noAnswer = false;        // never answer
    QByteArray verbatim;          // the whole answer (status line, head, body) as it stands, framing faults
                                  // included; the fault fields above count its bytes as the body's
    int trickleMs = 0;            // one byte of the body every trickleMs
    int repeatAfterMs = -1;       // the whole answer once more, unasked, this long after it went out on a kept
                                  // connection, unless the next request has come by then
    static KoTestResponse json(const QJsonObject& o, int status = 200);
    static KoTestResponse raw(const QByteArray& body, int status = 200,
                              const QByteArray& contentType = "application/octet-stream");
};

Q_DECLARE_METATYPE(KoTestRequest)

class KoTestHttpServer : public QObject
{
    Q_OBJECT
public:
    enum Mode { Http, Https };
    explicit KoTestHttpServer(Mode mode = Http, QObject* parent = nullptr);
    ~KoTestHttpServer() override;
    bool listen(); // 127.0.0.1, random port
    quint16 port() const;
    QString baseUrl() const; // "http://127.0.0.1:<port>" or "https://localhost:<port>"
    // Scripted answers: a handler sees every request (after its whole body arrived) and answers it;
    // per-path answers (exact path match, without query) take precedence and can be queued (one each).
    // Without any of them the answer is 404. A request the client abandoned mid-body is logged
    // (and signalled) too, with aborted set and the body received so far; it gets no answer.
    void setHandler(std::function<KoTestResponse(const KoTestRequest&)> handler);
    void setResponse(const QByteArray& path, const KoTestResponse& response);   // every time
    void queueResponse(const QByteArray& path, const KoTestResponse& response); // once, before the fixed one
    // Once: the next request to path is answered with json (200) as soon as afterBodyBytes of
    // its body arrived; the rest of its body is read and dropped, then the connection closed.
    // The request is logged as it was when answered and goes to no handler.
    void answerEarly(const QByteArray& path, qint64 afterBodyBytes, const QByteArray& json);
    QList<KoTestRequest> requests() const;
    void clearRequests();                                  // also removes the temp files of spilled bodies
    bool waitForRequests(int count, int timeoutMs = 5000); // runs the event loop
    void setSpillThreshold(qint64 bytes); // bodies larger than this go to a temp file (default 8 MiB)
    int connectionCount() const;          // connections currently open (for keep-alive checks)
    int acceptedConnections() const;      // connections accepted since listen()
    int unaskedAnswers() const;           // answers sent once more unasked (repeatAfterMs)
    // Connections opened from now on read request bytes at about this many a second over a link of
    // small segments and a small window, so that the client meets a slow reader; those opened
    // before end (idle ones at once, others once their request is answered). 0: every connection
    // reads as fast as bytes come.
    void setReadRate(qint64 bytesPerSecond);
    qint64 readRate() const { return m_readRate; }

signals:
    void requestReceived(const KoTestRequest& request);

private:
    friend class KoTestHttpConnection;
    void onNewConnection(qintptr descriptor);
    // Called by connections.
    quint64 logRequest(const KoTestRequest& request);
    void markAborted(quint64 id);
    void noteAnswerSent(quint64 id, qint64 bytes);
    KoTestResponse answerFor(const KoTestRequest& request);
    QString newSpillFile();
    qint64 spillThreshold() const { return m_spillThreshold; }

    Mode m_mode;
    QTcpServer* m_listener = nullptr;
    QList<QPointer<KoTestHttpConnection>> m_connections;
    std::function<KoTestResponse(const KoTestRequest&)> m_handler;
    QHash<QByteArray, KoTestResponse> m_fixed;
    QHash<QByteArray, QList<KoTestResponse>> m_queued;
    QHash<QByteArray, QPair<qint64, QByteArray>> m_early;
    QList<KoTestRequest> m_requests;
    QList<quint64> m_requestIds; // parallel to m_requests
    quint64 m_nextId = 1;
    qint64 m_spillThreshold = 8 * 1024 * 1024;
    qint64 m_readRate = 0;
    QTemporaryDir m_spillDir;
    int m_spillCounter = 0;
    int m_accepted = 0;
    int m_unasked = 0;
};
