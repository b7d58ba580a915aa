#include "support/KoTestUdpPeer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

KoTestUdpPeer::KoTestUdpPeer(QObject* parent)
    : QObject(parent)
    , m_socket(new QUdpSocket(this))
{
    qRegisterMetaType<KoTestDatagram>();
    connect(m_socket, &QUdpSocket::readyRead, this, &KoTestUdpPeer::onReadyRead);
}

bool KoTestUdpPeer::bind(quint16 port, const QHostAddress& address)
{
    if (!address.isLoopback() || !m_socket->bind(address, port)) {
        qWarning() << "test UDP peer cannot bind" << port << m_socket->errorString();
        return false;
    }
    return true;
}

quint16 KoTestUdpPeer::port() const
{
    return m_socket->localPort();
}

bool KoTestUdpPeer::send(const QByteArray& datagram, const QHostAddress& to, quint16 port)
{
    return m_socket->writeDatagram(datagram, to, port) == datagram.size();
}

void KoTestUdpPeer::setHandler(Handler handler)
{
    m_handler = std::move(handler);
}

QList<KoTestDatagram> KoTestUdpPeer::datagrams() const
{
    return m_datagrams;
}

QList<QByteArray> KoTestUdpPeer::payloads() const
{
    QList<QByteArray> out;
    for (const KoTestDatagram& d : m_datagrams)
        out.append(d.data);
    return out;
}

void KoTestUdpPeer::clearDatagrams()
{
    m_datagrams.clear();
}

bool KoTestUdpPeer::waitForDatagrams(int count, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (m_datagrams.size() < count) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer::singleShot(int(qMin<qint64>(left, 50)), &loop, &QEventLoop::quit);
        connect(this, &KoTestUdpPeer::datagramReceived, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void KoTestUdpPeer::onReadyRead()
{
    while (m_socket->hasPendingDatagrams()) {
        const QNetworkDatagram d = m_socket->receiveDatagram();
        if (!d.isValid())
            break;
        KoTestDatagram record;
        record.data = d.data();
        record.from = d.senderAddress();
        record.port = quint16(d.senderPort());
        m_datagrams.append(record);
        emit datagramReceived(record);
        if (m_handler) {
            const QList<QByteArray> answers = m_handler(record.data, record.from, record.port);
            for (const QByteArray& a : answers)
                m_socket->writeDatagram(a, record.from, record.port);
        }
    }
}

KoTestUdpFlood::KoTestUdpFlood(const QHostAddress& address, quint16 port, const QHostAddress& to, quint16 toPort,
                               int count, Maker make)
    : m_address(address)
    , m_port(port)
    , m_to(to)
    , m_toPort(toPort)
    , m_count(count)
    , m_make(std::move(make))
{
}

KoTestUdpFlood::~KoTestUdpFlood()
{
    wait();
}

void KoTestUdpFlood::run()
{
    // Made here: a socket belongs to the thread that makes it.
    QUdpSocket socket;
    if (!m_address.isLoopback() || !m_to.isLoopback() || !socket.bind(m_address, m_port)) {
        m_sent = -1;
        return;
    }
    for (int i = 0; i < m_count; ++i) {
        // A full send buffer refuses some: a flood loses datagrams anyway.
        if (socket.writeDatagram(m_make(i), m_to, m_toPort) > 0)
            ++m_sent;
    }
}
