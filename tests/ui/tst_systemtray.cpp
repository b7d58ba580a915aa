// The tray icon: menu, signals, and notices where the platform has no tray.
#include "ui/KoSystemTray.h"
#include "ui/widgets/KoToastWidget.h"

#include <QtTest>
#include <QtWidgets>

class TestSystemTray : public QObject
{
    Q_OBJECT

private slots:
    void activationReasons();
    void menuActions();
    void noticesAreKeptWithoutATray();
    void noticeShowsOnTheNoticeWidget();
    void deleteClearsTheInstance();
    void cleanupTestCase();
};

void TestSystemTray::activationReasons()
{
    KoSystemTray* tray = KoSystemTray::getInstance();
    QSignalSpy show(tray, &KoSystemTray::showApplication);
    QSignalSpy close(tray, &KoSystemTray::closeApplication);
    emit tray->activated(QSystemTrayIcon::Context);
    emit tray->activated(QSystemTrayIcon::MiddleClick);
    emit tray->activated(QSystemTrayIcon::Unknown);
    QCOMPARE(show.count(), 0);
    emit tray->activated(QSystemTrayIcon::Trigger);
    QCOMPARE(show.count(), 1);
    emit tray->activated(QSystemTrayIcon::DoubleClick);
    QCOMPARE(show.count(), 2);
    QCOMPARE(close.count(), 0);
}

void TestSystemTray::menuActions()
{
    KoSystemTray* tray = KoSystemTray::getInstance();
    QSignalSpy show(tray, &KoSystemTray::showApplication);
    QSignalSpy close(tray, &KoSystemTray::closeApplication);
    const QList<QAction*> actions = tray->contextMenu()->actions();
    actions[0]->trigger();
    QCOMPARE(close.count(), 1);
    QCOMPARE(show.count(), 0);
    actions[2]->trigger();
    QCOMPARE(show.count(), 1);
    QCOMPARE(close.count(), 1);
}

void TestSystemTray::noticesAreKeptWithoutATray()
{
    if (QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages())
        QSKIP("this platform shows tray messages itself");
    KoSystemTray* tray = KoSystemTray::getInstance();
    const int before = tray->recentNotices().size();
    tray->showMessage(QStringLiteral("柯沃vu V3.2.0"), QStringLiteral("全部下载任务已完成"), 3000);
    QCOMPARE(tray->recentNotices().size(), before + 1);
    QCOMPARE(tray->recentNotices().last().title, QStringLiteral("柯沃vu V3.2.0"));
    QCOMPARE(tray->recentNotices().last().text, QStringLiteral("全部下载任务已完成"));

    // Only the latest few are kept, oldest dropped first.
    for (int i = 0; i < KoSystemTray::kKeptNotices + 5; ++i)
        tray->showMessage(QStringLiteral("t"), QString::number(i), 3000);
    QCOMPARE(tray->recentNotices().size(), KoSystemTray::kKeptNotices);
    QCOMPARE(tray->recentNotices().first().text, QString::number(5));
    QCOMPARE(tray->recentNotices().last().text, QString::number(KoSystemTray::kKeptNotices + 4));
}

void TestSystemTray::noticeShowsOnTheNoticeWidget()
{
    if (QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages())
        QSKIP("this platform shows tray messages itself");
    KoSystemTray* tray = KoSystemTray::getInstance();
    {
        QWidget window;
        window.resize(960, 600);
        window.show();
        tray->setNoticeWidget(&window);
        tray->showMessage(QStringLiteral("柯沃vu V3.2.0"), QStringLiteral("小米手机 已断开连接"), 3000);
        auto* toast = window.findChild<KoToastWidget*>();
        QVERIFY(toast);
        QVERIFY(toast->isVisible());
        auto* label = toast->findChild<QLabel*>(QStringLiteral("messageLabel"));
        QCOMPARE(label->text(), QStringLiteral("柯沃vu V3.2.0: 小米手机 已断开连接"));
        tray->showMessage(QStringLiteral("柯沃vu V3.2.0"), QStringLiteral("全部上传任务已完成"), 3000);
        QCOMPARE(window.findChildren<KoToastWidget*>().size(), 1);
        QCOMPARE(label->text(), QStringLiteral("柯沃vu V3.2.0: 全部上传任务已完成"));
    }
    // The window is gone: notices are still kept, nothing touches the dead widget.
    tray->showMessage(QStringLiteral("t"), QStringLiteral("after"), 3000);
    QCOMPARE(tray->recentNotices().last().text, QStringLiteral("after"));
    tray->setNoticeWidget(nullptr);
}

void TestSystemTray::deleteClearsTheInstance()
{
    KoSystemTray* first = KoSystemTray::getInstance();
    delete first;
    KoSystemTray* second = KoSystemTray::getInstance();
    QVERIFY(second);
    QVERIFY(second->contextMenu());
    QVERIFY(second->recentNotices().isEmpty());
}

void TestSystemTray::cleanupTestCase()
{
    delete KoSystemTray::getInstance();
}

QTEST_MAIN(TestSystemTray)
#include "tst_systemtray.moc"
