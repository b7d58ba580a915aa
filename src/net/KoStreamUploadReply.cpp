#include "net/KoStreamUploadReply.h"

#include "net/KoFileRangeDevice.h"

#include <QLocale>
#include <QElapsedTimer>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace {

// Large blocks keep the calls per byte low; the bound on what waits in the socket's buffer
// keeps the memory of an upload of any size to a few MiB.
const qint64 kBlockBytes = 1024 * 1024;
const qint64 kQueuedBytes = 2 * kBlockBytes;
// An answer head larger than this is no answer of a phone.
const int kMaxHeadBytes = 64 * 1024;

QNetworkReply::NetworkError statusError(int status)
{
    switch (status) {
    case 401:
        return QNetworkReply::AuthenticationRequiredError;
    case 403:
        return QNetworkReply::ContentAccessDenied;
    case 404:
        return QNetworkReply::ContentNotFoundError;
    case 405:
        return QNetworkReply::ContentOperationNotPermittedError;
    case 407:
        return QNetworkReply::ProxyAuthenticationRequiredError;
    case 409:
        return QNetworkReply::ContentConflictError;
    case 410:
        return QNetworkReply::ContentGoneError;
    case 418:
        return QNetworkReply::ProtocolInvalidOperationError;
    case 500:
        return QNetworkReply::InternalServerError;
    case 501:
        return QNetworkReply::OperationNotImplementedError;
    case 503:
        return QNetworkReply::ServiceUnavailableError;
    default:
        if (status >= 500)
            return QNetworkReply::UnknownServerError;
        if (status >= 400)
            return QNetworkReply::UnknownContentError;
        return QNetworkReply::NoError;
    }
}

QByteArray acceptLanguage()
{
    // As the network access manager words it.
    QString name = QLocale::system().name();
    if (name == QLatin1String("C"))
        name = QStringLiteral("en");
    name.replace(QLatin1Char('_'), QLatin1Char('-'));
    return name.toLatin1() + ",*";
}

QString poolKey(const QString& host, quint16 port)
{
    return host + QLatin1Char(':') + QString::number(port);
}

// Idle connections kept per host: as many as the network access manager would open.
const int kIdlePerHost = 6;

} // namespace

QTcpSocket* KoHttpConnectionPool::take(const QString& host, quint16 port)
{
    const QString key = poolKey(host, port);
    while (QTcpSocket* socket = m_idle.take(key)) {
        socket->disconnect(this);
        if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0)
            return socket;
        socket->deleteLater();
    }
    return nullptr;
}

void KoHttpConnectionPool::put(const QString& host, quint16 port, QTcpSocket* socket)
{
    const QString key = poolKey(host, port);
    if (m_idle.count(key) >= kIdlePerHost) {
        socket->deleteLater();
        return;
    }
    socket->setParent(this);
    // Anything from an idle connection (its close, or bytes nobody asked for) ends it.
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { drop(socket); });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket] { drop(socket); });
    m_idle.insert(key, socket);
}

void KoHttpConnectionPool::drop(QTcpSocket* socket)
{
    for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
        if (it.value() == socket) {
            m_idle.erase(it);
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
            return;
        }
    }
}

KoStreamUploadReply::KoStreamUploadReply(const QNetworkRequest& request,
                                         const QList<QPair<QByteArray, QByteArray>>& headers, const QByteArray& head,
                                         KoFileRangeDevice* device, const QByteArray& tail,
                                         KoHttpConnectionPool* pool, QObject* parent)
    : QNetworkReply(parent)
    , m_pool(pool)
    , m_device(device)
    , m_partHead(head)
    , m_partTail(tail)
{
    setRequest(request);
    setUrl(request.url());
    setOperation(QNetworkAccessManager::PostOperation);
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    if (m_device)
        m_device->setParent(this);

    const QUrl url = request.url();
    QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    if (path.isEmpty())
        path = "/";
    if (url.hasQuery())
        path += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port(80) != 80)
        host += ':' + QByteArray::number(url.port());

    m_bodyTotal = m_partHead.size() + (m_device ? m_device->size() : 0) + m_partTail.size();
    m_fileLeft = m_device ? m_device->size() : 0;
    bool clean = true;
    QByteArray text = "POST " + path + " HTTP/1.1\r\n";
    bool hasLanguage = false;
    for (const auto& h : headers) {
        // A line break inside a header would start a header or a request of its own.
        if (h.first.contains('\r') || h.first.contains('\n') || h.second.contains('\r') || h.second.contains('\n'))
            clean = false;
        hasLanguage = hasLanguage || h.first.compare("Accept-Language", Qt::CaseInsensitive) == 0;
        text += h.first + ": " + h.second + "\r\n";
    }
    text += "Connection: Keep-Alive\r\n";
    if (!hasLanguage)
        text += "Accept-Language: " + acceptLanguage() + "\r\n";
    text += "Host: " + host + "\r\n\r\n";
    m_requestHead = text;

    // Everything is reported from the event loop, after the caller has filed this reply.
    QTimer::singleShot(0, this, [this, clean] {
        if (!clean)
            fail(ProtocolFailure, QStringLiteral("invalid header"));
        else
            start();
    });
}

