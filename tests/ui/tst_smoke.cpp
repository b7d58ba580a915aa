#include <QtTest>

#include <QSharedMemory>
#include <memory>

// Starts the real program as a new user would, on a virtual X display, and looks at it from
// outside: the window, a second start, the close button, a start after a crash.
namespace {
const char* const kBrandBlue = "#4d90ff";

struct Xwd
{
    QImage image;
    bool ok = false;
};

// The virtual display's frame buffer is an XWD file; 32-bit TrueColor is all Xvfb gives here.
Xwd readXwd(const QByteArray& data)
{
    Xwd result;
    if (data.size() < 100)
        return result;
    auto field = [&data](int i) { return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(data.constData()) + 4 * i); };
    const quint32 headerSize = field(0), width = field(4), height = field(5), byteOrder = field(7);
    const quint32 bitsPerPixel = field(11), bytesPerLine = field(12), colours = field(19);
    const qint64 offset = qint64(headerSize) + qint64(colours) * 12;
    if (bitsPerPixel != 32 || byteOrder != 0 || width == 0 || height == 0
        || offset + qint64(bytesPerLine) * height > data.size())
        return result;
    QImage image(int(width), int(height), QImage::Format_RGB32);
    for (quint32 y = 0; y < height; ++y) {
        const uchar* line = reinterpret_cast<const uchar*>(data.constData()) + offset + qint64(y) * bytesPerLine;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (quint32 x = 0; x < width; ++x)
            out[x] = 0xff000000u | (qFromLittleEndian<quint32>(line + 4 * x) & 0xffffffu);
    }
    result.image = image;
    result.ok = true;
    return result;
}
}

