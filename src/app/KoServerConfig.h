#pragma once

#include <QString>

// One home for the addresses and timings that deployments and tests change.
// Each value can be overridden by an environment variable (read once, on first use)
// or by the setters, which tests use to point the program at loopback fakes.
class KoServerConfig
{
public:
    // "https://<account host>:8443/dedizo/"
    static QString accountBaseUrl();
    // "https://<relay host>:8443/reraze/"
    static QString relayBaseUrl();
    // Folder on the download site that holds the version files and the download page.
    static QString updateBaseUrl();
    // PEM file of one more CA that TLS trusts for this run only, beside the system's and the
    // bundled ones (a test server's own CA); empty: none. Verification itself never goes.
    static QString extraCaFile();

    // Deadline of a phone request in ms (15000).
    static int requestDeadlineMs();
    // Period of every HTTP client's deadline sweep in ms (1000).
    static int sweepIntervalMs();
    // A plain-http phone transfer that moves less than a few KB in this many ms fails as a
    // time-out (30000; whole seconds count).
    static int slowTransferMs();

    // LAN message ports: this computer listens on localUdpPort, phones on phoneUdpPort.
    static quint16 localUdpPort();
    static quint16 phoneUdpPort();

    // Periods of the connection manager's work in ms: heart-beat (30000), device report
    // (60000), push poll (1000), LAN address check (5000), and the pause between two sends
    // of one LAN message (1000).
    static int heartBeatMs();
    static int deviceReportMs();
    static int pushPollMs();
    static int lanAddressCheckMs();
    static int lanRetryMs();
    // How long a connected phone may stay silent on the LAN, while the relay cannot reach it,
    // before the connection manager lets it go (45000).
    static int phoneLostMs();

    static void setAccountBaseUrl(const QString& url);
    static void setRelayBaseUrl(const QString& url);
    static void setUpdateBaseUrl(const QString& url);
    static void setRequestDeadlineMs(int ms);
    static void setSweepIntervalMs(int ms);
    static void setSlowTransferMs(int ms);
    static void setLocalUdpPort(quint16 port);
    static void setPhoneUdpPort(quint16 port);
    static void setHeartBeatMs(int ms);
    static void setDeviceReportMs(int ms);
    static void setPushPollMs(int ms);
    static void setLanAddressCheckMs(int ms);
    static void setLanRetryMs(int ms);
    static void setPhoneLostMs(int ms);
    // Back to the environment / built-in values.
    static void reset();
};
