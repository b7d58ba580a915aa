#pragma once

#include "model/KoBaseFacility.h"
#include "model/KoBaseFacilityList.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

// The device signals carry record pointers (spies and queued connections need the type).
Q_DECLARE_METATYPE(KoBaseFacility*)

class KoDeviceReport;
class KoLanChannel;
class KoPushReceiver;
struct KoLanShared;
class QTimer;

// The connection manager: the user's other devices (from the device report), the connected
// phones (newest first) and the route to each (LAN or relay), reachability probes, the
// heart-beat, the QR pairing key and the relay pushes. GUI thread; the LAN channel's workers
// reach it only through queued signals.
//
// A phone that vanished is let go: a connected phone that has not answered on its LAN address
// (probe or handshake) for KoServerConfig::phoneLostMs (45 s; RERAZE_PHONE_LOST_MS) while the
// relay cannot reach it either is taken out of the connected list and handed over through
// deviceDetached. The relay counts as reaching a phone only while the user is signed in and
// the latest device report does not list it offline (a phone the report does not list: only
// when it came through the relay). Every connected phone is checked every sixth of that time,
// and a phone on the LAN route is probed then, so it goes at the latest 7/6 of the bound
// after its last answer. A LAN phone that stops answering moves to the relay only when the
// relay reaches it.
//
// A phone that connects again while it is still listed (a new pairing with the QR key, a relay
// "OPEN", or a report that gives it a new address that answers) keeps its one entry, which
// takes the new address, port and route: deviceLocalChanged and then deviceConnected tell it.
//
// Records carried by deviceDetached, deviceEjected and devicePolicyDetached belong to the
// receiver; all other signals lend a record that stays with the manager, and a lent record is
// not deleted while such a signal is being delivered (a dialog in a slot runs the event loop).
class KoRemoteConnectManager : public QObject
{
    Q_OBJECT
public:
    // Message type that marks the end of a connect attempt in sendTimeout.
    static constexpr int kConnectMsgType = 19;
    // Relay answers to "OPEN" that mean the phone said no.
    static constexpr int kRelayCodeRefused = 3;
    static constexpr int kRelayCodeMobileRefused = 4;
    static const char* const kRefusedReason;       // "拒绝了您的连接请求"
    static const char* const kMobileRefusedReason; // the mobile-data refusal text

    static KoRemoteConnectManager* getInstance();
    // Whether the instance exists now (asked without creating it).
    static bool hasInstance();
    // Stops the timers and the LAN workers, then deletes the channel, the report, the push
    // receiver and every record of both lists; clears the instance pointer.
    ~KoRemoteConnectManager() override;

    QList<KoBaseFacility*>* getMyDeviceList();
    QList<KoBaseFacility*>* getConnectedList();
    int getQrKey();
    // Port this computer's LAN messages arrive on (0 when it could not bind).
    quint16 getLanPort() const;

    void clearMyDeviceList();
    void refreshMyDevice();
    void connectDevice(QString deviceId);
    void ejectDevice(QString deviceId);
    void ejectAllDevice();

    void getConnectedFacilityNetworkStatus(int uid, QString deviceId, bool& connected, bool& isLocal, QString& url);
    void getConnectedFacilityDetailInfo(int uid, QString deviceId, bool& found, QString& nick, QString& deviceName);

signals:
    void bindError();
    void updateQrRandomKey(int key);
    void updateMyDeviceList();
    void updateConnedctedList();
    void deviceConnected(KoBaseFacility* facility, int index);
    void deviceDetached(KoBaseFacility* facility);
    void deviceEjected(KoBaseFacility* facility);
    void deviceRefused(KoBaseFacility* facility, QString reason);
    void sendTimeout(int msgType);
    void msgVersionNotMatch(int flag);
    void deviceContinueQuery(KoBaseFacility* facility);
    void devicePolicyDetached(KoBaseFacility* facility, QString reason);
    void deviceLocalChanged(QString deviceId, bool isLocal, QString url);

private slots:
    void onHeartBeat();
    void onReportTimer();
    void onPushTimer();
    void onAddressTimer();
    void onLostCheck();
    void onUserLogin(int code);
    void onUserLogout();
    void onLanConnectRequested(QJsonObject message, QString senderIp);
    void onLanDisconnectRequested(QString deviceId, int uid, QString senderIp);
    void onLanSendFinished(QString msgId, int type, bool acked);

private:
    KoRemoteConnectManager();
    void initData();
    void initConnection();

