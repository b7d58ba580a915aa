// Connection messages: LAN connect, disconnect and reachability probe; relay handshake, answers
// to pushes, and the account server's network-state query.

#include "client/KoClientHelper.h"
#include "client/KoClientJson.h"

#include "app/KoServerConfig.h"
#include "app/KoThisMachineInfo.h"
#include "net/KoReplyType.h"
#include "net/KoUser.h"

using namespace KoClientJson;

namespace {

QString connectUrl()
{
    return KoServerConfig::relayBaseUrl() + QStringLiteral("msg/connect");
}

void addTarget(QJsonObject& body, int toUid, const QString& toDeviceId, int toDeviceType)
{
    body.insert(QStringLiteral("toUid"), toUid);
    body.insert(QStringLiteral("toDeviceId"), toDeviceId);
    body.insert(QStringLiteral("toDeviceType"), toDeviceType);
}

} // namespace

// --- LAN -----------------------------------------------------------------------------

void KoClientHelper::desktopStartConnect(int id, QString baseUrl, ConnectStartCallback callback)
{
    m_desktopStartConnect = callback;
    KoUser* user = KoUser::getInstance();
    KoThisMachineInfo* machine = KoThisMachineInfo::getInstance();
    QJsonObject body{{QStringLiteral("kouid"), user->getId()},
                     {QStringLiteral("userName"), user->getNick()},
                     {QStringLiteral("deviceId"), machine->getDeviceName()},
                     {QStringLiteral("deviceType"), machine->getDeviceType()},
                     {QStringLiteral("deviceName"), machine->getDeviceNick()}};
    sendLan(TypeDesktopStartConnect, id, baseUrl, QStringLiteral("/msg/desktopStartConnect"), body);
}

void KoClientHelper::disconnReRaze(int id, QString baseUrl, int toUid, ResultCallback callback)
{
    m_disconnReRaze = callback;
    QJsonObject body{{QStringLiteral("kouid"), KoUser::getInstance()->getId()},
                     {QStringLiteral("deviceId"), KoThisMachineInfo::getInstance()->getDeviceName()},
                     {QStringLiteral("toUid"), toUid}};
    sendLan(TypeDisconnReRaze, id, baseUrl, QStringLiteral("/msg/disconnDisk"), body);
}

void KoClientHelper::askReachable(int id, QString baseUrl, int toUid, QString toDeviceId, int toDeviceType,
                                  ReachableCallback callback)
{
    m_askReachable = callback;
    QJsonObject body;
    addTarget(body, toUid, toDeviceId, toDeviceType);
    body.insert(QStringLiteral("type"), 1);
    QMap<QString, QString> headers;
    addHeaders(headers);
    auto* record = new KoReplyType(TypeAskReachable);
    record->setId(id)->addValue(baseUrl)->addValue(toDeviceId);
    sendJson(body, baseUrl + QStringLiteral("/file/v2/accessable"), record, headers);
}

// --- relay ---------------------------------------------------------------------------

namespace {

void addHandshakeIdentity(QJsonObject& body)
{
    body.insert(QStringLiteral("deviceName"), KoThisMachineInfo::getInstance()->getDeviceNick());
    body.insert(QStringLiteral("userName"), KoUser::getInstance()->getNick());
}

} // namespace

void KoClientHelper::connectFacility(int id, int toUid, QString toDeviceId, int toDeviceType, ResultCallback callback)
{
    m_connectFacility = callback;
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("OPEN")}};
    addTarget(body, toUid, toDeviceId, toDeviceType);
    addHandshakeIdentity(body);
    QMap<QString, QString> headers;
    addHeaders(headers);
    headers.insert(QStringLiteral("deviceType"), QString::number(KoThisMachineInfo::getInstance()->getDeviceType()));
    auto* record = new KoReplyType(TypeConnectFacility);
    record->setId(id)->addValue(KoServerConfig::relayBaseUrl());
    sendJson(body, connectUrl(), record, headers);
}

void KoClientHelper::disconnectFacility(int id, int toUid, QString toDeviceId, int toDeviceType,
                                        ResultCallback callback)
{
    m_disconnectFacility = callback;
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("DISCONNECT")}};
    addTarget(body, toUid, toDeviceId, toDeviceType);
    QMap<QString, QString> headers;
    addHeaders(headers);
    headers.insert(QStringLiteral("deviceType"), QString::number(KoThisMachineInfo::getInstance()->getDeviceType()));
    auto* record = new KoReplyType(TypeDisconnectFacility);
    record->setId(id)->addValue(KoServerConfig::relayBaseUrl());
    sendJson(body, connectUrl(), record, headers);
}

void KoClientHelper::connectFacilityRespond(int id, QString pushId, int toUid, QString toDeviceId, int toDeviceType,
                                            bool accept, ResultCallback callback)
{
    m_connectFacilityRespond = callback;
    QJsonObject body{{QStringLiteral("pushId"), pushId},
                     {QStringLiteral("cmd"), accept ? QStringLiteral("ACCEPT") : QStringLiteral("REJECT_TOKEN")}};
    addTarget(body, toUid, toDeviceId, toDeviceType);
    addHandshakeIdentity(body);
    QMap<QString, QString> headers;
    addHeaders(headers);
    headers.insert(QStringLiteral("deviceType"), QString::number(KoThisMachineInfo::getInstance()->getDeviceType()));
    auto* record = new KoReplyType(TypeConnectFacilityRespond);
    record->setId(id)->addValue(KoServerConfig::relayBaseUrl());
    sendJson(body, connectUrl(), record, headers);
}

