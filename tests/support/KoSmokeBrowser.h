#pragma once

#include "support/KoSmokeSession.h"

#include <QByteArray>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <memory>

// The steps every browser smoke starts with: the real program on the session's display, a fake
// phone (tools/fake_phone) serving phoneRoot paired by reading the key off the screen, and the
// phone's "手机存储" opened. Stops the phone and the program when it goes.
class KoSmokeBrowser
{
public:
    explicit KoSmokeBrowser(KoSmokeSession& session);
    ~KoSmokeBrowser();

    // Empty when the storage is shown; else why it cannot be (the caller skips or fails).
    QString openStorage(const QString& phoneRoot);
    // How often the phone has logged this line so far ("lan getDirectory /\n").
    int count(const QByteArray& line);
    // Waits until count(line) reaches n.
    bool waitFor(const QByteArray& line, int n, int timeoutMs = 20000);

    QRect window;
    // Top-left of the browser's tool bar, and the first tile of the shown folder.
    QPoint toolBar;
    QPoint firstTile;

private:
    KoSmokeSession& m_session;
    std::unique_ptr<QProcess> m_program;
    QProcess m_phone;
    QByteArray m_log;
};