    struct Attempt {
        QString deviceId;
        bool byUser = false;     // started by connectDevice (ends with sendTimeout(19))
        bool byKey = false;      // a pairing with the QR key (a new key follows)
        KoBaseFacility facility; // the phone as known when the attempt began
        QString msgId;           // LAN connect message waiting for its acknowledgement
    };

    struct Probe {
        QString deviceId;
        QString url;
        int purpose = 0;
        // One probe at a time per phone and address.
        QString key() const { return deviceId + QLatin1Char(' ') + url; }
    };
    enum ProbePurpose { ProbeMyDevice = 1, ProbeConnected = 2 };

    bool isLoggedIn() const;
    int userId() const;
    void newQrKey();
    void syncIdentity();

    // Connecting.
    void startLanHandshake(int attemptId);
    void onDesktopStartConnect(int id, int code, QString deviceId, int deviceType, QString deviceName,
                               int appVersion);
    void onConnectFacility(int id, int code);
    void finishAttempt(int attemptId);
    // Adds a connected phone (a copy of facility) at the front and announces it; a phone that
    // is listed already takes the new values in its entry.
    void addConnected(const KoBaseFacility& facility, bool viaRelay);
    // Whether the relay can carry requests to the phone now (see the class comment).
    bool relayReaches(const QString& deviceId);
    // Starts a LAN handshake with the phone at another address (a new port after a restart).
    void reconnectAt(const KoBaseFacility& facility, const QString& ip, int port);

    // Reachability.
    void probe(const KoBaseFacility& facility, int purpose);
    void onReachable(int id, int code, QString deviceId);
    void onNetworkState(int id, int code, QString deviceId, QString ip, int port, int networkState);
    void moveRoute(const QString& deviceId, bool local, const QString& ip, int port);

    // Device report and pushes.
    void onReport(int result, const QList<KoBaseFacility>& devices);
    void dispatchPush(const QJsonObject& push);
    void onConnectPush(const QJsonObject& push, const QString& pushId);
    void onDisconnectPush(const QJsonObject& push, const QString& pushId);
    void onNetworkPush(const QJsonObject& push);

    // Ownership of records carried by signals.
    void lend(KoBaseFacility* facility);
    void unlend(KoBaseFacility* facility);
    // Deletes facility now, or once no signal lending it is being delivered.
    void retire(KoBaseFacility* facility);
    // What to give away for a record that has left the lists: itself, or a copy while it is lent.
    KoBaseFacility* handOver(KoBaseFacility* facility);

    KoBaseFacilityList m_myDevices;
    KoBaseFacilityList m_connected;
    QMutex m_myDevicesLock;
    QMutex m_connectedLock;
    QMutex m_attemptLock;
    QMutex m_qrKeyLock;
    int m_qrKey = 0;

    QHash<int, Attempt> m_attempts;
    QHash<int, Probe> m_probes;
    QSet<QString> m_probing;
    QHash<int, QString> m_stateQueries;
    int m_nextId = 1;

    // Records lent to receivers right now, and records waiting for their last lender.
    QHash<KoBaseFacility*, int> m_lent;
    QSet<KoBaseFacility*> m_retired;

    std::shared_ptr<KoLanShared> m_shared;
    KoLanChannel* m_channel = nullptr;
    KoDeviceReport* m_report = nullptr;
    KoPushReceiver* m_push = nullptr;
    QTimer* m_heartBeatTimer = nullptr;
    QTimer* m_reportTimer = nullptr;
    QTimer* m_pushTimer = nullptr;
    QTimer* m_addressTimer = nullptr;
    QTimer* m_lostTimer = nullptr;
    // Last LAN answer (or connection) of each connected phone, ms since the epoch.
    QHash<QString, qint64> m_lanAnswered;
    // Connected phones that the relay delivered (connect or pushes).
    QSet<QString> m_viaRelay;
    QString m_localIp;
    bool m_wasLoggedIn = false;
    bool m_closing = false;

    static KoRemoteConnectManager* s_instance;
    static QMutex s_mutex;
};
