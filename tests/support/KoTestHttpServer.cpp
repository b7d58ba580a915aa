#include "support/KoTestHttpServer.h"

#include "support/KoTestCertificates.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <thread>

namespace {

const int kMaxHeaderBytes = 64 * 1024;
const qint64 kSendChunk = 64 * 1024;
const qint64 kHighWater = 512 * 1024;
// A request body held in memory from this size on is let go on a thread of its own.
const int kReleaseAsideBytes = 64 * 1024 * 1024;
// Reads of a slow reader, a second's worth split into this many.
const int kReadsPerSecond = 50;
// A slow reader's link: Wi-Fi-sized segments into a small window. Loopback's 64 KiB segments
// and growing windows let the sender's kernel take megabytes that the reader has not read.
const int kSlowLinkSegmentBytes = 1400;
const int kSlowLinkWindowBytes = 4096;
// The window of a connection back on the fast link (the kernel caps it at what it allows).
const int kFastLinkWindowBytes = 4 * 1024 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 413:
        return "Payload Too Large";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

class KoTestTcpListener : public QTcpServer
{
public:
    std::function<void(qintptr)> onIncoming;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (onIncoming)
            onIncoming(descriptor);
    }
};

} // namespace

QByteArray KoTestRequest::header(const QByteArray& name) const
{
    return headers.value(name.toLower());
}

QByteArray KoTestRequest::pathOnly() const
{
    const int q = path.indexOf('?');
    return q < 0 ? path : path.left(q);
}

