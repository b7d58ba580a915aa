// The older delegates, models and views, and the message-box dialogs, as a user drives them.

#include "app/KoCommonUtil.h"
#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "model/KoBaseFacility.h"
#include "model/KoFacilityListModel.h"
#include "model/KoFileDownloadInfo.h"
#include "model/KoFileUploadInfo.h"
#include "model/KoLocalFile.h"
#include "model/KoRemoteFile.h"
#include "net/KoNetworkObject.h"
#include "net/KoUser.h"
#include "support/KoFakeAccountServer.h"
#include "support/KoModalHelpers.h"
#include "support/KoTestCertificates.h"
#include "ui/KoUiInit.h"
#include "ui/alternate/KoAlertDialog.h"
#include "ui/alternate/KoFileConvertDelegate.h"
#include "ui/alternate/KoFileConvertInfoListModel.h"
#include "ui/alternate/KoFileIconDelegate.h"
#include "ui/alternate/KoFilePathDelegate.h"
#include "ui/alternate/KoFilePathListView.h"
#include "ui/alternate/KoInputDialog.h"
#include "ui/alternate/KoSessionDelegate.h"
#include "ui/alternate/KoUDiskDelegate.h"
#include "ui/browser/KoFileModelCommon.h"
#include "ui/widgets/KoItemPainter.h"

#include <QAbstractItemModelTester>
#include <QtTest>
#include <QtWidgets>

namespace {
void save(QWidget* w, const char* name)
{
    QDir().mkpath(KO_BINARY_DIR "/test-artifacts");
    QVERIFY(w->grab().save(QStringLiteral(KO_BINARY_DIR "/test-artifacts/") + QLatin1String(name)));
}

// Presses at pos in the view's item and counts each delegate signal.
void press(QAbstractItemView* view, const QModelIndex& index, const QPoint& offset, Qt::MouseButton button)
{
    QTest::mousePress(view->viewport(), button, Qt::NoModifier, view->visualRect(index).topLeft() + offset);
    QTest::mouseRelease(view->viewport(), button, Qt::NoModifier, view->visualRect(index).topLeft() + offset);
}

// Takes the in-app hook: the drag counts as one of this program's when asked to.
class PathBar : public KoFilePathListView
{
public:
    bool inApp = false;
    using KoFilePathListView::dragEnterEvent;
    using KoFilePathListView::dropEvent;

protected:
    QObject* dragSource(QDropEvent*) override { return inApp ? this : nullptr; }
};
} // namespace

class TestAlternateViews : public QObject
{
    Q_OBJECT

    KoFakeAccountServer m_server;
    QList<KoFileConvertInfo*> m_records;

    KoFileConvertInfo* download(int state, int progress, const QString& name)
    {
        auto* file = name.isEmpty() ? nullptr : new KoRemoteFile(QString(), "/DCIM/" + name, 200, 2048, 0, QString());
        auto* record = new KoFileDownloadInfo(10 + m_records.size(), 1, 2, "phone", 9, file, "/tmp/" + name);
        record->setConvertState(state);
        record->setProgress(progress);
        record->setTotalSize(2048);
        return record;
    }
    KoFileConvertInfo* upload(int state)
    {
        auto* file = new KoLocalFile("/tmp/report.pdf", "report.pdf", 0x114, 4096);
        auto* record = new KoFileUploadInfo(10 + m_records.size(), file, 9, "/Documents", 1, 2, "phone");
        record->setConvertState(state);
        return record;
    }

private slots:
    void initTestCase()
    {
        koInitUiResources();
        QVERIFY(KoTestCertificates::trust());
        QVERIFY(m_server.start());
        m_server.addAccount("13800000001", "secret1", 4711, QStringLiteral("小明"));
        KoServerConfig::setAccountBaseUrl(m_server.baseUrl());
        KoSettings::getInstance()->remove("user");
    }
    void cleanupTestCase()
    {
        qDeleteAll(m_records);
        delete KoUser::getInstance();
    }

