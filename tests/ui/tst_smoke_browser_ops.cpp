#include <QtTest>

#include "support/KoSmokeBrowser.h"

// File operations in the real program on a virtual display against a paired fake phone: a file
// is downloaded through the tool bar and the chooser, and a new folder is made and named.
namespace {
const QColor kToolBar("#f6f6f6");

// Centres of the tool bar's buttons from the left ("上传文件", "新建文件夹", "下载文件", ...):
// runs of painted pixels along the bar's middle, apart by more than a glyph's gap.
QList<QPoint> toolButtons(const QImage& screen, const QPoint& toolBar)
{
    QList<QPoint> centres;
    const int y = toolBar.y() + 20;
    int start = -1, last = -1;
    for (int x = toolBar.x() + 1; x < toolBar.x() + 700; ++x) {
        if (screen.pixelColor(x, y) == kToolBar && screen.pixelColor(x, y - 3) == kToolBar
            && screen.pixelColor(x, y + 3) == kToolBar)
            continue;
        if (start >= 0 && x - last > 12) {
            centres << QPoint((start + last) / 2, y);
            start = -1;
        }
        if (start < 0)
            start = x;
        last = x;
    }
    if (start >= 0)
        centres << QPoint((start + last) / 2, y);
    return centres;
}
} // namespace

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
        QTest::qWait(500); // no state to wait for outside the program: let the folder paint
        const QList<QPoint> buttons = toolButtons(m_session.screen(), browser.toolBar);
        QVERIFY2(buttons.size() >= 3, "the tool bar shows no upload, new-folder and download buttons");

        // The only file is the first tile: select it, download it into a folder typed into the chooser.
        QVERIFY(m_session.clickAt(browser.firstTile));
        const int windows = m_session.programWindows().size();
        QVERIFY(m_session.clickAt(buttons.at(2)));
        QTRY_VERIFY_WITH_TIMEOUT(m_session.programWindows().size() > windows, 10000);
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
        QVERIFY(browser.waitFor("lan newFolder\n", 1));
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
