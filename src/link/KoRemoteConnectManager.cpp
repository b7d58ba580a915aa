#include "link/KoRemoteConnectManager.h"

#include "app/KoCommonUtil.h"
#include "app/KoServerConfig.h"
#include "app/KoThisMachineInfo.h"
#include "client/KoClientHelper.h"
#include "link/KoDeviceReport.h"
#include "link/KoLanChannel.h"
#include "link/KoLanMessage.h"
#include "link/KoPushReceiver.h"
#include "model/KoBaseFacility.h"
#include "net/KoUser.h"

#include <QDateTime>
#include <QHostAddress>
#include <QMutexLocker>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>

KoRemoteConnectManager* KoRemoteConnectManager::s_instance = nullptr;
QMutex KoRemoteConnectManager::s_mutex;

const char* const KoRemoteConnectManager::kRefusedReason = "拒绝了您的连接请求";
const char* const KoRemoteConnectManager::kMobileRefusedReason =
    "不允许2G/3G/4G网络下文件传输请求, 无法连接. 可在移动端的\"更多\"->\"设置\"中切换";

KoRemoteConnectManager* KoRemoteConnectManager::getInstance()
{
    QMutexLocker l(&s_mutex);
    if (!s_instance)
        s_instance = new KoRemoteConnectManager();
    return s_instance;
}

bool KoRemoteConnectManager::hasInstance()
{
    QMutexLocker l(&s_mutex);
    return s_instance != nullptr;
}

KoRemoteConnectManager::KoRemoteConnectManager()
    : QObject(nullptr)
{
    initData();
    initConnection();
}

KoRemoteConnectManager::~KoRemoteConnectManager()
{
    m_closing = true;
    // Timers and workers first: nothing may run on what is deleted below.
    for (QTimer* t : {m_heartBeatTimer, m_reportTimer, m_pushTimer, m_addressTimer, m_lostTimer})
        t->stop();
    m_channel->shutDown();
    delete m_channel;
    m_channel = nullptr;
    delete m_report;
    m_report = nullptr;
    delete m_push;
    m_push = nullptr;
    {
        QMutexLocker l(&m_attemptLock);
        m_attempts.clear();
    }
    {
        QMutexLocker l(&m_myDevicesLock);
        m_myDevices.clear();
    }
    {
        QMutexLocker l(&m_connectedLock);
        m_connected.clear();
    }
    qDeleteAll(m_retired);
    m_retired.clear();
    QMutexLocker l(&s_mutex);
    if (s_instance == this)
        s_instance = nullptr;
}

void KoRemoteConnectManager::initData()
{
    qRegisterMetaType<KoBaseFacility*>("KoBaseFacility*");
    m_shared = std::make_shared<KoLanShared>();
    KoThisMachineInfo* machine = KoThisMachineInfo::getInstance();
    {
        QMutexLocker l(&m_shared->addressLock);
        m_shared->deviceId = machine->getDeviceName();
        m_shared->deviceType = machine->getDeviceType();
        m_shared->phonePort = KoServerConfig::phoneUdpPort();
    }
    m_localIp = KoCommonUtil::getLocalIp();
    m_shared->setAddress(m_localIp);
    {
        QMutexLocker l(&m_qrKeyLock);
        m_qrKey = QRandomGenerator::global()->bounded(100000, 1000000);
        m_shared->setKey(m_qrKey);
    }

    m_channel = new KoLanChannel(m_shared, this);
    m_report = new KoDeviceReport(this);
    m_push = new KoPushReceiver(this);
    m_heartBeatTimer = new QTimer(this);
    m_reportTimer = new QTimer(this);
    m_pushTimer = new QTimer(this);
    m_addressTimer = new QTimer(this);
    m_lostTimer = new QTimer(this);
}

