#pragma once

// Loopback stand-in for a phone (or any LAN peer) on the UDP message ports: binds 127.0.0.1,
// records every datagram it receives and can answer each one through a handler.
// Runs in the caller's thread and event loop.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QObject>

#include <functional>

class QUdpSocket;

struct KoTestDatagram {
    QByteArray data;
    QHostAddress from;
    quint16 port = 0;
};

Q_DECLARE_METATYPE(KoTestDatagram)

class KoTestUdpPeer : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<QList<QByteArray>(const QByteArray& datagram, QHostAddress from, quint16 port)>;

    explicit KoTestUdpPeer(QObject* parent = nullptr);
    // 127.0.0.1 unless told another loopback address; 0 picks a free port.
    bool bind(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    quint16 port() const;
    bool send(const QByteArray& datagram, const QHostAddress& to, quint16 port);
    void setHandler(Handler handler); // returned datagrams go back to the sender
    QList<KoTestDatagram> datagrams() const;
    QList<QByteArray> payloads() const; // just the bytes of datagrams()
    void clearDatagrams();
    bool waitForDatagrams(int count, int timeoutMs = 5000); // runs the event loop

signals:
    void datagramReceived(const KoTestDatagram& datagram);

private:
    void onReadyRead();

    QUdpSocket* m_socket;
    Handler m_handler;
    QList<KoTestDatagram> m_datagrams;
};
