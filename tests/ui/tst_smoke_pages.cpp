#include <QtTest>

#include "support/KoSmokeSession.h"

// A new user pairs a phone by the QR code on the home page and disconnects it again, with the
// real program on a virtual display and the runnable fake phone, all on loopback.
namespace {
const QColor kSelectedRow("#dbe9ff");
const int kListTop = 48 + 40; // below the title and the list's header
// Inside the first row of the device list, clear of its icon and texts.
QPoint rowProbe(const QRect& window)
{
    return window.topLeft() + QPoint(175, kListTop + 4);
}
// The first row's disconnect button (the list is 180 wide, the row 60 high).
QPoint disconnectButton(const QRect& window)
{
    return window.topLeft() + QPoint(179 - 16, kListTop + 29);
}
} // namespace

class TestSmokePages : public QObject
{
    Q_OBJECT

    KoSmokeSession m_session;
    QTemporaryDir m_phoneRoot;

private slots:
    void initTestCase()
    {
        QString why;
        if (!m_session.start(&why, {"xdotool", "zbarimg"}))
            QSKIP(qPrintable(why));
    }

    void pairByQrCodeAndDisconnect()
    {
        KoSmokePairing pairing;
        QString why;
        QVERIFY2(m_session.pairFakePhone(m_phoneRoot.path(), "smoke_home", &pairing, &why), qPrintable(why));
        const QRect window = pairing.window;

        // The window switches to "zu" and shows the phone, its row selected.
        QVERIFY(m_session.waitForColour(rowProbe(window), kSelectedRow, 30000));
        m_session.saveScreenshot("smoke_phones");

        QVERIFY(m_session.clickAt(disconnectButton(window)));
        QTRY_VERIFY_WITH_TIMEOUT(pairing.count("disconnDisk") > 0, 20000);
        // The row is gone and the panel is back.
        QVERIFY(m_session.waitForColour(rowProbe(window), Qt::white, 20000));
        m_session.saveScreenshot("smoke_phones_disconnected");
    }
};

QTEST_GUILESS_MAIN(TestSmokePages)
#include "tst_smoke_pages.moc"
