#pragma once

#include <QMutex>
#include <QObject>
#include <QString>

// This computer's identity, kept in the settings group "LOCAL_DEVICE". It is
// generated once and saved at once; later starts load it. Getters may be called
// from worker threads.
class KoThisMachineInfo : public QObject
{
    Q_OBJECT
public:
    static KoThisMachineInfo* getInstance();
    // Saves the identity, then clears the instance pointer.
    ~KoThisMachineInfo() override;

    // "AA:BB:CC:DD:EE:FF"; a stable generated one where the computer has none.
    QString getMacAddress();
    // "Mac_" + MAC address.
    QString getDeviceName();
    // "我的Mac_" + 8 random digits.
    QString getDeviceNick();
    // 1.
    int getDeviceType();

    // Last folders chosen for downloads and uploads; the desktop until one is chosen.
    QString getLastDownloadDir();
    void setLastDownloadDir(QString dir);
    QString getLastUploadDir();
    void setLastUploadDir(QString dir);

    // Writes the identity to "LOCAL_DEVICE".
    void save();

private:
    KoThisMachineInfo();
    void initData();

    QMutex m_lock;
    QString m_macAddress;
    QString m_deviceName;
    QString m_deviceNick;
    int m_deviceType = 1;
    QString m_lastDownloadDir;
    QString m_lastUploadDir;

    static KoThisMachineInfo* s_instance;
    static QMutex s_mutex;
};