    // Message boxes: confirm answers 0 for its confirm button (the drawn alert's inverse).
    void messageBoxes_data()
    {
        QTest::addColumn<bool>("isConfirm");
        QTest::addColumn<QString>("action"); // a button's text, or "Escape"
        QTest::addColumn<int>("answer");
        QTest::newRow("confirm") << true << QString::fromUtf8("删除") << 0;
        QTest::newRow("cancel") << true << QString::fromUtf8("取消") << 1;
        QTest::newRow("confirm, Escape") << true << "Escape" << 1;
        QTest::newRow("alert") << false << QString::fromUtf8("确定") << 0;
        QTest::newRow("alert, Escape") << false << "Escape" << 0;
    }
    void messageBoxes()
    {
        QFETCH(bool, isConfirm);
        QFETCH(QString, action);
        QFETCH(int, answer);
        Qt::TextFormat format = Qt::AutoText;
        KoModal::whenModal([&](QWidget* box) {
            format = box->findChild<QLabel*>("qt_msgbox_label")->textFormat();
            if (isConfirm && answer == 0)
                save(box, "alt_msgbox.png");
            if (action == "Escape") {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QAbstractButton* button : box->findChildren<QAbstractButton*>()) {
                if (button->text() == action)
                    button->click();
            }
        });
        // A phone's nick must not render as markup.
        const QString nick = "<b>x</b>";
        const int got = isConfirm
            ? KoAlertDialog::confirm("t", nick, QString::fromUtf8("删除"), QString::fromUtf8("取消"))
            : KoAlertDialog::alert("t", nick);
        QCOMPARE(got, answer);
        QCOMPARE(format, Qt::PlainText);
    }

