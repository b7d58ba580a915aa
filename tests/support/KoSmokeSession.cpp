#include "KoSmokeSession.h"

#include <QtTest>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSharedMemory>
#include <QUdpSocket>

namespace {
// The virtual display's frame buffer is an XWD file; 32-bit TrueColor is all Xvfb gives here.
QImage readXwd(const QByteArray& data)
{
    if (data.size() < 100)
        return QImage();
    auto field = [&data](int i) {
        return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(data.constData()) + 4 * i);
    };
    const quint32 headerSize = field(0), width = field(4), height = field(5), byteOrder = field(7);
    const quint32 bitsPerPixel = field(11), bytesPerLine = field(12), colours = field(19);
    const qint64 offset = qint64(headerSize) + qint64(colours) * 12;
    if (bitsPerPixel != 32 || byteOrder != 0 || width == 0 || height == 0
        || offset + qint64(bytesPerLine) * height > data.size())
        return QImage();
    QImage image(int(width), int(height), QImage::Format_RGB32);
    for (quint32 y = 0; y < height; ++y) {
        const uchar* line = reinterpret_cast<const uchar*>(data.constData()) + offset + qint64(y) * bytesPerLine;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (quint32 x = 0; x < width; ++x)
            out[x] = 0xff000000u | (qFromLittleEndian<quint32>(line + 4 * x) & 0xffffffu);
    }
    return image;
}
} // namespace

KoSmokeSession::KoSmokeSession() = default;

KoSmokeSession::~KoSmokeSession()
{
    if (!m_tmpDir.isEmpty()) {
        // A segment a killed start left in our temp folder: the last detach removes it.
        const QByteArray saved = qgetenv("TMPDIR");
        qputenv("TMPDIR", m_tmpDir.toLocal8Bit());
        QSharedMemory stale(QStringLiteral("Ko_SHARED_MEMORY_NAME"));
        if (stale.attach())
            stale.detach();
        qputenv("TMPDIR", saved);
    }
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.terminate();
        if (!m_xvfb.waitForFinished(10000))
            m_xvfb.kill();
    }
}

QString KoSmokeSession::binary()
{
    return QStringLiteral(KO_BINARY_DIR "/reraze");
}

bool KoSmokeSession::start(QString* skipReason, const QStringList& tools)
{
    auto skip = [skipReason](const char* why) {
        *skipReason = QString::fromLatin1(why);
        return false;
    };
    for (const QString& tool : tools)
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return skip("a tool this test drives the program with is missing");
    if (!m_root.isValid())
        return skip("no temporary folder");
    if (!QFileInfo(binary()).isExecutable())
        return skip("the program is not built in this build folder");
    if (QStandardPaths::findExecutable("Xvfb").isEmpty() || QStandardPaths::findExecutable("xwininfo").isEmpty())
        return skip("Xvfb or xwininfo missing: no virtual display to look at");
    QDir().mkpath(m_root.filePath("runtime"));
    QFile::setPermissions(m_root.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_tmpDir = m_root.filePath("tmp");
    QDir().mkpath(m_tmpDir);
    const QString fbDir = m_root.filePath("fb");
    QDir().mkpath(fbDir);
    m_fbFile = fbDir + "/Xvfb_screen0";
    m_artifacts = QStringLiteral(KO_BINARY_DIR "/test-artifacts");
    QDir().mkpath(m_artifacts);

    // A display number of our own, spread by process. Left to pick one (-displayfd), every
    // session asks for :0 first and may take a number another session's server is giving up;
    // that one's exit then removes the new server's socket and the program cannot connect.
    const int first = 100 + int(QCoreApplication::applicationPid() % 400) * 2;
    for (int n = first; n < first + 40 && m_display.isEmpty(); ++n) {
        const QString display = ":" + QString::number(n);
        if (QFile::exists(QString("/tmp/.X%1-lock").arg(n)))
            continue;
        m_xvfb.start("Xvfb", {display, "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-fbdir", fbDir});
        // The display must answer before a program is pointed at it; a server that lost the
        // number to another ends at once.
        QElapsedTimer ready;
        ready.start();
        bool answers = false;
        while (!answers && m_xvfb.state() != QProcess::NotRunning && ready.elapsed() < 15000) {
            QTest::qWait(200);
            answers = !run("xwininfo", {"-display", display, "-root"}).isEmpty();
        }
        if (answers && m_xvfb.state() != QProcess::NotRunning) {
            m_display = display;
        } else if (m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.kill();
            m_xvfb.waitForFinished(5000);
        }
    }
    if (m_display.isEmpty())
        return skip("no virtual display could be started");
    return true;
}

QString KoSmokeSession::newHome()
{
    const QString home = m_root.filePath(QString("home%1").arg(++m_homes));
    QDir().mkpath(home);
    return home;
}

QProcessEnvironment KoSmokeSession::programEnv(const QString& home) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_CACHE_HOME", home + "/.cache");
    env.insert("XDG_RUNTIME_DIR", m_root.filePath("runtime"));
    env.insert("TMPDIR", m_tmpDir);
    env.insert("DISPLAY", m_display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("RERAZE_ACCOUNT_URL", "http://127.0.0.1:9/dedizo/");
    env.insert("RERAZE_RELAY_URL", "http://127.0.0.1:9/reraze/");
    env.insert("RERAZE_UPDATE_URL", "http://127.0.0.1:9/update/");
    // Plugins unloaded at exit hide their frames from the leak report; the unit tests
    // check our own objects for leaks.
    env.insert("ASAN_OPTIONS",
               env.value("ASAN_OPTIONS") + (env.contains("ASAN_OPTIONS") ? ":" : "") + "detect_leaks=0");
    return env;
}

std::unique_ptr<QProcess> KoSmokeSession::startProgram(const QString& home, const QStringList& args,
                                                       const QProcessEnvironment& extra)
{
    QProcessEnvironment env = programEnv(home);
    for (const QString& k : extra.keys())
        env.insert(k, extra.value(k));
    std::unique_ptr<QProcess> p(new QProcess);
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedChannels);
    p->start(binary(), args);
    return p;
}

