#include "app/KoThisMachineInfo.h"

#include "app/KoCommonUtil.h"
#include "app/KoSettings.h"

#include <QMutexLocker>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QVariantMap>

KoThisMachineInfo* KoThisMachineInfo::s_instance = nullptr;
QMutex KoThisMachineInfo::s_mutex;

static const char* const kKeyMac = "mac";
static const char* const kKeyDeviceName = "deviceName";
static const char* const kKeyDeviceNick = "deviceNick";
static const char* const kKeyDeviceType = "deviceType";
static const char* const kKeyLastDownloadDir = "lastDownloadDir";
static const char* const kKeyLastUploadDir = "lastUploadDir";

// A locally administered unicast address: cannot clash with a real card's.
static QString generatedMacAddress()
{
    QStringList bytes;
    bytes << QStringLiteral("02");
    for (int i = 0; i < 5; ++i)
        bytes << QString::number(QRandomGenerator::global()->bounded(256), 16).rightJustified(2, '0').toUpper();
    return bytes.join(':');
}

static QString desktopDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

KoThisMachineInfo* KoThisMachineInfo::getInstance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new KoThisMachineInfo();
    return s_instance;
}

KoThisMachineInfo::KoThisMachineInfo()
    : QObject(nullptr)
{
    initData();
}

KoThisMachineInfo::~KoThisMachineInfo()
{
    // The settings may already be gone at exit; write through a short-lived store then.
    const bool hadSettings = KoSettings::hasInstance();
    save();
    if (!hadSettings)
        delete KoSettings::getInstance();
    QMutexLocker locker(&s_mutex);
    if (s_instance == this)
        s_instance = nullptr;
}

void KoThisMachineInfo::initData()
{
    KoSettings* settings = KoSettings::getInstance();
    const QString group = QString::fromLatin1(KoSettings::kGroupLocalDevice);
    const QVariantMap stored = settings->groupValues(group);
    bool changed = false;

    {
        QMutexLocker locker(&m_lock);
        m_macAddress = stored.value(kKeyMac).toString();
        if (m_macAddress.isEmpty()) {
            m_macAddress = KoCommonUtil::getMacAddress();
            if (m_macAddress.isEmpty())
                m_macAddress = generatedMacAddress();
            changed = true;
        }
        m_deviceName = stored.value(kKeyDeviceName).toString();
        if (m_deviceName.isEmpty()) {
            m_deviceName = QStringLiteral("Mac_") + m_macAddress;
            changed = true;
        }
        m_deviceNick = stored.value(kKeyDeviceNick).toString();
        if (m_deviceNick.isEmpty()) {
            m_deviceNick = QStringLiteral("我的Mac_") + KoCommonUtil::getRandomDigits(8);
            changed = true;
        }
        m_deviceType = 1;
        m_lastDownloadDir = stored.value(kKeyLastDownloadDir).toString();
        if (m_lastDownloadDir.isEmpty())
            m_lastDownloadDir = desktopDir();
        m_lastUploadDir = stored.value(kKeyLastUploadDir).toString();
        if (m_lastUploadDir.isEmpty())
            m_lastUploadDir = desktopDir();
    }
    // A generated identity is kept at once, so a crash cannot give the next start a new one.
    if (changed)
        save();
}

void KoThisMachineInfo::save()
{
    QVariantMap values;
    {
        QMutexLocker locker(&m_lock);
        values.insert(kKeyMac, m_macAddress);
        values.insert(kKeyDeviceName, m_deviceName);
        values.insert(kKeyDeviceNick, m_deviceNick);
        values.insert(kKeyDeviceType, m_deviceType);
        values.insert(kKeyLastDownloadDir, m_lastDownloadDir);
        values.insert(kKeyLastUploadDir, m_lastUploadDir);
    }
    KoSettings::getInstance()->setGroupValues(QString::fromLatin1(KoSettings::kGroupLocalDevice), values);
}

QString KoThisMachineInfo::getMacAddress()
{
    QMutexLocker locker(&m_lock);
    return m_macAddress;
}

QString KoThisMachineInfo::getDeviceName()
{
    QMutexLocker locker(&m_lock);
    return m_deviceName;
}

QString KoThisMachineInfo::getDeviceNick()
{
    QMutexLocker locker(&m_lock);
    return m_deviceNick;
}

int KoThisMachineInfo::getDeviceType()
{
    QMutexLocker locker(&m_lock);
    return m_deviceType;
}

QString KoThisMachineInfo::getLastDownloadDir()
{
    QMutexLocker locker(&m_lock);
    return m_lastDownloadDir;
}

void KoThisMachineInfo::setLastDownloadDir(QString dir)
{
    {
        QMutexLocker locker(&m_lock);
        if (m_lastDownloadDir == dir)
            return;
        m_lastDownloadDir = dir;
    }
    save();
}

QString KoThisMachineInfo::getLastUploadDir()
{
    QMutexLocker locker(&m_lock);
    return m_lastUploadDir;
}

void KoThisMachineInfo::setLastUploadDir(QString dir)
{
    {
        QMutexLocker locker(&m_lock);
        if (m_lastUploadDir == dir)
            return;
        m_lastUploadDir = dir;
    }
    save();
}
