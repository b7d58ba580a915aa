#include "model/KoBaseFacility.h"

KoBaseFacility::KoBaseFacility() = default;

KoBaseFacility::KoBaseFacility(int uid, int state, int deviceType, const QString& ip, const QString& deviceId,
                               const QString& deviceName, int appVersion, bool local, const QString& imagePath,
                               const QString& nick, int port)
    : m_uid(uid)
    , m_state(state)
    , m_deviceType(deviceType)
    , m_ip(ip)
    , m_deviceId(deviceId)
    , m_deviceName(deviceName)
    , m_appVersion(appVersion)
    , m_local(local)
    , m_imagePath(imagePath)
    , m_nick(nick)
    , m_port(port)
{
    rebuildUrl();
}

KoBaseFacility::KoBaseFacility(const KoBaseFacility* other)
{
    if (other)
        *this = *other;
}

void KoBaseFacility::setIp(const QString& ip)
{
    m_ip = ip;
    rebuildUrl();
}

void KoBaseFacility::setPort(int port)
{
    m_port = port;
    rebuildUrl();
}

QString KoBaseFacility::makeUrl(const QString& ip, int port)
{
    return QStringLiteral("http://") + ip + QLatin1Char(':') + QString::number(port);
}

void KoBaseFacility::rebuildUrl()
{
    // A phone known only through the relay has no address and no LAN URL.
    m_url = m_ip.isEmpty() ? QString() : makeUrl(m_ip, m_port);
}