void KoSmokeSession::stop(std::unique_ptr<QProcess>& p)
{
    if (p && p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(10000);
    }
    p.reset();
}

QRect KoSmokeSession::launch(std::unique_ptr<QProcess>& program, const QString& home,
                             const QProcessEnvironment& extra)
{
    program = startProgram(home, {}, extra);
    if (!program->waitForStarted(10000))
        return QRect();
    return waitForWindow(program.get());
}

QString KoSmokeSession::run(const QString& program, const QStringList& args) const
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000))
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QList<QRect> KoSmokeSession::programWindows()
{
    QList<QRect> found;
    const QString tree = run("xwininfo", {"-display", m_display, "-root", "-tree"});
    const QRegularExpression line(R"((0x[0-9a-f]+) .*\("reraze" "ReRaze"\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+))");
    for (const QString& text : tree.split('\n')) {
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch())
            continue;
        const QString info = run("xwininfo", {"-display", m_display, "-id", m.captured(1)});
        if (!info.contains("IsViewable"))
            continue;
        found << QRect(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    }
    return found;
}

QRect KoSmokeSession::waitForWindow(QProcess* program, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs && program->state() != QProcess::NotRunning) {
        const QList<QRect> windows = programWindows();
        if (windows.size() == 1)
            return windows.first();
        QTest::qWait(100);
    }
    return QRect();
}

QImage KoSmokeSession::screen()
{
    QFile fb(m_fbFile);
    if (!fb.open(QIODevice::ReadOnly))
        return QImage();
    return readXwd(fb.readAll());
}

void KoSmokeSession::saveScreenshot(const QString& name)
{
    QFile::remove(m_artifacts + "/" + name + ".xwd");
    QFile::copy(m_fbFile, m_artifacts + "/" + name + ".xwd");
    const QImage image = screen();
    if (!image.isNull())
        image.save(m_artifacts + "/" + name + ".png");
}

bool KoSmokeSession::waitForColour(const QPoint& global, const QColor& colour, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    do {
        const QImage image = screen();
        if (!image.isNull() && image.rect().contains(global) && image.pixelColor(global) == colour)
            return true;
        QTest::qWait(100);
    } while (t.elapsed() < timeoutMs);
    return false;
}

bool KoSmokeSession::waitForColourIn(const QRect& area, const QColor& colour, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    do {
        const QImage image = screen();
        const QRect inside = area & image.rect();
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                if (image.pixelColor(x, y) == colour)
                    return true;
        QTest::qWait(100);
    } while (t.elapsed() < timeoutMs);
    return false;
}

QRect KoSmokeSession::waitForWindowOfSize(const QSize& size, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    do {
        for (const QRect& window : programWindows())
            if (window.size() == size)
                return window;
        QTest::qWait(100);
    } while (t.elapsed() < timeoutMs);
    return QRect();
}

