#include <QtTest>
#include <QtWidgets>

#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "app/KoThisMachineInfo.h"
#include "client/KoClientHelper.h"
#include "net/KoAutoUpdateTool.h"
#include "net/KoNetworkObject.h"
#include "net/KoUser.h"
#include "net/KoUserActionRecord.h"
#include "support/KoAlertHelpers.h"
#include "support/KoTestHttpServer.h"
#include "ui/KoNativeWindow.h"
#include "ui/KoSystemTray.h"
#include "ui/KoUiV3AlertDialog.h"
#include "ui/KoUiV3DiskWidget.h"
#include "ui/KoUiV3HomeWidget.h"
#include "ui/transfer/KoUiV3TransferWidget.h"

namespace {
using KoModal::openAlerts;
using KoModal::usageLogText;
using KoModal::whenAlertOpen;
} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

    KoTestHttpServer m_server;

    static QPushButton* button(QWidget* w, const char* name)
    {
        return w->findChild<QPushButton*>(QLatin1String(name));
    }

    static void checkPage(KoNativeWindow* w, int page)
    {
        QWidget* pages[3] = {w->findChild<KoUiV3HomeWidget*>(), w->findChild<KoUiV3DiskWidget*>(),
                             w->findChild<KoUiV3TransferWidget*>()};
        const char* buttons[3] = {"btnHome", "btnUDisk", "btnTransferList"};
        for (int i = 0; i < 3; ++i) {
            QVERIFY(pages[i]);
            QCOMPARE(pages[i]->isVisibleTo(w), i == page);
            QCOMPARE(button(w, buttons[i])->isChecked(), i == page);
        }
    }

