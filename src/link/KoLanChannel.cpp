#include "link/KoLanChannel.h"

#include "app/KoServerConfig.h"
#include "link/KoLanMessage.h"

#include <QDebug>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QMutexLocker>
#include <QNetworkDatagram>
#include <QRunnable>
#include <QThreadPool>
#include <QTimer>
#include <QUdpSocket>

#include <atomic>

void KoLanShared::setAddress(const QString& ip)
{
    QMutexLocker l(&addressLock);
    localIp = ip;
}

QString KoLanShared::address()
{
    QMutexLocker l(&addressLock);
    return localIp;
}

void KoLanShared::setKey(int key)
{
    QMutexLocker l(&keyLock);
    qrKey = key;
    wrongKeys = 0;
}

KoLanShared::KeyVerdict KoLanShared::checkKey(quint32 sender, int key, qint64 nowMs)
{
    QMutexLocker l(&keyLock);
    // Nothing is compared while a message is held back, so that no answer, not even to the
    // right key, tells a guesser anything then.
    auto known = guesses.find(sender);
    if (known != guesses.end() && nowMs < known->ignoredUntil)
        return SenderIgnored;
    if (guessesPaidAt - nowMs > (kWrongKeysAtOnce - 1) * kWrongKeyRefillMs)
        return SenderIgnored;
    if (known == guesses.end() && guesses.size() >= kMaxSendersTracked) {
        // A flood of addresses: forget the senders that are neither counted nor ignored now,
        // never one that is; while the table stays full, new senders wait.
        for (auto it = guesses.begin(); it != guesses.end();) {
            if (nowMs >= it->ignoredUntil && nowMs - it->windowStart >= kWrongKeyWindowMs)
                it = guesses.erase(it);
            else
                ++it;
        }
        if (guesses.size() >= kMaxSendersTracked)
            return SenderIgnored;
    }
    if (key == qrKey)
        return KeyRight;
    guessesPaidAt = qMax(guessesPaidAt, nowMs) + kWrongKeyRefillMs;
    Guesses& g = guesses[sender];
    if (g.count == 0 || nowMs - g.windowStart >= kWrongKeyWindowMs) {
        g.windowStart = nowMs;
        g.count = 0;
    }
    if (++g.count >= kWrongKeysPerSender)
        g.ignoredUntil = nowMs + kSenderIgnoredMs;
    return ++wrongKeys == kWrongKeysPerKey ? KeyUsedUp : KeyWrong;
}

namespace {

const int kRecentIds = 64;
// Datagrams read at one turn of the event loop: under a flood the acknowledgements and signals
// queued meanwhile go out between turns, and the socket signals again for the rest.
const int kReadsAtOnce = 64;
// At most one log line about dropped datagrams in this time.
const int kDropLogMs = 5000;

qint64 monotonicMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

// One line a second at most for datagrams a stranger can send at any rate; the rest are
// counted into the next line.
class QuietLog
{
public:
    void note(const char* what, const QString& detail)
    {
        const qint64 now = monotonicMs();
        qint64 last = m_lastMs.load();
        if (last != 0 && now - last < 1000) {
            ++m_quiet;
            return;
        }
        if (!m_lastMs.compare_exchange_strong(last, qMax<qint64>(now, 1))) {
            ++m_quiet;
            return;
        }
        qDebug().noquote() << "LAN:" << what << detail << QStringLiteral("(%1 more not logged)").arg(m_quiet.exchange(0));
    }

private:
    std::atomic<qint64> m_lastMs{0};
    std::atomic<int> m_quiet{0};
};

QuietLog foreignLog;
QuietLog wrongKeyLog;
QuietLog oversizedLog;

// Counts a worker as running for as long as it lives; the channel waits for the count to
// reach zero before it goes.
class WorkerTicket
{
public:
    WorkerTicket(KoLanShared* shared, bool receiving)
        : m_shared(shared)
        , m_receiving(receiving)
    {
    }
    ~WorkerTicket()
    {
        QMutexLocker l(&m_shared->ackLock);
        --m_shared->running;
        if (m_receiving)
            --m_shared->waiting;
        m_shared->ackChanged.wakeAll();
    }

private:
    KoLanShared* m_shared;
    bool m_receiving;
};

// A queued call from a worker. The channel waits for its workers before it is deleted, so it
// is alive here; a call still pending when it goes is dropped with it.
template <typename... Args>
void postToChannel(KoLanShared* shared, KoLanChannel* channel, const char* method, Args... args)
{
    QMutexLocker l(&shared->ackLock);
    if (shared->stopping || !channel)
        return;
    QMetaObject::invokeMethod(channel, method, Qt::QueuedConnection, args...);
}

// Sockets belong to one thread: the channel's socket writes every datagram on its own.
void postDatagram(KoLanShared* shared, KoLanChannel* channel, const QByteArray& bytes, const QHostAddress& to,
                  quint16 port)
{
    postToChannel(shared, channel, "writeDatagram", Q_ARG(QByteArray, bytes), Q_ARG(QString, to.toString()),
                  Q_ARG(int, port));
}

class ReceiveTask : public QRunnable
{
public:
    ReceiveTask(std::shared_ptr<KoLanShared> shared, KoLanChannel* channel, QByteArray bytes, QHostAddress from)
        : m_shared(std::move(shared))
        , m_channel(channel)
        , m_bytes(std::move(bytes))
        , m_from(from)
    {
    }