void KoRemoteConnectManager::initConnection()
{
    // Nobody listens yet while the constructor runs: the failure is told on the next turn.
    connect(m_channel, &KoLanChannel::bindError, this,
            [this] { QTimer::singleShot(0, this, [this] { emit bindError(); }); });
    connect(m_channel, &KoLanChannel::versionNotMatch, this, &KoRemoteConnectManager::msgVersionNotMatch);
    connect(m_channel, &KoLanChannel::keyGuessedTooOften, this, [this] {
        if (!m_closing)
            newQrKey();
    });
    connect(m_channel, &KoLanChannel::connectRequested, this, &KoRemoteConnectManager::onLanConnectRequested);
    connect(m_channel, &KoLanChannel::disconnectRequested, this, &KoRemoteConnectManager::onLanDisconnectRequested);
    connect(m_channel, &KoLanChannel::sendFinished, this, &KoRemoteConnectManager::onLanSendFinished);
    m_channel->open(KoServerConfig::localUdpPort());

    m_report->setCallback([this](int result, QList<KoBaseFacility> devices) { onReport(result, devices); });
    m_push->setHandler([this](const QJsonObject& push) { dispatchPush(push); });

    connect(m_heartBeatTimer, &QTimer::timeout, this, &KoRemoteConnectManager::onHeartBeat);
    connect(m_reportTimer, &QTimer::timeout, this, &KoRemoteConnectManager::onReportTimer);
    connect(m_pushTimer, &QTimer::timeout, this, &KoRemoteConnectManager::onPushTimer);
    connect(m_addressTimer, &QTimer::timeout, this, &KoRemoteConnectManager::onAddressTimer);
    m_heartBeatTimer->start(KoServerConfig::heartBeatMs());
    m_reportTimer->start(KoServerConfig::deviceReportMs());
    m_pushTimer->start(KoServerConfig::pushPollMs());
    m_addressTimer->start(KoServerConfig::lanAddressCheckMs());
    connect(m_lostTimer, &QTimer::timeout, this, &KoRemoteConnectManager::onLostCheck);
    m_lostTimer->start(qMax(50, KoServerConfig::phoneLostMs() / 6));

    // The account object comes after this one at start-up: listen to it once it is there.
    QTimer::singleShot(0, this, [this] {
        KoUser* user = KoUser::getInstance();
        connect(user, &KoUser::loginResult, this, &KoRemoteConnectManager::onUserLogin);
        connect(user, &KoUser::logoutResult, this, &KoRemoteConnectManager::onUserLogout);
        m_wasLoggedIn = user->isLogin();
        syncIdentity();
        // The first report goes out at once rather than a period late.
        onReportTimer();
    });
}

// --- lists and simple queries -------------------------------------------------------

QList<KoBaseFacility*>* KoRemoteConnectManager::getMyDeviceList()
{
    return m_myDevices.getList();
}

QList<KoBaseFacility*>* KoRemoteConnectManager::getConnectedList()
{
    return m_connected.getList();
}

int KoRemoteConnectManager::getQrKey()
{
    QMutexLocker l(&m_qrKeyLock);
    return m_qrKey;
}

quint16 KoRemoteConnectManager::getLanPort() const
{
    return m_channel ? m_channel->port() : 0;
}

void KoRemoteConnectManager::clearMyDeviceList()
{
    QList<KoBaseFacility*> old;
    {
        QMutexLocker l(&m_myDevicesLock);
        while (!m_myDevices.isEmpty())
            old.append(m_myDevices.takeAt(0));
    }
    for (KoBaseFacility* f : old)
        retire(f);
}

void KoRemoteConnectManager::getConnectedFacilityNetworkStatus(int uid, QString deviceId, bool& connected,
                                                               bool& isLocal, QString& url)
{
    connected = false;
    isLocal = false;
    url.clear();
    QMutexLocker l(&m_connectedLock);
    const KoBaseFacility* f = m_connected.find(deviceId);
    if (!f || f->getUid() != uid)
        return;
    connected = true;
    isLocal = f->isLocal();
    if (isLocal)
        url = KoBaseFacility::makeUrl(f->getIp(), f->getPort());
}

void KoRemoteConnectManager::getConnectedFacilityDetailInfo(int uid, QString deviceId, bool& found, QString& nick,
                                                            QString& deviceName)
{
    found = false;
    nick.clear();
    deviceName.clear();
    QMutexLocker l(&m_connectedLock);
    const KoBaseFacility* f = m_connected.find(deviceId);
    if (!f || f->getUid() != uid)
        return;
    found = true;
    nick = f->getNick();
    deviceName = f->getDeviceName();
}

bool KoRemoteConnectManager::isLoggedIn() const
{
    return KoUser::getInstance()->isLogin();
}

int KoRemoteConnectManager::userId() const
{
    KoUser* user = KoUser::getInstance();
    return user->isLogin() ? user->getId() : 0;
}

void KoRemoteConnectManager::syncIdentity()
{
    const int uid = userId();
    QMutexLocker l(&m_shared->addressLock);
    m_shared->uid = uid;
    m_shared->phonePort = KoServerConfig::phoneUdpPort();
}

void KoRemoteConnectManager::newQrKey()
{
    int key = 0;
    {
        QMutexLocker l(&m_qrKeyLock);
        do
            key = QRandomGenerator::global()->bounded(100000, 1000000);
        while (key == m_qrKey);
        m_qrKey = key;
        m_shared->setKey(key);
    }
    emit updateQrRandomKey(key);
}

// --- lending records to receivers ---------------------------------------------------

void KoRemoteConnectManager::lend(KoBaseFacility* facility)
{
    ++m_lent[facility];
}

void KoRemoteConnectManager::unlend(KoBaseFacility* facility)
{
    auto it = m_lent.find(facility);
    if (it == m_lent.end())
        return;
    if (--it.value() > 0)
        return;
    m_lent.erase(it);
    if (m_retired.remove(facility))
        delete facility;
}

void KoRemoteConnectManager::retire(KoBaseFacility* facility)
{
    if (!facility)
        return;
    if (m_lent.contains(facility))
        m_retired.insert(facility);
    else
        delete facility;
}

