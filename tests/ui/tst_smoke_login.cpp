#include <QtTest>

#include "support/KoSmokeSession.h"

// A new user without a network signs in: the head button opens the login dialog, and the
// failed request shows its red line within the request deadline.
namespace {
const QColor kRed("#f75555");
const int kDeadlineMs = 5000;
QPoint headButton(const QRect& window)
{
    return window.topLeft() + QPoint(960 - 69 + 28 + 10, 12 + 10);
}
} // namespace

class TestSmokeLogin : public QObject
{
    Q_OBJECT

    KoSmokeSession m_session;
    std::unique_ptr<QProcess> m_program;

private slots:
    void initTestCase()
    {
        QString why;
        if (!m_session.start(&why, {"xdotool"}))
            QSKIP(qPrintable(why));
    }

    void loginWithoutNetworkShowsTheRedLine()
    {
        const QRect window = m_session.launch(m_program, m_session.newHome());
        QVERIFY2(!window.isEmpty(), "the main window never came");

        QVERIFY(m_session.clickAt(headButton(window)));
        const QRect dialog = m_session.waitForWindowOfSize(QSize(250, 300));
        QVERIFY2(!dialog.isEmpty(), "the head button opened no login dialog");
        m_session.saveScreenshot("smoke_login");

        QVERIFY(m_session.clickAt(dialog.topLeft() + QPoint(125, 129)));
        QVERIFY(m_session.typeText("13800000001"));
        QVERIFY(m_session.clickAt(dialog.topLeft() + QPoint(125, 173)));
        QVERIFY(m_session.typeText("secret"));
        const QRect tips(dialog.topLeft() + QPoint(25, 200), QSize(120, 40));
        QVERIFY(!m_session.waitForColourIn(tips, kRed, 0));
        QVERIFY(m_session.clickAt(dialog.topLeft() + QPoint(125, 261)));
        QVERIFY2(m_session.waitForColourIn(tips, kRed, kDeadlineMs), "no red line within the deadline");
        m_session.saveScreenshot("smoke_login_error");
    }

    void cleanupTestCase() { KoSmokeSession::stop(m_program); }
};

QTEST_GUILESS_MAIN(TestSmokeLogin)
#include "tst_smoke_login.moc"
