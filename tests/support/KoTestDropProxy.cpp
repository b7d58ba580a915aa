#include "support/KoTestDropProxy.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

// One client connection and its way to the server.
class KoTestProxyConnection : public QObject
{
public:
    KoTestProxyConnection(KoTestDropProxy* proxy, QTcpSocket* client, quint16 target, qint64 dropAfter, qint64 rate)
        : QObject(proxy)
        , m_proxy(proxy)
        , m_client(client)
        , m_upstream(new QTcpSocket(this))
        , m_limit(dropAfter)
        , m_rate(rate)
    {
        m_client->setParent(this);
        connect(m_client, &QTcpSocket::readyRead, this, [this] { fromClient(); });
        connect(m_upstream, &QTcpSocket::readyRead, this, [this] { fromServer(); });
        connect(m_upstream, &QTcpSocket::disconnected, this, [this] {
            m_serverGone = true;
            flushToClient();
        });
        connect(m_client, &QTcpSocket::disconnected, this, [this] {
            if (!m_broken)
                m_upstream->disconnectFromHost();
            finishLater();
        });
        if (m_rate > 0) {
            m_pace = new QTimer(this);
            m_pace->setInterval(20);
            connect(m_pace, &QTimer::timeout, this, [this] { flushToClient(); });
            m_pace->start();
        }
        m_upstream->connectToHost(QHostAddress::LocalHost, target);
    }

private:
    void fromClient()
    {
        if (m_broken)
            return;
        const QByteArray data = m_client->readAll();
        if (m_limit >= 0 && m_sent + data.size() >= m_limit) {
            m_upstream->write(data.left(int(m_limit - m_sent)));
            m_sent = m_limit;
            breakNow();
            return;
        }
        m_sent += data.size();
        m_upstream->write(data);
    }

    void fromServer()
    {
        m_pending.append(m_upstream->readAll());
        if (m_rate <= 0)
            flushToClient();
    }

    void flushToClient()
    {
        if (m_broken)
            return;
        qint64 n = m_pending.size();
        if (m_rate > 0)
            n = qMin<qint64>(n, qMax<qint64>(1, m_rate / 50));
        if (n > 0) {
            m_client->write(m_pending.left(int(n)));
            m_pending.remove(0, int(n));
        }
        if (m_serverGone && m_pending.isEmpty()) {
            m_client->disconnectFromHost();
            finishLater();
        }
    }

    void breakNow()
    {
        m_broken = true;
        ++m_proxy->m_drops;
        // The server gets what was let through, then the end of the stream.
        m_upstream->disconnectFromHost();
        // SO_LINGER 0: closing resets the client's connection instead of ending it cleanly.
        const qintptr fd = m_client->socketDescriptor();
        if (fd >= 0) {
            struct linger lg;
            lg.l_onoff = 1;
            lg.l_linger = 0;
            ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &lg, sizeof(lg));
        }
        m_client->abort();
        finishLater();
    }

    void finishLater()
    {
        if (m_finishing)
            return;
        m_finishing = true;
        // Leaves time for the server side to take the last bytes.
        QTimer::singleShot(2000, this, [this] { deleteLater(); });
    }

    KoTestDropProxy* m_proxy;
    QTcpSocket* m_client;
    QTcpSocket* m_upstream;
    QTimer* m_pace = nullptr;
    QByteArray m_pending;
    qint64 m_limit;
    qint64 m_rate;
    qint64 m_sent = 0;
    bool m_broken = false;
    bool m_serverGone = false;
    bool m_finishing = false;
};

KoTestDropProxy::KoTestDropProxy(quint16 targetPort, QObject* parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
    , m_target(targetPort)
{
    connect(m_server, &QTcpServer::newConnection, this, &KoTestDropProxy::onNewConnection);
}

bool KoTestDropProxy::listen()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 KoTestDropProxy::port() const
{
    return m_server->serverPort();
}

QString KoTestDropProxy::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void KoTestDropProxy::onNewConnection()
{
    while (QTcpSocket* client = m_server->nextPendingConnection()) {
        new KoTestProxyConnection(this, client, m_target, m_dropConnections > 0 ? m_dropAfter : -1, m_rate);
        if (m_dropConnections > 0)
            --m_dropConnections;
    }
}
