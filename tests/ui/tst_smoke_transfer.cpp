#include <QtTest>

#include "support/KoSmokeSession.h"
#include "support/KoTestFiles.h"
#include "support/KoTransferRecords.h"

// A returning user with a paused download and a finished upload opens the transfer list and the
// settings, turns the download notice off, and the settings file keeps it.
namespace {
const QColor kChecked("#DBE9FF");
const QColor kBrandBlue("#4d90ff");
const QPoint kTransferButton(181 + 220 + 55, 24);
const QPoint kSettingButton(960 - 69 + 8, 23);
const QPoint kDownloadMenu(90, 48 + 130);
const QPoint kDownloadMenuProbe(150, 48 + 104); // above the text, away from the cursor
// In the settings dialog: the download notice's box and "确定" of the basic page.
const QPoint kDownloadNotice(124 + 80 + 7, 40 + 36 + 10);
const QPoint kConfirm(124 + 68 + 50, 40 + 284 + 16);
} // namespace

class TestSmokeTransfer : public QObject
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

    void transferListAndSettings()
    {
        const QString home = m_session.newHome();
        KoTransferRecords::Line paused;
        paused.localPath = home + "/Downloads/IMG_1.jpg";
        KoTransferRecords::Line finished;
        finished.type = 1;
        finished.state = 2;
        finished.name = "report.pdf";
        finished.finishedTime = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(KoTestFiles::writeFile(home + "/.local/share/Brindle/ReRaze/fileConvertData.KoInfo",
                                       KoTransferRecords::line(paused) + KoTransferRecords::line(finished)));

        const QRect window = m_session.launch(m_program, home);
        QVERIFY2(!window.isEmpty(), "no program window");
        QVERIFY(m_session.waitForColour(window.topLeft() + QPoint(600, 24), kBrandBlue));

        QVERIFY(m_session.clickAt(window.topLeft() + kTransferButton));
        QVERIFY(m_session.clickAt(window.topLeft() + kDownloadMenu));
        const bool shown = m_session.waitForColour(window.topLeft() + kDownloadMenuProbe, kChecked);
        m_session.saveScreenshot("smoke_transfer");
        QVERIFY(shown);

        QVERIFY(m_session.clickAt(window.topLeft() + kSettingButton));
        const QRect dialog = m_session.waitForWindowOfSize(QSize(540, 400));
        QVERIFY(!dialog.isEmpty());
        QVERIFY(m_session.waitForColour(dialog.topLeft() + QPoint(270, 30), kBrandBlue));
        m_session.saveScreenshot("smoke_settings");
        QVERIFY(m_session.clickAt(dialog.topLeft() + kDownloadNotice));
        QVERIFY(m_session.clickAt(dialog.topLeft() + kConfirm));
        QTRY_VERIFY_WITH_TIMEOUT(!m_session.programWindows().contains(dialog), 20000);

        const QString file = home + "/.config/Brindle/ReRaze.conf";
        QTRY_VERIFY_WITH_TIMEOUT(QSettings(file, QSettings::IniFormat).value("notify/download").toString() == "false",
                                 20000);
        QCOMPARE(QSettings(file, QSettings::IniFormat).value("notify/upload").toString(), QString("true"));
        KoSmokeSession::stop(m_program);
    }

    void cleanupTestCase() { KoSmokeSession::stop(m_program); }
};

QTEST_GUILESS_MAIN(TestSmokeTransfer)
#include "tst_smoke_transfer.moc"
