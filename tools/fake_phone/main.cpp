// A phone on this computer: serves folders as the phone's LAN file service (storage, albums, SD
// card, app disk), answers the LAN messages on the phones' UDP port, and optionally runs a fake
// account server and relay whose device report lists it (with --relay-only the phone is reachable
// through that relay alone, as a phone on another network is). It leaves on SIGTERM, SIGINT or
// SIGHUP with its temporary folders removed. See README.md, "Trying it without a phone".

#include "KoSampleTree.h"

#include "app/KoSignalWatcher.h"
#include "support/KoFakeAccountServer.h"
#include "support/KoFakeLanPhone.h"
#include "support/KoFakePhone.h"
#include "support/KoFakeRelay.h"
#include "support/KoTestCertificates.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Fake phone for trying ReRaze without a phone."));
    parser.addHelpOption();
    const QCommandLineOption rootOpt("root", "Folder served as the phone's storage (手机存储).", "dir");
    const QCommandLineOption albumsOpt("albums", "Folder whose sub-folders are the phone's albums (相册).", "dir");
    const QCommandLineOption sdOpt("sd-card", "Folder served as the phone's SD card (SD卡).", "dir");
    const QCommandLineOption appDiskOpt("app-disk", "Folder served as the app's own disk (zu).", "dir");
    const QCommandLineOption sampleOpt("sample",
                                       "Write a sample phone into dir unless it holds one, and serve it: "
                                       "storage, albums, sdcard and appdisk (options above take precedence).",
                                       "dir");
    const QCommandLineOption idOpt("device-id", "The phone's device id.", "id", "fake-phone-0001");
    const QCommandLineOption nameOpt("name", "The phone's device name.", "name", "Fake Phone");
    const QCommandLineOption typeOpt("type", "Device type: 2 Android, 3 iPhone, 4 iPad.", "n", "2");
    const QCommandLineOption uidOpt("uid", "User id of the phone's owner.", "n", "1001");
    const QCommandLineOption udpOpt("udp-port", "The phone's UDP port.", "port", "59632");
    const QCommandLineOption computerOpt("computer-port", "The computer's UDP port.", "port", "59631");
    const QCommandLineOption pairOpt("pair", "Pair now with this QR key (the \"key\" of the QR text).", "key");
    const QCommandLineOption accountOpt("account", "Also run a fake account server and relay listing this phone.");
    const QCommandLineOption relayOnlyOpt("relay-only",
                                          "With --account: reachable only through the relay; the LAN address the "
                                          "device report gives refuses connections and no LAN message is answered.");
    const QCommandLineOption phoneOpt("login-phone", "Account phone number (with --account).", "phone",
                                      "13800000000");
    const QCommandLineOption passwordOpt("login-password", "Account password (with --account).", "password",
                                         "reraze");
    const QCommandLineOption readRateOpt("read-rate",
                                         "A slow phone: its LAN file service reads what is sent to it (uploads) at "
                                         "about this many bytes a second.",
                                         "bytes");
    parser.addOptions({rootOpt, albumsOpt, sdOpt, appDiskOpt, sampleOpt, idOpt, nameOpt, typeOpt, uidOpt, udpOpt,
                       computerOpt, pairOpt, accountOpt, relayOnlyOpt, phoneOpt, passwordOpt, readRateOpt});
    parser.process(app);
    const bool relayOnly = parser.isSet(relayOnlyOpt);
    if (relayOnly && (!parser.isSet(accountOpt) || parser.isSet(pairOpt))) {
        out << "--relay-only needs --account and pairs through no LAN (no --pair)\n";
        return 2;
    }

    // Category, folder: in the order the phone lists them.
    QList<QPair<int, QString>> served{{9, parser.value(rootOpt)},
                                      {2, parser.value(albumsOpt)},
                                      {11, parser.value(sdOpt)},
                                      {12, parser.value(appDiskOpt)}};
    if (parser.isSet(sampleOpt)) {
        const QString sample = parser.value(sampleOpt);
        QString error;
        if (!KoSampleTree::write(sample, &error)) {
            out << "cannot write the sample phone: " << error << "\n";
            return 1;
        }
        const QString sampleDirs[] = {KoSampleTree::storageDir(sample), KoSampleTree::albumsDir(sample),
                                      KoSampleTree::sdCardDir(sample), KoSampleTree::appDiskDir(sample)};
        for (int i = 0; i < served.size(); ++i) {
            if (served[i].second.isEmpty())
                served[i].second = sampleDirs[i];
        }
    }
    if (served.first().second.isEmpty()) {
        out << "--root or --sample must name the phone's storage\n";
        return 2;
    }
    QList<int> categories;
    for (const auto& category : served) {
        if (category.second.isEmpty())
            continue;
        if (!QFileInfo(category.second).isDir()) {
            out << category.second << " is not a folder\n";
            return 2;
        }
        categories.append(category.first);
    }

    // Leave through the event loop, so that the temporary folders (uploads, the test CA) go too.
    KoSignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &KoSignalWatcher::quitRequested, &app, &QCoreApplication::quit);
    const int uid = parser.value(uidOpt).toInt();
    KoFakePhone phone(served.first().second);
    for (const auto& category : served) {
        if (!category.second.isEmpty())
            phone.setCategoryRoot(category.first, category.second);
    }
    phone.setCategories(categories);
    phone.setIdentity(parser.value(idOpt), parser.value(nameOpt), parser.value(typeOpt).toInt(), 30, uid);
    KoFakeLanPhone lan(&phone);
    // A relay-only phone is reported at a port held without listening: every connection to it is
    // refused, as the address of a phone on another network never answers.
    QTcpSocket heldPort;
    quint16 lanPort = 0;
    if (relayOnly) {
        if (!heldPort.bind(QHostAddress(QHostAddress::LocalHost), 0)) {
            out << "cannot hold a port for the phone's LAN address\n";
            return 1;
        }
        lanPort = heldPort.localPort();
        out << "phone " << phone.deviceId() << " through the relay only; its LAN address http://" << phone.ip() << ":"
            << lanPort << " refuses connections\n";
    } else {
        if (!phone.start()) {
            out << "cannot start the phone's file service\n";
            return 1;
        }
        if (parser.isSet(readRateOpt))
            phone.http()->setReadRate(qMax<qint64>(1, parser.value(readRateOpt).toLongLong()));
        lan.setComputer(QHostAddress::LocalHost, quint16(parser.value(computerOpt).toUInt()));
        if (!lan.start(quint16(parser.value(udpOpt).toUInt()))) {
            out << "cannot bind UDP port " << parser.value(udpOpt) << "\n";
            return 1;
        }
        lanPort = phone.port();
        out << "phone " << phone.deviceId() << " at " << phone.baseUrl() << ", UDP port " << lan.port() << "\n";
    }
    for (const auto& category : served) {
        if (!category.second.isEmpty())
            out << "  category " << category.first << ": " << QDir(category.second).absolutePath() << "\n";
    }
    QObject::connect(&phone, &KoFakePhone::called, &app, [&out](const KoFakeCall& call) {
        out << call.route << " " << call.op;
        // Listings name their folder, so a log reader can tell them apart.
        if (call.body.contains(QStringLiteral("path")))
            out << " " << call.body.value(QStringLiteral("path")).toString();
        out << "\n";
        out.flush();
    });
    QObject::connect(lan.peer(), &KoTestUdpPeer::datagramReceived, &app, [&out](const KoTestDatagram& d) {
        out << "udp " << d.data.left(200) << "\n";
        out.flush();
    });

    std::unique_ptr<KoFakeAccountServer> account;
    std::unique_ptr<KoFakeRelay> relay;
    if (parser.isSet(accountOpt)) {
        account.reset(new KoFakeAccountServer);
        relay.reset(new KoFakeRelay);
        if (!account->start() || !relay->start()) {
            out << "cannot start the fake servers (is openssl installed?)\n";
            return 1;
        }
        account->addAccount(parser.value(phoneOpt), parser.value(passwordOpt), uid, QStringLiteral("测试用户"));
        relay->attachPhone(&phone);
        relay->setNetworkState(phone.deviceId(), phone.ip(), lanPort, 1);
        const QJsonObject device{{"uid", uid},
                                 {"deviceId", phone.deviceId()},
                                 {"deviceType", phone.deviceType()},
                                 {"deviceName", phone.deviceName()},
                                 {"state", 2},
                                 {"ip", phone.ip()},
                                 {"port", int(lanPort)},
                                 {"appVersion", phone.appVersion()},
                                 {"nick", QStringLiteral("测试用户")},
                                 {"networkType", 1},
                                 {"policy", 0}};
        account->http()->setResponse("/dedizo/device/report",
                                     KoTestResponse::json(
                                         QJsonObject{{"result", 0}, {"devices", QJsonArray{device}}}));
        relay->http()->setResponse("/reraze/pcPush",
                                   KoTestResponse::json(QJsonObject{{"code", 0}, {"pushes", QJsonArray()}}));
        // The CA is trusted by that run of the program alone, never by the machine.
        out << "account " << parser.value(phoneOpt) << " / " << parser.value(passwordOpt)
            << "; start the program with\n"
            << "  RERAZE_ACCOUNT_URL=" << account->baseUrl() << " RERAZE_RELAY_URL=" << relay->baseUrl()
            << " RERAZE_EXTRA_CA_FILE=" << KoTestCertificates::caCertificateFile() << "\n";
    }
    out.flush();

    if (parser.isSet(pairOpt)) {
        const int key = parser.value(pairOpt).toInt();
        QTimer::singleShot(0, &app, [&lan, key] { lan.pair(key); });
    }
    return app.exec();
}