    void textInput_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("nullResult");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("stored");
        QTest::newRow("accepted") << true << false << 0 << "新名字";
        QTest::newRow("rejected over a prior text") << false << false << 1 << "";
        QTest::newRow("accepted, null result") << true << true << 0 << "earlier";
        QTest::newRow("rejected, null result") << false << true << 1 << "earlier";
    }
    void textInput()
    {
        QFETCH(bool, accept);
        QFETCH(bool, nullResult);
        QFETCH(int, answer);
        QFETCH(QString, stored);
        KoModal::whenModal([&](QWidget* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>();
            QCOMPARE(edit->text(), QString("旧"));
            edit->setText(QString::fromUtf8("新名字"));
            if (accept)
                static_cast<QDialog*>(dialog)->accept();
            else
                QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QString result = "earlier";
        QCOMPARE(KoInputDialog::showTextInput(nullptr, "t", "l", QString::fromUtf8("旧"),
                                              nullResult ? nullptr : &result),
                 answer);
        QCOMPARE(result, stored);
    }

    // Roles by kind: full name, the local path for downloads only, nothing for a bad record.
    void transferRoles()
    {
        qDeleteAll(m_records);
        m_records = {download(2, 100, "IMG_1.jpg"), upload(0), download(3, 0, QString()),
                     new KoFileConvertInfo(99, 1, 2, "phone", QString(), KoFileConvertInfo::TypeDownload, 1)};
        KoFileConvertInfoListModel model;
        QAbstractItemModelTester checker(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        model.setList(&m_records);
        using M = KoFileConvertInfoListModel;
        QCOMPARE(model.index(0).data(M::FileNameRole).toString(), QString("IMG_1.jpg"));
        QCOMPARE(model.index(0).data(M::LocalPathRole).toString(), QString("/tmp/IMG_1.jpg"));
        QCOMPARE(model.index(1).data(M::FileNameRole).toString(), QString("report.pdf"));
        QCOMPARE(model.index(1).data(M::FileTypeRole).toInt(), 0x114);
        QVERIFY(!model.index(1).data(M::LocalPathRole).isValid());
        for (int row : {2, 3}) {
            QVERIFY(!model.index(row).data(M::FileNameRole).isValid());
            QVERIFY(!model.index(row).data(M::FileTypeRole).isValid());
            QCOMPARE(model.index(row).data(M::KindRole).toInt(), 0);
        }
        QCOMPARE(model.index(2).data(M::StateRole).toInt(), 3);
        QCOMPARE(model.index(3).data(M::TaskIdRole).toInt(), 99);
        // Shrunk under the model before its reset: the stale row answers nothing.
        KoFileConvertInfo* gone = m_records.takeLast();
        QVERIFY(!model.data(model.index(3), M::TaskIdRole).isValid());
        delete gone;
        model.setList(&m_records);
        QCOMPARE(model.rowCount(), 3);
    }

    // Hit areas by state: delete always, retry only failed, open only finished downloads.
    void transferHits_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("area");
        QTest::addColumn<QString>("signal");
        // Rows: 0 finished download, 1 waiting upload, 2 failed download, 3 transferring, 4 finished upload.
        QTest::newRow("delete, waiting") << 1 << "delete"
                                         << "del 0";
        QTest::newRow("delete, finished") << 0 << "delete"
                                          << "del 2";
        QTest::newRow("retry, failed") << 2 << "retry"
                                       << "retry";
        QTest::newRow("retry place, waiting") << 1 << "retry"
                                              << "";
        QTest::newRow("open file") << 0 << "file"
                                   << "file /tmp/IMG_1.jpg";
        QTest::newRow("open folder") << 0 << "dir"
                                     << "dir /tmp/IMG_1.jpg";
        QTest::newRow("open file place, finished upload") << 4 << "file"
                                                          << "";
        QTest::newRow("open file place, transferring") << 3 << "file"
                                                       << "";
    }
    void transferHits()
    {
        QFETCH(int, row);
        QFETCH(QString, area);
        QFETCH(QString, signal);
        qDeleteAll(m_records);
        m_records = {download(2, 100, "IMG_1.jpg"), upload(0), download(3, 10, "b.zip"), download(1, 50, "c.mp4"),
                     upload(2)};
        QListView view;
        KoFileConvertInfoListModel model;
        model.setList(&m_records);
        auto* delegate = new KoFileConvertDelegate(&view);
        view.setModel(&model);
        view.setItemDelegate(delegate);
        view.resize(620, 300);
        QStringList seen;
        connect(delegate, &KoFileConvertDelegate::delButtonClicked, this, [&](int id, int state) {
            seen << QString("del %1").arg(state);
            Q_UNUSED(id)
        });
        connect(delegate, &KoFileConvertDelegate::retryButtonClicked, this,
                [&](int id) { seen << (id == m_records.at(row)->getTaskId() ? "retry" : "retry ?"); });
        connect(delegate, &KoFileConvertDelegate::openFileButtonClicked, this,
                [&](QString p) { seen << "file " + p; });
        connect(delegate, &KoFileConvertDelegate::openDirButtonClicked, this, [&](QString p) { seen << "dir " + p; });
        const QRect item(QPoint(0, 0), QSize(600, 56));
        const QRect target = area == "delete" ? KoFileConvertDelegate::deleteRect(item)
            : area == "retry"                 ? KoFileConvertDelegate::retryRect(item)
            : area == "file"                  ? KoFileConvertDelegate::openFileRect(item)
                                              : KoFileConvertDelegate::openDirRect(item);
        press(&view, model.index(row), target.center(), Qt::LeftButton);
        QCOMPARE(seen, signal.isEmpty() ? QStringList() : QStringList{signal});
    }

    void transferBarAndShot()
    {
        qDeleteAll(m_records);
        m_records = {download(1, 50, "video.mp4"), download(1, 250, "over.zip"), upload(3),
                     download(2, 100, "a.jpg"),    download(0, 0, "wait.apk"),   upload(4)};
        QListView view;
        KoFileConvertInfoListModel model;
        model.setList(&m_records);
        view.setModel(&model);
        view.setItemDelegate(new KoFileConvertDelegate(&view));
        view.resize(620, 6 * 56 + 10);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.sizeHintForIndex(model.index(0)), QSize(600, 56));
        const QImage shot = view.viewport()->grab().toImage();
        save(view.viewport(), "alt_transfer_rows.png");
        const QColor blue(77, 144, 255), track(212, 212, 212);
        for (int row : {0, 1}) {
            const QRect bar = KoFileConvertDelegate::barRect(view.visualRect(model.index(row)));
            const int fill = row == 0 ? 244 : 488; // 250 % is painted as 100 %
            QCOMPARE(shot.pixelColor(bar.left() + fill - 1, bar.top() + 1), blue);
            if (fill < 488)
                QCOMPARE(shot.pixelColor(bar.left() + fill, bar.top() + 1), track);
        }
    }

    void pathCut_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("8") << "12345678"
                           << "12345678";
        QTest::newRow("9") << "123456789"
                           << "12345678...";
        QTest::newRow("emoji kept whole") << QString::fromUtf8("相册😀😀😀😀😀😀😀") << QString::fromUtf8("相册😀😀😀😀😀😀...");
    }
    void pathCut()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        QCOMPARE(KoFilePathDelegate::shownName(name), shown);
        QStandardItemModel model;
        for (bool last : {false, true}) {
            auto* item = new QStandardItem;
            item->setData(name, KoFileModelRole::PathName);
            item->setData(last, KoFileModelRole::PathIsLast);
            model.appendRow(item);
        }
        KoFilePathDelegate delegate;
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 10, 28);
        const int width = KoItemPainter::metrics(12).horizontalAdvance(shown) + 16;
        QCOMPARE(delegate.sizeHint(option, model.index(1, 0)).width(), width);
        QCOMPARE(delegate.sizeHint(option, model.index(0, 0)).width(), width + 8);
        QCOMPARE(delegate.sizeHint(option, model.index(1, 0)).height(), 28);
    }

    // A right press on the tile's edge counts; in the 1 px margin outside it, it does not.
    void tileRightPress_data()
    {
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<bool>("emitted");
        QTest::newRow("top-left edge") << QPoint(1, 1) << true;
        QTest::newRow("bottom-right edge") << QPoint(128, 128) << true;
        QTest::newRow("margin left") << QPoint(0, 60) << false;
        QTest::newRow("margin bottom") << QPoint(60, 129) << false;
    }
    void tileRightPress()
    {
        QFETCH(QPoint, pos);
        QFETCH(bool, emitted);
        QStandardItemModel model(1, 1);
        KoFileIconDelegate delegate;
        QSignalSpy spy(&delegate, &KoFileIconDelegate::rightButtonClicked);
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 130, 130);
        QMouseEvent event(QEvent::MouseButtonPress, pos, Qt::RightButton, Qt::RightButton, Qt::NoModifier);
        QCOMPARE(delegate.editorEvent(&event, &model, option, model.index(0, 0)), emitted);
        QCOMPARE(spy.count(), emitted ? 1 : 0);
    }

    void fileTilesShot()
    {
        QStandardItemModel model;
        const QList<QPair<QString, int>> files = {
            {"DCIM", 0}, {"a-very-long-holiday-name.jpg", 0x4C}, {"report.pdf", 0x114}, {"song.mp3", 0x8C}};
        for (const auto& f : files) {
            auto* item = new QStandardItem;
            item->setData(f.first, KoFileModelRole::FileName);
            item->setData(f.second, KoFileModelRole::FileType);
            item->setData(f.second == 0x114, KoFileModelRole::FileCut);
            model.appendRow(item);
        }
        QListView view;
        view.setViewMode(QListView::IconMode);
        view.setModel(&model);
        view.setItemDelegate(new KoFileIconDelegate(&view));
        view.resize(560, 150);
        view.selectionModel()->select(model.index(1, 0), QItemSelectionModel::Select);
        save(&view, "alt_file_tiles.png");
    }

    // Drops: only this program's move drags with the in-app format, only at permission 2.
    void pathBarDrops_data()
    {
        QTest::addColumn<bool>("inApp");
        QTest::addColumn<int>("permission");
        QTest::addColumn<bool>("withPayload");
        QTest::addColumn<bool>("taken");
        QTest::newRow("in-app move") << true << 2 << true << true;
        QTest::newRow("from another program") << false << 2 << true << false;
        QTest::newRow("permission 1") << true << 1 << true << false;
        QTest::newRow("URLs only") << true << 2 << false << false;
    }
    void pathBarDrops()
    {
        QFETCH(bool, inApp);
        QFETCH(int, permission);
        QFETCH(bool, withPayload);
        QFETCH(bool, taken);
        QList<KoRemoteFilePath> paths = {KoRemoteFilePath("/", QString()), KoRemoteFilePath("/DCIM", QString())};
        QStandardItemModel model;
        for (const KoRemoteFilePath& p : paths) {
            auto* item = new QStandardItem;
            item->setData(p.getName(), KoFileModelRole::PathName);
            item->setData(&p == &paths.last(), KoFileModelRole::PathIsLast);
            model.appendRow(item);
        }
        PathBar view;
        view.inApp = inApp;
        view.setFlow(QListView::LeftToRight);
        view.setModel(&model);
        view.setItemDelegate(new KoFilePathDelegate(&view));
        view.setPathList(&paths);
        view.setPermissionState(permission);
        view.resize(300, 60);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy spy(&view, &KoFilePathListView::remoteFileDropped);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile("/tmp/a.txt")});
        if (withPayload)
            data.setData(KoCommonUtil::kKoDragMimeType,
                         KoCommonUtil::getKoDragDataFromPathList({"/DCIM/a.jpg", "/b"}));
        // Straight to the handlers: the application routes a drop only to an earlier drag enter's taker.
        const QPoint onRoot = view.visualRect(model.index(0, 0)).center();
        QDragEnterEvent enter(onRoot, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        view.dragEnterEvent(&enter);
        QCOMPARE(enter.isAccepted(), taken);
        QDropEvent drop(onRoot, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        view.dropEvent(&drop);
        QCOMPARE(spy.count(), taken ? 1 : 0);
        QCOMPARE(drop.isAccepted(), taken);
        if (taken) {
            QCOMPARE(spy.at(0).at(0).toStringList(), QStringList({"/DCIM/a.jpg", "/b"}));
            QCOMPARE(spy.at(0).at(1).toString(), QString("/"));
        }
    }

    void sessionRows()
    {
        QList<KoBaseFacility*> devices;
        for (int i = 0; i < 3; ++i) {
            auto* d = new KoBaseFacility;
            d->setUid(i == 0 ? 4711 : 5000 + i);
            d->setDeviceType(2 + i);
            d->setState(i == 2 ? 3 : 1);
            d->setDeviceName(QString::fromUtf8("一台名字很长的手机 %1").arg(i));
            d->setNick(QString::fromUtf8("朋友%1").arg(i));
            devices << d;
        }
        KoFacilityListModel model;
        model.setList(&devices);
        QListView view;
        auto* delegate = new KoSessionDelegate(&view);
        view.setModel(&model);
        view.setItemDelegate(delegate);
        view.resize(280, 3 * 64 + 4);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.sizeHintForIndex(model.index(0)), QSize(274, 64));
        QCOMPARE(KoUDiskDelegate().sizeHint(QStyleOptionViewItem(), model.index(0)), QSize(128, 154));
        QSignalSpy items(delegate, &KoSessionDelegate::itemClicked);
        QSignalSpy buttons(delegate, &KoSessionDelegate::buttonClicked);
        const QRect row(QPoint(0, 0), QSize(view.visualRect(model.index(1)).size()));
        press(&view, model.index(1), KoSessionDelegate::deleteRect(row).center(), Qt::LeftButton);
        QCOMPARE(buttons.count(), 1);
        QCOMPARE(buttons.at(0).at(0).value<QModelIndex>().row(), 1);
        QCOMPARE(items.count(), 0);
        press(&view, model.index(2), QPoint(100, 30), Qt::LeftButton);
        QCOMPARE(items.count(), 1);
        QCOMPARE(items.at(0).at(0).value<QModelIndex>().row(), 2);
        press(&view, model.index(0), KoSessionDelegate::deleteRect(row).center(), Qt::RightButton);
        press(&view, model.index(0), QPoint(100, 30), Qt::RightButton);
        QCOMPARE(items.count() + buttons.count(), 2);

        // Another user's phone shows its nick; signed in as its owner, "我的 Android".
        QCOMPARE(KoSessionDelegate::caption(4711, 2, "nick"), QString("nick"));
        KoUser* user = KoUser::getInstance();
        user->setPhone("13800000001");
        user->setPassword("secret1");
        QSignalSpy login(user, &KoUser::loginResult);
        user->login(KoUser::Callback());
        QVERIFY(login.wait(KoUser::kRequestDeadlineMs + 1000));
        QCOMPARE(login.at(0).at(0).toInt(), 0);
        QCOMPARE(KoSessionDelegate::caption(4711, 2, "nick"), QString::fromUtf8("我的 Android"));
        QCOMPARE(KoSessionDelegate::caption(5001, 3, "nick"), QString("nick"));
        save(&view, "alt_session_rows.png");
        qDeleteAll(devices);
    }
};

QTEST_MAIN(TestAlternateViews)
#include "tst_alternateviews.moc"