KoBaseFacility* KoRemoteConnectManager::handOver(KoBaseFacility* facility)
{
    if (!m_lent.contains(facility))
        return facility;
    // Still in a receiver's hands through another signal: that one keeps the original until
    // its delivery ends, this receiver gets a copy of its own.
    auto* copy = new KoBaseFacility(*facility);
    m_retired.insert(facility);
    return copy;
}

// Emits a signal that lends facility, keeping it alive until the delivery has ended.
#define KO_EMIT_LENT(facility, signalCall)                                                                           \
    do {                                                                                                             \
        KoBaseFacility* lent_ = (facility);                                                                          \
        QPointer<KoRemoteConnectManager> self_(this);                                                                \
        lend(lent_);                                                                                                 \
        emit signalCall;                                                                                             \
        if (self_)                                                                                                   \
            unlend(lent_);                                                                                           \
    } while (0)

// --- timers and the account ------------------------------------------------------------

void KoRemoteConnectManager::onHeartBeat()
{
    if (m_closing || !isLoggedIn())
        return;
    syncIdentity();
    QList<KoBaseFacility> phones;
    {
        QMutexLocker l(&m_connectedLock);
        for (KoBaseFacility* f : *m_connected.getList())
            phones.append(*f);
    }
    for (const KoBaseFacility& f : phones)
        probe(f, ProbeConnected);
}

void KoRemoteConnectManager::onReportTimer()
{
    refreshMyDevice();
}

void KoRemoteConnectManager::refreshMyDevice()
{
    if (m_closing || !isLoggedIn())
        return;
    m_report->report(userId(), m_localIp, getLanPort());
}

void KoRemoteConnectManager::onPushTimer()
{
    if (m_closing || !isLoggedIn())
        return;
    m_push->poll(userId());
}

void KoRemoteConnectManager::onAddressTimer()
{
    const QString ip = KoCommonUtil::getLocalIp();
    if (ip == m_localIp)
        return;
    m_localIp = ip;
    m_shared->setAddress(ip);
    newQrKey();
}

bool KoRemoteConnectManager::relayReaches(const QString& deviceId)
{
    if (!isLoggedIn())
        return false;
    {
        QMutexLocker l(&m_myDevicesLock);
        if (const KoBaseFacility* mine = m_myDevices.find(deviceId))
            return mine->getState() != 3;
    }
    return m_viaRelay.contains(deviceId);
}

void KoRemoteConnectManager::onLostCheck()
{
    if (m_closing)
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QList<KoBaseFacility> phones;
    {
        QMutexLocker l(&m_connectedLock);
        for (KoBaseFacility* f : *m_connected.getList())
            phones.append(*f);
    }
    QHash<QString, qint64> answered;
    QStringList lost;
    for (const KoBaseFacility& f : phones) {
        const QString id = f.getDeviceId();
        // One entered without a connection of ours counts from when it is first seen.
        const qint64 last = m_lanAnswered.value(id, now);
        answered.insert(id, last);
        const bool relay = relayReaches(id);
        if (f.isLocal() || !relay)
            probe(f, ProbeConnected);
        if (!relay && now - last >= KoServerConfig::phoneLostMs())
            lost.append(id);
    }
    m_lanAnswered = answered;
    QPointer<KoRemoteConnectManager> self(this);
    for (const QString& id : qAsConst(lost)) {
        KoBaseFacility* f = nullptr;
        {
            QMutexLocker l(&m_connectedLock);
            f = m_connected.take(id);
        }
        if (!f)
            continue;
        m_lanAnswered.remove(id);
        m_viaRelay.remove(id);
        emit deviceDetached(handOver(f));
        if (!self)
            return;
    }
}

void KoRemoteConnectManager::onUserLogin(int code)
{
    if (code != 0)
        return;
    m_wasLoggedIn = true;
    syncIdentity();
    newQrKey();
}

void KoRemoteConnectManager::onUserLogout()
{
    m_wasLoggedIn = false;
    syncIdentity();
    newQrKey();
}

// --- connecting -------------------------------------------------------------------------

