#pragma once

#include "mac/CFramelessWindow.h"

class KoAppLifetime;
class KoBaseFacility;
class KoUiV3DiskWidget;
class KoUiV3HomeWidget;
class KoUiV3TransferWidget;
class KoUiV3UsrInfoWidget;
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
    void showPage(QWidget* page);

    Ui_KoNativeWindowMac* ui = nullptr;
    KoUiV3HomeWidget* m_homeWidget = nullptr;
    KoUiV3DiskWidget* m_diskWidget = nullptr;
    KoUiV3TransferWidget* m_transferWidget = nullptr;
    // User-info popup, hidden until the head button asks.
    KoUiV3UsrInfoWidget* m_usrInfoWidget = nullptr;
    // The services, the leave and the version alerts, shared with the alternate frame.
    KoAppLifetime* m_lifetime = nullptr;
};