class TestSmoke : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QProcess m_xvfb;
    QString m_display;
    QString m_fbFile;
    QString m_artifacts;
    QString m_tmpDir;
    std::unique_ptr<QProcess> m_first;
    std::unique_ptr<QProcess> m_after;
    QString m_firstHome;
    QRect m_firstGeometry;
    int m_homes = 0;

    static QString binary() { return QStringLiteral(KO_BINARY_DIR "/reraze"); }

    QString newHome()
    {
        const QString home = m_root.filePath(QString("home%1").arg(++m_homes));
        QDir().mkpath(home);
        return home;
    }

    QProcessEnvironment programEnv(const QString& home) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", home + "/.config");
        env.insert("XDG_DATA_HOME", home + "/.local/share");
        env.insert("XDG_CACHE_HOME", home + "/.cache");
        env.insert("XDG_RUNTIME_DIR", m_root.filePath("runtime"));
        // One temp folder for every start of this test: the single-instance key lives there.
        env.insert("TMPDIR", m_tmpDir);
        env.insert("DISPLAY", m_display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        // No real servers: refused at once.
        env.insert("RERAZE_ACCOUNT_URL", "http://127.0.0.1:9/dedizo/");
        env.insert("RERAZE_RELAY_URL", "http://127.0.0.1:9/reraze/");
        env.insert("RERAZE_UPDATE_URL", "http://127.0.0.1:9/update/");
        // Plugins unloaded at exit hide their frames from the leak report; the unit tests
        // check our own objects for leaks.
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + (env.contains("ASAN_OPTIONS") ? ":" : "") + "detect_leaks=0");
        return env;
    }

    std::unique_ptr<QProcess> startProgram(const QString& home)
    {
        std::unique_ptr<QProcess> p(new QProcess);
        p->setProcessEnvironment(programEnv(home));
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        p->start(binary(), QStringList());
        return p;
    }

    QString run(const QString& program, const QStringList& args)
    {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(10000))
            return QString();
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // Mapped top-level windows of the program, with their geometry.
    QList<QRect> programWindows()
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

    QImage screen()
    {
        QFile fb(m_fbFile);
        if (!fb.open(QIODevice::ReadOnly))
            return QImage();
        const Xwd xwd = readXwd(fb.readAll());
        return xwd.image;
    }

    // Saves the virtual screen as test artifacts (XWD as the server wrote it, and PNG).
    void saveScreenshot(const QString& name)
    {
        QFile::remove(m_artifacts + "/" + name + ".xwd");
        QFile::copy(m_fbFile, m_artifacts + "/" + name + ".xwd");
        const QImage image = screen();
        if (!image.isNull())
            image.save(m_artifacts + "/" + name + ".png");
    }

    bool titleBarDrawn(const QRect& window)
    {
        const QImage image = screen();
        const QPoint probe = window.topLeft() + QPoint(600, 24); // between the page buttons and the tools
        return !image.isNull() && image.rect().contains(probe) && image.pixelColor(probe) == QColor(kBrandBlue);
    }

    bool clickAt(const QPoint& global)
    {
        if (QStandardPaths::findExecutable("xdotool").isEmpty())
            return false;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", m_display);
        p.setProcessEnvironment(env);
        p.start("xdotool", {"mousemove", QString::number(global.x()), QString::number(global.y()), "click", "1"});
        return p.waitForFinished(10000) && p.exitCode() == 0;
    }

    static QPoint closeButton(const QRect& window) { return window.topLeft() + QPoint(10 + 5 + 6, 18 + 6); }

    static QString usageLogs(const QString& home)
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

    static void stop(std::unique_ptr<QProcess>& p)
    {
        if (p && p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(10000);
        }
        p.reset();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        if (!QFileInfo(binary()).isExecutable())
            QSKIP("the program is not built in this build folder");
        if (QStandardPaths::findExecutable("Xvfb").isEmpty() || QStandardPaths::findExecutable("xwininfo").isEmpty())
            QSKIP("Xvfb or xwininfo missing: no virtual display to look at");
        QDir().mkpath(m_root.filePath("runtime"));
        QFile::setPermissions(m_root.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_tmpDir = m_root.filePath("tmp");
        QDir().mkpath(m_tmpDir);
        const QString fbDir = m_root.filePath("fb");
        QDir().mkpath(fbDir);
        m_fbFile = fbDir + "/Xvfb_screen0";
        m_artifacts = QStringLiteral(KO_BINARY_DIR "/test-artifacts");
        QDir().mkpath(m_artifacts);

        // The server picks a free display and writes its number once it is ready.
        m_xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-fbdir", fbDir});
        QByteArray number;
        QElapsedTimer t;
        t.start();
        while (!number.contains('\n') && t.elapsed() < 15000 && m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.waitForReadyRead(500);
            number += m_xvfb.readAllStandardOutput();
        }
        if (!number.contains('\n'))
            QSKIP("no virtual display could be started");
        m_display = ":" + QString::fromLatin1(number.trimmed());
        // The display must answer before a program is pointed at it.
        QElapsedTimer ready;
        ready.start();
        while (run("xwininfo", {"-display", m_display, "-root"}).isEmpty()) {
            if (ready.elapsed() > 15000)
                QSKIP("the virtual display does not answer");
            QTest::qWait(200);
        }
    }

    void firstStartShowsTheWindow()
    {
        m_firstHome = newHome();
        m_first = startProgram(m_firstHome);
        QVERIFY(m_first->waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!programWindows().isEmpty() || m_first->state() == QProcess::NotRunning, 60000);
        QVERIFY2(m_first->state() != QProcess::NotRunning, "the program ended before showing its window");
        const QList<QRect> windows = programWindows();
        QCOMPARE(windows.size(), 1);
        // 1280 x 800 is large enough: 960 x 600, centred.
        m_firstGeometry = windows.first();
        QCOMPARE(m_firstGeometry, QRect(160, 100, 960, 600));
        QTRY_VERIFY_WITH_TIMEOUT(titleBarDrawn(m_firstGeometry), 20000);
        saveScreenshot("smoke-first-start");
        QVERIFY(usageLogs(m_firstHome).contains("\"EnterApp\""));
    }

    void secondStartBringsTheFirstForwardAndLeaves()
    {
        QVERIFY(m_first && m_first->state() == QProcess::Running);
        // Another program's window covers the first one's title bar.
        QProcess cover;
        if (!QStandardPaths::findExecutable("xmessage").isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DISPLAY", m_display);
            cover.setProcessEnvironment(env);
            cover.start("xmessage", {"-geometry", "300x100+700+110", "cover"});
            QVERIFY(cover.waitForStarted(10000));
            QTRY_VERIFY_WITH_TIMEOUT(!titleBarDrawn(m_firstGeometry), 20000);
        }

        std::unique_ptr<QProcess> second = startProgram(newHome());
        QVERIFY(second->waitForFinished(60000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(m_first->state(), QProcess::Running);
        QCOMPARE(programWindows().size(), 1);

        if (cover.state() == QProcess::Running) {
            // The first instance came forward, above the other window.
            QTRY_VERIFY_WITH_TIMEOUT(titleBarDrawn(m_firstGeometry), 20000);
            saveScreenshot("smoke-second-start");
            cover.kill();
            cover.waitForFinished(10000);
        }
    }

    void closeButtonEndsTheProgram()
    {
        QVERIFY(m_first && m_first->state() == QProcess::Running);
        if (!clickAt(closeButton(m_firstGeometry))) {
            stop(m_first);
            QSKIP("xdotool missing: the close button was not clicked");
        }
        QVERIFY(m_first->waitForFinished(30000));
        QCOMPARE(m_first->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_first->exitCode(), 0);
        QVERIFY(usageLogs(m_firstHome).contains("\"ExitApp\""));
        QTRY_VERIFY_WITH_TIMEOUT(programWindows().isEmpty(), 10000);
        m_first.reset();
    }

    void startAfterAKilledInstanceOpensTheWindow()
    {
        stop(m_first);
        std::unique_ptr<QProcess> killed = startProgram(newHome());
        QVERIFY(killed->waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!programWindows().isEmpty(), 60000);
        killed->kill(); // SIGKILL: its single-instance segment stays behind
        QVERIFY(killed->waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(programWindows().isEmpty(), 10000);

        const QString home = newHome();
        m_after = startProgram(home);
        QVERIFY(m_after->waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!programWindows().isEmpty(), 60000);
        const QRect geometry = programWindows().first();
        QTRY_VERIFY_WITH_TIMEOUT(titleBarDrawn(geometry), 20000);
        saveScreenshot("smoke-after-kill");
        QCOMPARE(m_after->state(), QProcess::Running);

        if (clickAt(closeButton(geometry))) {
            QVERIFY(m_after->waitForFinished(30000));
            QCOMPARE(m_after->exitCode(), 0);
        }
        stop(m_after);
    }

    void cleanupTestCase()
    {
        stop(m_first);
        stop(m_after);
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
};

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