void KoRemoteConnectManager::connectDevice(QString deviceId)
{
    if (m_closing)
        return;
    KoBaseFacility facility;
    bool known = false;
    {
        QMutexLocker l(&m_myDevicesLock);
        if (const KoBaseFacility* f = m_myDevices.find(deviceId)) {
            facility = *f;
            known = true;
        }
    }
    bool connectedAlready = false;
    {
        QMutexLocker l(&m_connectedLock);
        connectedAlready = m_connected.contains(deviceId);
    }
    bool pending = false;
    {
        QMutexLocker l(&m_attemptLock);
        for (Attempt& a : m_attempts) {
            if (a.deviceId == deviceId) {
                // A pairing or a push may have started it: its end is now the caller's too.
                a.byUser = true;
                pending = true;
            }
        }
    }
    if (pending)
        return; // that attempt ends with sendTimeout
    const bool lan = known && facility.getState() == 1 && !facility.getIp().isEmpty() && facility.getPort() > 0;
    const bool relay = known && facility.getState() == 2;
    if (connectedAlready || (!lan && !relay)) {
        // Nothing to do; the caller still hears the end of its attempt, later than this call.
        QTimer::singleShot(0, this, [this, deviceId, connectedAlready] {
            if (connectedAlready) {
                KoBaseFacility* f = nullptr;
                int index = -1;
                {
                    QMutexLocker l(&m_connectedLock);
                    index = m_connected.indexOf(deviceId);
                    f = m_connected.find(deviceId);
                }
                if (f)
                    KO_EMIT_LENT(f, deviceConnected(f, index));
            }
            emit sendTimeout(kConnectMsgType);
        });
        return;
    }

    const int id = m_nextId++;
    Attempt attempt;
    attempt.deviceId = deviceId;
    attempt.byUser = true;
    attempt.facility = facility;
    QPointer<KoRemoteConnectManager> guard(this);
    if (relay) {
        {
            QMutexLocker l(&m_attemptLock);
            m_attempts.insert(id, attempt);
        }
        KoClientHelper::getInstance()->connectFacility(id, facility.getUid(), deviceId, facility.getDeviceType(),
                                                       [guard](int rid, int code) {
                                                           if (guard)
                                                               guard->onConnectFacility(rid, code);
                                                       });
        return;
    }

    // LAN: tell the phone first (it acknowledges), then the handshake over its file service.
    if (m_channel->isOpen()) {
        KoThisMachineInfo* machine = KoThisMachineInfo::getInstance();
        QJsonObject msg = KoLanMessage::make(KoLanMessage::TypeConnect, machine->getDeviceName(),
                                             machine->getDeviceType(), userId());
        msg.insert(QStringLiteral("deviceName"), machine->getDeviceNick());
        msg.insert(QStringLiteral("nick"), KoUser::getInstance()->getNick());
        msg.insert(QStringLiteral("ip"), m_localIp);
        msg.insert(QStringLiteral("port"), int(getLanPort()));
        msg.insert(QStringLiteral("key"), getQrKey());
        attempt.msgId = msg.value(QStringLiteral("msgId")).toString();
        {
            QMutexLocker l(&m_attemptLock);
            m_attempts.insert(id, attempt);
        }
        if (!m_channel->send(msg, facility.getIp()).isEmpty())
            return;
        QMutexLocker l(&m_attemptLock);
        m_attempts[id].msgId.clear();
    } else {
        QMutexLocker l(&m_attemptLock);
        m_attempts.insert(id, attempt);
    }
    // No LAN channel: the handshake alone.
    QTimer::singleShot(0, this, [this, id] { startLanHandshake(id); });
}

void KoRemoteConnectManager::onLanSendFinished(QString msgId, int type, bool acked)
{
    if (type != KoLanMessage::TypeConnect)
        return;
    int id = -1;
    {
        QMutexLocker l(&m_attemptLock);
        for (auto it = m_attempts.begin(); it != m_attempts.end(); ++it) {
            if (!msgId.isEmpty() && it.value().msgId == msgId) {
                id = it.key();
                it.value().msgId.clear();
                break;
            }
        }
    }
    if (id < 0)
        return;
    if (!acked) {
        finishAttempt(id);
        return;
    }
    startLanHandshake(id);
}

void KoRemoteConnectManager::startLanHandshake(int attemptId)
{
    QString url;
    {
        QMutexLocker l(&m_attemptLock);
        auto it = m_attempts.find(attemptId);
        if (it == m_attempts.end())
            return;
        url = KoBaseFacility::makeUrl(it.value().facility.getIp(), it.value().facility.getPort());
    }
    QPointer<KoRemoteConnectManager> guard(this);
    KoClientHelper::getInstance()->desktopStartConnect(
        attemptId, url,
        [guard](int id, int code, QString deviceId, int deviceType, QString deviceName, int appVersion) {
            if (guard)
                guard->onDesktopStartConnect(id, code, deviceId, deviceType, deviceName, appVersion);
        });
}

void KoRemoteConnectManager::onDesktopStartConnect(int id, int code, QString deviceId, int deviceType,
                                                   QString deviceName, int appVersion)
{
    Attempt attempt;
    {
        QMutexLocker l(&m_attemptLock);
        auto it = m_attempts.find(id);
        if (it == m_attempts.end())
            return;
        attempt = it.value();
        m_attempts.erase(it);
    }
    QPointer<KoRemoteConnectManager> self(this);
    // The phone must answer for the device we asked; another one at that address is not it.
    if (code == 0 && (deviceId.isEmpty() || deviceId == attempt.deviceId)) {
        KoBaseFacility f = attempt.facility;
        if (!deviceName.isEmpty())
            f.setDeviceName(deviceName);
        if (deviceType > 0)
            f.setDeviceType(deviceType);
        if (appVersion > 0)
            f.setAppVersion(appVersion);
        f.setState(1);
        f.setLocal(true);
        f.setUrl(KoBaseFacility::makeUrl(f.getIp(), f.getPort()));
        addConnected(f, false);
        if (!self)
            return;
        if (attempt.byKey)
            newQrKey();
    } else if (code == 0) {
        qDebug() << "LAN: the phone at" << attempt.facility.getIp() << "answered as another device";
    }
    if (self && attempt.byUser)
        emit sendTimeout(kConnectMsgType);
}

