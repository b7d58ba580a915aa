#pragma once

// What the device-page tests share: a signed-in account whose device report lists one fake
// phone, reachable on the LAN (file service and UDP messages) and through the relay, all on
// loopback, with the connection manager pointed at them on free ports.

#include "support/KoFakeAccountServer.h"
#include "support/KoFakeLanPhone.h"
#include "support/KoFakePhone.h"
#include "support/KoFakeRelay.h"

#include <QJsonArray>
#include <QTemporaryDir>

class QWidget;

class KoDeviceWorld
{
public:
    static const int kUid = 1001;
    static const char* const kPhoneId; // "phone-0001"
    static const char* const kNick;    // the owner's nick, "小明"

    KoDeviceWorld();
    ~KoDeviceWorld();

    // Servers up, KoServerConfig pointed at them, the user signed in.
    bool start();
    // The report lists the phone in state; with an address the manager probes it onto the LAN.
    void setReport(int state, bool withAddress, int networkType = 1, int policy = 0);
    // Relay pushes handed out at every poll until replaced.
    void setPushes(const QJsonArray& pushes);
    // Before a test: a fresh connection manager (created here) that the LAN phone knows, no
    // pushes, the fakes' logs empty.
    void beginTest();
    // After a test (its pages gone): the manager is deleted and the user signed in again.
    bool endTest();
    // Shows a page at its form's size; true once it is exposed.
    static bool showPage(QWidget* page);
    // Signs in again after a test signed out; true once the login answered 0.
    bool login();
    // Deletes the process-wide services the pages and the manager used (end of a test case).
    static void deleteServices();

    KoFakeAccountServer* account() { return m_account; }
    KoFakeRelay* relay() { return m_relay; }
    KoFakePhone* phone() { return m_phone; }
    KoFakeLanPhone* lan() { return m_lan; }

private:
    QTemporaryDir m_dir;
    KoFakeAccountServer* m_account = nullptr;
    KoFakeRelay* m_relay = nullptr;
    KoFakePhone* m_phone = nullptr;
    KoFakeLanPhone* m_lan = nullptr;
};
