#include <QtTest>

#include "support/KoSmokeBrowser.h"

// File operations in the real program on a virtual display against a paired fake phone: a file
// is downloaded through the tool bar and the chooser, and a new folder is made and named.

class TestSmokeBrowserOps : public QObject
{
    Q_OBJECT

    KoSmokeSession m_session;
    QTemporaryDir m_phoneRoot;
    QTemporaryDir m_downloads;

private slots:
    void initTestCase()
    {
        QString why;
        if (!m_session.start(&why))
            QSKIP(qPrintable(why));
        if (!m_session.hasXdotool() || QStandardPaths::findExecutable("zbarimg").isEmpty())
            QSKIP("xdotool or zbarimg missing");
        QFile file(m_phoneRoot.filePath("report.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray("phone report\n").repeated(300)) > 0);
    }

    void downloadAndNewFolder()
    {
        KoSmokeBrowser browser;
        const QString why = browser.openStorage(m_session, m_phoneRoot.path(), "smoke_browser_ops_home");
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        // The only file is the first tile: selecting it brings the download button.
        QVERIFY(m_session.clickAt(browser.firstTile));
        QList<QPoint> buttons;
        QTRY_VERIFY_WITH_TIMEOUT(
            (buttons = KoSmokeBrowser::toolButtons(m_session.screen(), browser.toolBar)).size() >= 3, 10000);
        const int windows = m_session.programWindows().size();
        QVERIFY(m_session.clickAt(buttons.at(2)));
        QTRY_VERIFY_WITH_TIMEOUT(m_session.programWindows().size() > windows, 10000);
        m_session.saveScreenshot("smoke_browser_ops_chooser");
        QVERIFY(m_session.typeText(m_downloads.path()));
        QVERIFY(m_session.key("Return"));
        const QString arrived = m_downloads.filePath("report.txt");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(arrived).size() == QFileInfo(m_phoneRoot.filePath("report.txt")).size(),
                                 20000);
        QFile got(arrived), sent(m_phoneRoot.filePath("report.txt"));
        QVERIFY(got.open(QIODevice::ReadOnly) && sent.open(QIODevice::ReadOnly));
        QCOMPARE(got.readAll(), sent.readAll());

        // A new folder opens its name for editing; what is typed is the folder's name.
        QVERIFY(m_session.clickAt(buttons.at(1)));
        m_session.saveScreenshot("smoke_browser_ops_mkdir");
        QVERIFY(browser.waitFor("lan newFolder /", 1));
        QVERIFY(m_session.key("ctrl+a"));
        QVERIFY(m_session.typeText("smokedir"));
        QVERIFY(m_session.key("Return"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(m_phoneRoot.filePath("smokedir")).isDir(), 20000);
        QTest::qWait(500);
        m_session.saveScreenshot("smoke_browser_ops");
    }
};

QTEST_GUILESS_MAIN(TestSmokeBrowserOps)
#include "tst_smoke_browser_ops.moc"