void KoRemoteConnectManager::onConnectFacility(int id, int code)
{
    Attempt attempt;
    {
        QMutexLocker l(&m_attemptLock);
        auto it = m_attempts.find(id);
        if (it == m_attempts.end())
            return;
        attempt = it.value();
        m_attempts.erase(it);
    }
    QPointer<KoRemoteConnectManager> self(this);
    if (code == 0) {
        KoBaseFacility f = attempt.facility;
        f.setState(2);
        f.setLocal(false);
        f.setUrl(QString());
        addConnected(f, true);
        if (self && attempt.byKey)
            newQrKey();
    } else if (attempt.byUser && (code == kRelayCodeRefused || code == kRelayCodeMobileRefused)) {
        KoBaseFacility* f = nullptr;
        {
            QMutexLocker l(&m_myDevicesLock);
            f = m_myDevices.find(attempt.deviceId);
        }
        const QString reason = QString::fromUtf8(code == kRelayCodeRefused ? kRefusedReason : kMobileRefusedReason);
        if (f)
            KO_EMIT_LENT(f, deviceRefused(f, reason));
    }
    if (self && attempt.byUser)
        emit sendTimeout(kConnectMsgType);
}

void KoRemoteConnectManager::finishAttempt(int attemptId)
{
    bool byUser = false;
    {
        QMutexLocker l(&m_attemptLock);
        auto it = m_attempts.find(attemptId);
        if (it == m_attempts.end())
            return;
        byUser = it.value().byUser;
        m_attempts.erase(it);
    }
    if (byUser)
        emit sendTimeout(kConnectMsgType);
}

void KoRemoteConnectManager::addConnected(const KoBaseFacility& facility, bool viaRelay)
{
    const QString deviceId = facility.getDeviceId();
    KoBaseFacility* f = nullptr;
    int index = 0;
    bool again = false;
    {
        QMutexLocker l(&m_connectedLock);
        f = m_connected.find(deviceId);
        if (f) {
            // Still listed from before (a restarted phone): the one entry takes the new values.
            *f = facility;
            index = m_connected.indexOf(deviceId);
            again = true;
        } else {
            f = new KoBaseFacility(facility);
            if (!m_connected.prepend(f)) {
                delete f;
                return;
            }
        }
    }
    m_lanAnswered.insert(deviceId, QDateTime::currentMSecsSinceEpoch());
    if (viaRelay)
        m_viaRelay.insert(deviceId);
    else
        m_viaRelay.remove(deviceId);
    QPointer<KoRemoteConnectManager> self(this);
    if (again) {
        emit deviceLocalChanged(deviceId, facility.isLocal(), facility.isLocal() ? facility.getUrl() : QString());
        if (!self)
            return;
        // It may have left while that was delivered.
        QMutexLocker l(&m_connectedLock);
        if (m_connected.find(deviceId) != f)
            return;
    }
    KO_EMIT_LENT(f, deviceConnected(f, index));
}

void KoRemoteConnectManager::reconnectAt(const KoBaseFacility& facility, const QString& ip, int port)
{
    const QString deviceId = facility.getDeviceId();
    {
        QMutexLocker l(&m_attemptLock);
        for (const Attempt& a : qAsConst(m_attempts))
            if (a.deviceId == deviceId)
                return;
    }
    Attempt attempt;
    attempt.deviceId = deviceId;
    attempt.facility = facility;
    attempt.facility.setIp(ip);
    attempt.facility.setPort(port);
    const int id = m_nextId++;
    {
        QMutexLocker l(&m_attemptLock);
        m_attempts.insert(id, attempt);
    }
    startLanHandshake(id);
}

void KoRemoteConnectManager::onLanConnectRequested(QJsonObject message, QString senderIp)
{
    if (m_closing)
        return;
    int key = 0, uid = 0, type = 0, port = 0, appVersion = 0;
    KoLanMessage::readInt(message, QStringLiteral("key"), &key);
    if (key != getQrKey())
        return; // the key changed while the message was on its way
    KoLanMessage::readInt(message, QStringLiteral("uid"), &uid);
    KoLanMessage::readInt(message, QStringLiteral("deviceType"), &type);
    KoLanMessage::readInt(message, QStringLiteral("port"), &port);
    KoLanMessage::readInt(message, QStringLiteral("appVersion"), &appVersion);
    const QString deviceId = message.value(QStringLiteral("deviceId")).toString();
    const QString name = message.value(QStringLiteral("deviceName")).toString();
    const QString nick = message.value(QStringLiteral("nick")).toString();
    // A phone still listed pairs again after a restart: the handshake moves its entry to the
    // address it has now.
    {
        QMutexLocker l(&m_attemptLock);
        for (const Attempt& a : m_attempts)
            if (a.deviceId == deviceId)
                return;
    }
    Attempt attempt;
    attempt.deviceId = deviceId;
    attempt.byKey = true;
    // The address the datagram came from, not one the message claims.
    attempt.facility = KoBaseFacility(uid, 0, type, senderIp, deviceId, name, appVersion, true, QString(), nick,
                                      port);
    const int id = m_nextId++;
    {
        QMutexLocker l(&m_attemptLock);
        m_attempts.insert(id, attempt);
    }
    startLanHandshake(id);
}

