#include "net/KoCurlReply.h"

#include "app/KoServerConfig.h"
#include "net/KoCurlMulti.h"
#include "net/KoFileRangeDevice.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTimer>

#include <cstring>

namespace {

// Large reads keep the calls per byte low on a fast LAN; below the allocator's threshold for
// memory of its own (128 KiB), so that every piece received does not fault in fresh pages.
const long kReceiveBufferBytes = 120 * 1024;
const long kSendBufferBytes = 1024 * 1024;
// "100 Continue" and its kind: a phone has no reason to send more than one or two.
const int kMaxInterimAnswers = 4;
// A transfer slower than this many bytes a second for the whole slow-transfer time has stalled.
const long kSlowBytesPerSecond = 100;
// As often as the network access manager tells it.
const qint64 kProgressIntervalMs = 100;

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

QNetworkReply::NetworkError curlError(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_CONNECT:
        return QNetworkReply::ConnectionRefusedError;
    case CURLE_COULDNT_RESOLVE_HOST:
        return QNetworkReply::HostNotFoundError;
    case CURLE_OPERATION_TIMEDOUT:
        return QNetworkReply::TimeoutError;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return QNetworkReply::RemoteHostClosedError;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return QNetworkReply::ProtocolUnknownError;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_WRITE_ERROR:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP3:
        return QNetworkReply::ProtocolFailure;
    default:
        return QNetworkReply::UnknownNetworkError;
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

} // namespace

KoCurlReply::KoCurlReply(KoCurlMulti* multi, QNetworkAccessManager::Operation operation,
                         const QNetworkRequest& request, const QByteArray& head, KoFileRangeDevice* device,
                         const QByteArray& tail, QObject* parent)
    : QNetworkReply(parent)
    , m_multi(multi)
    , m_partHead(head)
    , m_device(device)
    , m_partTail(tail)
{
    setRequest(request);
    setUrl(request.url());
    setOperation(operation);
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    if (m_device)
        m_device->setParent(this);
    const bool post = operation == QNetworkAccessManager::PostOperation;
    if (post && !m_device) {
        m_memoryBody = m_partHead + m_partTail;
        m_partHead.clear();
        m_partTail.clear();
    }
    m_bodyTotal = post
        ? m_memoryBody.size() + m_partHead.size() + (m_device ? m_device->size() : 0) + m_partTail.size()
        : 0;

    bool clean = true;
    bool hasLanguage = false;
    for (const QByteArray& name : request.rawHeaderList()) {
        const QByteArray value = request.rawHeader(name);
        // A line break inside a header would start a header or a request of its own.
        if (name.contains('\r') || name.contains('\n') || value.contains('\r') || value.contains('\n'))
            clean = false;
        // Curl counts the body itself.
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            continue;
        hasLanguage = hasLanguage || name.compare("Accept-Language", Qt::CaseInsensitive) == 0;
        m_headerList = curl_slist_append(m_headerList, (name + ": " + value).constData());
    }
    // The headers the network access manager sends, and none of curl's own beyond them.
    m_headerList = curl_slist_append(m_headerList, "Connection: Keep-Alive");
    if (!hasLanguage)
        m_headerList = curl_slist_append(m_headerList, ("Accept-Language: " + acceptLanguage()).constData());
    m_headerList = curl_slist_append(m_headerList, "Accept:");
    m_headerList = curl_slist_append(m_headerList, "Expect:");

    m_url = request.url().toString(QUrl::FullyEncoded).toLatin1();
    m_easy = curl_easy_init();
    CURL* e = m_easy;
    curl_easy_setopt(e, CURLOPT_PRIVATE, this);
    curl_easy_setopt(e, CURLOPT_URL, m_url.constData());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(e, CURLOPT_PROXY, "");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(e, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, m_headerList);
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &KoCurlReply::onWrite);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &KoCurlReply::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &KoCurlReply::onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, kSlowBytesPerSecond);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, long(qMax(1, (KoServerConfig::slowTransferMs() + 999) / 1000)));
    curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &KoCurlReply::onSocketOpened);
    curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &KoCurlReply::onRequestDue);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
    if (post) {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        if (m_device) {
            curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, kSendBufferBytes);
            curl_easy_setopt(e, CURLOPT_READFUNCTION, &KoCurlReply::onRead);
            curl_easy_setopt(e, CURLOPT_READDATA, this);
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_bodyTotal));
            // A connection the peer closed meanwhile would want the body from its start again.
            curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
        } else {
            // Goes out with the head in one write when small.
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, m_memoryBody.constData());
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_memoryBody.size()));
        }
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    }

    // Everything is reported from the event loop, after the caller has filed this reply.
    QTimer::singleShot(0, this, [this, clean] {
        if (!clean)
            fail(ProtocolFailure, QStringLiteral("invalid header"));
        else
            start();
    });
}

