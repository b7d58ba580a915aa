#include <QtTest>
#include <QtWidgets>

#include "app/KoCommonUtil.h"
#include "link/KoRemoteConnectManager.h"
#include "net/KoUser.h"
#include "support/KoDeviceWorld.h"
#include "support/KoModalHelpers.h"
#include "ui/KoUiV3AlertDialog.h"
#include "ui/KoUiV3HomeWidget.h"
#include "ui/KoUiV3LoginDialog.h"

#include <memory>

// The home page against the real connection manager, the fake account server's device report
// and the fake phone: what a click on a device does, the QR code, and the signed-in look.
namespace {
enum Answer { NoBox = -1, Cancel = 0, Confirm = 1 };

QString nick()
{
    return QString::fromUtf8(KoDeviceWorld::kNick);
}
} // namespace

class TestHomePage : public QObject
{
    Q_OBJECT

    KoDeviceWorld m_world;
    std::unique_ptr<KoUiV3HomeWidget> m_page;

    KoRemoteConnectManager* manager() { return KoRemoteConnectManager::getInstance(); }
    QListView* view() { return m_page->findChild<QListView*>("deviceLisView"); }
    QWidget* tips() { return m_page->findChild<QWidget*>("tipsWidget"); }
    QImage qrImage() { return m_page->findChild<QLabel*>("qrcodeLabel")->pixmap(Qt::ReturnByValue).toImage(); }
    static QImage expectedQr(int key)
    {
        return KoCommonUtil::getQrcode(KoCommonUtil::getQrJson(KoCommonUtil::getLocalIp(), key), 154).toImage();
    }

    // The report lists the phone in that state, and the page shows its row.
    bool listPhone(int state, int networkType, int policy)
    {
        // The report knows online and offline; a probe over the LAN makes an online phone state 1.
        m_world.setReport(state == 1 ? 2 : state, state == 1, networkType, policy);
        manager()->refreshMyDevice();
        return QTest::qWaitFor(
            [&] {
                const QList<KoBaseFacility*>* list = manager()->getMyDeviceList();
                return list->size() == 1 && list->first()->getState() == state
                    && list->first()->getNetworkType() == networkType && view()->model()->rowCount() == 1;
            },
            8000);
    }

    void clickRow(int row)
    {
        const QRect rect = view()->visualRect(view()->model()->index(row, 0));
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    }

    // Answers the next box and keeps its text.
    void answerBox(Answer answer, QString* text)
    {
        if (answer == NoBox)
            return;
        KoModal::whenOpen<KoUiV3AlertDialog>([answer, text](KoUiV3AlertDialog* box) {
            *text = box->findChild<QLabel*>("textLabel")->text();
            box->findChild<QPushButton*>(answer == Confirm ? "btnConfirm" : "btnCancel")->click();
        });
    }

private slots:
    void initTestCase() { QVERIFY(m_world.start()); }

    void init()
    {
        m_world.beginTest();
        m_page.reset(new KoUiV3HomeWidget);
        QVERIFY(KoDeviceWorld::showPage(m_page.get()));
    }

    void cleanup()
    {
        m_page.reset();
        QVERIFY(m_world.endTest());
    }

    void cleanupTestCase() { KoDeviceWorld::deleteServices(); }

    void clickByStateNetworkAndPolicy_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("networkType");
        QTest::addColumn<int>("policy");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<bool>("connects");

