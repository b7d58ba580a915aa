#include <QtTest>

#include "support/KoSmokeSession.h"

// A new user pairs a phone by the QR code on the home page and disconnects it again, with the
// real program on a virtual display and the runnable fake phone, all on loopback.
namespace {
const QColor kSelectedRow("#dbe9ff");
const int kTitleHeight = 48;
const int kListTop = kTitleHeight + 40; // below the list's header
// Inside the first row of the device list, clear of its icon and texts.
QPoint rowProbe(const QRect& window) { return window.topLeft() + QPoint(175, kListTop + 4); }
// The first row's disconnect button (the list is 180 wide, the row 60 high).
QPoint disconnectButton(const QRect& window) { return window.topLeft() + QPoint(179 - 16, kListTop + 29); }
}

class TestSmokePages : public QObject
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
    }

    void pairByQrCodeAndDisconnect()
    {
        KoSmokePairing pairing;
        QString why;
        QVERIFY2(m_session.pairFakePhone(m_phoneRoot.path(), "smoke_home", &pairing, &why), qPrintable(why));
        QCOMPARE(pairing.qr.value("deviceType").toInt(), 1);
        const QRect window = pairing.window;
        auto logged = [&](const QByteArray& what) { return pairing.count(what) > 0; };

        // The window switches to "zu" and shows the phone, its row selected.
        QVERIFY(m_session.waitForColour(rowProbe(window), kSelectedRow, 30000));
        m_session.saveScreenshot("smoke_phones");

        QVERIFY(m_session.clickAt(disconnectButton(window)));
        QTRY_VERIFY_WITH_TIMEOUT(logged("disconnDisk"), 20000);
        // The row is gone and the panel is back.
        QVERIFY(m_session.waitForColour(rowProbe(window), Qt::white, 20000));
        m_session.saveScreenshot("smoke_phones_disconnected");

        pairing.stop();
    }
};

QTEST_GUILESS_MAIN(TestSmokePages)
#include "tst_smoke_pages.moc"
