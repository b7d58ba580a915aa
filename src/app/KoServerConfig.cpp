#include "KoServerConfig.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

struct Values {
    QString account;
    QString relay;
    QString update;
    QString extraCa;
    int deadline = 15000;
    int sweep = 1000;
    int slowTransfer = 30000;
    quint16 localPort = 59631;
    quint16 phonePort = 59632;
    int heartBeat = 30000;
    int deviceReport = 60000;
    int pushPoll = 1000;
    int addressCheck = 5000;
    int lanRetry = 1000;
    int phoneLost = 45000;
};

QString envOr(const char* name, const QString& fallback)
{
    const QString v = qEnvironmentVariable(name);
    return v.isEmpty() ? fallback : v;
}

int envIntOr(const char* name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

quint16 envPortOr(const char* name, quint16 fallback)
{
    const int v = envIntOr(name, fallback);
    return v <= 65535 ? quint16(v) : fallback;
}

QString withSlash(QString url)
{
    if (!url.endsWith('/'))
        url += '/';
    return url;
}

Values defaults()
{
    Values v;
    // Placeholder hosts: a deployment sets the real ones through the environment.
    v.account = withSlash(envOr("RERAZE_ACCOUNT_URL", QStringLiteral("https://account.reraze.invalid:8443/dedizo/")));
    v.relay = withSlash(envOr("RERAZE_RELAY_URL", QStringLiteral("https://relay.reraze.invalid:8443/reraze/")));
    v.update = withSlash(envOr("RERAZE_UPDATE_URL", QStringLiteral("https://download.reraze.invalid/pc/mac/")));
    v.extraCa = qEnvironmentVariable("RERAZE_EXTRA_CA_FILE");
    v.deadline = envIntOr("RERAZE_REQUEST_DEADLINE_MS", 15000);
    v.sweep = envIntOr("RERAZE_SWEEP_INTERVAL_MS", 1000);
    v.slowTransfer = envIntOr("RERAZE_SLOW_TRANSFER_MS", 30000);
    v.localPort = envPortOr("RERAZE_LOCAL_UDP_PORT", 59631);
    v.phonePort = envPortOr("RERAZE_PHONE_UDP_PORT", 59632);
    v.heartBeat = envIntOr("RERAZE_HEARTBEAT_MS", 30000);
    v.deviceReport = envIntOr("RERAZE_DEVICE_REPORT_MS", 60000);
    v.pushPoll = envIntOr("RERAZE_PUSH_POLL_MS", 1000);
    v.addressCheck = envIntOr("RERAZE_LAN_ADDRESS_CHECK_MS", 5000);
    v.lanRetry = envIntOr("RERAZE_LAN_RETRY_MS", 1000);
    v.phoneLost = envIntOr("RERAZE_PHONE_LOST_MS", 45000);
    return v;
}

QMutex& lock()
{
    static QMutex m;
    return m;
}

Values& values()
{
    static Values v = defaults();
    return v;
}

} // namespace

QString KoServerConfig::accountBaseUrl()
{
    QMutexLocker l(&lock());
    return values().account;
}
QString KoServerConfig::relayBaseUrl()
{
    QMutexLocker l(&lock());
    return values().relay;
}
QString KoServerConfig::updateBaseUrl()
{
    QMutexLocker l(&lock());
    return values().update;
}
QString KoServerConfig::extraCaFile()
{
    QMutexLocker l(&lock());
    return values().extraCa;
}
int KoServerConfig::requestDeadlineMs()
{
    QMutexLocker l(&lock());
    return values().deadline;
}
int KoServerConfig::sweepIntervalMs()
{
    QMutexLocker l(&lock());
    return values().sweep;
}
int KoServerConfig::slowTransferMs()
{
    QMutexLocker l(&lock());
    return values().slowTransfer;
}
quint16 KoServerConfig::localUdpPort()
{
    QMutexLocker l(&lock());
    return values().localPort;
}
quint16 KoServerConfig::phoneUdpPort()
{
    QMutexLocker l(&lock());
    return values().phonePort;
}
int KoServerConfig::heartBeatMs()
{
    QMutexLocker l(&lock());
    return values().heartBeat;
}
int KoServerConfig::deviceReportMs()
{
    QMutexLocker l(&lock());
    return values().deviceReport;
}
int KoServerConfig::pushPollMs()
{
    QMutexLocker l(&lock());
    return values().pushPoll;
}
int KoServerConfig::lanAddressCheckMs()
{
    QMutexLocker l(&lock());
    return values().addressCheck;
}
int KoServerConfig::lanRetryMs()
{
    QMutexLocker l(&lock());
    return values().lanRetry;
}
int KoServerConfig::phoneLostMs()
{
    QMutexLocker l(&lock());
    return values().phoneLost;
}

void KoServerConfig::setAccountBaseUrl(const QString& url)
{
    QMutexLocker l(&lock());
    values().account = withSlash(url);
}
void KoServerConfig::setRelayBaseUrl(const QString& url)
{
    QMutexLocker l(&lock());
    values().relay = withSlash(url);
}
void KoServerConfig::setUpdateBaseUrl(const QString& url)
{
    QMutexLocker l(&lock());
    values().update = withSlash(url);
}
void KoServerConfig::setRequestDeadlineMs(int ms)
{
    QMutexLocker l(&lock());
    values().deadline = ms;
}
void KoServerConfig::setSweepIntervalMs(int ms)
{
    QMutexLocker l(&lock());
    values().sweep = ms;
}
void KoServerConfig::setSlowTransferMs(int ms)
{
    QMutexLocker l(&lock());
    values().slowTransfer = ms;
}
void KoServerConfig::setLocalUdpPort(quint16 port)
{
    QMutexLocker l(&lock());
    values().localPort = port;
}
void KoServerConfig::setPhoneUdpPort(quint16 port)
{
    QMutexLocker l(&lock());
    values().phonePort = port;
}
void KoServerConfig::setHeartBeatMs(int ms)
{
    QMutexLocker l(&lock());
    values().heartBeat = ms;
}
void KoServerConfig::setDeviceReportMs(int ms)
{
    QMutexLocker l(&lock());
    values().deviceReport = ms;
}
void KoServerConfig::setPushPollMs(int ms)
{
    QMutexLocker l(&lock());
    values().pushPoll = ms;
}
void KoServerConfig::setLanAddressCheckMs(int ms)
{
    QMutexLocker l(&lock());
    values().addressCheck = ms;
}
void KoServerConfig::setLanRetryMs(int ms)
{
    QMutexLocker l(&lock());
    values().lanRetry = ms;
}
void KoServerConfig::setPhoneLostMs(int ms)
{
    QMutexLocker l(&lock());
    values().phoneLost = ms;
}
void KoServerConfig::reset()
{
    QMutexLocker l(&lock());
    values() = defaults();
}
