#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariant>

class QSettings;

// The one preferences store of the program (native per-user format). Its file
// also holds the account's password hash, so every write leaves it readable by
// the user alone (0600).
class KoSettings : public QObject
{
    Q_OBJECT
public:
    // Groups used by KoUser and KoThisMachineInfo; keys below are "group/key".
    static const char* const kGroupUser;        // "user"
    static const char* const kGroupLocalDevice; // "LOCAL_DEVICE"

    static KoSettings* getInstance();
    // True while an instance exists (does not create one).
    static bool hasInstance();
    ~KoSettings() override;

    // "notify/download", "notify/upload", "policy/close": true and stored when absent.
    bool getNotifyDownload();
    bool getNotifyUpload();
    bool getClosePolicy();
    void setNotifyDownload(bool on);
    void setNotifyUpload(bool on);
    void setClosePolicy(bool on);

    // Usage-log bookkeeping: "uar/lastTime" (ms since the epoch, 0 when never) and
    // "uar/path" (current log file, empty when none).
    qint64 getUarLastTime();
    void setUarLastTime(qint64 msecs);
    QString getUarPath();
    void setUarPath(const QString& path);

    // Generic access for the other services; key may be "group/key".
    QVariant value(const QString& key, const QVariant& defaultValue = QVariant());
    void setValue(const QString& key, const QVariant& value);
    bool contains(const QString& key);
    void remove(const QString& key);
    // Whole groups, written in one go (one sync).
    bool hasGroup(const QString& group);
    QVariantMap groupValues(const QString& group);
    void setGroupValues(const QString& group, const QVariantMap& values);

    // Writes pending changes and restricts the file to its owner.
    void sync();
    // Path of the backing file.
    QString fileName();

private:
    KoSettings();
    bool getBoolDefaultTrue(const QString& key);
    void syncLocked();

    QSettings* m_settings = nullptr;
    QMutex m_lock;

    static KoSettings* s_instance;
    static QMutex s_mutex;
};
