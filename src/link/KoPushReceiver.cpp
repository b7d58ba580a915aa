#include "link/KoPushReceiver.h"

#include "app/KoCommonUtil.h"
#include "app/KoServerConfig.h"
#include "app/KoThisMachineInfo.h"
#include "link/KoLanMessage.h"
#include "net/KoReplyMap.h"
#include "net/KoReplyType.h"

#include <QJsonArray>
#include <QMutexLocker>
#include <QNetworkReply>
#include <QPointer>

#include <memory>

KoPushReceiver::KoPushReceiver(QObject* parent)
    : KoNetworkHelper(parent)
{
}

KoPushReceiver::~KoPushReceiver()
{
    m_handler = nullptr;
    m_replyMap->abortAll(this);
}

void KoPushReceiver::poll(int uid)
{
    if (m_polling)
        return;
    KoThisMachineInfo* machine = KoThisMachineInfo::getInstance();
    QJsonObject body;
    body.insert(QStringLiteral("cmd"), QStringLiteral("PC_PUSH"));
    body.insert(QStringLiteral("uid"), uid);
    body.insert(QStringLiteral("deviceId"), machine->getDeviceName());
    body.insert(QStringLiteral("deviceType"), machine->getDeviceType());
    QMap<QString, QString> headers;
    headers.insert(QStringLiteral("kouid"), QString::number(uid));
    headers.insert(QStringLiteral("deviceId"), machine->getDeviceName());
    headers.insert(QStringLiteral("deviceType"), QString::number(machine->getDeviceType()));
    auto* record = new KoReplyType(kReplyType);
    record->setDdl(KoServerConfig::requestDeadlineMs());
    m_polling = true;
    const QString url = KoServerConfig::relayBaseUrl() + QStringLiteral("pcPush");
    if (!isSecureUrl(url)) {
        // The login cookies never go out in clear text: fails like an unreachable relay.
        failLater(record, [this](KoReplyType*) { m_polling = false; });
        return;
    }
    postHttpData(body, url, record, &headers);
}

bool KoPushReceiver::markSeen(const QString& id)
{
    QMutexLocker l(&m_seenLock);
    if (m_seen.contains(id))
        return false;
    m_seen.append(id);
    while (m_seen.size() > kSeenIds)
        m_seen.removeFirst();
    return true;
}

void KoPushReceiver::onFinished(QNetworkReply* reply)
{
    std::unique_ptr<KoReplyType> record = takeRecord(reply);
    if (!record)
        return;
    m_polling = false;
    const QJsonObject answer = KoCommonUtil::byteArrayToJson(KoCommonUtil::readAll(reply));
    int code = 1;
    if (!KoLanMessage::readInt(answer, QStringLiteral("code"), &code) || code != 0)
        return;
    const QJsonArray pushes = answer.value(QStringLiteral("pushes")).toArray();
    QPointer<KoPushReceiver> self(this);
    for (const QJsonValue& v : pushes) {
        if (!v.isObject())
            continue;
        const QJsonObject push = v.toObject();
        QString id;
        if (!KoLanMessage::readString(push, QStringLiteral("pushId"), 128, &id) || id.isEmpty())
            continue;
        if (!markSeen(id))
            continue;
        if (m_handler) {
            Handler handler = m_handler;
            handler(push);
        }
        // A handler's dialog runs the event loop, in which the owner may have gone.
        if (!self)
            return;
    }
}

void KoPushReceiver::onTimeout(QNetworkReply* reply)
{
    if (!takeRecord(reply))
        return;
    m_polling = false;
}
