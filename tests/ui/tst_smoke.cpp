#include <QtTest>

#include "support/KoSmokeSession.h"

#include <csignal>

// Starts the real program as a new user would, on a virtual X display, and looks at it from
// outside: the window, a second start, the close button, a start after a crash.
namespace {
const QColor kBrandBlue("#4d90ff");
QPoint titleProbe(const QRect& window)
{
    return window.topLeft() + QPoint(600, 24);
} // between the page buttons and the tools
QPoint closeButton(const QRect& window)
{
    return window.topLeft() + QPoint(10 + 5 + 6, 18 + 6);
}
const int kGuardWaitMs = 2 * 1000 + 250; // a later start's wait for a living holder's answer

QString transferListFile(const QString& home)
{
    return home + "/.local/share/Brindle/ReRaze/fileConvertData.KoInfo";
}

// A download the last run left waiting: a start takes it back as paused, and only the
// orderly leave writes that down.
void writeWaitingDownload(const QString& home)
{
    QDir().mkpath(QFileInfo(transferListFile(home)).path());
    QFile f(transferListFile(home));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(R"({"category":9,"checksum":"","convertedSize":0,"csVersion":-1,"deviceId":"a1b2c3d4","deviceName":"P",)"
            R"("deviceType":2,"fileName":"a.jpg","fileType":76,"finishedTime":0,"haveRead":0,"localPath":")"
            + QFile::encodeName(home)
            + R"(/a.jpg","progress":0,"remotePath":"/sdcard/a.jpg","remoteServer":"",)"
              R"("state":0,"totalSize":2048,"type":0,"uid":1,"unick":"u","version":1})"
              "\n");
}

int savedState(const QString& home)
{
    QFile f(transferListFile(home));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return QJsonDocument::fromJson(f.readLine()).object().value("state").toInt(-1);
}
} // namespace

class TestSmoke : public QObject
{
    Q_OBJECT

    KoSmokeSession m_session;
    std::unique_ptr<QProcess> m_first;
    std::unique_ptr<QProcess> m_after;
    QString m_firstHome;
    QRect m_firstGeometry;
    qint64 m_freshStartMs = 0;

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
        QElapsedTimer shown;
        shown.start();
        m_firstGeometry = m_session.launch(m_first, m_firstHome);
        m_freshStartMs = shown.elapsed();
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
        std::unique_ptr<QProcess> killed;
        QVERIFY(!m_session.launch(killed, m_session.newHome()).isEmpty());
        killed->kill(); // SIGKILL: its single-instance segment stays behind
        QVERIFY(killed->waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(m_session.programWindows().isEmpty(), 10000);

        QElapsedTimer shown;
        shown.start();
        const QRect geometry = m_session.launch(m_after, m_session.newHome());
        QVERIFY(!geometry.isEmpty());
        // The segment the killed start left is no one's: taken at once, not after the guard's wait.
        QVERIFY2(shown.elapsed() < m_freshStartMs + kGuardWaitMs,
                 qPrintable(QString("fresh %1 ms, after a kill %2 ms").arg(m_freshStartMs).arg(shown.elapsed())));
        QVERIFY(m_session.waitForColour(titleProbe(geometry), kBrandBlue));
        m_session.saveScreenshot("smoke-after-kill");
        QCOMPARE(m_after->state(), QProcess::Running);

        if (m_session.clickAt(closeButton(geometry))) {
            QVERIFY(m_after->waitForFinished(30000));
            QCOMPARE(m_after->exitCode(), 0);
        }
        KoSmokeSession::stop(m_after);
    }

    void terminationSignalLeavesInOrder_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void terminationSignalLeavesInOrder()
    {
        QFETCH(int, signalNumber);
        const QString home = m_session.newHome();
        writeWaitingDownload(home);
        std::unique_ptr<QProcess> p;
        QVERIFY(!m_session.launch(p, home).isEmpty());
        QCOMPARE(savedState(home), 0);
        ::kill(pid_t(p->processId()), signalNumber);
        ::kill(pid_t(p->processId()), signalNumber); // a second one during the leave changes nothing
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        QVERIFY(KoSmokeSession::usageLogs(home).contains("\"ExitApp\""));
        QCOMPARE(savedState(home), 4);
        // The guard went with it: the next start holds the segment at once and shows its window.
        std::unique_ptr<QProcess> next;
        QVERIFY(!m_session.launch(next, m_session.newHome()).isEmpty());
        KoSmokeSession::stop(next);
    }

    void cleanupTestCase()
    {
        KoSmokeSession::stop(m_first);
        KoSmokeSession::stop(m_after);
    }
};

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
