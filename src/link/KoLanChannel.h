#pragma once

#include <QHostAddress>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <memory>

class QTimer;
class QUdpSocket;

// What the channel's workers share with the GUI thread; every field behind its mutex.
struct KoLanShared {
    // Acknowledgements: message id -> acknowledged, for the messages being sent now.
    QMutex ackLock;
    QWaitCondition ackChanged;
    QHash<QString, bool> acks;
    // Ids of the messages received lately, so a repeated send is acted on once.
    QStringList recentIds;
    bool stopping = false;
    int running = 0;
    // Received datagrams handed to workers and not yet done with (KoLanChannel::kMaxWaiting at most).
    int waiting = 0;

    // This computer: its LAN address and identity as the workers must know them.
    QMutex addressLock;
    QString localIp;
    QString deviceId;
    int deviceType = 1;
    int uid = 0;
    quint16 phonePort = 59632;

    // The QR pairing key that a phone's connect message must carry, and the wrong guesses
    // made at it (docs/protocol.md, "LAN messages"): per sender address, in all since the key
    // was made, and of all senders together over time.
    QMutex keyLock;
    int qrKey = 0;
    struct Guesses {
        qint64 windowStart = 0;
        int count = 0;
        qint64 ignoredUntil = 0;
    };
    QHash<quint32, Guesses> guesses;
    int wrongKeys = 0;
    // When the wrong guesses weighed so far are paid off at one per kWrongKeyRefillMs.
    qint64 guessesPaidAt = 0;

    static constexpr int kWrongKeysPerSender = 3;
    static constexpr qint64 kWrongKeyWindowMs = 10000;
    static constexpr qint64 kSenderIgnoredMs = 60000;
    static constexpr int kWrongKeysPerKey = 20;
    static constexpr int kMaxSendersTracked = 1024;
    static constexpr int kWrongKeysAtOnce = 40;
    static constexpr qint64 kWrongKeyRefillMs = 3000;

    void setAddress(const QString& ip);
    QString address();
    // A new key: the guesses at the old one no longer count towards its renewal.
    void setKey(int key);
    // The verdict on a connect message with key from sender, counted at once so that
    // parallel workers cannot overrun the limits. SenderIgnored also while pairing pauses and
    // for a sender that finds the table of senders full.
    enum KeyVerdict { KeyRight, KeyWrong, KeyUsedUp, SenderIgnored };
    KeyVerdict checkKey(quint32 sender, int key, qint64 nowMs);
};

// The LAN message channel (docs/protocol.md, "LAN messages"). The socket lives on the GUI
// thread; each received datagram is parsed, acknowledged and dispatched by a worker of the
// global thread pool, and each outgoing message is sent by a worker (up to five sends, one
// retry period apart, until acknowledged). Workers reach this object only by queued calls, and
// every datagram they send (acknowledgements too) leaves through the one bound socket, written
// on its thread. At most kMaxWaiting received datagrams wait for or occupy a worker; beyond
// that they are dropped unread and counted, so a flood costs no memory.
class KoLanChannel : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxWaiting = 256;

    explicit KoLanChannel(std::shared_ptr<KoLanShared> shared, QObject* parent = nullptr);
    // Stops the workers and waits for every one of them before the socket goes.
    ~KoLanChannel() override;

    // Binds this computer's port; false (after bindError) when it is taken.
    bool open(quint16 port);
    bool isOpen() const;
    quint16 port() const;

    // Sends message (made by KoLanMessage::make) to ip on the phones' port; returns its id.
    QString send(const QJsonObject& message, const QString& ip);

    // Stops every worker and waits for them (also done by the destructor).
    void shutDown();

    // Datagrams dropped because kMaxWaiting were waiting, since the channel was made.
    qint64 droppedDatagrams() const;

signals:
    void bindError();
    void connectRequested(QJsonObject message, QString senderIp);
    void disconnectRequested(QString deviceId, int uid, QString senderIp);
    void versionNotMatch(int flag);
    // Too many wrong pairing keys were tried: the key must be replaced.
    void keyGuessedTooOften();
    // A message left the sender: acknowledged or given up after the last send.
    void sendFinished(QString msgId, int type, bool acked);

private slots:
    void onReadyRead();
    void writeDatagram(QByteArray bytes, QString to, int port);
    void logDropped();
    void deliverConnect(QJsonObject message, QString senderIp);
    void deliverDisconnect(QString deviceId, int uid, QString senderIp);
    void deliverVersion(int flag);
    void deliverKeyGuessedTooOften();
    void deliverSendFinished(QString msgId, int type, bool acked);

private:
    void countDropped();

    std::shared_ptr<KoLanShared> m_shared;
    QUdpSocket* m_socket = nullptr;
    bool m_bindReported = false;
    qint64 m_dropped = 0;
    qint64 m_droppedLogged = 0;
    QTimer* m_dropLog = nullptr;
};