    void run() override
    {
        WorkerTicket ticket(m_shared.get(), true);
        KoLanMessage::Parsed msg;
        if (!KoLanMessage::parse(m_bytes, &msg)) {
            foreignLog.note("ignored a foreign datagram from", m_from.toString());
            return;
        }
        QString ownId;
        int ownType = 1;
        int ownUid = 0;
        quint16 phonePort = 0;
        {
            QMutexLocker l(&m_shared->addressLock);
            ownId = m_shared->deviceId;
            ownType = m_shared->deviceType;
            ownUid = m_shared->uid;
            phonePort = m_shared->phonePort;
        }
        // Our own messages (a broadcast echo, another instance of ourselves) mean nothing.
        if (msg.version == KoLanMessage::kProtocolVersion && msg.deviceId == ownId)
            return;

        if (msg.version != KoLanMessage::kProtocolVersion) {
            if (msg.type != KoLanMessage::TypeAck)
                post("deliverVersion", Q_ARG(int, KoLanMessage::versionFlag(msg.version)));
            return;
        }
        if (msg.type == KoLanMessage::TypeAck) {
            QMutexLocker l(&m_shared->ackLock);
            auto it = m_shared->acks.find(msg.msgId);
            if (it != m_shared->acks.end()) {
                it.value() = true;
                m_shared->ackChanged.wakeAll();
            }
            return;
        }

        const QHostAddress replyTo = m_from.toIPv4Address() ? QHostAddress(m_from.toIPv4Address()) : m_from;
        // A sender that kept guessing the pairing key, or any sender while pairing pauses after
        // too many guesses in all, gets no answer at all for a while.
        KoLanShared::KeyVerdict verdict = KoLanShared::KeyRight;
        if (msg.type == KoLanMessage::TypeConnect) {
            int key = 0;
            KoLanMessage::readInt(msg.object, QStringLiteral("key"), &key);
            verdict = m_shared->checkKey(replyTo.toIPv4Address(), key, monotonicMs());
            if (verdict == KoLanShared::SenderIgnored)
                return;
        }
        postDatagram(m_shared.get(), m_channel,
                     KoLanMessage::toBytes(KoLanMessage::makeAck(msg.msgId, ownId, ownType, ownUid)), replyTo,
                     phonePort);
        if (verdict == KoLanShared::KeyUsedUp)
            post("deliverKeyGuessedTooOften");
        {
            QMutexLocker l(&m_shared->ackLock);
            if (m_shared->stopping || m_shared->recentIds.contains(msg.msgId))
                return;
            m_shared->recentIds.append(msg.msgId);
            while (m_shared->recentIds.size() > kRecentIds)
                m_shared->recentIds.removeFirst();
        }

        if (msg.type == KoLanMessage::TypeConnect) {
            if (verdict != KoLanShared::KeyRight) {
                wrongKeyLog.note("connect message with a wrong pairing key from", m_from.toString());
                return;
            }
            post("deliverConnect", Q_ARG(QJsonObject, msg.object), Q_ARG(QString, replyTo.toString()));
        } else if (msg.type == KoLanMessage::TypeDisconnect) {
            post("deliverDisconnect", Q_ARG(QString, msg.deviceId), Q_ARG(int, msg.uid),
                 Q_ARG(QString, replyTo.toString()));
        }
    }

private:
    template <typename... Args>
    void post(const char* method, Args... args)
    {
        postToChannel(m_shared.get(), m_channel, method, args...);
    }

