#include <QtTest>

#include "support/KoSmokeSession.h"

// A paired phone is browsed in the real program on a virtual display: its storage opens with a
// double click, the view switches to icons and Ctrl+R lists the folder again, all on loopback.
namespace {
const QColor kSelectedRow("#dbe9ff");
const QColor kToolBar("#f6f6f6");
const int kTitleHeight = 48;
// The first row of the connected-phones list, once the phone is shown.
QPoint rowProbe(const QRect& window) { return window.topLeft() + QPoint(175, kTitleHeight + 40 + 4); }

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
}

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
        KoSmokePairing pairing;
        QString why;
        if (!m_session.pairFakePhone(m_phoneRoot.path(), "smoke_browser_home", &pairing, &why))
            QSKIP(qPrintable(why));
        const QRect window = pairing.window;
        auto count = [&](const QByteArray& line) { return pairing.count(line); };

        if (!m_session.waitForColour(rowProbe(window), kSelectedRow, 30000)) {
            pairing.stop();
            QSKIP("the connected-phones page did not show the paired phone, so it cannot host the browser");
        }
        // The browser asks for the phone's categories and shows "手机存储" as the first tile.
        QTRY_VERIFY_WITH_TIMEOUT(count("lan listCategory\n") >= 1, 20000);
        QPoint toolBar;
        QTRY_VERIFY_WITH_TIMEOUT(!(toolBar = findToolBar(m_session.screen(), window)).isNull(), 20000);
        // Tool bar 40, state bar 30, line 2, select-all strip 32; category tiles are 128 square.
        const QPoint firstTile = toolBar + QPoint(4 + 64, 40 + 30 + 2 + 32 + 64);
        QVERIFY(m_session.doubleClickAt(firstTile));
        QTRY_VERIFY_WITH_TIMEOUT(count("lan getDirectory /\n") == 1, 20000);
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
        pairing.stop();
    }
};

QTEST_GUILESS_MAIN(TestSmokeBrowser)
#include "tst_smoke_browser.moc"
