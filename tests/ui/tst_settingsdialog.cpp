// The settings dialog: what reaches the settings store and when, the manual update check (the
// usage log and the requests the update site received), and dragging by the title band only.

#include <QtTest>
#include <QtWidgets>

#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "net/KoAutoUpdateTool.h"
#include "net/KoNetworkObject.h"
#include "net/KoUserActionRecord.h"
#include "support/KoFakeAccountServer.h"
#include "support/KoAlertHelpers.h"
#include "support/KoTestCertificates.h"
#include "ui/transfer/KoUiV3SettingDialog.h"

namespace {
const QStringList kKeys{"notify/download", "notify/upload", "policy/close"};

using KoModal::usageLogText;

using KoModal::saveArtifact;

void sendMouse(QWidget* w, QEvent::Type type, const QPoint& local, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, local, w->mapToGlobal(local), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}
} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void firstOpeningStoresTheDefaults()
    {
        KoSettings* settings = KoSettings::getInstance();
        for (const QString& key : kKeys)
            settings->remove(key);
        KoUiV3SettingDialog dialog;
        for (const QString& key : kKeys)
            QCOMPARE(settings->value(key), QVariant(true));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        saveArtifact(&dialog, "settings_common.png");
        dialog.findChild<QPushButton*>("btnVersion")->click();
        saveArtifact(&dialog, "settings_version.png");
        dialog.findChild<QPushButton*>("btnAbout")->click();
        saveArtifact(&dialog, "settings_about.png");
    }

    void onlyConfirmStores_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("stored");
        QTest::newRow("确定") << "btnCommonConfirm" << true;
        QTest::newRow("取消") << "btnCommonCancel" << false;
        QTest::newRow("close button") << "btnClose" << false;
        QTest::newRow("Escape") << "" << false;
    }
    void onlyConfirmStores()
    {
        QFETCH(QString, how);
        QFETCH(bool, stored);
        KoSettings* settings = KoSettings::getInstance();
        settings->setNotifyDownload(true);
        settings->setNotifyUpload(true);
        settings->setClosePolicy(false);
        KoModal::whenOpen<KoUiV3SettingDialog>([how](KoUiV3SettingDialog* dialog) {
            QTest::mouseClick(dialog->findChild<QCheckBox*>("chbDownload"), Qt::LeftButton, {}, QPoint(5, 10));
            if (how.isEmpty())
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                dialog->findChild<QPushButton*>(how)->click();
        });
        KoUiV3SettingDialog dialog;
        dialog.exec();
        QCOMPARE(settings->value("notify/download").toBool(), !stored);
        QCOMPARE(settings->value("notify/upload").toBool(), true);
        // The hidden close choice is written back as it was.
        QCOMPARE(settings->value("policy/close").toBool(), false);
    }

    void checkUpdateTwiceAsksTwice()
    {
        QVERIFY(KoTestCertificates::trust());
        KoFakeUpdateSite site;
        QVERIFY(site.start());
        site.setReleaseFile(KoFakeUpdateSite::versionFile(85, "V3.2.0"));
        KoServerConfig::setUpdateBaseUrl(site.baseUrl());
        QSignalSpy answers(KoAutoUpdateTool::getInstance(), &KoAutoUpdateTool::notNewVersion);
        const int logged = usageLogText().count("\"CheckUpdate\"");
        KoUiV3SettingDialog dialog;
        dialog.show();
        dialog.findChild<QPushButton*>("btnVersion")->click();
        QPushButton* check = dialog.findChild<QPushButton*>("btnCheckVersion");
        check->click();
        QTRY_COMPARE(answers.count(), 1);
        check->click();
        QTRY_COMPARE(answers.count(), 2);
        QCOMPARE(site.http()->requests().size(), 2);
        QCOMPARE(site.http()->requests().last().pathOnly(), site.releasePath());
        QTRY_COMPARE(usageLogText().count("\"CheckUpdate\""), logged + 2);
        QVERIFY(dialog.isVisible());
        delete KoAutoUpdateTool::getInstance();
    }

    void dragsOnlyByTheTitleBand_data()
    {
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("moves");
        QTest::newRow("band's last row") << QPoint(300, 39) << int(Qt::LeftButton) << true;
        QTest::newRow("below the band") << QPoint(300, 41) << int(Qt::LeftButton) << false;
        QTest::newRow("right button") << QPoint(200, 20) << int(Qt::RightButton) << false;
    }
    void dragsOnlyByTheTitleBand()
    {
        QFETCH(QPoint, press);
        QFETCH(int, button);
        QFETCH(bool, moves);
        KoUiV3SettingDialog dialog;
        dialog.move(100, 100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QPoint start = dialog.pos();
        const auto b = Qt::MouseButton(button);
        sendMouse(&dialog, QEvent::MouseButtonPress, press, b, b);
        sendMouse(&dialog, QEvent::MouseMove, press + QPoint(30, 20), Qt::NoButton, b);
        sendMouse(&dialog, QEvent::MouseButtonRelease, press + QPoint(30, 20), b, Qt::NoButton);
        QTRY_COMPARE(dialog.pos(), moves ? start + QPoint(30, 20) : start);
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