QByteArray KoTestRequest::bodyBytes() const
{
    if (bodyFile.isEmpty())
        return body;
    QFile f(bodyFile);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

KoTestResponse KoTestResponse::json(const QJsonObject& o, int status)
{
    return raw(QJsonDocument(o).toJson(QJsonDocument::Compact), status, "application/json");
}

KoTestResponse KoTestResponse::raw(const QByteArray& body, int status, const QByteArray& contentType)
{
    KoTestResponse r;
    r.status = status;
    r.body = body;
    if (!contentType.isEmpty())
        r.headers.append(qMakePair(QByteArray("Content-Type"), contentType));
    return r;
}

// One accepted socket: parses requests one at a time (pipelined input waits in the buffer)
// and sends the scripted answer. Deletes itself when the socket goes away.
class KoTestHttpConnection : public QObject
{
public:
    KoTestHttpConnection(KoTestHttpServer* server, QTcpSocket* socket)
        : QObject(server)
        , m_server(server)
        , m_socket(socket)
    {
        m_socket->setParent(this);
        connect(m_socket, &QIODevice::readyRead, this, [this] { onReadyRead(); });
        connect(m_socket, &QIODevice::bytesWritten, this, [this] { onWritten(); });
        connect(m_socket, &QAbstractSocket::disconnected, this, [this] { onGone(); });
        connect(m_socket, &QAbstractSocket::errorOccurred, this, [this] { onGone(); });
        if (auto* ssl = qobject_cast<QSslSocket*>(m_socket))
            connect(ssl, &QSslSocket::encryptedBytesWritten, this, [this] { onWritten(); });
        if (m_server->readRate() > 0)
            readSlowly(m_server->readRate());
    }

    ~KoTestHttpConnection() override
    {
        // The socket may report its own teardown; nobody is listening any more.
        m_socket->disconnect(this);
        if (m_socket->state() != QAbstractSocket::UnconnectedState)
            m_socket->abort();
        m_bodyFile.reset();
        m_sendFile.reset();
        forgetRequest();
    }

    // Nothing of a request under way: closed at once. Otherwise the connection ends once its
    // request is answered.
    void endOfLink()
    {
        if (m_state == ReadHead && m_in.isEmpty() && m_socket->bytesAvailable() == 0)
            closeByServer(false);
        else
            m_closeWhenDone = true;
    }

    void readFast()
    {
        if (!m_pace)
            return;
        m_pace->stop();
        m_pace->deleteLater();
        m_pace = nullptr;
        ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &kFastLinkWindowBytes,
                     sizeof kFastLinkWindowBytes);
        m_socket->setReadBufferSize(0);
        onReadyRead();
    }

private:
    enum State {
        ReadHead,
        ReadBody,
        ReadChunkSize,
        ReadChunkData,
        ReadChunkEnd,
        ReadTrailer,
        Answering,
        Stalled,
        Closed
    };
    enum Finish { FinishComplete, FinishStall, FinishClose, FinishReset };

    // A body kept in memory (a raised spill threshold) may be a gigabyte, and giving its pages
    // back takes long enough to hold up the next request on this thread; a phone that writes
    // to storage as it reads has no such cost.
    void forgetRequest()
    {
        if (m_request.body.size() >= kReleaseAsideBytes)
            std::thread([body = std::move(m_request.body)] { Q_UNUSED(body); }).detach();
        m_request = KoTestRequest();
    }

    qint64 pendingOut() const
    {
        qint64 n = m_socket->bytesToWrite();
        if (auto* ssl = qobject_cast<QSslSocket*>(m_socket))
            n += ssl->encryptedBytesToWrite();
        return n;
    }

    // Paced reads hold the socket's buffer to one read's worth, so that the rest stays with the
    // kernel and the sender.
    void readSlowly(qint64 rate)
    {
        ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &kSlowLinkWindowBytes,
                     sizeof kSlowLinkWindowBytes);
        const qint64 perRead = qMax<qint64>(1, rate / kReadsPerSecond);
        m_socket->setReadBufferSize(perRead);
        m_pace = new QTimer(this);
        m_pace->setInterval(1000 / kReadsPerSecond);
        connect(m_pace, &QTimer::timeout, this, [this, perRead] {
            m_readBudget = perRead;
            onReadyRead();
        });
        m_pace->start();
    }

    void onReadyRead()
    {
        if (m_state == Closed)
            return;
        if (m_pace) {
            const qint64 n = qMin(m_readBudget, m_socket->bytesAvailable());
            if (n <= 0)
                return;
            m_readBudget -= n;
            m_in.append(m_socket->read(n));
        } else {
            m_in.append(m_socket->readAll());
        }
        processInput();
    }

    void processInput()
    {
        int pos = 0;
        bool progress = true;
        while (progress && m_state != Answering && m_state != Stalled && m_state != Closed) {
            progress = false;
            switch (m_state) {
            case ReadHead: {
                const int end = m_in.indexOf("\r\n\r\n", pos);
                if (end < 0) {
                    if (m_in.size() - pos > kMaxHeaderBytes)
                        return failBadRequest();
                    break;
                }
                if (!parseHead(m_in.mid(pos, end - pos)))
                    return failBadRequest();
                pos = end + 4;
                progress = true;
                break;
            }
            case ReadBody: {
                const qint64 n = qMin<qint64>(m_remaining, m_in.size() - pos);
                if (n > 0) {
                    if (!m_earlyDone)
                        appendBody(m_in.constData() + pos, n);
                    pos += int(n);
                    m_remaining -= n;
                }
                if (m_earlyAt >= 0 && !m_earlyDone && m_request.bodySize >= m_earlyAt)
                    sendEarlyAnswer();
                if (m_remaining == 0 && m_earlyDone) {
                    m_in.clear();
                    closeByServer(false);
                    return;
                }
                if (m_remaining == 0) {
                    m_in.remove(0, pos);
                    pos = 0;
                    requestComplete();
                    progress = true;
                }
                break;
            }
            case ReadChunkSize: {
                const int end = m_in.indexOf("\r\n", pos);
                if (end < 0) {
                    if (m_in.size() - pos > 1024)
                        return failBadRequest();
                    break;
                }
                QByteArray line = m_in.mid(pos, end - pos);
                const int semi = line.indexOf(';');
                if (semi >= 0)
                    line.truncate(semi);
                bool ok = false;
                const qint64 size = line.trimmed().toLongLong(&ok, 16);
                if (!ok || size < 0)
                    return failBadRequest();
                pos = end + 2;
                m_remaining = size;
                m_state = size == 0 ? ReadTrailer : ReadChunkData;
                progress = true;
                break;
            }
            case ReadChunkData: {
                const qint64 n = qMin<qint64>(m_remaining, m_in.size() - pos);
                if (n > 0) {
                    appendBody(m_in.constData() + pos, n);
                    pos += int(n);
                    m_remaining -= n;
                }
                if (m_remaining == 0) {
                    m_state = ReadChunkEnd;
                    progress = true;
                }
                break;
            }
            case ReadChunkEnd:
                if (m_in.size() - pos < 2)
                    break;
                if (m_in.mid(pos, 2) != "\r\n")
                    return failBadRequest();
                pos += 2;
                m_state = ReadChunkSize;
                progress = true;
                break;
            case ReadTrailer: {
                const int end = m_in.indexOf("\r\n", pos);
                if (end < 0) {
                    if (m_in.size() - pos > kMaxHeaderBytes)
                        return failBadRequest();
                    break;
                }
                // Trailer fields are ignored; the empty line ends the request.
                const bool emptyLine = end == pos;
                pos = end + 2;
                progress = true;
                if (emptyLine) {
                    m_in.remove(0, pos);
                    pos = 0;
                    requestComplete();
                }
                break;
            }
            default:
                break;
            }
            if (m_state == Closed)
                return;
        }
        if (pos > 0)
            m_in.remove(0, pos);
    }

    bool parseHead(const QByteArray& head)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1."))
            return false;
        forgetRequest();
        m_request.method = requestLine.at(0);
        m_request.path = requestLine.at(1);
        m_http10 = requestLine.at(2) == "HTTP/1.0";
        for (int i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            if (line.isEmpty())
                continue;
            const int colon = line.indexOf(':');
            if (colon <= 0)
                return false;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (m_request.headers.contains(name))
                m_request.headers[name] += ", " + value;
            else
                m_request.headers.insert(name, value);
        }
        const QByteArray connection = m_request.header("connection").toLower();
        m_keepAlive = m_http10 ? connection.contains("keep-alive") : !connection.contains("close");
        if (m_request.header("expect").toLower() == "100-continue")
            m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");

        m_bodyFile.reset();
        m_earlyAt = -1;
        m_earlyDone = false;
        const auto early = m_server->m_early.find(m_request.pathOnly());
        if (early != m_server->m_early.end()) {
            m_earlyAt = early->first;
            m_earlyAnswer = early->second;
            m_server->m_early.erase(early);
        }
        if (m_request.header("transfer-encoding").toLower().contains("chunked")) {
            m_state = ReadChunkSize;
        } else {
            bool ok = true;
            const QByteArray cl = m_request.header("content-length");
            m_remaining = cl.isEmpty() ? 0 : cl.toLongLong(&ok);
            if (!ok || m_remaining < 0)
                return false;
            if (m_remaining > m_server->spillThreshold() && !startSpill())
                return false;
            m_state = ReadBody;
        }
        return true;
    }

    bool startSpill()
    {
        m_bodyFile.reset(new QFile(m_server->newSpillFile()));
        if (!m_bodyFile->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            qWarning() << "cannot spill request body to" << m_bodyFile->fileName();
            m_bodyFile.reset();
            return false;
        }
        if (!m_request.body.isEmpty()) {
            m_bodyFile->write(m_request.body);
            m_request.body.clear();
        }
        m_request.bodyFile = m_bodyFile->fileName();
        return true;
    }

    void appendBody(const char* data, qint64 n)
    {
        m_request.bodySize += n;
        if (!m_bodyFile && m_request.bodySize > m_server->spillThreshold())
            startSpill();
        if (m_bodyFile) {
            if (m_bodyFile->write(data, n) != n)
                qWarning() << "short write to spill file" << m_bodyFile->fileName();
        } else {
            m_request.body.append(data, int(n));
        }
    }

    void finishBodyFile()
    {
        if (m_bodyFile) {
            m_bodyFile->close();
            m_bodyFile.reset();
        }
    }

    void requestComplete()
    {
        finishBodyFile();
        m_state = Answering;
        m_requestId = m_server->logRequest(m_request);
        if (m_state == Closed)
            return;
        const KoTestResponse response = m_server->answerFor(m_request);
        if (m_state == Closed)
            return;
        m_response = response;
        if (m_response.noAnswer)
            return;
        if (m_response.delayMs > 0) {
            QTimer::singleShot(m_response.delayMs, this, [this] {
                if (m_state == Answering)
                    startAnswer();
            });
        } else {
            startAnswer();
        }
    }

    void sendEarlyAnswer()
    {
        m_earlyDone = true;
        finishBodyFile();
        m_server->logRequest(m_request);
        m_socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                        + QByteArray::number(m_earlyAnswer.size()) + "\r\nConnection: close\r\n\r\n" + m_earlyAnswer);
    }

    void startAnswer()
    {
        const KoTestResponse& r = m_response;
        m_sendFile.reset();
        m_sendData.clear();
        qint64 bodyLength = 0;
        if (!r.bodyFile.isEmpty()) {
            m_sendFile.reset(new QFile(r.bodyFile));
            if (!m_sendFile->open(QIODevice::ReadOnly) || !m_sendFile->seek(r.bodyFileOffset)) {
                qWarning() << "cannot stream answer file" << r.bodyFile;
                m_sendFile.reset();
            } else {
                bodyLength = qMax<qint64>(0, m_sendFile->size() - r.bodyFileOffset);
            }
        } else {
            m_sendData = r.verbatim.isEmpty() ? r.body : r.verbatim;
            bodyLength = m_sendData.size();
        }
        // HEAD announces the length of the body it does not send.
        const qint64 announcedLength = bodyLength;
        if (m_request.method == "HEAD")
            bodyLength = 0;

        m_finish = FinishComplete;
        m_limit = bodyLength;
        if (r.resetAfter >= 0) {
            m_finish = FinishReset;
            m_limit = qMin(bodyLength, r.resetAfter);
        } else if (r.closeAfter >= 0) {
            m_finish = FinishClose;
            m_limit = qMin(bodyLength, r.closeAfter);
        } else if (r.stallAfter >= 0 && r.stallAfter < bodyLength) {
            m_finish = FinishStall;
            m_limit = r.stallAfter;
        }
        m_truncated = m_limit < bodyLength;
        m_sent = 0;
        m_chunked = r.chunked && r.verbatim.isEmpty();
        const bool closeDelimited = r.noContentLength && !r.chunked;
        if (closeDelimited || !m_keepAlive)
            m_closeWhenDone = true;

        QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + reasonPhrase(r.status) + "\r\n";
        bool hasLength = false;
        bool hasConnection = false;
        for (const auto& h : r.headers) {
            const QByteArray lower = h.first.toLower();
            hasLength |= lower == "content-length";
            hasConnection |= lower == "connection";
            head += h.first + ": " + h.second + "\r\n";
        }
        if (r.chunked)
            head += "Transfer-Encoding: chunked\r\n";
        else if (!r.noContentLength && !hasLength)
            head += "Content-Length: " + QByteArray::number(announcedLength) + "\r\n";
        if (m_closeWhenDone && !hasConnection)
            head += "Connection: close\r\n";
        head += "\r\n";
        if (r.verbatim.isEmpty())
            m_socket->write(head);
        m_repeat.clear();
        if (r.repeatAfterMs >= 0 && r.verbatim.isEmpty() && !m_truncated && !m_chunked) {
            QByteArray body = m_sendData;
            if (m_sendFile) {
                QFile again(r.bodyFile);
                if (again.open(QIODevice::ReadOnly) && again.seek(r.bodyFileOffset))
                    body = again.readAll();
            }
            m_repeat = head + (m_request.method == "HEAD" ? QByteArray() : body);
        }
        m_sendingBody = true;
        pump();
    }

    void pump()
    {
        if (m_state != Answering || !m_sendingBody)
            return;
        if (m_trickleWaiting)
            return;
        while (m_sent < m_limit && pendingOut() < kHighWater) {
            const qint64 want = qMin(m_response.trickleMs > 0 ? 1 : kSendChunk, m_limit - m_sent);
            QByteArray chunk;
            if (m_sendFile)
                chunk = m_sendFile->read(want);
            else
                chunk = m_sendData.mid(int(m_sent), int(want));
            if (chunk.isEmpty()) {
                // The file shrank under us: stop where it ends.
                m_limit = m_sent;
                break;
            }
            if (m_chunked)
                m_socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
            else
                m_socket->write(chunk);
            m_sent += chunk.size();
            if (m_response.trickleMs > 0 && m_sent < m_limit) {
                m_trickleWaiting = true;
                QTimer::singleShot(m_response.trickleMs, this, [this] {
                    m_trickleWaiting = false;
                    pump();
                });
                break;
            }
        }
        m_server->noteAnswerSent(m_requestId, m_sent);
        if (m_sent < m_limit)
            return;
        m_sendingBody = false;
        if (m_chunked && !m_truncated)
            m_socket->write("0\r\n\r\n");
        m_flushing = true;
        onWritten();
    }

    void onWritten()
    {
        if (m_state != Answering)
            return;
        if (m_sendingBody) {
            pump();
            return;
        }
        if (!m_flushing || pendingOut() > 0)
            return;
        m_flushing = false;
        m_sendFile.reset();
        m_sendData.clear();
        switch (m_finish) {
        case FinishStall:
            m_state = Stalled;
            break;
        case FinishClose:
            closeByServer(false);
            break;
        case FinishReset:
            // Let the peer read what was sent before the reset tears the stream down.
            m_state = Stalled;
            QTimer::singleShot(30, this, [this] {
                if (m_state == Stalled)
                    closeByServer(true);
            });
            break;
        case FinishComplete:
            if (m_closeWhenDone) {
                closeByServer(false);
            } else {
                if (!m_repeat.isEmpty())
                    QTimer::singleShot(m_response.repeatAfterMs, this,
                                       [this, again = m_repeat] { sendUnasked(again); });
                m_repeat.clear();
                m_state = ReadHead;
                forgetRequest();
                m_response = KoTestResponse();
                m_requestId = 0;
                // Pipelined input already buffered; parse it from a fresh stack.
                QTimer::singleShot(0, this, [this] {
                    if (m_state == ReadHead)
                        processInput();
                });
            }
            break;
        }
    }

    // Only onto an idle connection: once the next request is there, an answer sent now would
    // be taken for its own by any client.
    void sendUnasked(const QByteArray& answer)
    {
        char next = 0;
        const int fd = int(m_socket->socketDescriptor());
        if (m_state != ReadHead || !m_in.isEmpty() || m_socket->bytesAvailable() > 0 || fd < 0
            || ::recv(fd, &next, 1, MSG_PEEK | MSG_DONTWAIT) >= 0)
            return;
        // On the wire now: neither on a later turn of the loop nor held back (Nagle) until the
        // client acknowledges the last answer, which it may do only with its next request.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_socket->write(answer);
        m_socket->flush();
        ++m_server->m_unasked;
    }

    void closeByServer(bool reset)
    {
        m_state = Closed;
        if (reset) {
            // SO_LINGER 0 makes close() send RST instead of FIN.
            const qintptr fd = m_socket->socketDescriptor();
            if (fd >= 0) {
                struct linger lg;
                lg.l_onoff = 1;
                lg.l_linger = 0;
                ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &lg, sizeof(lg));
            }
            m_socket->abort();
        } else {
            m_socket->disconnectFromHost();
            if (m_socket->state() == QAbstractSocket::UnconnectedState) {
                deleteLater();
                return;
            }
            // Do not wait forever for a peer that keeps the socket open.
            QTimer::singleShot(5000, this, [this] {
                m_socket->abort();
                deleteLater();
            });
            return;
        }
        deleteLater();
    }

    void failBadRequest()
    {
        m_socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        closeByServer(false);
    }

    void onGone()
    {
        if (m_state == Closed) {
            if (m_socket->state() == QAbstractSocket::UnconnectedState)
                deleteLater();
            return;
        }
        // What reached this side before the peer went counts, however slowly it was being read.
        if (m_socket->bytesAvailable() > 0) {
            m_in.append(m_socket->readAll());
            processInput();
            if (m_state == Closed)
                return;
        }
        const State was = m_state;
        m_state = Closed;
        finishBodyFile();
        m_sendFile.reset();
        if (m_earlyDone) {
            // Logged when answered.
        } else if (was == ReadBody || was == ReadChunkSize || was == ReadChunkData || was == ReadChunkEnd
                   || was == ReadTrailer) {
            m_request.aborted = true;
            m_server->logRequest(m_request);
        } else if ((was == Answering || was == Stalled) && m_requestId != 0) {
            // A reset we scheduled ourselves is not a client abort.
            if (!(was == Stalled && m_finish == FinishReset))
                m_server->markAborted(m_requestId);
        }
        m_socket->abort();
        deleteLater();
    }

    KoTestHttpServer* m_server;
    QTcpSocket* m_socket;
    State m_state = ReadHead;
    QByteArray m_in;
    KoTestRequest m_request;
    quint64 m_requestId = 0;
    bool m_http10 = false;
    bool m_keepAlive = true;
    qint64 m_remaining = 0;
    QScopedPointer<QFile> m_bodyFile;

    KoTestResponse m_response;
    QScopedPointer<QFile> m_sendFile;
    QByteArray m_sendData;
    Finish m_finish = FinishComplete;
    qint64 m_limit = 0;
    qint64 m_sent = 0;
    bool m_truncated = false;
    bool m_chunked = false;
    bool m_sendingBody = false;
    bool m_trickleWaiting = false;
    qint64 m_earlyAt = -1; // answer after this many body bytes
    QByteArray m_earlyAnswer;
    bool m_earlyDone = false;
    bool m_flushing = false;
    bool m_closeWhenDone = false;
    QByteArray m_repeat; // the answer as it went out, for repeatAfterMs
    QTimer* m_pace = nullptr; // reads of a slow reader
    qint64 m_readBudget = 0;
};

