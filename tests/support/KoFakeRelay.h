#pragma once

// Loopback stand-in for the file relay server (HTTPS with the test certificate, paths under
// "/reraze/"), with the account server's network-state query ("/dedizo/network/ask") beside it
// so that one fake answers everything a relay connection needs. File operations
// ("/reraze/reraze/operation", named by "cmd") go to the attached phone named by the "toDeviceId"
// header, which answers them from its own storage (and its own scripts). Connection messages
// ("/reraze/msg/connect") and the answer to an unknown push ("/reraze/version/error") are answered
// by the relay. Behaviour: docs/protocol.md, "Phone file service". Clients must trust
// KoTestCertificates::caCertificate().

#include "support/KoFakePhone.h"
#include "support/KoTestHttpServer.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class KoFakeRelay : public QObject, public KoFakeScript
{
    Q_OBJECT
public:
    // Relay result code for a message about a device the relay does not know.
    static constexpr int kCodeUnknownDevice = 2;

    explicit KoFakeRelay(QObject* parent = nullptr);
    bool start();
    // "https://localhost:<port>/reraze/"
    QString baseUrl() const;
    // "https://localhost:<port>/dedizo/" (only "network/ask" is served there)
    QString accountBaseUrl() const;
    KoTestHttpServer* http() { return m_http; }

    // The phone becomes reachable through the relay under its device id.
    void attachPhone(KoFakePhone* phone);
    // What "network/ask" reports for a device: its LAN address (ip, port) and network state.
    void setNetworkState(const QString& deviceId, const QString& ip, int port, int networkState);

    // Scripting by op: the "cmd" of an operation or connection message ("getDirectory", "OPEN",
    // "ACCEPT", ...), "versionError" for "/reraze/version/error", "askNetwork" for the query.
    // Scripts of the relay come before those of the phone (KoFakeScript).

private:
    struct NetworkState {
        QString ip;
        int port = 0;
        int state = -1;
    };

    KoTestResponse handleHttp(const KoTestRequest& request);
    KoTestResponse serve(const KoFakeCall& call);
    KoFakePhone* phoneFor(const QString& deviceId) const;

    KoTestHttpServer* m_http = nullptr;
    QList<QPointer<KoFakePhone>> m_phones;
    QHash<QString, NetworkState> m_networkStates;
};
