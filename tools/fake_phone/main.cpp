// A phone on this computer: serves a folder as the phone's LAN file service, answers the LAN
// messages on the phones' UDP port, and optionally runs a fake account server and relay whose
// device report lists it. See README.md, "Trying it without a phone".

#include "support/KoFakeAccountServer.h"
#include "support/KoFakeLanPhone.h"
#include "support/KoFakePhone.h"
#include "support/KoFakeRelay.h"
#include "support/KoTestCertificates.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QTextStream>
#include <QTimer>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Fake phone for trying ReRaze without a phone."));
    parser.addHelpOption();
    const QCommandLineOption rootOpt("root", "Folder served as the phone's storage.", "dir");
    const QCommandLineOption idOpt("device-id", "The phone's device id.", "id", "fake-phone-0001");
    const QCommandLineOption nameOpt("name", "The phone's device name.", "name", "Fake Phone");
    const QCommandLineOption typeOpt("type", "Device type: 2 Android, 3 iPhone, 4 iPad.", "n", "2");
    const QCommandLineOption uidOpt("uid", "User id of the phone's owner.", "n", "1001");
    const QCommandLineOption udpOpt("udp-port", "The phone's UDP port.", "port", "59632");
    const QCommandLineOption computerOpt("computer-port", "The computer's UDP port.", "port", "59631");
    const QCommandLineOption pairOpt("pair", "Pair now with this QR key (the \"key\" of the QR text).", "key");
    const QCommandLineOption accountOpt("account", "Also run a fake account server and relay listing this phone.");
    const QCommandLineOption phoneOpt("login-phone", "Account phone number (with --account).", "phone",
                                      "13800000000");
    const QCommandLineOption passwordOpt("login-password", "Account password (with --account).", "password",
                                         "reraze");
    parser.addOptions(
        {rootOpt, idOpt, nameOpt, typeOpt, uidOpt, udpOpt, computerOpt, pairOpt, accountOpt, phoneOpt, passwordOpt});
    parser.process(app);

    const QString root = parser.value(rootOpt);
    if (root.isEmpty() || !QDir(root).exists()) {
        out << "--root must name an existing folder\n";
        return 2;
    }
    const int uid = parser.value(uidOpt).toInt();
    KoFakePhone phone(QDir(root).absolutePath());
    phone.setIdentity(parser.value(idOpt), parser.value(nameOpt), parser.value(typeOpt).toInt(), 30, uid);
    if (!phone.start()) {
        out << "cannot start the phone's file service\n";
        return 1;
    }
    KoFakeLanPhone lan(&phone);
    lan.setComputer(QHostAddress::LocalHost, quint16(parser.value(computerOpt).toUInt()));
    if (!lan.start(quint16(parser.value(udpOpt).toUInt()))) {
        out << "cannot bind UDP port " << parser.value(udpOpt) << "\n";
        return 1;
    }
    out << "phone " << phone.deviceId() << " serves " << root << " at " << phone.baseUrl() << ", UDP port "
        << lan.port() << "\n";
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
        relay->setNetworkState(phone.deviceId(), phone.ip(), phone.port(), 1);
        const QJsonObject device{{"uid", uid},
                                 {"deviceId", phone.deviceId()},
                                 {"deviceType", phone.deviceType()},
                                 {"deviceName", phone.deviceName()},
                                 {"state", 2},
                                 {"ip", phone.ip()},
                                 {"port", int(phone.port())},
                                 {"appVersion", phone.appVersion()},
                                 {"nick", QStringLiteral("测试用户")},
                                 {"networkType", 1},
                                 {"policy", 0}};
        account->http()->setResponse("/dedizo/device/report",
                                     KoTestResponse::json(
                                         QJsonObject{{"result", 0}, {"devices", QJsonArray{device}}}));
        relay->http()->setResponse("/reraze/pcPush",
                                   KoTestResponse::json(QJsonObject{{"code", 0}, {"pushes", QJsonArray()}}));
        out << "account " << parser.value(phoneOpt) << " / " << parser.value(passwordOpt)
            << "; start the program with\n"
            << "  RERAZE_ACCOUNT_URL=" << account->baseUrl() << " RERAZE_RELAY_URL=" << relay->baseUrl() << "\n"
            << "and trust the test CA " << KoTestCertificates::caCertificateFile() << "\n";
    }
    out.flush();

    if (parser.isSet(pairOpt)) {
        const int key = parser.value(pairOpt).toInt();
        QTimer::singleShot(0, &app, [&lan, key] { lan.pair(key); });
    }
    return app.exec();
}
