#pragma once

#include <QByteArray>
#include <QImage>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// A started program paired with the runnable fake phone (tools/fake_phone).
struct KoSmokePairing {
    std::unique_ptr<QProcess> program;
    QString home; // the program's HOME
    QRect window;
    QJsonObject qr; // the pairing text read off the home page
    std::unique_ptr<QProcess> phone;
    QByteArray phoneLog;
    // How often the phone's log holds `text` so far.
    int count(const QByteArray& text);
    // Ends the phone and the program (also when the pairing goes).
    void stop();
    ~KoSmokePairing() { stop(); }
};

// The real program on a virtual X display, looked at and driven from outside as a user would:
// one Xvfb per session, one fresh home per start, screenshots and clicks through xdotool.
// Every start shares one temp folder, so the single-instance guard sees the others.
class KoSmokeSession
{
public:
    KoSmokeSession();
    ~KoSmokeSession();

    // Starts the display; false with `skipReason` set when this machine cannot (the test skips),
    // also when one of `tools` is not on the path.
    bool start(QString* skipReason, const QStringList& tools = {});

    QString display() const { return m_display; }
    QString newHome();
    QString tmpDir() const { return m_tmpDir; }
    QString artifactsDir() const { return m_artifacts; }
    static QString binary();

    // No real servers: the account, relay and update addresses are refused at once.
    QProcessEnvironment programEnv(const QString& home) const;
    std::unique_ptr<QProcess> startProgram(const QString& home, const QStringList& args = {},
                                           const QProcessEnvironment& extra = {});
    static void stop(std::unique_ptr<QProcess>& p);
    // Starts the program and waits for its one window; empty when it never came.
    QRect launch(std::unique_ptr<QProcess>& program, const QString& home, const QProcessEnvironment& extra = {});
    // Starts the program on free UDP ports, reads the pairing key off the home page (saved as
    // screenshot `homeShot`) and starts the fake phone serving `phoneRoot` paired with it. False
    // with `why` set when a step fails; whatever was started stays in `pairing` to be stopped.
    bool pairFakePhone(const QString& phoneRoot, const QString& homeShot, KoSmokePairing* pairing, QString* why);
    // The same with the fake phone's own options (what it serves) instead of one root.
    bool pairFakePhone(const QStringList& phoneArgs, const QString& homeShot, KoSmokePairing* pairing, QString* why);

    // Viewable top-level windows of the program.
    QList<QRect> programWindows();
    // Waits for exactly one program window; empty rectangle when it never came or the program ended.
    QRect waitForWindow(QProcess* program, int timeoutMs = 60000);
    QImage screen();
    void saveScreenshot(const QString& name);
    // Polls the screen until `colour` shows at `global` (true) or the time runs out.
    bool waitForColour(const QPoint& global, const QColor& colour, int timeoutMs = 20000);
    // The same for any pixel of `area` (text, whose glyphs move with the fonts).
    bool waitForColourIn(const QRect& area, const QColor& colour, int timeoutMs = 20000);
    // Waits for a program window of `size`; empty rectangle when none came in time.
    QRect waitForWindowOfSize(const QSize& size, int timeoutMs = 20000);
    // Waits for a program window other than `besides` (a dialog over it); empty when none came.
    QRect waitForOtherWindow(const QRect& besides, int timeoutMs = 20000);

    bool hasXdotool() const;
    bool clickAt(const QPoint& global, int button = 1);
    bool doubleClickAt(const QPoint& global);
    bool typeText(const QString& text);
    // xdotool key names, for example "Return" or "ctrl+r".
    bool key(const QString& keys);

    // Text of every usage log under `home`.
    static QString usageLogs(const QString& home);
    QString run(const QString& program, const QStringList& args) const;

private:
    bool xdotool(const QStringList& args);

    QTemporaryDir m_root;
    QProcess m_xvfb;
    QString m_display;
    QString m_fbFile;
    QString m_artifacts;
    QString m_tmpDir;
    int m_homes = 0;
};
