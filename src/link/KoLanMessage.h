#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The LAN message protocol (docs/protocol.md, "LAN messages"): one compact JSON object per
// UDP datagram, computers on port 59631, phones on 59632. Everything here is pure and can be
// used from any thread.
class KoLanMessage
{
public:
    static constexpr int kProtocolVersion = 1;
    // Largest datagram looked at; anything bigger is dropped unread.
    static constexpr int kMaxDatagramSize = 8192;
    // Sends of one message before it counts as lost.
    static constexpr int kMaxSends = 5;

    enum Type : int {
        TypeAck = 1,
        TypeConnect = 19,
        TypeDisconnect = 20,
    };

    // A received message that passed every check.
    struct Parsed {
        int type = 0;
        int version = 0;
        QString msgId;
        QString deviceId;
        int deviceType = 0;
        int uid = 0;
        QJsonObject object;
    };

    // Checks the bytes strictly: one JSON object, integer "type" and "version", a short
    // non-empty string "msgId" and "deviceId", and the keys its type needs with their types.
    // A message of another protocol version passes with only "type", "version", "msgId" checked,
    // so that the caller can report the mismatch.
    static bool parse(const QByteArray& datagram, Parsed* out);

    // A message of type from this computer; msgId is made here and returned through the object.
    static QJsonObject make(int type, const QString& deviceId, int deviceType, int uid);
    static QJsonObject makeAck(const QString& msgId, const QString& deviceId, int deviceType, int uid);
    static QByteArray toBytes(const QJsonObject& object);
    static QString newMessageId();
    // What msgVersionNotMatch carries for a peer of version: its distance from ours, kept
    // within int whatever the peer sent (negative: the peer is older).
    static int versionFlag(int version);

    // Integer value of a JSON number that holds a whole number within int; false otherwise.
    static bool readInt(const QJsonObject& object, const QString& key, int* out);
    static bool readString(const QJsonObject& object, const QString& key, int maxLength, QString* out);
    // A dotted IPv4 address in its plain form (it goes into request URLs); false otherwise.
    static bool readIpv4(const QJsonObject& object, const QString& key, QString* out);
    static QString plainIpv4(const QString& text);
};
