#pragma once

#include <QList>
#include <QModelIndex>
#include <QWidget>

class KoBaseFacility;
class KoFacilityListModel;
class KoRemoteConnectManager;
class KoUiV3MyFacilityDelegate;
class QTimer;
class Ui_KoUiV3HomeWidget;

// The home page: the user's other devices (the connection manager's my-device list, borrowed
// and refilled in place by the manager) with a click that connects a reachable one, and the QR
// code a phone scans to pair. Owns no device record. GUI thread; the confirm and alert boxes run
// nested event loops, during which a device report may refill the list.
class KoUiV3HomeWidget : public QWidget
{
    Q_OBJECT
public:
    // What a click on a device does, by its state, network type and mobile-data policy.
    enum ClickAction { ClickIgnore, ClickConnect, ClickAsk, ClickRefuse };
    static ClickAction clickAction(int state, int networkType, int networkPolicy);

    explicit KoUiV3HomeWidget(QWidget* parent = nullptr);
    ~KoUiV3HomeWidget() override;

    bool isConnecting() const { return m_connecting; }

public slots:
    void onUsrLogin(int code);
    void onUsrLogout();
    void updateQrCode(int key);
    void updateDeviceListView();
    void onSendTimeOut(int type);
    void onBtnTipsClicked();
    void onBtnRefreshListClicked();
    void onLoginLabelClicked();
    void onDeviceClicked(QModelIndex index);
    void onWaitTimerOut();

private:
    void initData();
    void initUi();
    void initConnection();
    void hideTipsWidget();
    void showTipsWidget();
    void cancelWaiting();
    // The logged-out look: tips bar, no devices.
    void showSignedOut();
    void connectDevice(const QString& deviceId);
    bool isMyDevice(const QString& deviceId) const;

    Ui_KoUiV3HomeWidget* ui;
    KoRemoteConnectManager* m_connectManager = nullptr;
    QList<KoBaseFacility*>* m_deviceList = nullptr;
    KoFacilityListModel* m_model = nullptr;
    KoUiV3MyFacilityDelegate* m_delegate = nullptr;
    bool m_connecting = false;
    // The user closed the tips bar while signed out.
    bool m_tipsClosed = false;
    QTimer* m_waitTimer = nullptr;
};
