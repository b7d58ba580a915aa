#include <QtTest>
#include <QtWidgets>

#include "app/KoServerConfig.h"
#include "link/KoRemoteConnectManager.h"
#include "net/KoUser.h"
#include "support/KoDeviceWorld.h"
#include "support/KoModalHelpers.h"
#include "ui/KoSystemTray.h"
#include "ui/KoUiV3AlertDialog.h"
#include "ui/KoUiV3ConnectedFacilityDelegate.h"
#include "ui/KoUiV3DiskWidget.h"
#include "ui/KoUiV3MyFacilityDelegate.h"
#include "ui/browser/KoUiV3FileWidget.h"

#include <memory>

// The connected-phones page driven by the fake phone through the real connection manager:
// what the right part shows, which records it deletes, what the phone is told; and the row
// painting and clicks of both device delegates.
class TestDiskPage : public QObject
{
    Q_OBJECT

    KoDeviceWorld m_world;
    std::unique_ptr<KoUiV3DiskWidget> m_page;

    KoRemoteConnectManager* manager() { return KoRemoteConnectManager::getInstance(); }
    QListView* view() { return m_page->findChild<QListView*>("deviceListView"); }
    KoUiV3FileWidget* browser() { return m_page->findChild<KoUiV3FileWidget*>(); }
    QWidget* panel() { return m_page->findChild<QWidget*>("tipsWidget"); }
    QString panelText() { return m_page->findChild<QLabel*>("textLabel")->text(); }
    bool showsPhone()
    {
        return browser()->isVisible() && !panel()->isVisible() && browser()->getFacility()
            && browser()->getFacility()->getDeviceId() == KoDeviceWorld::kPhoneId;
    }
    bool pair(KoFakeLanPhone* lan = nullptr)
    {
        QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
        (lan ? lan : m_world.lan())->pair(manager()->getQrKey());
        return connected.wait(5000);
    }
    // The phone the browser shows; empty when the panel is shown.
    QString shownPhone()
    {
        if (!browser()->isVisible() || panel()->isVisible() || !browser()->getFacility())
            return QString();
        return browser()->getFacility()->getDeviceId();
    }
    int selectedRow()
    {
        const QModelIndexList rows = view()->selectionModel()->selectedIndexes();
        return rows.size() == 1 ? rows.first().row() : -1;
    }
    static QJsonObject push(const QString& id, const QString& cmd)
    {
        QJsonObject p{{"pushId", id},
                      {"cmd", cmd},
                      {"fromUid", KoDeviceWorld::kUid},
                      {"fromDeviceId", KoDeviceWorld::kPhoneId},
                      {"fromDeviceType", 2}};
        if (cmd == "NETWORK") {
            p.insert("networkType", 0);
            p.insert("policy", 0);
        }
        return p;
    }
    void continueQuery() { m_world.setPushes({push("n-1", "NETWORK")}); }
    int pushPolls()
    {
        int polls = 0;
        for (const KoTestRequest& r : m_world.relay()->http()->requests())
            polls += r.pathOnly() == "/reraze/pcPush";
        return polls;
    }

private slots:
    void initTestCase() { QVERIFY(m_world.start()); }

    void init()
    {
        // A phone that vanishes is let go within a bound short enough for a test.
        KoServerConfig::setPhoneLostMs(QByteArray(QTest::currentDataTag()) == "phone vanishes" ? 1500 : 45000);
        m_world.beginTest();
        m_page.reset(new KoUiV3DiskWidget);
        QVERIFY(KoDeviceWorld::showPage(m_page.get()));
    }

    void cleanup()
    {
        m_page.reset();
        m_world.phone()->clearScripts();
        m_world.setReport(1, true);
        QVERIFY(m_world.endTest());
    }

    void cleanupTestCase()
    {
        delete KoSystemTray::getInstance();
        KoDeviceWorld::deleteServices();
    }

    void lifecycle_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("nick");
        QTest::addColumn<bool>("stillShown");
        QTest::addColumn<QString>("toldToLeave"); // the phone's LAN request or the relay's
        QTest::addColumn<QString>("notice");