QRect KoSmokeSession::waitForOtherWindow(const QRect& besides, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    do {
        for (const QRect& window : programWindows())
            if (window != besides)
                return window;
        QTest::qWait(100);
    } while (t.elapsed() < timeoutMs);
    return QRect();
}

bool KoSmokeSession::hasXdotool() const
{
    return !QStandardPaths::findExecutable("xdotool").isEmpty();
}

bool KoSmokeSession::xdotool(const QStringList& args)
{
    if (!hasXdotool())
        return false;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    p.setProcessEnvironment(env);
    p.start("xdotool", args);
    return p.waitForFinished(10000) && p.exitCode() == 0;
}

bool KoSmokeSession::clickAt(const QPoint& global, int button)
{
    return xdotool(
        {"mousemove", QString::number(global.x()), QString::number(global.y()), "click", QString::number(button)});
}

bool KoSmokeSession::doubleClickAt(const QPoint& global)
{
    return xdotool({"mousemove", QString::number(global.x()), QString::number(global.y()), "click", "--repeat", "2",
                    "--delay", "80", "1"});
}

bool KoSmokeSession::typeText(const QString& text)
{
    return xdotool({"type", "--delay", "30", text});
}

bool KoSmokeSession::key(const QString& keys)
{
    return xdotool({"key", keys});
}

QString KoSmokeSession::usageLogs(const QString& home)
{
    QString text;
    QDirIterator it(home, {"*.uar"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(f.readAll());
    }
    return text;
}

namespace {
quint16 freeUdpPort()
{
    QUdpSocket socket;
    return socket.bind(QHostAddress(QHostAddress::LocalHost), 0) ? socket.localPort() : 0;
}
} // namespace

int KoSmokePairing::count(const QByteArray& text)
{
    if (phone)
        phoneLog += phone->readAll();
    return phoneLog.count(text);
}

void KoSmokePairing::stop()
{
    // Asked to leave, the phone takes its temporary folders with it; a kill would leave them.
    if (phone && phone->state() != QProcess::NotRunning) {
        phone->terminate();
        phone->waitForFinished(10000);
    }
    KoSmokeSession::stop(phone);
    KoSmokeSession::stop(program);
}

bool KoSmokeSession::pairFakePhone(const QString& phoneRoot, const QString& homeShot, KoSmokePairing* pairing,
                                   QString* why)
{
    return pairFakePhone(QStringList{"--root", phoneRoot}, homeShot, pairing, why);
}

bool KoSmokeSession::pairFakePhone(const QStringList& phoneArgs, const QString& homeShot, KoSmokePairing* pairing,
                                   QString* why)
{
    const quint16 computerPort = freeUdpPort();
    const quint16 phonePort = freeUdpPort();
    if (!computerPort || !phonePort || computerPort == phonePort) {
        *why = QStringLiteral("no free UDP ports");
        return false;
    }
    QProcessEnvironment ports;
    ports.insert("RERAZE_LOCAL_UDP_PORT", QString::number(computerPort));
    ports.insert("RERAZE_PHONE_UDP_PORT", QString::number(phonePort));
    pairing->home = newHome();
    pairing->program = startProgram(pairing->home, {}, ports);
    if (!pairing->program->waitForStarted(10000)
        || (pairing->window = waitForWindow(pairing->program.get())).isEmpty()) {
        *why = QStringLiteral("the program showed no window");
        return false;
    }
    // Read the pairing key off the screen, as a phone's camera would.
    QElapsedTimer reading;
    reading.start();
    while (!pairing->qr.contains("key") && reading.elapsed() < 30000) {
        saveScreenshot(homeShot);
        const QString text = run("zbarimg", {"--raw", "-q", m_artifacts + "/" + homeShot + ".png"});
        pairing->qr = QJsonDocument::fromJson(text.toUtf8()).object();
    }
    if (!pairing->qr.contains("key")) {
        *why = QStringLiteral("the home page shows no pairing code");
        return false;
    }
    pairing->phone.reset(new QProcess);
    pairing->phone->setProcessChannelMode(QProcess::MergedChannels);
    pairing->phone->start(KO_BINARY_DIR "/tools/reraze_fake_phone",
                          phoneArgs
                              + QStringList{"--udp-port", QString::number(phonePort), "--computer-port",
                                            QString::number(computerPort), "--pair",
                                            QString::number(pairing->qr.value("key").toInt())});
    if (!pairing->phone->waitForStarted(10000)) {
        *why = QStringLiteral("the fake phone did not start");
        return false;
    }
    return true;
}
