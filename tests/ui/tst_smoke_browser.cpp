#include <QtTest>

#include "support/KoSmokeBrowser.h"

// A paired phone is browsed in the real program on a virtual display: its storage opens with a
// double click, the view switches to icons and Ctrl+R lists the folder again, all on loopback.
namespace {
const QColor kToolBar("#f6f6f6");
// Qt's chooser keeps its tool buttons at the top right: back, forward, up, new folder, list,
// details.
QPoint newFolderButton(const QRect& chooser)
{
    return chooser.topRight() + QPoint(-86, 22);
}
const int kTileStride = 136;
// The path bar's home button, below the tool bar.
const QPoint kHomeButton(77, 40 + 15);
} // namespace

class TestSmokeBrowser : public QObject
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
        for (const char* name : {"照片", "文档", "音乐"})
            QVERIFY(QDir(m_phoneRoot.path()).mkpath(QString::fromUtf8(name)));
        QFile file(m_phoneRoot.filePath(QStringLiteral("说明.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("hello") == 5);
    }

    void browseThePairedPhone()
    {
        KoSmokeBrowser browser;
        const QString why = browser.openStorage(m_session, m_phoneRoot.path(), "smoke_browser_home");
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        KoSmokePairing& pairing = browser.pairing;
        const QRect window = pairing.window;
        const QPoint toolBar = browser.toolBar;
        auto count = [&](const QByteArray& line) { return pairing.count(line); };
        QCOMPARE(count("lan getDirectory /\n"), 1);
        // The view buttons sit at the tool bar's right end: table, icons, refresh (20 wide, 16 apart).
        int right = toolBar.x();
        const QImage screen = m_session.screen();
        while (right < window.right() && screen.pixelColor(right + 1, toolBar.y() + 2) == kToolBar)
            ++right;
        const QPoint iconButton(right - 8 - 20 - 16 - 10, toolBar.y() + 20);
        QVERIFY(m_session.clickAt(iconButton - QPoint(36, 0)));
        QTest::qWait(500); // no state to wait for outside the program: let the table paint
        m_session.saveScreenshot("smoke_browser");
        QVERIFY(m_session.clickAt(iconButton));
        QTest::qWait(500);
        m_session.saveScreenshot("smoke_browser_icons");

        // Ctrl+R on the view lists the folder again.
        QVERIFY(m_session.clickAt(toolBar + QPoint(300, 40 + 30 + 2 + 32 + 150)));
        QVERIFY(m_session.key("ctrl+r"));
        QTRY_VERIFY_WITH_TIMEOUT(count("lan getDirectory /\n") == 2, 20000);

        // The upload chooser is Qt's own dialog: it speaks Qt's Chinese and opens in the home
        // folder. Its new-folder button names the folder it makes with Qt's text, so the name on
        // disk shows both.
        QList<QPoint> buttons;
        QTRY_VERIFY_WITH_TIMEOUT(!(buttons = KoSmokeBrowser::toolButtons(m_session.screen(), toolBar)).isEmpty(),
                                 10000);
        QVERIFY(m_session.clickAt(buttons.first()));
        const QRect chooser = m_session.waitForOtherWindow(window);
        QVERIFY2(!chooser.isEmpty(), "\"上传文件\" opened no chooser");
        QTest::qWait(500);
        m_session.saveScreenshot("smoke_browser_chooser");
        QVERIFY(m_session.clickAt(newFolderButton(chooser)));
        const QString made = QDir(pairing.home).filePath(QStringLiteral("新建文件夹"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(made).isDir(), 20000);
        m_session.saveScreenshot("smoke_browser_chooser_new_folder");
        // Out of the name editor, then out of the chooser: nothing chosen, nothing uploaded.
        QVERIFY(m_session.key("Escape"));
        QVERIFY(m_session.key("Escape"));
        QTRY_COMPARE_WITH_TIMEOUT(m_session.programWindows().size(), 1, 20000);
        QCOMPARE(count("uploadFile"), 0);
        pairing.stop();
    }

    // The fake phone's sample, as the README offers it, shows every category: the albums open
    // with their thumbnails, and the SD card opens from the category home.
    void sampleShowsEveryCategory()
    {
        QTemporaryDir sample;
        QVERIFY(sample.isValid());
        KoSmokeBrowser browser;
        const QString why = browser.openHome(m_session, {"--sample", sample.path()}, "smoke_sample_home");
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        // Tiles in the phone's order: "手机存储", "相册", "SD卡", "zu".
        auto tile = [&browser](int i) { return browser.firstTile + QPoint(i * kTileStride, 0); };
        QVERIFY(m_session.doubleClickAt(tile(1)));
        QVERIFY(browser.waitFor("lan getCollections\n", 1));
        // Albums by name: "截图 📱", "旅行 🌅 厦门 2026", "相机" (six photos), "空相册".
        QVERIFY(m_session.doubleClickAt(tile(2)));
        QVERIFY(browser.waitFor("lan getThumbnail\n", 6));
        QTest::qWait(500); // no state to wait for outside the program: let the thumbnails paint
        m_session.saveScreenshot("smoke_sample_album");

        QVERIFY(m_session.clickAt(browser.toolBar + kHomeButton));
        QVERIFY(browser.waitFor("lan listCategory\n", 2));
        const int listings = browser.pairing.count("lan getDirectory /\n");
        QVERIFY(m_session.doubleClickAt(tile(2)));
        QVERIFY(browser.waitFor("lan getDirectory /\n", listings + 1));
        QTest::qWait(500);
        m_session.saveScreenshot("smoke_sample_sdcard");
        browser.pairing.stop();
    }
};

QTEST_GUILESS_MAIN(TestSmokeBrowser)
#include "tst_smoke_browser.moc"
