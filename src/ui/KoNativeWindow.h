#pragma once

#include <QPointer>

#include "mac/CFramelessWindow.h"

class KoAutoUpdateTool;
class KoBaseFacility;
class KoClientHelper;
class KoNetworkObject;
class KoSettings;
class KoSystemTray;
class KoThisMachineInfo;
class KoUiV3DiskWidget;
class KoUiV3HomeWidget;
class KoUiV3TransferWidget;
class KoUiV3UsrInfoWidget;
class KoUser;
class KoUserActionRecord;
class Ui_KoNativeWindowMac;
class QCloseEvent;
class QResizeEvent;

// The application's one top-level window: it creates the service objects at start, switches
// between the three pages and deletes the services again when it goes.
class KoNativeWindow : public CFramelessWindow
{
    Q_OBJECT
public:
    explicit KoNativeWindow(QWidget* parent = nullptr);
    ~KoNativeWindow() override;

    static const int WideWidth = 960;
    static const int WideHeight = 600;

public slots:
    void onBindError();
    void onAnotherClient();
    void onMsgVersionNotMatch(int flag);
    void onNewVersion();
    void onNotNewVersion();
    // The tray's "退出" and the termination signals: the orderly leave, once.
    void onQuitRequested();

private slots:
    void onBtnHomeClicked();
    void onBtnUDiskClicked();
    void onBtnTransferListClicked();
    void onBtnUsrInfoClicked();
    void onBtnSettingClicked();
    void onUsrLogin(int code);
    void onUsrLogout();
    void onTransferCountChanged(int download, int upload);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void initData();
    void initUi();
    void initConnection();
    void updateHeadLabel();
    void setWindowSize();
    // Ejects the phones, records the exit and lets the eject requests leave. False while an
    // earlier call still waits for them: a second close or quit must not cut that wait short.
    bool leaveApp();
    void showPage(QWidget* page);
    void deleteServices();

    Ui_KoNativeWindowMac* ui = nullptr;
    KoUiV3HomeWidget* m_homeWidget = nullptr;
    KoUiV3DiskWidget* m_diskWidget = nullptr;
    KoUiV3TransferWidget* m_transferWidget = nullptr;
    // User-info popup, hidden until the head button asks.
    KoUiV3UsrInfoWidget* m_usrInfoWidget = nullptr;
    bool m_versionAlertShowing = false;
    bool m_leaving = false; // waiting for the eject requests to leave
    bool m_left = false; // the phones were ejected and the exit recorded

    // The services this window created; a service deleted early by its owner clears itself.
    QPointer<KoSettings> m_settings;
    QPointer<KoThisMachineInfo> m_machineInfo;
    QPointer<KoNetworkObject> m_networkObject;
    QPointer<KoUserActionRecord> m_userActionRecord;
    QPointer<KoUser> m_user;
    QPointer<KoAutoUpdateTool> m_autoUpdateTool;
    QPointer<KoClientHelper> m_clientHelper;
    QPointer<KoSystemTray> m_tray;
};
