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

class QUdpSocket;

// What the channel's workers share with the GUI thread; every field behind its mutex.
struct KoLanShared
{
    // Acknowledgements: message id -> acknowledged, for the messages being sent now.
    QMutex ackLock;
    QWaitCondition ackChanged;
    QHash<QString, bool> acks;
    // Ids of the messages received lately, so a repeated send is acted on once.
    QStringList recentIds;
    bool stopping = false;
    int running = 0;

    // This computer: its LAN address and identity as the workers must know them.
    QMutex addressLock;
    QString localIp;
    QString deviceId;
    int deviceType = 1;
    int uid = 0;
    quint16 phonePort = 59632;

    // The QR pairing key that a phone's connect message must carry.
    QMutex keyLock;
    int qrKey = 0;

    void setAddress(const QString& ip);
    QString address();
    int key();
    void setKey(int key);
};

// The LAN message channel (docs/protocol.md, "LAN messages"). The socket lives on the GUI
// thread; each received datagram is parsed, acknowledged and dispatched by a worker of the
// global thread pool, and each outgoing message is sent by a worker (up to five sends, one
// retry period apart, until acknowledged). Workers reach this object only by queued calls.
class KoLanChannel : public QObject
{
    Q_OBJECT
public:
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

signals:
    void bindError();
    void connectRequested(QJsonObject message, QString senderIp);
    void disconnectRequested(QString deviceId, int uid);
    void versionNotMatch(int flag);
    // A message left the sender: acknowledged or given up after the last send.
    void sendFinished(QString msgId, int type, bool acked);

private slots:
    void onReadyRead();
    void deliverConnect(QJsonObject message, QString senderIp);
    void deliverDisconnect(QString deviceId, int uid);
    void deliverVersion(int flag);
    void deliverSendFinished(QString msgId, int type, bool acked);

private:
    std::shared_ptr<KoLanShared> m_shared;
    QUdpSocket* m_socket = nullptr;
    bool m_bindReported = false;
};
