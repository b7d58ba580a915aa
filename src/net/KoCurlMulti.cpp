#include "net/KoCurlMulti.h"

#include "net/KoCurlReply.h"

#include <QSocketNotifier>

#include <cerrno>
#include <memory>
#include <QTimer>

#include <mutex>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// As many idle connections as five transfers at a time to a few phones want.
const long kMaxIdleConnections = 16;
// How long a cut connection waits for the peer to read what was sent and close.
const int kDrainBoundMs = 3000;

} // namespace

KoCurlMulti::KoCurlMulti(QObject* parent)
    : QObject(parent)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_multi = curl_multi_init();
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &KoCurlMulti::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &KoCurlMulti::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, kMaxIdleConnections);
}

KoCurlMulti::~KoCurlMulti()
{
    const QSet<KoCurlReply*> running = m_running;
    for (KoCurlReply* reply : running)
        remove(reply);
    // Closes the idle connections, which report their sockets gone.
    curl_multi_cleanup(m_multi);
    for (const Watch& w : qAsConst(m_watches)) {
        delete w.read;
        delete w.write;
    }
}

bool KoCurlMulti::add(KoCurlReply* reply)
{
    if (m_running.contains(reply))
        return true;
    if (curl_multi_add_handle(m_multi, reply->easy()) != CURLM_OK)
        return false;
    m_running.insert(reply);
    return true;
}

void KoCurlMulti::remove(KoCurlReply* reply)
{
    if (m_running.remove(reply))
        curl_multi_remove_handle(m_multi, reply->easy());
}

void KoCurlMulti::removeAndDrain(KoCurlReply* reply, std::function<void()> then)
{
    const curl_socket_t socket = m_running.contains(reply) ? reply->m_socket : CURL_SOCKET_BAD;
    // Our own hold on the connection, which curl closes when the transfer goes.
    const int fd = socket != CURL_SOCKET_BAD ? ::dup(int(socket)) : -1;
    remove(reply);
    if (fd < 0) {
        QTimer::singleShot(0, this, std::move(then));
        return;
    }
    // What was sent still arrives, then the end of the stream.
    ::shutdown(fd, SHUT_WR);
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    auto* bound = new QTimer(notifier);
    bound->setSingleShot(true);
    auto pending = std::make_shared<std::function<void()>>(std::move(then));
    auto end = [notifier, bound, fd, pending] {
        if (!*pending)
            return;
        const std::function<void()> run = std::move(*pending);
        *pending = nullptr;
        bound->stop();
        notifier->setEnabled(false);
        notifier->deleteLater();
        ::close(fd);
        run();
    };
    connect(bound, &QTimer::timeout, this, end);
    connect(notifier, &QSocketNotifier::activated, this, [end, fd] {
        char scratch[16 * 1024];
        for (;;) {
            const ssize_t n = ::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT);
            if (n > 0)
                continue;
            // Closed by the peer (or broken): everything sent was read.
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                end();
            return;
        }
    });
    bound->start(kDrainBoundMs);
}

void KoCurlMulti::touch(KoCurlReply* reply)
{
    if (!m_touched.contains(reply))
        m_touched.append(reply);
    if (m_depth > 0 || m_deliverQueued)
        return;
    m_deliverQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_deliverQueued = false;
        deliver();
    });
}

int KoCurlMulti::onSocket(CURL*, curl_socket_t socket, int what, void* self, void*)
{
    auto* multi = static_cast<KoCurlMulti*>(self);
    if (what == CURL_POLL_REMOVE)
        multi->unwatch(socket);
    else
        multi->watch(socket, what);
    return 0;
}

int KoCurlMulti::onTimer(CURLM*, long timeoutMs, void* self)
{
    auto* multi = static_cast<KoCurlMulti*>(self);
    // Curl must not be called from here: a timeout of 0 runs on the next turn of the loop.
    if (timeoutMs < 0)
        multi->m_timer->stop();
    else
        multi->m_timer->start(int(qMin<long>(timeoutMs, 24L * 3600 * 1000)));
    return 0;
}