        const QString ask = nick() + QString::fromUtf8("未连接到Wi-Fi, 是否使用流量进行操作?");
        const QString refuse = nick()
            + QString::fromUtf8("不允许2G/3G/4G网络下文件传输请求, 无法连接. 可在移动端的\"更多\"->\"设置\"中切换");
        QTest::newRow("on the LAN") << 1 << 1 << 0 << int(NoBox) << QString() << true;
        QTest::newRow("relay, Wi-Fi") << 2 << 1 << 1 << int(NoBox) << QString() << true;
        QTest::newRow("relay, mobile data, ask, yes") << 2 << 0 << 0 << int(Confirm) << ask << true;
        QTest::newRow("relay, mobile data, ask, no") << 2 << 0 << 0 << int(Cancel) << ask << false;
        QTest::newRow("relay, mobile data, refuse") << 2 << 0 << 1 << int(Confirm) << refuse << false;
        QTest::newRow("relay, mobile data, unknown policy") << 2 << 0 << 7 << int(NoBox) << QString() << false;
        QTest::newRow("offline") << 3 << 1 << 0 << int(NoBox) << QString() << false;
    }

    void clickByStateNetworkAndPolicy()
    {
        QFETCH(int, state);
        QFETCH(int, networkType);
        QFETCH(int, policy);
        QFETCH(int, answer);
        QFETCH(QString, boxText);
        QFETCH(bool, connects);
        QVERIFY(listPhone(state, networkType, policy));
        QSignalSpy connected(manager(), &KoRemoteConnectManager::deviceConnected);
        QSignalSpy ended(manager(), &KoRemoteConnectManager::sendTimeout);

        QString shown;
        answerBox(Answer(answer), &shown);
        clickRow(0);
        if (answer != NoBox)
            QTRY_COMPARE(shown, boxText);
        QCOMPARE(m_page->isConnecting(), connects);
        if (connects) {
            QTRY_COMPARE(connected.size(), 1);
            QCOMPARE(connected.first().first().value<KoBaseFacility*>()->getDeviceId(),
                     QString(KoDeviceWorld::kPhoneId));
            QTRY_VERIFY(!m_page->isConnecting()); // the attempt's end clears it
        } else {
            QVERIFY(KoModal::openWidgets<KoUiV3AlertDialog>().isEmpty());
            QCOMPARE(connected.size() + ended.size(), 0);
        }
    }

    void clicksWhileConnectingAreIgnored()
    {
        QVERIFY(listPhone(1, 1, 0));
        m_world.lan()->setSilent(true); // the attempt runs until its retries are spent
        m_world.lan()->clear();
        QSignalSpy ended(manager(), &KoRemoteConnectManager::sendTimeout);
        clickRow(0);
        QVERIFY(m_page->isConnecting());
        clickRow(0);
        QTRY_VERIFY_WITH_TIMEOUT(!ended.isEmpty(), 10000);
        QVERIFY(!m_page->isConnecting());
        QSet<QString> attempts;
        for (const QJsonObject& m : m_world.lan()->receivedOfType(19))
            attempts.insert(m.value("msgId").toString());
        QCOMPARE(attempts.size(), 1);
    }

    void qrCodeFollowsThePairingKey()
    {
        const int key = manager()->getQrKey();
        QCOMPARE(qrImage(), expectedQr(key));
        m_world.lan()->pair(key); // a pairing uses the key up
        QTRY_VERIFY(manager()->getQrKey() != key);
        QCOMPARE(qrImage(), expectedQr(manager()->getQrKey()));
    }

    void loginLinkOpensTheLoginDialog()
    {
        KoUser::getInstance()->logout();
        bool opened = false;
        KoModal::whenOpen<KoUiV3LoginDialog>([&opened](KoUiV3LoginDialog* dialog) {
            opened = true;
            dialog->reject();
        });
        QTest::mouseClick(m_page->findChild<QLabel*>("loginLabel"), Qt::LeftButton);
        QVERIFY(opened);
    }

    void signedInLook_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("tipsShown");
        QTest::addColumn<bool>("reported");
        QTest::newRow("login") << "login" << false << true;
        QTest::newRow("logout") << "logout" << true << false;
        QTest::newRow("failed re-login") << "failed" << true << false;
        QTest::newRow("tips closed, then a failed login") << "closed, failed" << false << false;
    }

    void signedInLook()
    {
        QFETCH(QString, event);
        QFETCH(bool, tipsShown);
        QFETCH(bool, reported);
        QVERIFY(listPhone(2, 1, 0));
        QVERIFY(!tips()->isVisible());
        const int reports = m_world.account()->requestsTo("device/report").size();
        KoUser* user = KoUser::getInstance();
        if (event == "logout") {
            user->logout();
        } else if (event == "login") {
            QVERIFY(m_world.login());
        } else {
            if (event.startsWith("closed")) {
                user->logout();
                QVERIFY(tips()->isVisible());
                m_page->findChild<QPushButton*>("btnTipsClose")->click();
                QVERIFY(!tips()->isVisible());
            }
            m_world.account()->forceResult("user/login", 5);
            QSignalSpy result(user, &KoUser::loginResult);
            user->login(KoUser::Callback());
            QTRY_COMPARE(result.size(), 1);
            m_world.account()->clearForcedResults();
        }
        QCOMPARE(tips()->isVisible(), tipsShown);
        if (reported)
            QTRY_COMPARE(m_world.account()->requestsTo("device/report").size(), reports + 1);
        else
            QCOMPARE(view()->model()->rowCount(), 0);
        if (event == "logout")
            KoModal::saveArtifact(m_page.get(), "home_signed_out.png");
        if (event == "login") {
            QTRY_COMPARE(view()->model()->rowCount(), 1);
            KoModal::saveArtifact(m_page.get(), "home_devices.png");
        }
    }
};

QTEST_MAIN(TestHomePage)
#include "tst_homepage.moc"