    std::shared_ptr<KoLanShared> m_shared;
    KoLanChannel* m_channel;
    QByteArray m_bytes;
    QHostAddress m_from;
};

class SendTask : public QRunnable
{
public:
    SendTask(std::shared_ptr<KoLanShared> shared, KoLanChannel* channel, QByteArray bytes, QString msgId, int type,
             QHostAddress to, quint16 port, int retryMs)
        : m_shared(std::move(shared))
        , m_channel(channel)
        , m_bytes(std::move(bytes))
        , m_msgId(std::move(msgId))
        , m_type(type)
        , m_to(to)
        , m_port(port)
        , m_retryMs(retryMs)
    {
    }

    void run() override
    {
        WorkerTicket ticket(m_shared.get(), false);
        bool acked = false;
        for (int i = 0; i < KoLanMessage::kMaxSends && !acked; ++i) {
            {
                QMutexLocker l(&m_shared->ackLock);
                if (m_shared->stopping)
                    break;
            }
            postDatagram(m_shared.get(), m_channel, m_bytes, m_to, m_port);
            // Waiting is not work: let the pool run another task (a receiver with our
            // acknowledgement, say) meanwhile.
            QThreadPool::globalInstance()->releaseThread();
            {
                QMutexLocker l(&m_shared->ackLock);
                QDeadlineTimer deadline(m_retryMs);
                while (!m_shared->stopping && !m_shared->acks.value(m_msgId) && !deadline.hasExpired())
                    m_shared->ackChanged.wait(&m_shared->ackLock, deadline);
                acked = m_shared->acks.value(m_msgId);
            }
            QThreadPool::globalInstance()->reserveThread();
        }
        {
            QMutexLocker l(&m_shared->ackLock);
            m_shared->acks.remove(m_msgId);
        }
        postToChannel(m_shared.get(), m_channel, "deliverSendFinished", Q_ARG(QString, m_msgId), Q_ARG(int, m_type),
                      Q_ARG(bool, acked));
    }

private:
    std::shared_ptr<KoLanShared> m_shared;
    KoLanChannel* m_channel;
    QByteArray m_bytes;
    QString m_msgId;
    int m_type;
    QHostAddress m_to;
    quint16 m_port;
    int m_retryMs;
};

} // namespace

KoLanChannel::KoLanChannel(std::shared_ptr<KoLanShared> shared, QObject* parent)
    : QObject(parent)
    , m_shared(std::move(shared))
    , m_dropLog(new QTimer(this))
{
    m_dropLog->setSingleShot(true);
    m_dropLog->setInterval(kDropLogMs);
    connect(m_dropLog, &QTimer::timeout, this, &KoLanChannel::logDropped);
}

KoLanChannel::~KoLanChannel()
{
    shutDown();
}

void KoLanChannel::shutDown()
{
    QMutexLocker l(&m_shared->ackLock);
    m_shared->stopping = true;
    m_shared->ackChanged.wakeAll();
    while (m_shared->running > 0)
        m_shared->ackChanged.wait(&m_shared->ackLock);
    l.unlock();
    if (m_socket) {
        m_socket->close();
        delete m_socket;
        m_socket = nullptr;
    }
    // No drop goes unlogged, however soon after it the channel ends.
    m_dropLog->stop();
    if (m_dropped > m_droppedLogged)
        logDropped();
}

bool KoLanChannel::open(quint16 port)
{
    if (m_socket)
        return true;
    {
        QMutexLocker l(&m_shared->ackLock);
        if (m_shared->stopping)
            return false;
    }
    auto* socket = new QUdpSocket(this);
    if (!socket->bind(QHostAddress::AnyIPv4, port)) {
        qDebug() << "LAN: cannot bind UDP port" << port << socket->errorString();
        delete socket;
        if (!m_bindReported) {
            m_bindReported = true;
            emit bindError();
        }
        return false;
    }
    m_socket = socket;
    connect(m_socket, &QUdpSocket::readyRead, this, &KoLanChannel::onReadyRead);
    return true;
}

