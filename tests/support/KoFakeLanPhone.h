#pragma once

// The LAN message side of a test phone (docs/protocol.md, "LAN messages"), next to the file
// service of KoFakePhone: it listens on the phones' UDP port, acknowledges every message of a
// computer (unless told to stay silent) and sends the phone's own connect and disconnect
// messages. Header-only so that the runnable fake phone in tools/ can use it too.

#include "support/KoFakePhone.h"
#include "support/KoTestUdpPeer.h"

#include <QDateTime>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

class KoFakeLanPhone
{
public:
    explicit KoFakeLanPhone(KoFakePhone* phone)
        : m_phone(phone)
    {
    }

    // Binds 127.0.0.1 on port (0: a free one).
    bool start(quint16 port = 0)
    {
        m_peer.setHandler([this](const QByteArray& datagram, QHostAddress from, quint16) {
            const QJsonObject msg = QJsonDocument::fromJson(datagram).object();
            if (msg.isEmpty())
                return QList<QByteArray>();
            m_received.append(msg);
            if (!m_silent && msg.value(QStringLiteral("type")).toInt() != 1) {
                QJsonObject ack = identity(1);
                ack.insert(QStringLiteral("msgId"), msg.value(QStringLiteral("msgId")));
                // Answers go to the computers' port, whatever port the message came from.
                m_peer.send(QJsonDocument(ack).toJson(QJsonDocument::Compact),
                            from.toIPv4Address() ? QHostAddress(from.toIPv4Address()) : from, m_computerPort);
            }
            return QList<QByteArray>();
        });
        return m_peer.bind(port);
    }

    quint16 port() const { return m_peer.port(); }
    KoTestUdpPeer* peer() { return &m_peer; }
    void setComputer(const QHostAddress& address, quint16 port)
    {
        m_computer = address;
        m_computerPort = port;
    }
    // A silent phone acknowledges nothing.
    void setSilent(bool silent) { m_silent = silent; }
    void setVersion(int version) { m_version = version; }
    // Messages received, acknowledgements included.
    QList<QJsonObject> received() const { return m_received; }
    QList<QJsonObject> receivedOfType(int type) const
    {
        QList<QJsonObject> out;
        for (const QJsonObject& m : m_received)
            if (m.value(QStringLiteral("type")).toInt() == type)
                out.append(m);
        return out;
    }
    void clear()
    {
        m_received.clear();
        m_peer.clearDatagrams();
    }

    // The phone scanned the computer's QR code: it asks to connect with the key.
    QJsonObject pair(int key)
    {
        QJsonObject msg = identity(19);
        msg.insert(QStringLiteral("key"), key);
        msg.insert(QStringLiteral("port"), int(m_phone->port()));
        msg.insert(QStringLiteral("ip"), m_phone->ip());
        msg.insert(QStringLiteral("deviceName"), m_phone->deviceName());
        msg.insert(QStringLiteral("nick"), m_nick);
        msg.insert(QStringLiteral("appVersion"), m_phone->appVersion());
        sendRaw(QJsonDocument(msg).toJson(QJsonDocument::Compact));
        return msg;
    }
    // The phone ends the connection (as the user uid, -1: the phone's own).
    QJsonObject disconnect(int uid = -1)
    {
        QJsonObject msg = identity(20);
        if (uid != -1)
            msg.insert(QStringLiteral("uid"), uid);
        sendRaw(QJsonDocument(msg).toJson(QJsonDocument::Compact));
        return msg;
    }
    bool sendRaw(const QByteArray& bytes) { return m_peer.send(bytes, m_computer, m_computerPort); }
    void setNick(const QString& nick) { m_nick = nick; }

private:
    QJsonObject identity(int type)
    {
        QJsonObject o;
        o.insert(QStringLiteral("type"), type);
        o.insert(QStringLiteral("version"), m_version);
        o.insert(QStringLiteral("msgId"),
                 QStringLiteral("phone-%1-%2").arg(QDateTime::currentMSecsSinceEpoch()).arg(++m_serial));
        o.insert(QStringLiteral("deviceId"), m_phone->deviceId());
        o.insert(QStringLiteral("deviceType"), m_phone->deviceType());
        o.insert(QStringLiteral("uid"), m_phone->uid());
        return o;
    }

    KoFakePhone* m_phone;
    KoTestUdpPeer m_peer;
    QHostAddress m_computer = QHostAddress::LocalHost;
    quint16 m_computerPort = 59631;
    bool m_silent = false;
    int m_version = 1;
    int m_serial = 0;
    QString m_nick = QStringLiteral("小明");
    QList<QJsonObject> m_received;
};