void KoRemoteConnectManager::onLanDisconnectRequested(QString deviceId, int uid, QString senderIp)
{
    KoBaseFacility* f = nullptr;
    {
        QMutexLocker l(&m_connectedLock);
        const KoBaseFacility* known = m_connected.find(deviceId);
        // The id and uid travel in clear: only the address the phone is connected at may end it.
        if (!known || known->getUid() != uid || !known->isLocal()
            || QHostAddress(known->getIp()) != QHostAddress(senderIp))
            return;
        f = m_connected.take(deviceId);
    }
    emit deviceDetached(handOver(f));
}

// --- ejecting -----------------------------------------------------------------------------

void KoRemoteConnectManager::ejectDevice(QString deviceId)
{
    KoBaseFacility* f = nullptr;
    {
        QMutexLocker l(&m_connectedLock);
        f = m_connected.take(deviceId);
    }
    if (!f)
        return;
    KoClientHelper* client = KoClientHelper::getInstance();
    const int id = m_nextId++;
    if (f->isLocal())
        client->disconnReRaze(id, KoBaseFacility::makeUrl(f->getIp(), f->getPort()), f->getUid(), [](int, int) {});
    else
        client->disconnectFacility(id, f->getUid(), f->getDeviceId(), f->getDeviceType(), [](int, int) {});
    emit deviceEjected(handOver(f));
}

void KoRemoteConnectManager::ejectAllDevice()
{
    QStringList ids;
    {
        QMutexLocker l(&m_connectedLock);
        for (KoBaseFacility* f : *m_connected.getList())
            ids.append(f->getDeviceId());
    }
    for (const QString& id : ids)
        ejectDevice(id);
}

// --- reachability -------------------------------------------------------------------------

void KoRemoteConnectManager::probe(const KoBaseFacility& facility, int purpose)
{
    if (facility.getIp().isEmpty() || facility.getPort() <= 0)
        return;
    Probe p;
    p.deviceId = facility.getDeviceId();
    p.url = KoBaseFacility::makeUrl(facility.getIp(), facility.getPort());
    p.purpose = purpose;
    // A phone reported at a new address is asked there, while a probe of the old one runs.
    const QString key = p.key();
    if (m_probing.contains(key))
        return;
    const int id = m_nextId++;
    m_probes.insert(id, p);
    m_probing.insert(key);
    QPointer<KoRemoteConnectManager> guard(this);
    KoClientHelper::getInstance()->askReachable(id, p.url, facility.getUid(), facility.getDeviceId(),
                                                facility.getDeviceType(),
                                                [guard](int rid, int code, QString deviceId) {
                                                    if (guard)
                                                        guard->onReachable(rid, code, deviceId);
                                                });
}

void KoRemoteConnectManager::onReachable(int id, int code, QString deviceId)
{
    auto it = m_probes.find(id);
    if (it == m_probes.end())
        return;
    const Probe p = it.value();
    m_probes.erase(it);
    m_probing.remove(p.key());
    Q_UNUSED(deviceId);
    const bool reachable = code == 0;
    if (p.purpose == ProbeMyDevice) {
        bool changed = false;
        bool answered = false;
        QString ip;
        int port = 0;
        {
            QMutexLocker l(&m_myDevicesLock);
            KoBaseFacility* f = m_myDevices.find(p.deviceId);
            answered = f && reachable && KoBaseFacility::makeUrl(f->getIp(), f->getPort()) == p.url;
            if (answered) {
                ip = f->getIp();
                port = f->getPort();
            }
            if (answered && f->getState() != 1) {
                f->setState(1);
                f->setLocal(true);
                f->setUrl(p.url);
                changed = true;
            }
        }
        QPointer<KoRemoteConnectManager> self(this);
        if (changed)
            emit updateMyDeviceList();
        if (!self || !answered)
            return;
        // Connected still at the address it had before it was reported at this one.
        KoBaseFacility connected;
        {
            QMutexLocker l(&m_connectedLock);
            const KoBaseFacility* f = m_connected.find(p.deviceId);
            if (!f || (f->getIp() == ip && f->getPort() == port))
                return;
            connected = *f;
        }
        reconnectAt(connected, ip, port);
        return;
    }
    bool local = false;
    QString ip;
    int port = 0;
    {
        QMutexLocker l(&m_connectedLock);
        const KoBaseFacility* f = m_connected.find(p.deviceId);
        if (!f || KoBaseFacility::makeUrl(f->getIp(), f->getPort()) != p.url)
            return;
        local = f->isLocal();
        ip = f->getIp();
        port = f->getPort();
    }
    if (reachable)
        m_lanAnswered.insert(p.deviceId, QDateTime::currentMSecsSinceEpoch());
    // With no relay to move to, a silent LAN phone keeps its route until it is let go.
    if (reachable == local || (!reachable && !relayReaches(p.deviceId)))
        return;
    // The relay is taken on the word of a report: ask for a fresh one.
    if (!reachable)
        refreshMyDevice();
    moveRoute(p.deviceId, reachable, ip, port);
}

