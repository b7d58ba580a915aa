#include <QtTest>

#include "support/KoSmokeSession.h"

// Starts the real program as a new user would, on a virtual X display, and looks at it from
// outside: the window, a second start, the close button, a start after a crash.
namespace {
const QColor kBrandBlue("#4d90ff");
QPoint titleProbe(const QRect& window) { return window.topLeft() + QPoint(600, 24); } // between the page buttons and the tools
QPoint closeButton(const QRect& window) { return window.topLeft() + QPoint(10 + 5 + 6, 18 + 6); }
}

class TestSmoke : public QObject
{
    Q_OBJECT

    KoSmokeSession m_session;
    std::unique_ptr<QProcess> m_first;
    std::unique_ptr<QProcess> m_after;
    QString m_firstHome;
    QRect m_firstGeometry;

private slots:
    void initTestCase()
    {
        QString why;
        if (!m_session.start(&why))
            QSKIP(qPrintable(why));
    }

    void firstStartShowsTheWindow()
    {
        m_firstHome = m_session.newHome();
        m_first = m_session.startProgram(m_firstHome);
        QVERIFY(m_first->waitForStarted(10000));
        m_firstGeometry = m_session.waitForWindow(m_first.get());
        QVERIFY2(m_first->state() != QProcess::NotRunning, "the program ended before showing its window");
        QCOMPARE(m_session.programWindows().size(), 1);
        // 1280 x 800 is large enough: 960 x 600, centred.
        QCOMPARE(m_firstGeometry, QRect(160, 100, 960, 600));
        QVERIFY(m_session.waitForColour(titleProbe(m_firstGeometry), kBrandBlue));
        m_session.saveScreenshot("smoke-first-start");
        QVERIFY(KoSmokeSession::usageLogs(m_firstHome).contains("\"EnterApp\""));
    }

    void secondStartBringsTheFirstForwardAndLeaves()
    {
        QVERIFY(m_first && m_first->state() == QProcess::Running);
        // Another program's window covers the first one's title bar.
        QProcess cover;
        if (!QStandardPaths::findExecutable("xmessage").isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DISPLAY", m_session.display());
            cover.setProcessEnvironment(env);
            cover.start("xmessage", {"-geometry", "300x100+700+110", "cover"});
            QVERIFY(cover.waitForStarted(10000));
            QTRY_VERIFY_WITH_TIMEOUT(m_session.screen().pixelColor(titleProbe(m_firstGeometry)) != kBrandBlue, 20000);
        }

        std::unique_ptr<QProcess> second = m_session.startProgram(m_session.newHome());
        QVERIFY(second->waitForFinished(60000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(m_first->state(), QProcess::Running);
        QCOMPARE(m_session.programWindows().size(), 1);

        if (cover.state() == QProcess::Running) {
            // The first instance came forward, above the other window.
            QVERIFY(m_session.waitForColour(titleProbe(m_firstGeometry), kBrandBlue));
            m_session.saveScreenshot("smoke-second-start");
            cover.kill();
            cover.waitForFinished(10000);
        }
    }

    void closeButtonEndsTheProgram()
    {
        QVERIFY(m_first && m_first->state() == QProcess::Running);
        if (!m_session.clickAt(closeButton(m_firstGeometry))) {
            KoSmokeSession::stop(m_first);
            QSKIP("xdotool missing: the close button was not clicked");
        }
        QVERIFY(m_first->waitForFinished(30000));
        QCOMPARE(m_first->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_first->exitCode(), 0);
        QVERIFY(KoSmokeSession::usageLogs(m_firstHome).contains("\"ExitApp\""));
        QTRY_VERIFY_WITH_TIMEOUT(m_session.programWindows().isEmpty(), 10000);
        m_first.reset();
    }

    void startAfterAKilledInstanceOpensTheWindow()
    {
        KoSmokeSession::stop(m_first);
        std::unique_ptr<QProcess> killed = m_session.startProgram(m_session.newHome());
        QVERIFY(killed->waitForStarted(10000));
        QVERIFY(!m_session.waitForWindow(killed.get()).isEmpty());
        killed->kill(); // SIGKILL: its single-instance segment stays behind
        QVERIFY(killed->waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(m_session.programWindows().isEmpty(), 10000);

        m_after = m_session.startProgram(m_session.newHome());
        QVERIFY(m_after->waitForStarted(10000));
        const QRect geometry = m_session.waitForWindow(m_after.get());
        QVERIFY(!geometry.isEmpty());
        QVERIFY(m_session.waitForColour(titleProbe(geometry), kBrandBlue));
        m_session.saveScreenshot("smoke-after-kill");
        QCOMPARE(m_after->state(), QProcess::Running);

        if (m_session.clickAt(closeButton(geometry))) {
            QVERIFY(m_after->waitForFinished(30000));
            QCOMPARE(m_after->exitCode(), 0);
        }
        KoSmokeSession::stop(m_after);
    }

    void cleanupTestCase()
    {
        KoSmokeSession::stop(m_first);
        KoSmokeSession::stop(m_after);
    }
};

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
