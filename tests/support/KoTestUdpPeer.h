#pragma once

// Loopback stand-in for a phone (or any LAN peer) on the UDP message ports: binds 127.0.0.1,
// records every datagram it receives and can answer each one through a handler.
// Runs in the caller's thread and event loop.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QThread>

#include <atomic>
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

// A flood of datagrams from one loopback address, on a thread of its own: count datagrams,
// make(i) for i = 0, 1, ..., sent from address:port to to:toPort as fast as one thread can, and
// then it stops by itself. Nothing sent back to it is read. The destructor waits for the end.
class KoTestUdpFlood : public QThread
{
public:
    using Maker = std::function<QByteArray(int i)>;

    KoTestUdpFlood(const QHostAddress& address, quint16 port, const QHostAddress& to, quint16 toPort, int count,
                   Maker make);
    ~KoTestUdpFlood() override;
    // Datagrams the system took (-1: the address could not be bound); final once finished.
    int sent() const { return m_sent; }

protected:
    void run() override;

private:
    QHostAddress m_address;
    quint16 m_port;
    QHostAddress m_to;
    quint16 m_toPort;
    int m_count;
    Maker m_make;
    std::atomic<int> m_sent{0};
};
