#include "support/KoSmokeBrowser.h"

#include <QColor>
#include <QElapsedTimer>
#include <QTest>

namespace {
const QColor kSelectedRow("#dbe9ff");
const QColor kToolBar("#f6f6f6");
const int kTitleHeight = 48;
} // namespace

QPoint KoSmokeBrowser::findToolBar(const QImage& screen, const QRect& window)
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

// Each button is a white box, so its columns are painted over nearly the bar's whole middle.
QList<QPoint> KoSmokeBrowser::toolButtons(const QImage& screen, const QPoint& toolBar)
{
    QList<QPoint> centres;
    int start = -1;
    for (int x = toolBar.x() + 1; x < toolBar.x() + 700; ++x) {
        int painted = 0;
        for (int y = toolBar.y() + 10; y < toolBar.y() + 30; ++y)
            painted += screen.pixelColor(x, y) != kToolBar;
        if (painted >= 18 && start < 0)
            start = x;
        if (painted < 18 && start >= 0) {
            if (x - start > 30)
                centres << QPoint((start + x) / 2, toolBar.y() + 20);
            start = -1;
        }
    }
    return centres;
}

bool KoSmokeBrowser::waitFor(const QByteArray& line, int n, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (pairing.count(line) < n && timer.elapsed() < timeoutMs)
        QTest::qWait(50);
    return pairing.count(line) >= n;
}

QString KoSmokeBrowser::openHome(KoSmokeSession& session, const QStringList& phoneArgs, const QString& homeShot)
{
    QString why;
    if (!session.pairFakePhone(phoneArgs, homeShot, &pairing, &why))
        return why;
    const QRect window = pairing.window;
    // The first row of the connected-phones list, once the phone is shown.
    if (!session.waitForColour(window.topLeft() + QPoint(175, kTitleHeight + 40 + 4), kSelectedRow, 30000))
        return QStringLiteral(
            "the connected-phones page did not show the paired phone, so it cannot host the browser");
    // The browser asks for the phone's categories and shows them as tiles, "手机存储" first.
    if (!waitFor("lan listCategory\n", 1))
        return QStringLiteral("the browser never listed the phone's categories");
    QElapsedTimer finding;
    finding.start();
    while ((toolBar = findToolBar(session.screen(), window)).isNull() && finding.elapsed() < 20000)
        QTest::qWait(100);
    if (toolBar.isNull())
        return QStringLiteral("the browser's tool bar never showed");
    // Tool bar 40, state bar 30, line 2, select-all strip 32; tiles are 128 square.
    firstTile = toolBar + QPoint(4 + 64, 40 + 30 + 2 + 32 + 64);
    return QString();
}

QString KoSmokeBrowser::openStorage(KoSmokeSession& session, const QString& phoneRoot, const QString& homeShot)
{
    const QString why = openHome(session, {"--root", phoneRoot}, homeShot);
    if (!why.isEmpty())
        return why;
    const int listings = pairing.count("lan getDirectory /\n");
    if (!session.doubleClickAt(firstTile) || !waitFor("lan getDirectory /\n", listings + 1))
        return QStringLiteral("\"手机存储\" did not open");
    return QString();
}
