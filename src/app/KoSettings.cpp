#include "app/KoSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char* const KoSettings::kGroupUser = "user";
const char* const KoSettings::kGroupLocalDevice = "LOCAL_DEVICE";

KoSettings* KoSettings::s_instance = nullptr;
QMutex KoSettings::s_mutex;

static const char* const kKeyNotifyDownload = "notify/download";
static const char* const kKeyNotifyUpload = "notify/upload";
static const char* const kKeyClosePolicy = "policy/close";
static const char* const kKeyUarLastTime = "uar/lastTime";
static const char* const kKeyUarPath = "uar/path";

static const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

KoSettings* KoSettings::getInstance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new KoSettings();
    return s_instance;
}

bool KoSettings::hasInstance()
{
    QMutexLocker locker(&s_mutex);
    return s_instance != nullptr;
}

KoSettings::KoSettings()
    : QObject(nullptr)
{
    // Every settings store of the program is found through these names.
    QCoreApplication::setOrganizationName(QStringLiteral("Brindle"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("brindle.invalid"));
    QCoreApplication::setApplicationName(QStringLiteral("ReRaze"));
    m_settings = new QSettings(QSettings::NativeFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                               QCoreApplication::applicationName());

    // Create the file private before the first write, so the password hash is never
    // readable by others, not even between a write and the chmod that follows it.
    const QString path = m_settings->fileName();
    if (!path.isEmpty() && !QFileInfo::exists(path)) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd >= 0)
            ::close(fd);
    }
}

KoSettings::~KoSettings()
{
    {
        QMutexLocker locker(&m_lock);
        syncLocked();
        delete m_settings;
        m_settings = nullptr;
    }
    QMutexLocker locker(&s_mutex);
    if (s_instance == this)
        s_instance = nullptr;
}

void KoSettings::syncLocked()
{
    if (!m_settings)
        return;
    m_settings->sync();
    const QString path = m_settings->fileName();
    // Only a regular file: a folder in its place would become unusable at 0600.
    const QFileInfo info(path);
    if (!path.isEmpty() && info.isFile() && info.permissions() != kOwnerOnly)
        QFile::setPermissions(path, kOwnerOnly);
}

void KoSettings::sync()
{
    QMutexLocker locker(&m_lock);
    syncLocked();
}

QString KoSettings::fileName()
{
    QMutexLocker locker(&m_lock);
    return m_settings->fileName();
}

bool KoSettings::getBoolDefaultTrue(const QString& key)
{
    QMutexLocker locker(&m_lock);
    if (!m_settings->contains(key)) {
        m_settings->setValue(key, true);
        syncLocked();
        return true;
    }
    return m_settings->value(key, true).toBool();
}

bool KoSettings::getNotifyDownload()
{
    return getBoolDefaultTrue(QString::fromLatin1(kKeyNotifyDownload));
}

bool KoSettings::getNotifyUpload()
{
    return getBoolDefaultTrue(QString::fromLatin1(kKeyNotifyUpload));
}

bool KoSettings::getClosePolicy()
{
    return getBoolDefaultTrue(QString::fromLatin1(kKeyClosePolicy));
}

void KoSettings::setNotifyDownload(bool on)
{
    setValue(QString::fromLatin1(kKeyNotifyDownload), on);
}

void KoSettings::setNotifyUpload(bool on)
{
    setValue(QString::fromLatin1(kKeyNotifyUpload), on);
}

void KoSettings::setClosePolicy(bool on)
{
    setValue(QString::fromLatin1(kKeyClosePolicy), on);
}

qint64 KoSettings::getUarLastTime()
{
    return value(QString::fromLatin1(kKeyUarLastTime), 0).toLongLong();
}

void KoSettings::setUarLastTime(qint64 msecs)
{
    setValue(QString::fromLatin1(kKeyUarLastTime), msecs);
}

QString KoSettings::getUarPath()
{
    return value(QString::fromLatin1(kKeyUarPath)).toString();
}

void KoSettings::setUarPath(const QString& path)
{
    setValue(QString::fromLatin1(kKeyUarPath), path);
}

QVariant KoSettings::value(const QString& key, const QVariant& defaultValue)
{
    QMutexLocker locker(&m_lock);
    return m_settings->value(key, defaultValue);
}

void KoSettings::setValue(const QString& key, const QVariant& value)
{
    QMutexLocker locker(&m_lock);
    m_settings->setValue(key, value);
    syncLocked();
}

bool KoSettings::contains(const QString& key)
{
    QMutexLocker locker(&m_lock);
    return m_settings->contains(key);
}

void KoSettings::remove(const QString& key)
{
    QMutexLocker locker(&m_lock);
    m_settings->remove(key);
    syncLocked();
}

bool KoSettings::hasGroup(const QString& group)
{
    QMutexLocker locker(&m_lock);
    return m_settings->childGroups().contains(group);
}

QVariantMap KoSettings::groupValues(const QString& group)
{
    QMutexLocker locker(&m_lock);
    QVariantMap values;
    m_settings->beginGroup(group);
    const QStringList keys = m_settings->childKeys();
    for (const QString& key : keys)
        values.insert(key, m_settings->value(key));
    m_settings->endGroup();
    return values;
}

void KoSettings::setGroupValues(const QString& group, const QVariantMap& values)
{
    QMutexLocker locker(&m_lock);
    m_settings->beginGroup(group);
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        m_settings->setValue(it.key(), it.value());
    m_settings->endGroup();
    syncLocked();
}
