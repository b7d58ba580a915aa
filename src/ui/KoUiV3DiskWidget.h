#pragma once

#include <QList>
#include <QModelIndex>
#include <QPixmap>
#include <QString>
#include <QWidget>

class KoBaseFacility;
class KoFacilityListModel;
class KoRemoteConnectManager;
class KoUiV3ConnectedFacilityDelegate;
class KoUiV3FileWidget;
class Ui_KoUiV3DiskWidget;

// The connected-phones page: the connection manager's connected list (borrowed) on the left,
// and on the right either the empty-state panel or the file browser of one phone.
// Records handed over by deviceDetached, deviceEjected and devicePolicyDetached are deleted here,
// exactly once; every other record stays with the manager and is never kept across the event
// loop: the page remembers phones by device id only. GUI thread; the boxes run nested loops.
// The mobile-data question opens after the signal's sender has returned, one box at a time.
// After every reset of the list the shown phone's row is selected again.
class KoUiV3DiskWidget : public QWidget
{
    Q_OBJECT
public:
    // Time between deviceConnected and showing the phone.
    static const int kShowDelayMs = 100;

    explicit KoUiV3DiskWidget(QWidget* parent = nullptr);
    ~KoUiV3DiskWidget() override;

public slots:
    void onUsrLogin(int code);
    void onUsrLogout();
    void onDeviceConnected(KoBaseFacility* facility, int index);
    void onDeviceDetached(KoBaseFacility* facility);
    void onDeviceEjected(KoBaseFacility* facility);
    void onDeviceRefused(KoBaseFacility* facility, QString reason);
    void onDeviceContinueQuery(KoBaseFacility* facility);
    void onDevicePolicyDetached(KoBaseFacility* facility, QString reason);
    void updateTipsWidget();
    void updateDeviceListView();
    void onDeviceClicked(QModelIndex index);
    void onDeviceBtnClicked(QModelIndex index);

private:
    void initData();
    void initUi();
    void initConnection();
    void makeTipsWidgetShow();
    void makeFileWidgetShow(KoBaseFacility* facility);
    void showFileWidget(KoBaseFacility* facility);
    void hideFileWidget();
    void showTipsWidget();
    void hideTipsWidget();
    void setDeviceListViewSelect(int row);

    bool isShownPhone(const QString& deviceId) const;
    // Row of the phone in the connected list; -1 when it is not connected.
    int connectedRow(const QString& deviceId) const;
    // A phone left the list (record handed over): panel when it was shown, list refreshed.
    void dropPhone(const QString& deviceId);
    void showNotice(const QString& text);
    // The mobile-data questions waiting, asked one box at a time.
    void askContinueQuestions();

    Ui_KoUiV3DiskWidget* ui;
    KoRemoteConnectManager* m_connectManager = nullptr;
    QList<KoBaseFacility*>* m_connectedList = nullptr;
    KoFacilityListModel* m_model = nullptr;
    KoUiV3ConnectedFacilityDelegate* m_delegate = nullptr;
    KoUiV3FileWidget* m_fileWidget = nullptr;
    int m_fileWidgetShown = 0;
    QPixmap m_emptyImage;
    QPixmap m_phoneImage;

    struct ContinueQuestion {
        QString deviceId;
        QString nick;
    };
    QList<ContinueQuestion> m_continueQuestions;
    // The phone whose question is open; null while no box is.
    QString m_askingDeviceId;
};
