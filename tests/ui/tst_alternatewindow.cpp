// The alternate frame and its title bar: page buttons, the transfer dot, maximise, window-button
// hover, the head image, the edge bands, and one whole frame over the real services.

#include "app/KoCommonUtil.h"
#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "client/KoClientHelper.h"
#include "link/KoRemoteConnectManager.h"
#include "net/KoNetworkObject.h"
#include "net/KoUser.h"
#include "ops/KoRemoteFileOperator.h"
#include "support/KoFakeAccountServer.h"
#include "support/KoModalHelpers.h"
#include "support/KoTestCertificates.h"
#include "ui/KoSystemTray.h"
#include "ui/KoUiInit.h"
#include "ui/KoUiV3DiskWidget.h"
#include "ui/KoUiV3HomeWidget.h"
#include "ui/alternate/KoUiV3Window.h"
#include "ui/alternate/KoWindowTitleBar.h"
#include "ui/transfer/KoUiV3SettingDialog.h"
#include "ui/transfer/KoUiV3TransferWidget.h"

#include <QtTest>
#include <QtWidgets>

namespace {
QPushButton* button(QWidget* w, const char* name)
{
    return w->findChild<QPushButton*>(QLatin1String(name));
}

void save(QWidget* w, const char* name)
{
    QDir().mkpath(KO_BINARY_DIR "/test-artifacts");
    QVERIFY(w->grab().save(QStringLiteral(KO_BINARY_DIR "/test-artifacts/") + QLatin1String(name)));
}

quint16 freeUdpPort()
{
    QUdpSocket socket;
    socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
    return socket.localPort();
}

QImage iconImage(QPushButton* b)
{
    return b->icon().pixmap(12, 12).toImage();
}
} // namespace

class TestAlternateWindow : public QObject
{
    Q_OBJECT

    KoFakeAccountServer m_server;

private slots:
    void initTestCase()
    {
        koInitUiResources();
        QVERIFY(KoTestCertificates::trust());
        QVERIFY(m_server.start());
        m_server.addAccount("13800000001", "secret1", 4711, QStringLiteral("小明"));
        KoServerConfig::setAccountBaseUrl(m_server.baseUrl());
        KoServerConfig::setRelayBaseUrl(m_server.baseUrl());
        KoServerConfig::setUpdateBaseUrl(m_server.baseUrl() + "update/");
        KoServerConfig::setLocalUdpPort(freeUdpPort());
        KoServerConfig::setPhoneUdpPort(freeUdpPort());
        KoSettings::getInstance()->remove("user");
    }