KoTestHttpServer::KoTestHttpServer(Mode mode, QObject* parent)
    : QObject(parent)
    , m_mode(mode)
{
    qRegisterMetaType<KoTestRequest>();
    auto* listener = new KoTestTcpListener;
    listener->setParent(this);
    listener->onIncoming = [this](qintptr d) { onNewConnection(d); };
    m_listener = listener;
}

KoTestHttpServer::~KoTestHttpServer()
{
    m_listener->close();
    // Connections call back into this object; end them while it is still whole.
    const auto connections = m_connections;
    m_connections.clear();
    for (const auto& c : connections)
        delete c.data();
}

bool KoTestHttpServer::listen()
{
    if (m_mode == Https && !KoTestCertificates::ensure())
        return false;
    if (!m_listener->listen(QHostAddress::LocalHost, 0)) {
        qWarning() << "test server cannot listen:" << m_listener->errorString();
        return false;
    }
    return true;
}

quint16 KoTestHttpServer::port() const
{
    return m_listener->serverPort();
}

QString KoTestHttpServer::baseUrl() const
{
    if (m_mode == Https)
        return QStringLiteral("https://localhost:%1").arg(port());
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void KoTestHttpServer::setHandler(std::function<KoTestResponse(const KoTestRequest&)> handler)
{
    m_handler = std::move(handler);
}

void KoTestHttpServer::setResponse(const QByteArray& path, const KoTestResponse& response)
{
    m_fixed.insert(path, response);
}

void KoTestHttpServer::queueResponse(const QByteArray& path, const KoTestResponse& response)
{
    m_queued[path].append(response);
}

QList<KoTestRequest> KoTestHttpServer::requests() const
{
    return m_requests;
}

void KoTestHttpServer::clearRequests()
{
    for (const KoTestRequest& r : qAsConst(m_requests)) {
        if (!r.bodyFile.isEmpty())
            QFile::remove(r.bodyFile);
    }
    m_requests.clear();
    m_requestIds.clear();
}

bool KoTestHttpServer::waitForRequests(int count, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (m_requests.size() < count) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer::singleShot(int(qMin<qint64>(left, 50)), &loop, &QEventLoop::quit);
        connect(this, &KoTestHttpServer::requestReceived, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void KoTestHttpServer::setSpillThreshold(qint64 bytes)
{
    m_spillThreshold = bytes;
}

void KoTestHttpServer::setReadRate(qint64 bytesPerSecond)
{
    m_readRate = qMax<qint64>(0, bytesPerSecond);
    // Agreed when a connection opens (0: the link's own).
    const int segment = m_readRate > 0 ? kSlowLinkSegmentBytes : 0;
    if (m_listener->isListening())
        ::setsockopt(int(m_listener->socketDescriptor()), IPPROTO_TCP, TCP_MAXSEG, &segment, sizeof segment);
    // A connection keeps the link it was opened on: the next request must not come over a fast
    // one. A slow one is read fast again, not closed: a client may not be able to send a
    // streamed body again on a new one.
    const auto connections = m_connections;
    for (const auto& c : connections) {
        if (c && m_readRate > 0)
            c->endOfLink();
        else if (c)
            c->readFast();
    }
}

int KoTestHttpServer::connectionCount() const
{
    int n = 0;
    for (const auto& c : m_connections)
        n += c ? 1 : 0;
    return n;
}

int KoTestHttpServer::acceptedConnections() const
{
    return m_accepted;
}

int KoTestHttpServer::unaskedAnswers() const
{
    return m_unasked;
}

void KoTestHttpServer::onNewConnection(qintptr descriptor)
{
    QTcpSocket* socket = nullptr;
    if (m_mode == Https) {
        auto* ssl = new QSslSocket;
        if (!ssl->setSocketDescriptor(descriptor)) {
            delete ssl;
            return;
        }
        ssl->setLocalCertificate(KoTestCertificates::serverCertificate());
        ssl->setPrivateKey(KoTestCertificates::serverKey());
        ssl->setPeerVerifyMode(QSslSocket::VerifyNone); // no client certificates
        ssl->setProtocol(QSsl::TlsV1_2OrLater);
        socket = ssl;
    } else {
        socket = new QTcpSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
    }
    ++m_accepted;
    // Drop the entries of connections that are gone, then track the new one.
    m_connections.erase(std::remove_if(m_connections.begin(), m_connections.end(),
                                       [](const QPointer<KoTestHttpConnection>& c) { return c.isNull(); }),
                        m_connections.end());
    m_connections.append(new KoTestHttpConnection(this, socket));
    if (auto* ssl = qobject_cast<QSslSocket*>(socket))
        ssl->startServerEncryption();
}

quint64 KoTestHttpServer::logRequest(const KoTestRequest& request)
{
    const quint64 id = m_nextId++;
    m_requests.append(request);
    m_requestIds.append(id);
    emit requestReceived(request);
    return id;
}

void KoTestHttpServer::markAborted(quint64 id)
{
    const int i = m_requestIds.indexOf(id);
    if (i >= 0)
        m_requests[i].aborted = true;
}

void KoTestHttpServer::noteAnswerSent(quint64 id, qint64 bytes)
{
    const int i = m_requestIds.lastIndexOf(id);
    if (i >= 0)
        m_requests[i].answerBodySent = bytes;
}

void KoTestHttpServer::answerEarly(const QByteArray& path, qint64 afterBodyBytes, const QByteArray& json)
{
    m_early.insert(path, qMakePair(afterBodyBytes, json));
}

KoTestResponse KoTestHttpServer::answerFor(const KoTestRequest& request)
{
    const QByteArray path = request.pathOnly();
    auto queued = m_queued.find(path);
    if (queued != m_queued.end() && !queued->isEmpty())
        return queued->takeFirst();
    auto fixed = m_fixed.constFind(path);
    if (fixed != m_fixed.constEnd())
        return *fixed;
    if (m_handler)
        return m_handler(request);
    return KoTestResponse::raw("not found", 404, "text/plain");
}

QString KoTestHttpServer::newSpillFile()
{
    return m_spillDir.filePath(QStringLiteral("body-%1.bin").arg(++m_spillCounter));
}
