#include "link/KoLanMessage.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRandomGenerator>

#include <cmath>
#include <limits>

namespace {
const int kMaxIdLength = 64;
const int kMaxTextLength = 256;
} // namespace

bool KoLanMessage::readInt(const QJsonObject& object, const QString& key, int* out)
{
    const QJsonValue v = object.value(key);
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < -2147483648.0 || d > 2147483647.0)
        return false;
    *out = int(d);
    return true;
}

bool KoLanMessage::readString(const QJsonObject& object, const QString& key, int maxLength, QString* out)
{
    const QJsonValue v = object.value(key);
    if (!v.isString())
        return false;
    const QString s = v.toString();
    if (s.size() > maxLength)
        return false;
    *out = s;
    return true;
}

QString KoLanMessage::plainIpv4(const QString& text)
{
    QHostAddress address;
    if (text.size() > 15 || !address.setAddress(text) || address.protocol() != QAbstractSocket::IPv4Protocol)
        return QString();
    return address.toString();
}

bool KoLanMessage::readIpv4(const QJsonObject& object, const QString& key, QString* out)
{
    QString text;
    if (!readString(object, key, 64, &text))
        return false;
    const QString ip = plainIpv4(text);
    if (ip.isEmpty())
        return false;
    *out = ip;
    return true;
}

bool KoLanMessage::parse(const QByteArray& datagram, Parsed* out)
{
    if (datagram.isEmpty() || datagram.size() > kMaxDatagramSize)
        return false;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(datagram, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    Parsed p;
    p.object = doc.object();
    if (!readInt(p.object, QStringLiteral("type"), &p.type)
        || !readInt(p.object, QStringLiteral("version"), &p.version))
        return false;
    if (!readString(p.object, QStringLiteral("msgId"), kMaxIdLength, &p.msgId) || p.msgId.isEmpty())
        return false;
    if (p.version != kProtocolVersion) {
        *out = p;
        return true;
    }
    if (!readString(p.object, QStringLiteral("deviceId"), kMaxTextLength, &p.deviceId) || p.deviceId.isEmpty())
        return false;
    if (p.type == TypeAck) {
        *out = p;
        return true;
    }
    if (p.type != TypeConnect && p.type != TypeDisconnect)
        return false;
    if (!readInt(p.object, QStringLiteral("deviceType"), &p.deviceType)
        || !readInt(p.object, QStringLiteral("uid"), &p.uid))
        return false;
    if (p.type == TypeConnect) {
        int key = 0;
        int port = 0;
        QString text;
        if (!readInt(p.object, QStringLiteral("key"), &key) || !readInt(p.object, QStringLiteral("port"), &port)
            || port < 1 || port > 65535)
            return false;
        // Optional texts must be strings of sane length when present.
        for (const char* name : {"deviceName", "nick", "ip"}) {
            const QString k = QString::fromLatin1(name);
            if (p.object.contains(k) && !readString(p.object, k, kMaxTextLength, &text))
                return false;
        }
        int appVersion = 0;
        if (p.object.contains(QStringLiteral("appVersion"))
            && !readInt(p.object, QStringLiteral("appVersion"), &appVersion))
            return false;
    }
    *out = p;
    return true;
}

int KoLanMessage::versionFlag(int version)
{
    // Any int can arrive: subtracting from the smallest ones would overflow.
    if (version < std::numeric_limits<int>::min() + kProtocolVersion)
        return std::numeric_limits<int>::min();
    return version - kProtocolVersion;
}

QString KoLanMessage::newMessageId()
{
    static QAtomicInteger<quint32> counter(0);
    return QStringLiteral("%1-%2-%3")
        .arg(QDateTime::currentMSecsSinceEpoch())
        .arg(QRandomGenerator::global()->bounded(1000000))
        .arg(++counter);
}

QJsonObject KoLanMessage::make(int type, const QString& deviceId, int deviceType, int uid)
{
    QJsonObject o;
    o.insert(QStringLiteral("type"), type);
    o.insert(QStringLiteral("version"), kProtocolVersion);
    o.insert(QStringLiteral("msgId"), newMessageId());
    o.insert(QStringLiteral("deviceId"), deviceId);
    o.insert(QStringLiteral("deviceType"), deviceType);
    o.insert(QStringLiteral("uid"), uid);
    return o;
}

QJsonObject KoLanMessage::makeAck(const QString& msgId, const QString& deviceId, int deviceType, int uid)
{
    QJsonObject o = make(TypeAck, deviceId, deviceType, uid);
    o.insert(QStringLiteral("msgId"), msgId);
    return o;
}

QByteArray KoLanMessage::toBytes(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