void KoClientHelper::disconnectFacilityRespond(int id, QString pushId, int toUid, QString toDeviceId,
                                               int toDeviceType, ResultCallback callback)
{
    m_disconnectFacilityRespond = callback;
    QJsonObject body{{QStringLiteral("pushId"), pushId}, {QStringLiteral("cmd"), QStringLiteral("DISCONNECTED")}};
    addTarget(body, toUid, toDeviceId, toDeviceType);
    QMap<QString, QString> headers;
    addHeaders(headers);
    headers.insert(QStringLiteral("deviceType"), QString::number(KoThisMachineInfo::getInstance()->getDeviceType()));
    auto* record = new KoReplyType(TypeDisconnectFacilityRespond);
    record->setId(id)->addValue(KoServerConfig::relayBaseUrl());
    sendJson(body, connectUrl(), record, headers);
}

void KoClientHelper::unknownPushRespond(int id, QJsonObject push, ResultCallback callback)
{
    m_unknownPushRespond = callback;
    QJsonObject body = push;
    body.insert(QStringLiteral("code"), kUnknownPushCode);
    QMap<QString, QString> headers;
    addHeaders(headers);
    headers.insert(QStringLiteral("versionName"), QString::fromLatin1(kVersionName));
    headers.insert(QStringLiteral("versionCode"), QString::fromLatin1(kVersionCode));
    auto* record = new KoReplyType(TypeUnknownPushRespond);
    record->setId(id)->addValue(KoServerConfig::relayBaseUrl());
    sendJson(body, KoServerConfig::relayBaseUrl() + QStringLiteral("version/error"), record, headers);
}

void KoClientHelper::askDeviceNetworkState(int id, int toUid, QString toDeviceId, int toDeviceType,
                                           NetworkStateCallback callback)
{
    m_askNetworkState = callback;
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("askNetwork")}};
    addTarget(body, toUid, toDeviceId, toDeviceType);
    QMap<QString, QString> headers;
    addHeaders(headers);
    auto* record = new KoReplyType(TypeAskNetworkState);
    record->setId(id)->addValue(KoServerConfig::accountBaseUrl())->addValue(toDeviceId);
    sendJson(body, KoServerConfig::accountBaseUrl() + QStringLiteral("network/ask"), record, headers);
}

// --- answer handlers -----------------------------------------------------------------

void KoClientHelper::desktopStartConnectCallback(int id, QString, QJsonObject answer)
{
    const ConnectStartCallback cb = m_desktopStartConnect;
    if (!cb)
        return;
    const int code = readCode(answer);
    if (code != 0) {
        // A refusal is an answer too: the caller must hear it.
        cb(id, code, QString(), -1, QString(), -1);
        return;
    }
    cb(id, 0, readString(answer.value(QStringLiteral("deviceId"))),
       readInt(answer.value(QStringLiteral("deviceType")), 0), readString(answer.value(QStringLiteral("deviceName"))),
       readInt(answer.value(QStringLiteral("appVersion")), 0));
}

void KoClientHelper::disconnReRazeCallback(int id, QString, QJsonObject answer)
{
    callResult(m_disconnReRaze, id, readCode(answer));
}

void KoClientHelper::askReachableCallback(int id, QString server, QJsonObject answer)
{
    // server is the probed device id here.
    const ReachableCallback cb = m_askReachable;
    if (cb)
        cb(id, readCode(answer), server);
}

void KoClientHelper::connectFacilityCallback(int id, QString, QJsonObject answer)
{
    callResult(m_connectFacility, id, readCode(answer));
}

void KoClientHelper::disconnectFacilityCallback(int id, QString, QJsonObject answer)
{
    callResult(m_disconnectFacility, id, readCode(answer));
}

void KoClientHelper::connectFacilityRespondCallback(int id, QString, QJsonObject answer)
{
    callResult(m_connectFacilityRespond, id, readCode(answer));
}

void KoClientHelper::disconnectFacilityRespondCallback(int id, QString, QJsonObject answer)
{
    callResult(m_disconnectFacilityRespond, id, readCode(answer));
}

void KoClientHelper::unknownPushRespondCallback(int id, QString, QJsonObject answer)
{
    callResult(m_unknownPushRespond, id, readCode(answer));
}

void KoClientHelper::askDeviceNetworkStateCallback(int id, QString server, QJsonObject answer)
{
    // server is the device asked about here.
    const NetworkStateCallback cb = m_askNetworkState;
    if (!cb)
        return;
    const int code = readCode(answer);
    const QString ip = readString(answer.value(QStringLiteral("ip")));
    // The port travels as decimal text; anything else (a JSON number included) reads as 0.
    int port = 0;
    const QJsonValue portValue = answer.value(QStringLiteral("port"));
    if (portValue.isString()) {
        bool ok = false;
        port = portValue.toString().toInt(&ok);
        if (!ok)
            port = 0;
    }
    const int networkState = readInt(answer.value(QStringLiteral("networkState")), -1);
    cb(id, code, server, ip, port, networkState);
}