KoStreamUploadReply::~KoStreamUploadReply()
{
    if (m_socket)
        m_socket->abort();
}

void KoStreamUploadReply::start()
{
    if (m_done)
        return;
    if (m_device && !m_device->open(QIODevice::ReadOnly)) {
        fail(UnknownNetworkError, QStringLiteral("the file cannot be read"));
        return;
    }
    // Only a body that can be sent again may go over a connection the peer may have closed.
    QTcpSocket* idle = !m_device && m_pool ? m_pool->take(url().host(), quint16(url().port(80))) : nullptr;
    m_reused = idle != nullptr;
    connectSocket(idle ? idle : new QTcpSocket);
    if (idle)
        onConnected();
    else
        m_socket->connectToHost(url().host(), quint16(url().port(80)));
}

void KoStreamUploadReply::connectSocket(QTcpSocket* socket)
{
    m_socket = socket;
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::connected, this, &KoStreamUploadReply::onConnected);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &KoStreamUploadReply::onBytesWritten);
    connect(m_socket, &QTcpSocket::readyRead, this, &KoStreamUploadReply::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &KoStreamUploadReply::onDisconnected);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &KoStreamUploadReply::onSocketError);
}

bool KoStreamUploadReply::retry()
{
    // A reused connection the peer had closed meanwhile: the request never reached it.
    if (!m_reused || m_retried || m_device || m_haveHead || !m_in.isEmpty())
        return false;
    m_retried = true;
    m_reused = false;
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_queued = 0;
    m_written = 0;
    m_tailQueued = false;
    connectSocket(new QTcpSocket);
    m_socket->connectToHost(url().host(), quint16(url().port(80)));
    return true;
}

void KoStreamUploadReply::onConnected()
{
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Head and a body in memory in one write, so that they leave in one segment.
    m_socket->write(m_requestHead + m_partHead + (m_device ? QByteArray() : m_partTail));
    m_tailQueued = !m_device;
    m_queued = m_requestHead.size() + m_partHead.size() + (m_device ? 0 : m_partTail.size());
    fill();
}

void KoStreamUploadReply::fill()
{
    while (!m_done && m_queued - m_written < kQueuedBytes && m_fileLeft > 0) {
        const qint64 want = qMin(kBlockBytes, m_fileLeft);
        QByteArray block(int(want), Qt::Uninitialized);
        const qint64 got = m_device->read(block.data(), want);
        if (got != want) {
            // Short data would corrupt the upload: the request fails instead.
            fail(UnknownNetworkError, m_device->errorString());
            return;
        }
        m_socket->write(block);
        m_queued += got;
        m_fileLeft -= got;
    }
    if (!m_done && m_fileLeft == 0 && !m_tailQueued) {
        m_tailQueued = true;
        m_socket->write(m_partTail);
        m_queued += m_partTail.size();
    }
}

void KoStreamUploadReply::onBytesWritten(qint64 written)
{
    if (m_done)
        return;
    m_written += written;
    const qint64 sent = qBound<qint64>(0, m_written - m_requestHead.size(), m_bodyTotal);
    QPointer<KoStreamUploadReply> self(this);
    if (sent > 0)
        emit uploadProgress(sent, m_bodyTotal);
    // A receiver may have aborted it, or deleted it.
    if (!self || m_done)
        return;
    fill();
}

