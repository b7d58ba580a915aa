#pragma once

// Loopback TCP relay in front of a test server. It can break a connection in the middle of a
// request body (the client's socket is reset, the server sees its peer go away after exactly
// the bytes let through, as when a phone's Wi-Fi drops during an upload) and it can slow the
// answers down to a given rate (to keep a transfer running for a while).

#include <QObject>
#include <QString>

class QTcpServer;

class KoTestDropProxy : public QObject
{
    Q_OBJECT
public:
    explicit KoTestDropProxy(quint16 targetPort, QObject* parent = nullptr);
    bool listen();
    quint16 port() const;
    // "http://127.0.0.1:<port>"
    QString baseUrl() const;
    // The next `connections` connections are each broken once they have sent this many request
    // bytes (headers included). The network layer resends a request whose connection closed
    // while it was being sent, so a lasting outage needs more than one.
    void dropAfter(qint64 requestBytes, int connections = 1)
    {
        m_dropAfter = requestBytes;
        m_dropConnections = connections;
    }
    // Answers of connections opened from now on flow at about this many bytes a second (0: as
    // fast as they come).
    void setDownstreamRate(qint64 bytesPerSecond) { m_rate = bytesPerSecond; }
    int drops() const { return m_drops; }

private:
    friend class KoTestProxyConnection;
    void onNewConnection();

    QTcpServer* m_server = nullptr;
    quint16 m_target = 0;
    qint64 m_dropAfter = -1;
    int m_dropConnections = 0;
    qint64 m_rate = 0;
    int m_drops = 0;
};
