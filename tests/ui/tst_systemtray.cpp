// The tray icon: menu, signals, and notices where the platform has no tray.
#include "ui/KoSystemTray.h"
#include "ui/widgets/KoToastWidget.h"

#include <QtTest>
#include <QtWidgets>

class TestSystemTray : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        const bool notices = QByteArray(QTest::currentTestFunction()).startsWith("notice");
        if (notices && QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages())
            QSKIP("this platform shows tray messages itself");
    }
    void cleanupTestCase() { delete KoSystemTray::getInstance(); }

    void activationAndMenu()
    {
        KoSystemTray* tray = KoSystemTray::getInstance();
        QSignalSpy show(tray, &KoSystemTray::showApplication);
        QSignalSpy close(tray, &KoSystemTray::closeApplication);
        for (auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
            emit tray->activated(reason);
        QCOMPARE(show.count(), 0);
        emit tray->activated(QSystemTrayIcon::Trigger);
        emit tray->activated(QSystemTrayIcon::DoubleClick);
        QCOMPARE(show.count(), 2);
        const QList<QAction*> actions = tray->contextMenu()->actions();
        actions[0]->trigger();
        QCOMPARE(close.count(), 1);
        actions[2]->trigger();
        QCOMPARE(show.count(), 3);
        QCOMPARE(close.count(), 1);
    }

    void noticesAreKeptWithoutATray()
    {
        KoSystemTray* tray = KoSystemTray::getInstance();
        // Only the latest few are kept, oldest dropped first.
        for (int i = 0; i < KoSystemTray::kKeptNotices + 5; ++i)
            tray->showMessage(QStringLiteral("t"), QString::number(i), 3000);
        QCOMPARE(tray->recentNotices().size(), KoSystemTray::kKeptNotices);
        QCOMPARE(tray->recentNotices().first().text, QString::number(5));
        QCOMPARE(tray->recentNotices().last().text, QString::number(KoSystemTray::kKeptNotices + 4));
    }

    void noticeShowsOnTheNoticeWidget()
    {
        KoSystemTray* tray = KoSystemTray::getInstance();
        {
            QWidget window;
            window.resize(960, 600);
            window.show();
            tray->setNoticeWidget(&window);
            tray->showMessage(QStringLiteral("柯沃vu V3.2.0"), QStringLiteral("小米手机 已断开连接"), 3000);
            auto* toast = window.findChild<KoToastWidget*>();
            QVERIFY(toast && toast->isVisible());
            tray->showMessage(QStringLiteral("柯沃vu V3.2.0"), QStringLiteral("全部上传任务已完成"), 3000);
            QCOMPARE(window.findChildren<KoToastWidget*>().size(), 1);
            QCOMPARE(toast->findChild<QLabel*>(QStringLiteral("messageLabel"))->text(),
                     QStringLiteral("柯沃vu V3.2.0: 全部上传任务已完成"));
        }
        // The window is gone: notices are still kept, nothing touches the dead widget.
        tray->showMessage(QStringLiteral("t"), QStringLiteral("after"), 3000);
        QCOMPARE(tray->recentNotices().last().text, QStringLiteral("after"));
        tray->setNoticeWidget(nullptr);
    }
};

QTEST_MAIN(TestSystemTray)
#include "tst_systemtray.moc"