void KoRemoteConnectManager::moveRoute(const QString& deviceId, bool local, const QString& ip, int port)
{
    QString url;
    {
        QMutexLocker l(&m_connectedLock);
        KoBaseFacility* f = m_connected.find(deviceId);
        if (!f)
            return;
        f->setIp(ip);
        f->setPort(port);
        url = local ? KoBaseFacility::makeUrl(ip, port) : QString();
        f->setUrl(url);
        f->setLocal(local);
        f->setState(local ? 1 : 2);
    }
    {
        QMutexLocker l(&m_myDevicesLock);
        if (KoBaseFacility* mine = m_myDevices.find(deviceId)) {
            mine->setState(local ? 1 : 2);
            mine->setLocal(local);
            mine->setUrl(url);
        }
    }
    emit deviceLocalChanged(deviceId, local, url);
}

void KoRemoteConnectManager::onNetworkState(int id, int code, QString deviceId, QString ip, int port,
                                            int networkState)
{
    Q_UNUSED(deviceId);
    Q_UNUSED(networkState);
    const QString target = m_stateQueries.take(id);
    ip = KoLanMessage::plainIpv4(ip);
    if (target.isEmpty() || code != 0 || ip.isEmpty() || port <= 0 || port > 65535)
        return;
    KoBaseFacility copy;
    {
        QMutexLocker l(&m_connectedLock);
        KoBaseFacility* f = m_connected.find(target);
        if (!f || f->isLocal())
            return;
        f->setIp(ip);
        f->setPort(port);
        f->setUrl(QString()); // still on the relay until the probe says otherwise
        copy = *f;
    }
    probe(copy, ProbeConnected);
}

// --- device report --------------------------------------------------------------------------

void KoRemoteConnectManager::onReport(int result, const QList<KoBaseFacility>& devices)
{
    if (result != 0 || m_closing)
        return;
    QList<KoBaseFacility*> old;
    {
        QMutexLocker l(&m_myDevicesLock);
        while (!m_myDevices.isEmpty())
            old.append(m_myDevices.takeAt(0));
        for (const KoBaseFacility& d : devices) {
            auto* f = new KoBaseFacility(d);
            if (!m_myDevices.append(f))
                delete f;
        }
    }
    for (KoBaseFacility* f : old)
        retire(f);
    QPointer<KoRemoteConnectManager> self(this);
    emit updateMyDeviceList();
    if (!self)
        return;
    for (const KoBaseFacility& d : devices)
        if (d.getState() != 3)
            probe(d, ProbeMyDevice);
}

// --- pushes -----------------------------------------------------------------------------------

void KoRemoteConnectManager::dispatchPush(const QJsonObject& push)
{
    if (m_closing)
        return;
    const QString cmd = push.value(QStringLiteral("cmd")).toString();
    const QString pushId = push.value(QStringLiteral("pushId")).toString();
    QString deviceId;
    int uid = 0, type = 0;
    const bool wellFormed = KoLanMessage::readString(push, QStringLiteral("fromDeviceId"), 256, &deviceId)
        && !deviceId.isEmpty() && KoLanMessage::readInt(push, QStringLiteral("fromUid"), &uid)
        && KoLanMessage::readInt(push, QStringLiteral("fromDeviceType"), &type);
    int networkType = 0;
    if (wellFormed && cmd == QLatin1String("OPEN")) {
        onConnectPush(push, pushId);
    } else if (wellFormed && cmd == QLatin1String("DISCONNECT")) {
        onDisconnectPush(push, pushId);
    } else if (wellFormed && cmd == QLatin1String("NETWORK")
               && KoLanMessage::readInt(push, QStringLiteral("networkType"), &networkType)) {
        onNetworkPush(push);
    } else {
        KoClientHelper::getInstance()->unknownPushRespond(m_nextId++, push, [](int, int) {});
    }
}