void KoCurlMulti::watch(curl_socket_t socket, int what)
{
    Watch& w = m_watches[socket];
    if (!w.read) {
        w.read = new QSocketNotifier(qintptr(socket), QSocketNotifier::Read, this);
        w.write = new QSocketNotifier(qintptr(socket), QSocketNotifier::Write, this);
        connect(w.read, &QSocketNotifier::activated, this, [this, socket] { act(socket, CURL_CSELECT_IN); });
        connect(w.write, &QSocketNotifier::activated, this, [this, socket] { act(socket, CURL_CSELECT_OUT); });
    }
    w.read->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    w.write->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
}

void KoCurlMulti::unwatch(curl_socket_t socket)
{
    const auto it = m_watches.find(socket);
    if (it == m_watches.end())
        return;
    // Possibly inside the notifier's own signal: disabled now, deleted later.
    for (QSocketNotifier* n : {it->read, it->write}) {
        n->setEnabled(false);
        n->disconnect(this);
        n->deleteLater();
    }
    m_watches.erase(it);
}

void KoCurlMulti::act(curl_socket_t socket, int mask)
{
    int running = 0;
    ++m_depth;
    curl_multi_socket_action(m_multi, socket, mask, &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m_multi, &left)) {
        if (msg->msg != CURLMSG_DONE)
            continue;
        KoCurlReply* reply = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &reply);
        const CURLcode result = msg->data.result;
        if (reply && m_running.contains(reply)) {
            // Before the easy handle leaves, which forgets its connection.
            noteIdleConnection(msg->easy_handle);
            remove(reply);
            if (result == CURLE_ABORTED_BY_CALLBACK && reply->retryOnFreshConnection() && add(reply))
                continue;
            reply->transferDone(result);
            touch(reply);
        }
    }
    --m_depth;
    if (m_depth == 0)
        deliver();
}

void KoCurlMulti::deliver()
{
    while (!m_touched.isEmpty()) {
        const QPointer<KoCurlReply> reply = m_touched.takeFirst();
        if (reply)
            reply->deliver();
    }
}

QByteArray KoCurlMulti::connectionKey(const char* peerIp, long peerPort, const char* localIp, long localPort)
{
    return QByteArray(peerIp ? peerIp : "") + ' ' + QByteArray::number(qint64(peerPort)) + ' '
        + QByteArray(localIp ? localIp : "") + ' ' + QByteArray::number(qint64(localPort));
}

void KoCurlMulti::noteIdleConnection(CURL* easy)
{
    // Bad unless curl keeps the connection.
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(easy, CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK || socket == CURL_SOCKET_BAD)
        return;
    char* peerIp = nullptr;
    char* localIp = nullptr;
    long peerPort = 0;
    long localPort = 0;
    curl_easy_getinfo(easy, CURLINFO_PRIMARY_IP, &peerIp);
    curl_easy_getinfo(easy, CURLINFO_PRIMARY_PORT, &peerPort);
    curl_easy_getinfo(easy, CURLINFO_LOCAL_IP, &localIp);
    curl_easy_getinfo(easy, CURLINFO_LOCAL_PORT, &localPort);
    m_idle.insert(socket, connectionKey(peerIp, peerPort, localIp, localPort));
}

bool KoCurlMulti::takeIdleConnection(const QByteArray& key, bool fresh)
{
    curl_socket_t socket = CURL_SOCKET_BAD;
    for (auto it = m_idle.begin(); it != m_idle.end();) {
        if (it.value() != key) {
            ++it;
            continue;
        }
        // A new connection with the ends of one gone before: that entry is stale.
        if (!fresh)
            socket = it.key();
        it = m_idle.erase(it);
    }
    if (socket == CURL_SOCKET_BAD)
        return false;
    pollfd p{int(socket), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}