    // A page button checks only itself, then tells the frame.
    void pageButtons_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("page");
        QTest::newRow("home") << "btnHome" << 0;
        QTest::newRow("zu") << "btnUDisk" << 1;
        QTest::newRow("transfers") << "btnTransferList" << 2;
    }
    void pageButtons()
    {
        QFETCH(QString, name);
        QFETCH(int, page);
        QFrame frame;
        auto* bar = new KoWindowTitleBar(&frame);
        QSignalSpy home(bar, &KoWindowTitleBar::btnHomeClicked);
        QSignalSpy disk(bar, &KoWindowTitleBar::btnUDiskClicked);
        QSignalSpy transfer(bar, &KoWindowTitleBar::btnTransferListClicked);
        button(bar, qPrintable(name))->click();
        const char* buttons[3] = {"btnHome", "btnUDisk", "btnTransferList"};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(button(bar, buttons[i])->isChecked(), i == page);
        QCOMPARE((QList<int>{home.count(), disk.count(), transfer.count()}),
                 (QList<int>{page == 0, page == 1, page == 2}));
    }

    void dotFollowsTheCountsAndOpensTransfers()
    {
        QFrame frame;
        auto* bar = new KoWindowTitleBar(&frame);
        frame.show();
        auto* dot = bar->findChild<QLabel*>("transferPoint");
        QVERIFY(!dot->isVisible());
        KoRemoteFileOperator* op = KoRemoteFileOperator::getInstance();
        emit op->convertCountChanged(1, 0);
        QVERIFY(dot->isVisible());
        emit op->convertCountChanged(0, 0);
        QVERIFY(!dot->isVisible());
        emit op->convertCountChanged(0, 2);
        QVERIFY(dot->isVisible());
        QSignalSpy transfer(bar, &KoWindowTitleBar::btnTransferListClicked);
        QTest::mouseClick(dot, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
        QCOMPARE(transfer.count(), 1);
        QVERIFY(button(bar, "btnTransferList")->isChecked());
        save(bar, "alt_titlebar.png");
    }

    void settingsButtonRunsTheSettingsDialog()
    {
        QFrame frame;
        auto* bar = new KoWindowTitleBar(&frame);
        bool seen = false;
        KoModal::whenModal([&](QWidget* dialog) {
            seen = qobject_cast<KoUiV3SettingDialog*>(dialog);
            static_cast<QDialog*>(dialog)->reject();
        });
        button(bar, "btnSetting")->click();
        QVERIFY(seen);
    }

    void doubleClickTogglesMaximisedAndHoverLightsTheButtons()
    {
        QFrame frame;
        frame.resize(800, 500);
        auto* bar = new KoWindowTitleBar(&frame);
        bar->setGeometry(0, 0, 800, 48);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QWidget* mac = bar->findChild<QWidget*>("macWidget");
        QPushButton* maximise = button(bar, "btnMaximise");
        const QImage plain = iconImage(maximise);
        const auto image = [](const char* name) {
            return QIcon(QString(":/ui_v3/images/") + name).pixmap(12, 12).toImage();
        };

        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(mac, &enter);
        QCOMPARE(iconImage(button(bar, "btnClose")), image("icon_mac_btn_close_window_hover"));
        QCOMPARE(iconImage(maximise), image("icon_mac_btn_max_window_hover"));

        QTest::mouseDClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(400, 20));
        QTRY_VERIFY(frame.windowState() & Qt::WindowMaximized);
        QApplication::sendEvent(mac, &enter);
        QCOMPARE(iconImage(maximise), image("icon_mac_btn_restore_window_hover"));
        // Maximised, the bar does not drag the window.
        const QPoint before = frame.pos();
        QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, QPoint(400, 20));
        QMouseEvent move(QEvent::MouseMove, QPoint(450, 40), bar->mapToGlobal(QPoint(450, 40)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &move);
        QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, QPoint(450, 40));
        QCOMPARE(frame.pos(), before);

        QTest::mouseDClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(400, 20));
        QTRY_VERIFY(!(frame.windowState() & Qt::WindowMaximized));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(mac, &leave);
        QCOMPARE(iconImage(maximise), plain);
    }

    // A head stored as ".png" that does not load falls back to the same name ending in "jpg".
    void headFallsBackToTheJpgFile()
    {
        KoUser* user = KoUser::getInstance();
        user->setPhone("13800000001");
        user->setPassword("secret1");
        QSignalSpy login(user, &KoUser::loginResult);
        user->login(KoUser::Callback());
        QVERIFY(login.wait(KoUser::kRequestDeadlineMs + 1000));
        QCOMPARE(login.at(0).at(0).toInt(), 0);
        const QString png = user->getHeadPath();
        KoCommonUtil::makeSureParentExist(png);
        QFile broken(png);
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not an image") > 0);
        broken.close();
        QImage green(8, 8, QImage::Format_RGB32);
        green.fill(Qt::green);
        QString jpg = png;
        jpg.replace(jpg.size() - 3, 3, "jpg");
        QVERIFY(green.save(jpg, "PNG"));

        QFrame frame;
        auto* bar = new KoWindowTitleBar(&frame);
        auto* head = bar->findChild<QLabel*>("headLabel");
        QCOMPARE(head->pixmap(Qt::ReturnByValue).toImage().pixelColor(4, 4), QColor(Qt::green));
        QFile::remove(jpg);
        QVERIFY(QMetaObject::invokeMethod(bar, "onUsrLogout"));
        QCOMPARE(head->pixmap(Qt::ReturnByValue).size(), QPixmap(":/ui_v3/images/default_avator_small").size());
        QFile::remove(png);
        user->logout();
    }

    void edgeBands_data()
    {
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<bool>("right");
        QTest::addColumn<bool>("bottom");
        QTest::addColumn<int>("cursor");
        QTest::newRow("corner") << QPoint(719, 479) << true << true << int(Qt::SizeFDiagCursor);
        QTest::newRow("1 px inside the corner") << QPoint(718, 478) << true << true << int(Qt::SizeFDiagCursor);
        QTest::newRow("right band, inner edge") << QPoint(717, 200) << true << false << int(Qt::SizeHorCursor);
        QTest::newRow("just left of the band") << QPoint(716, 200) << false << false << int(Qt::ArrowCursor);
        QTest::newRow("bottom band") << QPoint(300, 477) << false << true << int(Qt::SizeVerCursor);
        QTest::newRow("middle") << QPoint(360, 240) << false << false << int(Qt::ArrowCursor);
        QTest::newRow("left edge") << QPoint(0, 240) << false << false << int(Qt::ArrowCursor);
    }
    void edgeBands()
    {
        QFETCH(QPoint, pos);
        QFETCH(bool, right);
        QFETCH(bool, bottom);
        QFETCH(int, cursor);
        const KoUiV3Window::EdgeBands bands = KoUiV3Window::edgeBandsAt(pos, QSize(720, 480));
        QCOMPARE(bands.right, right);
        QCOMPARE(bands.bottom, bottom);
        QCOMPARE(int(bands.cursor), cursor);
    }

    // Last: the whole frame over the real services, then its shut-down deletes them.
    void wholeFrameOpensSwitchesResizesAndCloses()
    {
        auto* w = new KoUiV3Window;
        QPointer<KoUiV3HomeWidget> home = w->findChild<KoUiV3HomeWidget*>();
        auto* disk = w->findChild<KoUiV3DiskWidget*>();
        auto* transfer = w->findChild<KoUiV3TransferWidget*>();
        QVERIFY(home && disk && transfer);
        QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(home->isVisible() && !disk->isVisible() && !transfer->isVisible());
        QVERIFY(button(w, "btnHome")->isChecked());

        button(w, "btnTransferList")->click();
        QVERIFY(transfer->isVisible() && !home->isVisible());
        // A phone connecting brings the connected-phones page forward, nothing else.
        KoBaseFacility phone;
        emit KoRemoteConnectManager::getInstance()->deviceConnected(&phone, 0);
        QVERIFY(disk->isVisible() && !transfer->isVisible());
        QVERIFY(button(w, "btnUDisk")->isChecked());
        save(w, "alt_window.png");

        // A drag from 1 px inside the bottom-right corner grows both ways; from the middle, nothing.
        const QSize start = w->size();
        QMouseEvent hover(QEvent::MouseMove, QPoint(start.width() - 2, start.height() - 2), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &hover);
        QCOMPARE(w->cursor().shape(), Qt::SizeFDiagCursor);
        QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, QPoint(start.width() - 2, start.height() - 2));
        QMouseEvent drag(QEvent::MouseMove, QPoint(start.width() + 38, start.height() + 18), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &drag);
        QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, QPoint(start.width() + 38, start.height() + 18));
        QCOMPARE(w->size(), start + QSize(40, 20));

        QVERIFY(w->close());
        QVERIFY(!w->isVisible());
        delete w;
        QVERIFY(home.isNull());
        QVERIFY(!KoSettings::hasInstance());
        QVERIFY(!KoRemoteFileOperator::hasInstance());
        QVERIFY(!KoRemoteConnectManager::hasInstance());
    }
};

QTEST_MAIN(TestAlternateWindow)
#include "tst_alternatewindow.moc"
