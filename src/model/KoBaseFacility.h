#pragma once

#include <QString>

// One phone (or computer) as a device. A plain value: pages keep their own copies.
// States: 0 connecting, 1 reachable on the LAN, 2 online through the relay, 3 offline.
// Types: 0 and 1 computers (this computer reports 1), 2 Android, 3 iPhone, 4 iPad.
class KoBaseFacility
{
public:
    KoBaseFacility();
    KoBaseFacility(int uid, int state, int deviceType, const QString& ip, const QString& deviceId,
                   const QString& deviceName, int appVersion, bool local, const QString& imagePath,
                   const QString& nick, int port);
    // Copies every field of other; a null other gives a default record.
    explicit KoBaseFacility(const KoBaseFacility* other);
    KoBaseFacility(const KoBaseFacility& other) = default;
    KoBaseFacility& operator=(const KoBaseFacility& other) = default;
    ~KoBaseFacility() = default;

    // The device id is the identity.
    bool operator==(const KoBaseFacility& other) const { return m_deviceId == other.m_deviceId; }
    bool operator!=(const KoBaseFacility& other) const { return !(*this == other); }

    int getUid() const { return m_uid; }
    void setUid(int uid) { m_uid = uid; }
    int getState() const { return m_state; }
    void setState(int state) { m_state = state; }
    int getDeviceType() const { return m_deviceType; }
    void setDeviceType(int type) { m_deviceType = type; }
    QString getIp() const { return m_ip; }
    // Changing the address or the port rebuilds the base URL.
    void setIp(const QString& ip);
    QString getDeviceId() const { return m_deviceId; }
    void setDeviceId(const QString& id) { m_deviceId = id; }
    QString getDeviceName() const { return m_deviceName; }
    void setDeviceName(const QString& name) { m_deviceName = name; }
    int getAppVersion() const { return m_appVersion; }
    void setAppVersion(int version) { m_appVersion = version; }
    bool isLocal() const { return m_local; }
    void setLocal(bool local) { m_local = local; }
    QString getImagePath() const { return m_imagePath; }
    void setImagePath(const QString& path) { m_imagePath = path; }
    QString getNick() const { return m_nick; }
    void setNick(const QString& nick) { m_nick = nick; }
    int getPort() const { return m_port; }
    void setPort(int port);
    QString getUrl() const { return m_url; }
    void setUrl(const QString& url) { m_url = url; }
    // 0 mobile data, 1 otherwise.
    int getNetworkType() const { return m_networkType; }
    void setNetworkType(int type) { m_networkType = type; }
    // Mobile-data policy: 0 ask, 1 refuse.
    int getNetworkPolicy() const { return m_networkPolicy; }
    void setNetworkPolicy(int policy) { m_networkPolicy = policy; }

    // "http://" + ip + ":" + port
    static QString makeUrl(const QString& ip, int port);

private:
    void rebuildUrl();

    int m_uid = 0;
    int m_state = 0;
    int m_deviceType = 0;
    QString m_ip;
    QString m_deviceId;
    QString m_deviceName;
    int m_appVersion = 0;
    bool m_local = false;
    QString m_imagePath;
    QString m_nick;
    int m_port = 0;
    QString m_url;
    int m_networkType = 1;
    int m_networkPolicy = 0;
};