        const QString nick = QString::fromUtf8(KoDeviceWorld::kNick);
        QTest::newRow("paired") << "none" << nick << true << "" << QString();
        QTest::newRow("leaves before it is shown") << "early eject" << nick << false << "disconnDisk" << QString();
        QTest::newRow("phone ends the connection")
            << "detach" << nick << false << "" << nick + QString::fromUtf8("已断开连接");
        // Switched off: no answer on the LAN, and the report says it is offline.
        QTest::newRow("phone vanishes") << "vanish" << nick << false << "" << nick + QString::fromUtf8("已断开连接");
        QTest::newRow("row button") << "button" << nick << false << "disconnDisk" << QString();
        // On mobile data the phone is reached through the relay.
        QTest::newRow("mobile data, no") << "query cancel"
                                         << "<b>x</b>" << false << "DISCONNECT" << QString();
        QTest::newRow("mobile data, yes") << "query confirm" << nick << true << "" << QString();
    }

    void lifecycle()
    {
        QFETCH(QString, step);
        QFETCH(QString, nick);
        QFETCH(bool, stillShown);
        QFETCH(QString, toldToLeave);
        QFETCH(QString, notice);
        m_world.lan()->setNick(nick);
        QCOMPARE(panelText(), QString::fromUtf8("连接列表为空哦..."));
        if (step == "none")
            KoModal::saveArtifact(m_page.get(), "disk_empty.png");
        if (step == "early eject") {
            // Gone (and its record with it) before the page shows it.
            connect(manager(), &KoRemoteConnectManager::deviceConnected, this,
                    [this](KoBaseFacility* f) { manager()->ejectDevice(f->getDeviceId()); });
        }
        QVERIFY(pair());
        if (step == "early eject") {
            QTest::qWait(3 * KoUiV3DiskWidget::kShowDelayMs); // past the delayed show
            QVERIFY(!browser()->isVisible());
        } else {
            QTRY_VERIFY(showsPhone());
            QCOMPARE(view()->selectionModel()->selectedIndexes().value(0).row(), 0);
            QCOMPARE(panelText(), QString::fromUtf8("打开连接列表的vu, 进行文件管理"));
        }
        if (step == "none")
            KoModal::saveArtifact(m_page.get(), "disk_phone.png");

        const int notices = KoSystemTray::getInstance()->recentNotices().size();
        QString boxText;
        if (step == "detach") {
            m_world.lan()->disconnect();
        } else if (step == "vanish") {
            m_world.phone()->setAnswer("accessable", KoTestResponse::json(QJsonObject{{"code", 2}}));
            m_world.setReport(3, false);
            manager()->refreshMyDevice();
        } else if (step == "button") {
            const QRect row = view()->visualRect(view()->model()->index(0, 0));
            const QPoint b = KoUiV3ConnectedFacilityDelegate::buttonRect(row).center();
            QTest::mousePress(view()->viewport(), Qt::LeftButton, Qt::NoModifier, b);
            QTest::mouseRelease(view()->viewport(), Qt::LeftButton, Qt::NoModifier, b);
        } else if (step.startsWith("query")) {
            const bool yes = step == "query confirm";
            KoModal::whenOpen<KoUiV3AlertDialog>([yes, &boxText](KoUiV3AlertDialog* box) {
                auto* label = box->findChild<QLabel*>("textLabel");
                boxText = label->textFormat() == Qt::PlainText ? label->text() : QString();
                box->findChild<QPushButton*>(yes ? "btnConfirm" : "btnCancel")->click();
            });
            continueQuery();
            QTRY_VERIFY(!boxText.isEmpty());
            QCOMPARE(boxText, nick + QString::fromUtf8("未连接到Wi-Fi, 是否使用流量进行操作？"));
        }

        if (stillShown) {
            QVERIFY(showsPhone());
            QCOMPARE(manager()->getConnectedList()->size(), 1);
        } else {
            QTRY_VERIFY(manager()->getConnectedList()->isEmpty());
            QTRY_VERIFY(panel()->isVisible());
            QVERIFY(!browser()->isVisible());
            QCOMPARE(view()->model()->rowCount(), 0);
            QCOMPARE(panelText(), QString::fromUtf8("连接列表为空哦..."));
        }
        QTRY_COMPARE(m_world.phone()->callsTo("disconnDisk").size(), toldToLeave == "disconnDisk" ? 1 : 0);
        QTRY_COMPARE(m_world.relay()->callsTo("DISCONNECT").size(), toldToLeave == "DISCONNECT" ? 1 : 0);
        const QList<KoSystemTray::Notice> after = KoSystemTray::getInstance()->recentNotices();
        QCOMPARE(after.size(), notices + (notice.isEmpty() ? 0 : 1));
        if (!notice.isEmpty())
            QCOMPARE(after.last().text, notice);
    }

    void connectedPhoneIsFoundByIdAfterTheDelay_data()
    {
        QTest::addColumn<bool>("again"); // the phone was listed already, below the others
        QTest::addColumn<QString>("leaving");
        QTest::addColumn<int>("row");
        QTest::newRow("new phone, another leaves") << false << "phone-0002" << 0;
        QTest::newRow("connected again, one above it leaves") << true << "phone-0003" << 1;
    }

    void connectedPhoneIsFoundByIdAfterTheDelay()
    {
        QFETCH(bool, again);
        QFETCH(QString, leaving);
        QFETCH(int, row);
        const QString phoneId = QString::fromLatin1(KoDeviceWorld::kPhoneId);
        if (again) {
            QVERIFY(pair());
            QTRY_COMPARE(shownPhone(), phoneId);
        }
        // Two more phones of the same user, each listed above the ones before it.
        struct Other {
            QTemporaryDir dir;
            KoFakePhone phone{dir.path()};
            KoFakeLanPhone lan{&phone};
        } others[2];
        for (int i = 0; i < 2; ++i) {
            const QString id = QStringLiteral("phone-%1").arg(i + 2, 4, 10, QChar('0'));
            others[i].phone.setIdentity(id, QStringLiteral("Fake Phone"), 2, 30, KoDeviceWorld::kUid);
            QVERIFY(others[i].phone.start() && others[i].lan.start());
            others[i].lan.setComputer(QHostAddress::LocalHost, manager()->getLanPort());
            QVERIFY(pair(&others[i].lan));
            QTRY_COMPARE(shownPhone(), id);
        }
        QCOMPARE(view()->model()->rowCount(), again ? 3 : 2);

        // The phone comes while another leaves, before the page shows it.
        connect(manager(), &KoRemoteConnectManager::deviceConnected, this,
                [this, leaving] { manager()->ejectDevice(leaving); });
        QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
        if (again)
            manager()->connectDevice(phoneId);
        else
            m_world.lan()->pair(manager()->getQrKey());
        QVERIFY(connected.wait(5000));
        QCOMPARE(connected.first().at(1).toInt(), again ? 2 : 0);
        QTRY_COMPARE(shownPhone(), phoneId);
        QCOMPARE(view()->model()->rowCount(), 2);
        QCOMPARE(manager()->getConnectedList()->at(row)->getDeviceId(), phoneId);
        QTRY_COMPARE(selectedRow(), row);
        QTest::qWait(3 * KoUiV3DiskWidget::kShowDelayMs); // nothing else is shown later
        QCOMPARE(shownPhone(), phoneId);
        QCOMPARE(selectedRow(), row);
    }

    void shownPhoneStaysSelected_data()
    {
        QTest::addColumn<QString>("event");
        QTest::newRow("login") << "login";
        QTest::newRow("logout") << "logout";
        QTest::newRow("failed re-login") << "failed";
        QTest::newRow("list changed") << "list";
    }

    void shownPhoneStaysSelected()
    {
        QFETCH(QString, event);
        QVERIFY(pair());
        QTRY_VERIFY(showsPhone());
        QCOMPARE(view()->selectionModel()->selectedIndexes().value(0).row(), 0);
        QSignalSpy resets(view()->model(), &QAbstractItemModel::modelReset);
        KoUser* user = KoUser::getInstance();
        if (event == "login") {
            QVERIFY(m_world.login());
        } else if (event == "logout") {
            user->logout();
        } else if (event == "failed") {
            m_world.account()->forceResult("user/login", 5);
            QSignalSpy result(user, &KoUser::loginResult);
            user->login(KoUser::Callback());
            QTRY_COMPARE(result.size(), 1);
            m_world.account()->clearForcedResults();
        } else {
            QVERIFY(QMetaObject::invokeMethod(manager(), "updateConnedctedList"));
        }
        QVERIFY(resets.size() >= 1);
        QVERIFY(showsPhone());
        const QModelIndexList selected = view()->selectionModel()->selectedIndexes();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().row(), 0);
    }

    // Pushes of one poll are handled in their order: the question waits until the handler has
    // returned, and a phone that left meanwhile is not asked about.
    void mobileDataQuestionAfterThePush()
    {
        QVERIFY(pair());
        QTRY_VERIFY(showsPhone());
        int boxes = 0;
        QTimer answerer; // answers any box; a local timer, gone with this test
        connect(&answerer, &QTimer::timeout, [&boxes] {
            for (KoUiV3AlertDialog* box : KoModal::openWidgets<KoUiV3AlertDialog>()) {
                ++boxes;
                box->findChild<QPushButton*>("btnConfirm")->click();
            }
        });
        answerer.start(10);
        m_world.setPushes({push("n-1", "NETWORK"), push("d-1", "DISCONNECT")});
        QTRY_VERIFY(manager()->getConnectedList()->isEmpty());
        QTRY_VERIFY(panel()->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(boxes, 0);
    }

    // The same question while its box is open opens no second box inside the first.
    void mobileDataQuestionOneBoxAtATime()
    {
        QVERIFY(pair());
        QTRY_VERIFY(showsPhone());
        int mostOpen = 0;
        int pollsAtFirstBox = -1;
        bool answered = false;
        QTimer watcher; // a local timer, gone with this test
        connect(&watcher, &QTimer::timeout, [&] {
            const QList<KoUiV3AlertDialog*> open = KoModal::openWidgets<KoUiV3AlertDialog>();
            mostOpen = qMax(mostOpen, open.size());
            if (open.isEmpty())
                return;
            if (pollsAtFirstBox < 0) {
                m_world.setPushes({push("n-2", "NETWORK")});
                pollsAtFirstBox = pushPolls();
                return;
            }
            // The next push was handed out and handled while the box stood.
            if (pushPolls() < pollsAtFirstBox + 2)
                return;
            for (KoUiV3AlertDialog* box : open)
                box->findChild<QPushButton*>("btnConfirm")->click();
            answered = true;
        });
        watcher.start(10);
        continueQuery();
        QTRY_VERIFY_WITH_TIMEOUT(answered, 15000);
        QTRY_VERIFY(KoModal::openWidgets<KoUiV3AlertDialog>().isEmpty());
        QCOMPARE(mostOpen, 1);
        QVERIFY(showsPhone());
        QCOMPARE(manager()->getConnectedList()->size(), 1);
    }

    void rowFills_data()
    {
        QTest::addColumn<bool>("connectedList");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("filled");
        const int hover = QStyle::State_MouseOver, selected = QStyle::State_Selected;
        QTest::newRow("my devices, hovered") << false << hover << true;
        QTest::newRow("my devices, selected") << false << selected << false;
        QTest::newRow("connected, selected") << true << selected << true;
        QTest::newRow("connected, hovered") << true << hover << false;
    }

    void rowFills()
    {
        QFETCH(bool, connectedList);
        QFETCH(int, state);
        QFETCH(bool, filled);
        QStandardItemModel model(1, 1);
        std::unique_ptr<QStyledItemDelegate> delegate;
        if (connectedList)
            delegate.reset(new KoUiV3ConnectedFacilityDelegate);
        else
            delegate.reset(new KoUiV3MyFacilityDelegate);
        QImage image(180, 60, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.state = QStyle::State_Enabled | QStyle::StateFlag(state);
        {
            QPainter painter(&image);
            delegate->paint(&painter, option, model.index(0, 0));
        }
        QCOMPARE(image.pixelColor(170, 4) == QColor("#dbe9ff"), filled);
    }

    void rowClicks_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("onButton");
        const QRect button = KoUiV3ConnectedFacilityDelegate::buttonRect(QRect(0, 0, 180, 60));
        QTest::newRow("button") << button.center() << true;
        QTest::newRow("button corner") << button.bottomRight() << true;
        QTest::newRow("just left of the button") << button.topLeft() - QPoint(1, 0) << false;
        QTest::newRow("title") << QPoint(70, 15) << false;
    }

    void rowClicks()
    {
        QFETCH(QPoint, at);
        QFETCH(bool, onButton);
        QStandardItemModel model(1, 1);
        KoUiV3ConnectedFacilityDelegate delegate;
        QSignalSpy item(&delegate, &KoUiV3ConnectedFacilityDelegate::itemClicked);
        QSignalSpy button(&delegate, &KoUiV3ConnectedFacilityDelegate::btnClicked);
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 180, 60);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            static_cast<QAbstractItemDelegate&>(delegate).editorEvent(&event, &model, option, model.index(0, 0));
        }
        QCOMPARE(button.size(), onButton ? 1 : 0);
        QCOMPARE(item.size(), onButton ? 0 : 1);
    }
};

QTEST_MAIN(TestDiskPage)
#include "tst_diskpage.moc"
