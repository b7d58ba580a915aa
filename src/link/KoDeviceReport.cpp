#include "link/KoDeviceReport.h"

#include "app/KoCommonUtil.h"
#include "app/KoServerConfig.h"
#include "app/KoThisMachineInfo.h"
#include "link/KoLanMessage.h"
#include "net/KoReplyMap.h"
#include "net/KoReplyType.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>

#include <memory>

KoDeviceReport::KoDeviceReport(QObject* parent)
    : KoNetworkHelper(parent)
{
}

KoDeviceReport::~KoDeviceReport()
{
    // No answer may reach a callback whose owner is going away.
    m_callback = nullptr;
    m_replyMap->abortAll(this);
}

void KoDeviceReport::report(int uid, const QString& lanIp, quint16 lanPort)
{
    KoThisMachineInfo* machine = KoThisMachineInfo::getInstance();
    QJsonObject body;
    body.insert(QStringLiteral("cmd"), QStringLiteral("DEVICE_REPORT"));
    body.insert(QStringLiteral("uid"), uid);
    body.insert(QStringLiteral("deviceId"), machine->getDeviceName());
    body.insert(QStringLiteral("deviceName"), machine->getDeviceNick());
    body.insert(QStringLiteral("deviceType"), machine->getDeviceType());
    body.insert(QStringLiteral("ip"), lanIp);
    body.insert(QStringLiteral("port"), int(lanPort));
    auto* record = new KoReplyType(kReplyType);
    record->setDdl(KoServerConfig::requestDeadlineMs());
    const QString url = KoServerConfig::accountBaseUrl() + QStringLiteral("device/report");
    if (!isSecureUrl(url)) {
        // The user's id never goes out in clear text: fails like an unreachable server.
        failLater(record, [this](KoReplyType*) { deliver(-1, {}); });
        return;
    }
    QMap<QString, QString> headers;
    postHttpData(body, url, record, &headers);
}

QList<KoBaseFacility> KoDeviceReport::parseDevices(const QJsonObject& answer, const QString& ownDeviceId)
{
    QList<KoBaseFacility> out;
    const QJsonArray devices = answer.value(QStringLiteral("devices")).toArray();
    for (const QJsonValue& v : devices) {
        if (!v.isObject())
            continue;
        const QJsonObject o = v.toObject();
        int uid = 0, type = 0, state = 3, port = 0, appVersion = 0, networkType = 1, policy = 0;
        QString deviceId, name, ip, nick;
        if (!KoLanMessage::readString(o, QStringLiteral("deviceId"), 256, &deviceId) || deviceId.isEmpty()
            || deviceId == ownDeviceId)
            continue;
        if (!KoLanMessage::readInt(o, QStringLiteral("uid"), &uid)
            || !KoLanMessage::readInt(o, QStringLiteral("deviceType"), &type))
            continue;
        KoLanMessage::readInt(o, QStringLiteral("state"), &state);
        if (state != 2 && state != 3)
            state = 3; // the server knows only online (through the relay) and offline
        KoLanMessage::readString(o, QStringLiteral("deviceName"), 256, &name);
        // Only an address: it becomes the phone's URL.
        KoLanMessage::readIpv4(o, QStringLiteral("ip"), &ip);
        KoLanMessage::readString(o, QStringLiteral("nick"), 256, &nick);
        KoLanMessage::readInt(o, QStringLiteral("port"), &port);
        if (port < 0 || port > 65535)
            port = 0;
        KoLanMessage::readInt(o, QStringLiteral("appVersion"), &appVersion);
        KoLanMessage::readInt(o, QStringLiteral("networkType"), &networkType);
        KoLanMessage::readInt(o, QStringLiteral("policy"), &policy);
        KoBaseFacility f(uid, state, type, ip, deviceId, name, appVersion, false, QString(), nick, port);
        f.setUrl(QString());
        f.setNetworkType(networkType);
        f.setNetworkPolicy(policy);
        bool duplicate = false;
        for (const KoBaseFacility& known : out)
            duplicate = duplicate || known.getDeviceId() == deviceId;
        if (!duplicate)
            out.append(f);
    }
    return out;
}

void KoDeviceReport::onFinished(QNetworkReply* reply)
{
    std::unique_ptr<KoReplyType> record = takeRecord(reply);
    if (!record)
        return;
    const QJsonObject answer = KoCommonUtil::byteArrayToJson(KoCommonUtil::readAll(reply));
    int result = -1;
    if (reply->error() != QNetworkReply::NoError && answer.isEmpty()) {
        deliver(-1, {});
        return;
    }
    if (!KoLanMessage::readInt(answer, QStringLiteral("result"), &result))
        result = -1;
    if (result != 0) {
        deliver(result, {});
        return;
    }
    deliver(0, parseDevices(answer, KoThisMachineInfo::getInstance()->getDeviceName()));
}

void KoDeviceReport::onTimeout(QNetworkReply* reply)
{
    std::unique_ptr<KoReplyType> record = takeRecord(reply);
    if (!record)
        return;
    deliver(-1, {});
}

void KoDeviceReport::deliver(int result, const QList<KoBaseFacility>& devices)
{
    if (m_callback) {
        Callback cb = m_callback; // the callback may replace itself
        cb(result, devices);
    }
}
