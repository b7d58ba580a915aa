#pragma once

#include "app/KoServerConfig.h"
#include "link/KoRemoteConnectManager.h"
#include "model/KoBaseFacility.h"
#include "support/KoFakePhone.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>

#include <cstdio>

// The child process side of the benchmarks' fake phone ("--serve ROOT"): serves ROOT, prints its
// port and then the count of connections as it grows, and forgets each request once answered,
// so that the phone does not grow with the run. spillThreshold > 0: request bodies up to that
// size stay in memory.
inline int serve(const QString& root, qint64 spillThreshold = 0)
{
    KoFakePhone phone(root);
    phone.setIdentity(QStringLiteral("bench-phone"), QStringLiteral("Bench"), 2, 30, 77);
    if (!phone.start())
        return 1;
    KoTestHttpServer* http = phone.http();
    if (spillThreshold > 0)
        http->setSpillThreshold(spillThreshold);
    // Forget each request once it is answered, so the phone does not grow with the run; tell
    // the benchmark each new connection.
    int connections = 0;
    QObject::connect(http, &KoTestHttpServer::requestReceived, &phone,
                     [&phone, http, &connections](const KoTestRequest&) {
                         if (http->acceptedConnections() != connections) {
                             connections = http->acceptedConnections();
                             std::printf("%d\n", connections);
                             std::fflush(stdout);
                         }
                         QTimer::singleShot(0, &phone, [&phone, http] {
                             http->clearRequests();
                             phone.clearCalls();
                         });
                     });
    std::printf("%d\n", int(phone.port()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// "--serve ROOT": this run is the fake phone's child process.
inline bool isServeCall(int argc, char** argv)
{
    return argc >= 3 && qstrcmp(argv[1], "--serve") == 0;
}

inline int serveCall(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return serve(QString::fromLocal8Bit(argv[2]));
}

// No discovery, reports, polls or heart beats, and the account and relay servers nowhere.
inline void quietServerConfig()
{
    KoServerConfig::setLocalUdpPort(0);
    KoServerConfig::setDeviceReportMs(3600000);
    KoServerConfig::setPushPollMs(3600000);
    KoServerConfig::setHeartBeatMs(3600000);
    KoServerConfig::setAccountBaseUrl(QStringLiteral("http://127.0.0.1:9"));
    KoServerConfig::setRelayBaseUrl(QStringLiteral("http://127.0.0.1:9/"));
}

// The bench phone as a connected LAN phone; the connection manager owns the record.
inline KoBaseFacility* connectBenchPhone(const QString& deviceId, const QString& ip, quint16 port, const QString& url)
{
    auto* facility = new KoBaseFacility;
    facility->setUid(77);
    facility->setDeviceType(2);
    facility->setDeviceId(deviceId);
    facility->setIp(ip);
    facility->setPort(port);
    facility->setLocal(true);
    facility->setUrl(url);
    KoRemoteConnectManager::getInstance()->getConnectedList()->append(facility);
    return facility;
}

// Starts this program as the fake phone of root in a child process; its port, or 0.
inline quint16 startServedPhone(QProcess& server, const QString& root)
{
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve"), root});
    if (!server.waitForStarted() || !server.waitForReadyRead(10000))
        return 0;
    return quint16(server.readLine().trimmed().toUInt());
}
