#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

#include <initializer_list>

class KoAutoUpdateTool;
class KoClientHelper;
class KoNetworkObject;
class KoSettings;
class KoSystemTray;
class KoThisMachineInfo;
class KoUser;
class KoUserActionRecord;
class QWidget;

// What both main-window frames share about the application's life: the process-wide services
// they create at start and delete at their end, the orderly leave (eject, record, wait) and the
// version and update alerts. A QObject child of its window, on the GUI thread. The alerts run
// nested event loops; the window (and this object with it) may be gone when they return.
class KoAppLifetime : public QObject
{
    Q_OBJECT
public:
    explicit KoAppLifetime(QObject* window);

    // Creates the services in the one order their constructors rely on, records the entry,
    // logs the saved account in again and starts the update check (a failed check by hand is
    // told from here).
    void startServices();
    // Fetches the tray icon (the first call creates and shows it).
    KoSystemTray* takeTray();
    // Deletes the widgets that borrow from the services (pages, popup) while all they borrow is
    // still there, then the services in their fixed order; each one its owner already deleted is
    // skipped.
    void shutDown(std::initializer_list<QWidget*> borrowers);

    // Ejects the phones, records the exit and lets the eject requests leave. False while an
    // earlier call still waits for them: a second close or quit must not cut that wait short.
    bool leaveApp();

    // A phone speaks another protocol version: one alert at a time; flag 0 shows nothing.
    void alertVersionMismatch(int flag);
    // The update check found a newer version: asks, and opens the download page on "点击前往".
    void askNewVersion();
    void tellUpToDate();
    // A check by hand got no usable answer.
    void tellCheckFailed();

    // Back from the tray or from a second start: restored, shown and raised.
    static void bringToFront(QWidget* window);
    // 960 x 600 centred on a screen of at least 961 x 601; a null rectangle otherwise.
    static QRect startGeometry();

    KoUser* user() const;
    KoUserActionRecord* actionRecord() const;
    KoAutoUpdateTool* updateTool() const;
    KoSystemTray* tray() const;

private:
    void deleteServices();

    bool m_versionAlertShowing = false;
    bool m_leaving = false; // waiting for the eject requests to leave
    bool m_left = false;    // the phones were ejected and the exit recorded

    // A service deleted early by its owner clears itself here.
    QPointer<KoSettings> m_settings;
    QPointer<KoThisMachineInfo> m_machineInfo;
    QPointer<KoNetworkObject> m_networkObject;
    QPointer<KoUserActionRecord> m_userActionRecord;
    QPointer<KoUser> m_user;
    QPointer<KoAutoUpdateTool> m_autoUpdateTool;
    QPointer<KoClientHelper> m_clientHelper;
    QPointer<KoSystemTray> m_tray;
};