KoCurlReply::~KoCurlReply()
{
    if (m_multi)
        m_multi->remove(this);
    curl_easy_cleanup(m_easy);
    curl_slist_free_all(m_headerList);
}

void KoCurlReply::start()
{
    if (m_done)
        return;
    if (!m_multi) {
        fail(UnknownNetworkError, QStringLiteral("the network layer is gone"));
        return;
    }
    if (m_device && !m_device->open(QIODevice::ReadOnly)) {
        fail(UnknownNetworkError, QStringLiteral("the file cannot be read"));
        return;
    }
    if (!m_multi->add(this))
        fail(UnknownNetworkError, QStringLiteral("the request cannot be started"));
}

size_t KoCurlReply::onWrite(char* data, size_t size, size_t count, void* self)
{
    auto* r = static_cast<KoCurlReply*>(self);
    const size_t n = size * count;
    if (r->m_done)
        return 0;
    // Held back until the reader takes what is buffered: a cap on the answer bounds memory.
    const qint64 limit = r->readBufferSize();
    if (limit > 0 && r->m_buffered >= limit) {
        r->m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    QByteArray piece(data, int(n));
    r->m_chunks.push_back(std::move(piece));
    r->m_buffered += qint64(n);
    r->m_received += qint64(n);
    r->noteAnswerWhole();
    if (r->m_multi)
        r->m_multi->touch(r);
    return n;
}

size_t KoCurlReply::onHeader(char* data, size_t size, size_t count, void* self)
{
    auto* r = static_cast<KoCurlReply*>(self);
    const size_t n = size * count;
    if (r->m_done)
        return 0;
    return r->headerLine(QByteArray::fromRawData(data, int(n))) ? n : 0;
}

bool KoCurlReply::headerLine(const QByteArray& line)
{
    // Trailers of a chunked answer: of no use here.
    if (m_haveHead)
        return true;
    if (line.startsWith("HTTP/")) {
        if (++m_heads > kMaxInterimAnswers + 1) {
            m_protocolError = QStringLiteral("too many interim answers");
            return false;
        }
        m_headLines.clear();
    }
    if (line != "\r\n" && line != "\n") {
        m_headLines.append(line.trimmed());
        return true;
    }
    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    return status < 200 || takeHead();
}

bool KoCurlReply::takeHead()
{
    long status = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
    const QByteArray statusLine = m_headLines.value(0);
    QByteArray length;
    bool chunked = false;
    QList<QPair<QByteArray, QByteArray>> fields;
    for (int i = 1; i < m_headLines.size(); ++i) {
        const QByteArray& line = m_headLines.at(i);
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        bool merged = false;
        for (auto& f : fields) {
            if (f.first.compare(name, Qt::CaseInsensitive) == 0) {
                f.second += ", " + value;
                merged = true;
                break;
            }
        }
        if (!merged)
            fields.append(qMakePair(name, value));
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            // Curl takes the last of several; an answer whose lengths disagree has no length.
            if (!length.isNull() && value != length) {
                m_protocolError = QStringLiteral("Content-Length values disagree");
                return false;
            }
            length = value;
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            chunked = chunked || value.toLower().contains("chunked");
        }
    }
    m_headLines.clear();
    m_haveHead = true;
    curl_off_t sent = 0;
    curl_easy_getinfo(m_easy, CURLINFO_SIZE_UPLOAD_T, &sent);
    m_answeredEarly = qint64(sent) < m_bodyTotal;

    setAttribute(QNetworkRequest::HttpStatusCodeAttribute, int(status));
    const int reasonAt = statusLine.indexOf(' ', statusLine.indexOf(' ') + 1);
    setAttribute(QNetworkRequest::HttpReasonPhraseAttribute,
                 reasonAt > 0 ? QString::fromLatin1(statusLine.mid(reasonAt + 1)).trimmed() : QString());
    for (const auto& f : qAsConst(fields))
        setRawHeader(f.first, f.second);
    if (!chunked && !length.isNull()) {
        bool ok = false;
        const qint64 value = length.toLongLong(&ok);
        if (ok && value >= 0) {
            m_length = value;
            setHeader(QNetworkRequest::ContentLengthHeader, value);
        }
    }
    const QByteArray type = rawHeader("Content-Type");
    if (!type.isEmpty())
        setHeader(QNetworkRequest::ContentTypeHeader, QString::fromLatin1(type));
    const NetworkError code = statusError(int(status));
    if (code != NoError)
        setError(code, QStringLiteral("server replied: %1").arg(QString::fromLatin1(statusLine.mid(9))));
    m_headPending = true;
    noteAnswerWhole();
    if (m_multi)
        m_multi->touch(this);
    return true;
}