void KoStreamUploadReply::onReadyRead()
{
    if (m_done)
        return;
    if (m_in.isEmpty())
        m_in = m_socket->readAll();
    else
        m_in += m_socket->readAll();
    if (!m_haveHead) {
        if (!parseHead())
            return;
    }
    parseBody();
}

bool KoStreamUploadReply::parseHead()
{
    const int end = m_in.indexOf("\r\n\r\n");
    if (end < 0) {
        if (m_in.size() > kMaxHeadBytes)
            fail(ProtocolFailure, QStringLiteral("answer head too long"));
        return false;
    }
    const QList<QByteArray> lines = m_in.left(end).split('\n');
    m_in.remove(0, end + 4);
    const QByteArray statusLine = lines.value(0).trimmed();
    const QList<QByteArray> words = statusLine.split(' ');
    bool ok = false;
    const int status = words.value(1).toInt(&ok);
    if (!statusLine.startsWith("HTTP/1.") || !ok) {
        fail(ProtocolFailure, QStringLiteral("not an HTTP answer"));
        return false;
    }
    if (status >= 100 && status < 200) {
        // "100 Continue" and its kind precede the answer proper.
        return m_in.isEmpty() ? false : parseHead();
    }
    m_haveHead = true;
    m_keepAlive = statusLine.startsWith("HTTP/1.1");
    setAttribute(QNetworkRequest::HttpStatusCodeAttribute, status);
    setAttribute(QNetworkRequest::HttpReasonPhraseAttribute,
                 QString::fromLatin1(statusLine.mid(statusLine.indexOf(' ', 9) + 1)).trimmed());
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        const QByteArray previous = rawHeader(name);
        setRawHeader(name, previous.isEmpty() ? value : previous + ", " + value);
        if (name.compare("Connection", Qt::CaseInsensitive) == 0) {
            m_keepAlive = !value.toLower().contains("close");
        } else if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            m_bodyLeft = value.toLongLong(&ok);
            if (!ok || m_bodyLeft < 0) {
                fail(ProtocolFailure, QStringLiteral("invalid Content-Length"));
                return false;
            }
            setHeader(QNetworkRequest::ContentLengthHeader, m_bodyLeft);
            m_haveLength = true;
            m_length = m_bodyLeft;
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            m_chunked = value.toLower().contains("chunked");
        } else if (name.compare("Content-Type", Qt::CaseInsensitive) == 0) {
            setHeader(QNetworkRequest::ContentTypeHeader, QString::fromLatin1(value));
        }
    }
    if (m_chunked) {
        m_bodyLeft = -1;
        m_haveLength = false;
    }
    const NetworkError code = statusError(status);
    if (code != NoError)
        setError(code, QStringLiteral("server replied: %1").arg(QString::fromLatin1(statusLine.mid(9))));
    QPointer<KoStreamUploadReply> self(this);
    emit metaDataChanged();
    return self && !m_done;
}

void KoStreamUploadReply::parseBody()
{
    const int before = m_body.size();
    bool complete = false;
    if (!m_chunked && m_body.isEmpty() && (m_bodyLeft < 0 || m_in.size() <= m_bodyLeft)) {
        // The common case of a large answer: what came is all body, taken without a copy.
        m_body = m_in;
        m_bodyPos = 0;
        m_in.clear();
        if (m_bodyLeft >= 0) {
            m_bodyLeft -= m_body.size();
            complete = m_bodyLeft == 0;
        }
    } else if (m_chunked) {
        while (true) {
            if (m_chunkLeft < 0) {
                const int eol = m_in.indexOf("\r\n");
                if (eol < 0)
                    break;
                bool ok = false;
                m_chunkLeft = m_in.left(eol).split(';').value(0).trimmed().toLongLong(&ok, 16);
                m_in.remove(0, eol + 2);
                if (!ok || m_chunkLeft < 0) {
                    fail(ProtocolFailure, QStringLiteral("invalid chunk"));
                    return;
                }
                if (m_chunkLeft == 0) {
                    complete = true; // trailers, if any, are of no use here
                    break;
                }
            }
            // The chunk's data and its closing line break.
            if (m_in.size() < m_chunkLeft + 2)
                break;
            m_body += m_in.left(int(m_chunkLeft));
            m_in.remove(0, int(m_chunkLeft) + 2);
            m_chunkLeft = -1;
        }
    } else if (m_bodyLeft >= 0) {
        const int take = int(qMin<qint64>(m_bodyLeft, m_in.size()));
        m_body += m_in.left(take);
        m_in.remove(0, take);
        m_bodyLeft -= take;
        complete = m_bodyLeft == 0;
    } else {
        m_body += m_in;
        m_in.clear();
    }
    QPointer<KoStreamUploadReply> self(this);
    if (m_body.size() > before) {
        m_received += m_body.size() - before;
        emit readyRead();
        // As often as the network access manager tells it, and always the last.
        if (self && !m_done && (!m_progressClock.isValid() || m_progressClock.elapsed() >= 100 || complete)) {
            m_progressClock.start();
            emit downloadProgress(m_received, m_haveLength ? m_length : -1);
        }
    }
    if (!self || m_done)
        return;
    // The connection serves again only after a whole answer to a whole request.
    if (complete)
        finish(m_keepAlive && m_in.isEmpty() && m_tailQueued && m_written == m_queued);
}

