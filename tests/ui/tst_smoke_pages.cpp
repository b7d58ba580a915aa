#include <QtTest>

#include "support/KoSmokeSession.h"

// A new user pairs a phone by the QR code on the home page and disconnects it again, with the
// real program on a virtual display and the runnable fake phone, all on loopback.
namespace {
const QColor kSelectedRow("#dbe9ff");
const int kTitleHeight = 48;
const int kListTop = kTitleHeight + 40; // below the list's header
// Inside the first row of the device list, clear of its icon and texts.
QPoint rowProbe(const QRect& window) { return window.topLeft() + QPoint(175, kListTop + 4); }
// The first row's disconnect button (the list is 180 wide, the row 60 high).
QPoint disconnectButton(const QRect& window) { return window.topLeft() + QPoint(179 - 16, kListTop + 29); }

quint16 freeUdpPort()
{
    QUdpSocket socket;
    return socket.bind(QHostAddress(QHostAddress::LocalHost), 0) ? socket.localPort() : 0;
}
}

class TestSmokePages : public QObject
{
    Q_OBJECT

    KoSmokeSession m_session;
    QTemporaryDir m_phoneRoot;

private slots:
    void initTestCase()
    {
        QString why;
        if (!m_session.start(&why))
            QSKIP(qPrintable(why));
        if (!m_session.hasXdotool() || QStandardPaths::findExecutable("zbarimg").isEmpty())
            QSKIP("xdotool or zbarimg missing");
        QVERIFY(m_phoneRoot.isValid());
    }

    void pairByQrCodeAndDisconnect()
    {
        const quint16 computerPort = freeUdpPort();
        const quint16 phonePort = freeUdpPort();
        QVERIFY(computerPort && phonePort && computerPort != phonePort);
        QProcessEnvironment ports;
        ports.insert("RERAZE_LOCAL_UDP_PORT", QString::number(computerPort));
        ports.insert("RERAZE_PHONE_UDP_PORT", QString::number(phonePort));
        std::unique_ptr<QProcess> program = m_session.startProgram(m_session.newHome(), {}, ports);
        QVERIFY(program->waitForStarted(10000));
        const QRect window = m_session.waitForWindow(program.get());
        QVERIFY(!window.isEmpty());

        // Read the pairing key off the screen, as a phone's camera would.
        const QString shot = m_session.artifactsDir() + "/smoke_home.png";
        QJsonObject qr;
        QTRY_VERIFY_WITH_TIMEOUT((m_session.saveScreenshot("smoke_home"),
                                  qr = QJsonDocument::fromJson(m_session.run("zbarimg", {"--raw", "-q", shot}).toUtf8()).object(),
                                  qr.contains("key")),
                                 30000);
        QCOMPARE(qr.value("deviceType").toInt(), 1);

        QProcess phone;
        phone.setProcessChannelMode(QProcess::MergedChannels);
        phone.start(KO_BINARY_DIR "/tools/reraze_fake_phone",
                    {"--root", m_phoneRoot.path(), "--udp-port", QString::number(phonePort), "--computer-port",
                     QString::number(computerPort), "--pair", QString::number(qr.value("key").toInt())});
        QVERIFY(phone.waitForStarted(10000));
        QByteArray phoneLog;
        auto logged = [&](const QByteArray& what) {
            phoneLog += phone.readAll();
            return phoneLog.contains(what);
        };

        // The window switches to "zu" and shows the phone, its row selected.
        QVERIFY(m_session.waitForColour(rowProbe(window), kSelectedRow, 30000));
        m_session.saveScreenshot("smoke_phones");

        QVERIFY(m_session.clickAt(disconnectButton(window)));
        QTRY_VERIFY_WITH_TIMEOUT(logged("disconnDisk"), 20000);
        // The row is gone and the panel is back.
        QVERIFY(m_session.waitForColour(rowProbe(window), Qt::white, 20000));
        m_session.saveScreenshot("smoke_phones_disconnected");

        phone.kill();
        phone.waitForFinished(10000);
        KoSmokeSession::stop(program);
    }
};

QTEST_GUILESS_MAIN(TestSmokePages)
#include "tst_smoke_pages.moc"