void KoCurlReply::noteAnswerWhole()
{
    // Curl would go on sending after an early success; the answer decides, the rest is moot.
    if (m_answeredEarly && m_length >= 0 && m_received >= m_length)
        m_earlyAnswerWhole = true;
}

size_t KoCurlReply::onRead(char* data, size_t size, size_t count, void* self)
{
    auto* r = static_cast<KoCurlReply*>(self);
    const qint64 room = qint64(size * count);
    if (r->m_done)
        return CURL_READFUNC_ABORT;
    qint64 filled = 0;
    auto copy = [&](const QByteArray& part, qint64 partStart) {
        const qint64 at = r->m_bodyRead - partStart;
        if (at < 0 || at >= part.size() || filled >= room)
            return;
        const qint64 n = qMin<qint64>(part.size() - at, room - filled);
        std::memcpy(data + filled, part.constData() + at, size_t(n));
        filled += n;
        r->m_bodyRead += n;
    };
    const qint64 fileSize = r->m_device ? r->m_device->size() : 0;
    copy(r->m_partHead, 0);
    const qint64 fileStart = r->m_partHead.size();
    if (filled < room && r->m_device && r->m_bodyRead >= fileStart && r->m_bodyRead < fileStart + fileSize) {
        const qint64 want = qMin(room - filled, fileStart + fileSize - r->m_bodyRead);
        const qint64 got = r->m_device->read(data + filled, want);
        if (got != want) {
            // Short data would corrupt the upload: the request fails instead.
            r->m_readError = r->m_device->errorString();
            return CURL_READFUNC_ABORT;
        }
        filled += got;
        r->m_bodyRead += got;
    }
    copy(r->m_partTail, fileStart + fileSize);
    return size_t(filled);
}

int KoCurlReply::onSocketOpened(void* self, curl_socket_t socket, curlsocktype)
{
    auto* r = static_cast<KoCurlReply*>(self);
    r->m_newConnection = true;
    if (r->m_device)
        r->m_socket = socket;
    return CURL_SOCKOPT_OK;
}

int KoCurlReply::onRequestDue(void* self, char* peerIp, char* localIp, int peerPort, int localPort)
{
    auto* r = static_cast<KoCurlReply*>(self);
    if (!r->m_multi || r->m_done)
        return CURL_PREREQFUNC_OK;
    const bool unread = r->m_multi->takeIdleConnection(
        KoCurlMulti::connectionKey(peerIp, peerPort, localIp, localPort), r->m_newConnection);
    // Bytes that wait on a kept connection before the request went out answer no request of
    // ours; curl would take them for this one's answer.
    if (unread && !r->m_retried) {
        r->m_staleConnection = true;
        return CURL_PREREQFUNC_ABORT;
    }
    return CURL_PREREQFUNC_OK;
}

bool KoCurlReply::retryOnFreshConnection()
{
    // Nothing of this attempt went out or came in: the next one starts the request afresh.
    if (!m_staleConnection || m_retried || m_done || m_bodyRead > 0 || m_heads > 0 || m_received > 0)
        return false;
    m_staleConnection = false;
    m_retried = true;
    m_newConnection = false;
    curl_easy_setopt(m_easy, CURLOPT_FRESH_CONNECT, 1L);
    return true;
}

int KoCurlReply::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t upNow)
{
    auto* r = static_cast<KoCurlReply*>(self);
    if (qint64(upNow) != r->m_sent) {
        r->m_sent = qint64(upNow);
        if (r->m_multi)
            r->m_multi->touch(r);
    }
    return 0;
}

void KoCurlReply::transferDone(CURLcode result)
{
    m_transferDone = true;
    m_result = result;
    curl_off_t sent = 0;
    curl_easy_getinfo(m_easy, CURLINFO_SIZE_UPLOAD_T, &sent);
    m_sent = qint64(sent);
}

