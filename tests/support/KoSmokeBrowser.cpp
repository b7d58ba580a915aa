#include "support/KoSmokeBrowser.h"

#include <QColor>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUdpSocket>

namespace {
const QColor kSelectedRow("#dbe9ff");
const QColor kToolBar("#f6f6f6");
const int kTitleHeight = 48;

quint16 freeUdpPort()
{
    QUdpSocket socket;
    return socket.bind(QHostAddress(QHostAddress::LocalHost), 0) ? socket.localPort() : 0;
}

// Top-left corner of the browser's tool bar right of the phone list, or a null point.
QPoint findToolBar(const QImage& screen, const QRect& window)
{
    const int x = window.left() + 400;
    for (int y = window.top() + kTitleHeight; y < window.bottom() - 40; ++y) {
        if (screen.pixelColor(x, y) != kToolBar || screen.pixelColor(x, y + 39) != kToolBar)
            continue;
        int left = x;
        while (left > window.left() && screen.pixelColor(left - 1, y + 20) == kToolBar)
            --left;
        return QPoint(left, y);
    }
    return QPoint();
}
} // namespace

KoSmokeBrowser::KoSmokeBrowser(KoSmokeSession& session)
    : m_session(session)
{
    m_phone.setProcessChannelMode(QProcess::MergedChannels);
}

KoSmokeBrowser::~KoSmokeBrowser()
{
    if (m_phone.state() != QProcess::NotRunning) {
        m_phone.kill();
        m_phone.waitForFinished(10000);
    }
    if (m_program)
        KoSmokeSession::stop(m_program);
}

int KoSmokeBrowser::count(const QByteArray& line)
{
    m_log += m_phone.readAll();
    return m_log.count(line);
}

bool KoSmokeBrowser::waitFor(const QByteArray& line, int n, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (count(line) < n && timer.elapsed() < timeoutMs)
        QTest::qWait(50);
    return count(line) >= n;
}

QString KoSmokeBrowser::openStorage(const QString& phoneRoot)
{
    const quint16 computerPort = freeUdpPort();
    const quint16 phonePort = freeUdpPort();
    if (!computerPort || !phonePort || computerPort == phonePort)
        return QStringLiteral("no free UDP ports on loopback");
    QProcessEnvironment ports;
    ports.insert("RERAZE_LOCAL_UDP_PORT", QString::number(computerPort));
    ports.insert("RERAZE_PHONE_UDP_PORT", QString::number(phonePort));
    m_program = m_session.startProgram(m_session.newHome(), {}, ports);
    if (!m_program->waitForStarted(10000))
        return QStringLiteral("the program did not start");
    window = m_session.waitForWindow(m_program.get());
    if (window.isEmpty())
        return QStringLiteral("the program showed no window");

    // Read the pairing key off the screen, as a phone's camera would.
    const QString shot = m_session.artifactsDir() + "/smoke_browser_home.png";
    QJsonObject qr;
    QElapsedTimer reading;
    reading.start();
    while (!qr.contains("key") && reading.elapsed() < 30000) {
        m_session.saveScreenshot("smoke_browser_home");
        qr = QJsonDocument::fromJson(m_session.run("zbarimg", {"--raw", "-q", shot}).toUtf8()).object();
    }
    if (!qr.contains("key"))
        return QStringLiteral("the home page shows no pairing code, so no phone can be paired");

    m_phone.start(KO_BINARY_DIR "/tools/reraze_fake_phone",
                  {"--root", phoneRoot, "--udp-port", QString::number(phonePort), "--computer-port",
                   QString::number(computerPort), "--pair", QString::number(qr.value("key").toInt())});
    if (!m_phone.waitForStarted(10000))
        return QStringLiteral("the fake phone did not start");
    // The first row of the connected-phones list, once the phone is shown.
    if (!m_session.waitForColour(window.topLeft() + QPoint(175, kTitleHeight + 40 + 4), kSelectedRow, 30000))
        return QStringLiteral("the connected-phones page did not show the paired phone, so it cannot host the browser");
    if (!waitFor("lan listCategory\n", 1))
        return QStringLiteral("the browser never listed the phone's categories");
    QElapsedTimer finding;
    finding.start();
    while ((toolBar = findToolBar(m_session.screen(), window)).isNull() && finding.elapsed() < 20000)
        QTest::qWait(100);
    if (toolBar.isNull())
        return QStringLiteral("the browser's tool bar never showed");
    // Tool bar 40, state bar 30, line 2, select-all strip 32; tiles are 128 square.
    firstTile = toolBar + QPoint(4 + 64, 40 + 30 + 2 + 32 + 64);
    const int listings = count("lan getDirectory /\n");
    if (!m_session.doubleClickAt(firstTile) || !waitFor("lan getDirectory /\n", listings + 1))
        return QStringLiteral("\"手机存储\" did not open");
    return QString();
}