private slots:
    void initTestCase()
    {
        // Every server the window's services talk to is a loopback fake.
        m_server.setHandler([](const KoTestRequest&) { return KoTestResponse::raw("no", 404, "text/plain"); });
        QVERIFY(m_server.listen());
        KoServerConfig::setAccountBaseUrl(m_server.baseUrl() + "/dedizo/");
        KoServerConfig::setRelayBaseUrl(m_server.baseUrl() + "/reraze/");
        KoServerConfig::setUpdateBaseUrl(m_server.baseUrl() + "/update/");
    }

    void switchesPages()
    {
        KoNativeWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // Clicking the current page's button leaves it checked.
        for (const char* name : {"btnUDisk", "btnUDisk", "btnTransferList", "btnHome", "btnHome"}) {
            button(&w, name)->click();
            checkPage(&w, QByteArray(name) == "btnHome" ? 0 : QByteArray(name) == "btnUDisk" ? 1 : 2);
        }

        // The transfer dot shows while transfers run; clicking it opens the transfer page.
        auto* dot = w.findChild<QLabel*>("transferPoint");
        QVERIFY(QMetaObject::invokeMethod(&w, "onTransferCountChanged", Q_ARG(int, 0), Q_ARG(int, 0)));
        QVERIFY(!dot->isVisible());
        QVERIFY(QMetaObject::invokeMethod(&w, "onTransferCountChanged", Q_ARG(int, 0), Q_ARG(int, 1)));
        QVERIFY(dot->isVisible());
        QTest::mouseClick(dot, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
        checkPage(&w, 2);
    }

    void anotherClientBringsTheWindowBack()
    {
        KoNativeWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.showMinimized();
        QTRY_VERIFY(w.isMinimized());
        w.onAnotherClient();
        QTRY_VERIFY(!w.isMinimized());
        QVERIFY(w.isVisible());
        // The tray's "open" does the same.
        w.hide();
        QVERIFY(QMetaObject::invokeMethod(KoSystemTray::getInstance(), "showApplication"));
        QVERIFY(w.isVisible());
    }

    void versionAlertOnceAtATime()
    {
        KoNativeWindow w;
        w.onMsgVersionNotMatch(0);
        QVERIFY(openAlerts().isEmpty());
        int seen = 0;
        QString text;
        // The phone's app is older (-1), then this client (2); each mismatch alerts once.
        for (int side : {-1, 2}) {
            whenAlertOpen([&](KoUiV3AlertDialog* alert) {
                ++seen;
                text = alert->findChild<QLabel*>("textLabel")->text();
                // A second mismatch while the first alert is open is dropped.
                w.onMsgVersionNotMatch(1);
                QCOMPARE(openAlerts().size(), 1);
                alert->reject();
            });
            w.onMsgVersionNotMatch(side);
            QCOMPARE(text,
                     side < 0 ? QString::fromUtf8("对方APP版本过低, 请提醒对方升级APP")
                              : QString::fromUtf8("当前客户端版本过低, 请前往官网下载最新版客户端"));
        }
        QCOMPARE(seen, 2);
    }

    void newVersionAsksAndUpToDateTells()
    {
        KoNativeWindow w;
        QString text;
        whenAlertOpen([&](KoUiV3AlertDialog* alert) {
            text = alert->findChild<QLabel*>("textLabel")->text();
            alert->findChild<QPushButton*>("btnCancel")->click();
        });
        w.onNewVersion();
        QVERIFY2(text.startsWith(QString::fromUtf8("检测到新版本 ")), qPrintable(text));

        whenAlertOpen([&](KoUiV3AlertDialog* alert) {
            text = alert->findChild<QLabel*>("textLabel")->text();
            alert->reject();
        });
        w.onNotNewVersion();
        QCOMPARE(text, QString::fromUtf8("已经是最新版本"));
    }

    void failedCheckByHandSaysSo()
    {
        // The update site answers 404: nothing is known about newer versions.
        KoNativeWindow w;
        QString text;
        whenAlertOpen([&](KoUiV3AlertDialog* alert) {
            text = alert->findChild<QLabel*>("textLabel")->text();
            alert->reject();
        });
        KoAutoUpdateTool::getInstance()->checkIsUpdateManually();
        QTRY_VERIFY(!text.isEmpty());
        QCOMPARE(text, QString::fromUtf8("网络异常, 请检查网络连接后重试"));
    }

    void logoutShowsTheDefaultHead()
    {
        KoNativeWindow w;
        QPushButton* head = button(&w, "btnHead");
        const QImage byDefault = QIcon(":/ui_v3/images/default_avator_small").pixmap(20, 20).toImage();
        head->setIcon(QIcon());
        QVERIFY(QMetaObject::invokeMethod(&w, "onUsrLogout"));
        QCOMPARE(head->icon().pixmap(20, 20).toImage(), byDefault);
        // A failed (re-)login signs out: the head goes too.
        head->setIcon(QIcon());
        QVERIFY(QMetaObject::invokeMethod(&w, "onUsrLogin", Q_ARG(int, 1)));
        QCOMPARE(head->icon().pixmap(20, 20).toImage(), byDefault);
    }

    void trayQuitDuringCloseIsLeftToTheClose()
    {
        KoNativeWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int before = usageLogText().count("\"ExitApp\"");
        // "退出" while the close waits for its eject requests.
        QTimer::singleShot(20, [] { QMetaObject::invokeMethod(KoSystemTray::getInstance(), "closeApplication"); });
        QVERIFY(w.close());
        QVERIFY(!w.isVisible());
        QCOMPARE(usageLogText().count("\"ExitApp\""), before + 1);
        // The quit neither cut the wait short nor told the application to exit.
        QEventLoop probe;
        QTimer::singleShot(0, &probe, &QEventLoop::quit);
        QCOMPARE(probe.exec(), 0);
    }

    void shutDownDeletesPagesThenServicesInOrder()
    {
        auto* w = new KoNativeWindow;
        QStringList order;
        const auto track = [&order](QObject* object, const QString& name) {
            QVERIFY(object);
            connect(object, &QObject::destroyed, [&order, name] { order << name; });
        };
        track(w->findChild<KoUiV3HomeWidget*>(), "home");
        track(w->findChild<KoUiV3DiskWidget*>(), "disk");
        track(w->findChild<KoUiV3TransferWidget*>(), "transfer");
        track(KoClientHelper::getInstance(), "KoClientHelper");
        track(KoAutoUpdateTool::getInstance(), "KoAutoUpdateTool");
        track(KoUserActionRecord::getInstance(), "KoUserActionRecord");
        track(KoUser::getInstance(), "KoUser");
        track(KoNetworkObject::getInstance(), "KoNetworkObject");
        track(KoThisMachineInfo::getInstance(), "KoThisMachineInfo");
        track(KoSettings::getInstance(), "KoSettings");
        track(KoSystemTray::getInstance(), "KoSystemTray");
        delete w;
        QCOMPARE(order,
                 QStringList({"home", "disk", "transfer", "KoClientHelper", "KoAutoUpdateTool", "KoUserActionRecord",
                              "KoUser", "KoNetworkObject", "KoThisMachineInfo", "KoSettings", "KoSystemTray"}));
        QVERIFY(!KoSettings::hasInstance());
    }

    void serviceDeletedByItsOwnerIsSkipped()
    {
        auto* w = new KoNativeWindow;
        QPointer<KoClientHelper> client = KoClientHelper::getInstance();
        QStringList order;
        connect(KoAutoUpdateTool::getInstance(), &QObject::destroyed, [&order] { order << "update"; });
        // Its owner deletes the phone client early (as the operation manager does at exit).
        delete KoClientHelper::getInstance();
        QVERIFY(client.isNull());
        delete w; // must neither free it twice nor create it again
        QCOMPARE(order, QStringList({"update"}));
    }

    void windowCanBeBuiltAgainAfterShutDown()
    {
        // Every instance pointer was cleared: the next window gets fresh services.
        for (int round = 0; round < 2; ++round) {
            KoNativeWindow w;
            QVERIFY(KoSystemTray::getInstance()->contextMenu());
            QVERIFY(KoThisMachineInfo::getInstance()->getDeviceName().startsWith("Mac_"));
        }
        QVERIFY(!KoSettings::hasInstance());
    }

    // Last: the tray's quit exits the event loop (the application stays marked as leaving).
    void trayQuitEjectsRecordsAndExitsWithZero()
    {
        KoNativeWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int before = usageLogText().count("\"ExitApp\"");
        QTimer::singleShot(0, [] { QMetaObject::invokeMethod(KoSystemTray::getInstance(), "closeApplication"); });
        // A close while the quit waits for its eject requests is left to the quit.
        bool closedMeanwhile = true;
        QTimer::singleShot(20, [&w, &closedMeanwhile] { closedMeanwhile = w.close(); });
        QEventLoop loop;
        QCOMPARE(loop.exec(), 0);
        QVERIFY(!closedMeanwhile);
        QVERIFY(w.isVisible());
        QCOMPARE(usageLogText().count("\"ExitApp\""), before + 1);
        // The window is not closed first; a later close does not record a second exit.
        w.close();
        QCOMPARE(usageLogText().count("\"ExitApp\""), before + 1);
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