void KoCurlReply::deliver()
{
    if (m_done)
        return;
    QPointer<KoCurlReply> self(this);
    if (m_earlyAnswerWhole && !m_transferDone) {
        // Cut: the connection closes with the body unfinished.
        if (m_multi)
            m_multi->remove(this);
        m_transferDone = true;
        m_result = CURLE_OK;
    }
    // After an early answer what still goes out changes nothing.
    if (m_sent != m_sentReported && m_bodyTotal > 0 && !m_answeredEarly) {
        m_sentReported = m_sent;
        emit uploadProgress(qMin(m_sent, m_bodyTotal), m_bodyTotal);
        if (!self || m_done)
            return;
    }
    if (m_headPending) {
        m_headPending = false;
        emit metaDataChanged();
        if (!self || m_done)
            return;
    }
    if (m_received > m_receivedReported) {
        m_receivedReported = m_received;
        emit readyRead();
        if (!self || m_done)
            return;
        const bool last = m_transferDone && m_result == CURLE_OK;
        if (!last && (!m_progressClock.isValid() || m_progressClock.elapsed() >= kProgressIntervalMs)) {
            m_progressClock.start();
            emit downloadProgress(m_received, m_length);
            if (!self || m_done)
                return;
        }
    }
    if (m_transferDone)
        finish();
}

void KoCurlReply::finish()
{
    QPointer<KoCurlReply> self(this);
    if (m_result == CURLE_OK) {
        // The last progress names the final size, as the network access manager's does.
        emit downloadProgress(m_received, m_received);
        if (!self || m_done)
            return;
        m_done = true;
        if (m_device)
            m_device->close();
        if (error() != NoError)
            emit errorOccurred(error());
        if (!self)
            return;
        setFinished(true);
        emit finished();
        return;
    }
    QString text = QString::fromLatin1(curl_easy_strerror(m_result));
    NetworkError code = curlError(m_result);
    if (!m_protocolError.isEmpty()) {
        code = ProtocolFailure;
        text = m_protocolError;
    } else if (!m_readError.isEmpty() || m_result == CURLE_ABORTED_BY_CALLBACK || m_result == CURLE_READ_ERROR) {
        code = UnknownNetworkError;
        text = m_readError.isEmpty() ? text : m_readError;
    }
    fail(code, text);
}

void KoCurlReply::fail(NetworkError code, const QString& text)
{
    if (m_done)
        return;
    m_done = true;
    if (m_multi)
        m_multi->remove(this);
    if (m_device)
        m_device->close();
    setError(code, text);
    QPointer<KoCurlReply> self(this);
    emit errorOccurred(code);
    if (!self)
        return;
    setFinished(true);
    emit finished();
}

void KoCurlReply::abort()
{
    if (m_done)
        return;
    m_chunks.clear();
    m_buffered = 0;
    m_frontPos = 0;
    fail(OperationCanceledError, QStringLiteral("Operation canceled"));
}

void KoCurlReply::abortAndDrain(std::function<void()> then)
{
    if (m_done || !m_multi) {
        abort();
        // Not on this reply, which its owner may delete before the next turn.
        QTimer::singleShot(0, QCoreApplication::instance(), std::move(then));
        return;
    }
    m_multi->removeAndDrain(this, std::move(then));
    abort();
}

void KoCurlReply::close()
{
    abort();
    QNetworkReply::close();
}

void KoCurlReply::setReadBufferSize(qint64 size)
{
    QNetworkReply::setReadBufferSize(size);
    resume();
}

void KoCurlReply::resume()
{
    const qint64 limit = readBufferSize();
    if (!m_paused || m_done || m_transferDone || (limit > 0 && m_buffered >= limit))
        return;
    m_paused = false;
    // May hand over what curl held back at once, and pause again.
    curl_easy_pause(m_easy, CURLPAUSE_CONT);
}

qint64 KoCurlReply::bytesAvailable() const
{
    return m_buffered + QNetworkReply::bytesAvailable();
}

qint64 KoCurlReply::readData(char* data, qint64 maxSize)
{
    if (m_buffered == 0)
        return m_done ? -1 : 0;
    qint64 n = 0;
    // Taken from the front of the pieces curl handed over, each copied once.
    while (n < maxSize && !m_chunks.empty()) {
        const QByteArray& front = m_chunks.front();
        const qint64 take = qMin<qint64>(maxSize - n, front.size() - m_frontPos);
        std::memcpy(data + n, front.constData() + m_frontPos, size_t(take));
        n += take;
        m_frontPos += take;
        if (m_frontPos == front.size()) {
            m_chunks.pop_front();
            m_frontPos = 0;
        }
    }
    m_buffered -= n;
    resume();
    return n;
}