void KoRemoteConnectManager::onConnectPush(const QJsonObject& push, const QString& pushId)
{
    const QString deviceId = push.value(QStringLiteral("fromDeviceId")).toString();
    const int uid = push.value(QStringLiteral("fromUid")).toInt();
    const int type = push.value(QStringLiteral("fromDeviceType")).toInt();
    int key = -1;
    const bool keyMatches = KoLanMessage::readInt(push, QStringLiteral("key"), &key) && key == getQrKey();
    const bool ownPhone = isLoggedIn() && uid == userId();
    const bool accept = ownPhone || keyMatches;
    const int id = m_nextId++;
    if (accept) {
        int port = 0, networkType = 1, policy = 0, appVersion = 0;
        QString ip, name, nick;
        KoLanMessage::readIpv4(push, QStringLiteral("ip"), &ip);
        KoLanMessage::readInt(push, QStringLiteral("port"), &port);
        KoLanMessage::readString(push, QStringLiteral("deviceName"), 256, &name);
        KoLanMessage::readString(push, QStringLiteral("userName"), 256, &nick);
        KoLanMessage::readInt(push, QStringLiteral("networkType"), &networkType);
        KoLanMessage::readInt(push, QStringLiteral("policy"), &policy);
        KoLanMessage::readInt(push, QStringLiteral("appVersion"), &appVersion);
        Attempt attempt;
        attempt.deviceId = deviceId;
        attempt.byKey = keyMatches && !ownPhone;
        attempt.facility = KoBaseFacility(uid, 2, type, ip, deviceId, name, appVersion, false, QString(), nick,
                                          port > 0 && port <= 65535 ? port : 0);
        attempt.facility.setUrl(QString());
        attempt.facility.setNetworkType(networkType);
        attempt.facility.setNetworkPolicy(policy);
        QMutexLocker l(&m_attemptLock);
        m_attempts.insert(id, attempt);
    }
    QPointer<KoRemoteConnectManager> guard(this);
    KoClientHelper::getInstance()->connectFacilityRespond(id, pushId, uid, deviceId, type, accept,
                                                          [guard, accept](int rid, int code) {
                                                              if (guard && accept)
                                                                  guard->onConnectFacility(rid, code);
                                                          });
}

void KoRemoteConnectManager::onDisconnectPush(const QJsonObject& push, const QString& pushId)
{
    const QString deviceId = push.value(QStringLiteral("fromDeviceId")).toString();
    const int uid = push.value(QStringLiteral("fromUid")).toInt();
    const int type = push.value(QStringLiteral("fromDeviceType")).toInt();
    KoClientHelper::getInstance()->disconnectFacilityRespond(m_nextId++, pushId, uid, deviceId, type,
                                                             [](int, int) {});
    KoBaseFacility* f = nullptr;
    {
        QMutexLocker l(&m_connectedLock);
        const KoBaseFacility* known = m_connected.find(deviceId);
        if (!known || known->getUid() != uid)
            return;
        f = m_connected.take(deviceId);
    }
    emit deviceDetached(handOver(f));
}

void KoRemoteConnectManager::onNetworkPush(const QJsonObject& push)
{
    const QString deviceId = push.value(QStringLiteral("fromDeviceId")).toString();
    const int uid = push.value(QStringLiteral("fromUid")).toInt();
    int networkType = 1, policy = 0;
    KoLanMessage::readInt(push, QStringLiteral("networkType"), &networkType);
    KoLanMessage::readInt(push, QStringLiteral("policy"), &policy);

    bool mineChanged = false;
    {
        QMutexLocker l(&m_myDevicesLock);
        if (KoBaseFacility* mine = m_myDevices.find(deviceId)) {
            mineChanged = mine->getNetworkType() != networkType || mine->getNetworkPolicy() != policy;
            mine->setNetworkType(networkType);
            mine->setNetworkPolicy(policy);
        }
    }
    QPointer<KoRemoteConnectManager> self(this);
    if (mineChanged)
        emit updateMyDeviceList();
    if (!self)
        return;

    bool local = false;
    KoBaseFacility copy;
    {
        QMutexLocker l(&m_connectedLock);
        KoBaseFacility* f = m_connected.find(deviceId);
        if (!f || f->getUid() != uid)
            return;
        f->setNetworkType(networkType);
        f->setNetworkPolicy(policy);
        local = f->isLocal();
        copy = *f;
    }
    m_viaRelay.insert(deviceId);
    if (networkType == 0) {
        // On mobile data the phone has left the LAN.
        if (local)
            moveRoute(deviceId, false, copy.getIp(), copy.getPort());
        if (!self)
            return;
        if (policy == 1) {
            KoBaseFacility* f = nullptr;
            {
                QMutexLocker l(&m_connectedLock);
                f = m_connected.take(deviceId);
            }
            if (f)
                emit devicePolicyDetached(handOver(f), QString::fromUtf8(kMobileRefusedReason));
        } else if (policy == 0) {
            KoBaseFacility* f = nullptr;
            {
                QMutexLocker l(&m_connectedLock);
                f = m_connected.find(deviceId);
            }
            if (f)
                KO_EMIT_LENT(f, deviceContinueQuery(f));
        }
        return;
    }
    if (local)
        return;
    // Back on a network that may be ours: ask where it is, then try the LAN.
    const int id = m_nextId++;
    m_stateQueries.insert(id, deviceId);
    QPointer<KoRemoteConnectManager> guard(this);
    KoClientHelper::getInstance()->askDeviceNetworkState(
        id, uid, deviceId, copy.getDeviceType(),
        [guard](int rid, int code, QString target, QString ip, int port, int state) {
            if (guard)
                guard->onNetworkState(rid, code, target, ip, port, state);
        });
}