bool KoLanChannel::isOpen() const
{
    return m_socket != nullptr;
}

quint16 KoLanChannel::port() const
{
    return m_socket ? m_socket->localPort() : 0;
}

QString KoLanChannel::send(const QJsonObject& message, const QString& ip)
{
    const QString msgId = message.value(QStringLiteral("msgId")).toString();
    const int type = message.value(QStringLiteral("type")).toInt();
    QHostAddress to(ip);
    quint16 phonePort = 0;
    {
        QMutexLocker l(&m_shared->addressLock);
        phonePort = m_shared->phonePort;
    }
    {
        QMutexLocker l(&m_shared->ackLock);
        if (m_shared->stopping)
            return QString();
        // Filed before the first send, so that an early acknowledgement is not lost.
        m_shared->acks.insert(msgId, false);
        ++m_shared->running;
    }
    if (to.isNull())
        qDebug() << "LAN: no address to send to:" << ip;
    QThreadPool::globalInstance()->start(new SendTask(m_shared, this, KoLanMessage::toBytes(message), msgId, type, to,
                                                      phonePort, qMax(1, KoServerConfig::lanRetryMs())));
    return msgId;
}

qint64 KoLanChannel::droppedDatagrams() const
{
    return m_dropped;
}

void KoLanChannel::onReadyRead()
{
    if (!m_socket)
        return;
    for (int reads = 0; reads < kReadsAtOnce && m_socket->hasPendingDatagrams(); ++reads) {
        const qint64 size = m_socket->pendingDatagramSize();
        char sink;
        if (size < 0 || size > KoLanMessage::kMaxDatagramSize) {
            // Dropped unread: a huge datagram is never a message of ours.
            m_socket->readDatagram(&sink, 1);
            oversizedLog.note("ignored an oversized datagram of bytes:", QString::number(size));
            continue;
        }
        // Only this thread adds to the waiting, so what is seen here holds until it does.
        bool full = false;
        {
            QMutexLocker l(&m_shared->ackLock);
            if (m_shared->stopping)
                return;
            full = m_shared->waiting >= kMaxWaiting;
        }
        if (full) {
            m_socket->readDatagram(&sink, 1);
            countDropped();
            continue;
        }
        const QNetworkDatagram datagram = m_socket->receiveDatagram(size);
        if (!datagram.isValid())
            break;
        {
            QMutexLocker l(&m_shared->ackLock);
            if (m_shared->stopping)
                return;
            ++m_shared->waiting;
            ++m_shared->running;
        }
        QThreadPool::globalInstance()->start(
            new ReceiveTask(m_shared, this, datagram.data(), datagram.senderAddress()));
    }
}

void KoLanChannel::writeDatagram(QByteArray bytes, QString to, int port)
{
    const QHostAddress address(to);
    if (m_socket && !address.isNull())
        m_socket->writeDatagram(bytes, address, quint16(port));
}

void KoLanChannel::countDropped()
{
    ++m_dropped;
    if (!m_dropLog->isActive())
        m_dropLog->start();
}

void KoLanChannel::logDropped()
{
    qDebug() << "LAN: dropped" << m_dropped - m_droppedLogged << "datagrams while" << kMaxWaiting
             << "were waiting for a worker";
    m_droppedLogged = m_dropped;
}

void KoLanChannel::deliverConnect(QJsonObject message, QString senderIp)
{
    emit connectRequested(message, senderIp);
}

void KoLanChannel::deliverDisconnect(QString deviceId, int uid, QString senderIp)
{
    emit disconnectRequested(deviceId, uid, senderIp);
}

void KoLanChannel::deliverVersion(int flag)
{
    emit versionNotMatch(flag);
}

void KoLanChannel::deliverKeyGuessedTooOften()
{
    emit keyGuessedTooOften();
}

void KoLanChannel::deliverSendFinished(QString msgId, int type, bool acked)
{
    emit sendFinished(msgId, type, acked);
}