void KoStreamUploadReply::onDisconnected()
{
    if (m_done)
        return;
    if (m_socket->bytesAvailable() > 0)
        onReadyRead();
    if (m_done || retry())
        return;
    // Without a length, the end of the connection ends the answer.
    if (m_haveHead && !m_chunked && m_bodyLeft < 0)
        finish();
    else
        fail(RemoteHostClosedError, QStringLiteral("connection closed"));
}

void KoStreamUploadReply::onSocketError()
{
    if (m_done)
        return;
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError) {
        onDisconnected();
        return;
    }
    if (retry())
        return;
    switch (m_socket->error()) {
    case QAbstractSocket::ConnectionRefusedError:
        fail(ConnectionRefusedError, m_socket->errorString());
        return;
    case QAbstractSocket::HostNotFoundError:
        fail(HostNotFoundError, m_socket->errorString());
        return;
    case QAbstractSocket::SocketTimeoutError:
        fail(TimeoutError, m_socket->errorString());
        return;
    default:
        fail(UnknownNetworkError, m_socket->errorString());
        return;
    }
}

void KoStreamUploadReply::fail(NetworkError code, const QString& text)
{
    if (m_done)
        return;
    setError(code, text);
    QPointer<KoStreamUploadReply> self(this);
    emit errorOccurred(code);
    if (self)
        finish();
}

void KoStreamUploadReply::finish(bool reusable)
{
    if (m_done)
        return;
    m_done = true;
    if (m_socket) {
        m_socket->disconnect(this);
        if (reusable && m_pool && m_socket->state() == QAbstractSocket::ConnectedState) {
            m_pool->put(url().host(), quint16(url().port(80)), m_socket);
        } else {
            m_socket->abort();
        }
        m_socket = nullptr;
    }
    if (m_device)
        m_device->close();
    setFinished(true);
    emit finished();
}

void KoStreamUploadReply::abort()
{
    if (m_done)
        return;
    fail(OperationCanceledError, QStringLiteral("Operation canceled"));
}

void KoStreamUploadReply::close()
{
    abort();
    QNetworkReply::close();
}

qint64 KoStreamUploadReply::bytesAvailable() const
{
    return m_body.size() - m_bodyPos + QNetworkReply::bytesAvailable();
}

qint64 KoStreamUploadReply::readData(char* data, qint64 maxSize)
{
    const int n = int(qMin<qint64>(maxSize, m_body.size() - m_bodyPos));
    if (n <= 0)
        return m_done ? -1 : 0;
    memcpy(data, m_body.constData() + m_bodyPos, size_t(n));
    m_bodyPos += n;
    // Read in small pieces, a large answer is dropped from the front only now and then.
    if (m_bodyPos == m_body.size()) {
        m_body.clear();
        m_bodyPos = 0;
    } else if (m_bodyPos > 1024 * 1024 && m_bodyPos > m_body.size() / 2) {
        m_body.remove(0, m_bodyPos);
        m_bodyPos = 0;
    }
    return n;
}
