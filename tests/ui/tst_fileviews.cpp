// The two file views: drops by permission and target, the drag-out payload, the native drag's
// report, and the select-all helper.

#include "model/KoRemoteFile.h"
#include "ui/browser/KoDragWidget.h"
#include "ui/browser/KoFileListView.h"
#include "ui/browser/KoFileTableView.h"
#include "ui/browser/KoRemoteFileListModel.h"
#include "ui/browser/KoRemoteFileTableModel.h"
#include "ui/widgets/KoSelectAllHelper.h"
#include "app/KoCommonUtil.h"

#include <QCheckBox>
#include <QScrollBar>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

// Plays own-view drops and captures the in-app payload instead of running a drag loop.
template <typename View>
class Probe : public View
{
public:
    bool ownDrag = false;
    QStringList payload;
    int drags = 0;
    using View::mouseMoveEvent;
    using View::mousePressEvent;

protected:
    QObject* dragSource(QDropEvent*) override { return ownDrag ? this : nullptr; }
    void startInAppDrag(QMimeData* data) override
    {
        ++drags;
        payload = KoCommonUtil::getPathListFromKoDragData(data->data(KoCommonUtil::kKoDragMimeType));
        delete data;
    }
};

class TestFileViews : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_files = {new KoRemoteFile("http://x", "/DCIM", 100, 3, 0, ""),
                   new KoRemoteFile("http://x", "/a.jpg", 200, 3, 0, ""),
                   new KoRemoteFile("http://x", "/b.txt", 500, 3, 0, "")};
    }
    void cleanup()
    {
        qDeleteAll(m_files);
        m_files.clear();
    }
    void drops_data()
    {
        QTest::addColumn<bool>("table");
        QTest::addColumn<int>("permission");
        QTest::addColumn<bool>("own");
        QTest::addColumn<int>("row");            // -1: blank space
        QTest::addColumn<QByteArray>("payload"); // empty: local URLs
        QTest::addColumn<int>("local");
        QTest::addColumn<QStringList>("remote"); // paths then destination; empty: no signal
        const QByteArray two = KoCommonUtil::getKoDragDataFromPathList({"/a.jpg", "/b.txt"});
        for (const bool table : {false, true}) {
            const QByteArray tag = table ? "table " : "list ";
            QTest::newRow(tag + "urls at 2") << table << 2 << false << 1 << QByteArray() << 1 << QStringList();
            QTest::newRow(tag + "urls at 1") << table << 1 << false << 1 << QByteArray() << 0 << QStringList();
            QTest::newRow(tag + "own onto folder")
                << table << 2 << true << 0 << two << 0 << QStringList{"/a.jpg", "/b.txt", "/DCIM"};
            QTest::newRow(tag + "own onto file") << table << 2 << true << 1 << two << 0 << QStringList();
            QTest::newRow(tag + "own onto blank") << table << 2 << true << -1 << two << 0 << QStringList();
            QTest::newRow(tag + "own at 1") << table << 1 << true << 0 << two << 0 << QStringList();
            // A hostile payload: only the non-empty strings reach the move.
            QTest::newRow(tag + "non-strings")
                << table << 2 << true << 0 << QByteArray(R"({"path":[7,"",null,"/a.jpg",{"p":1}]})") << 0
                << QStringList{"/a.jpg", "/DCIM"};
        }
    }
    void drops()
    {
        QFETCH(bool, table);
        QFETCH(int, permission);
        QFETCH(int, row);
        QFETCH(QByteArray, payload);
        Probe<KoFileListView> list;
        Probe<KoFileTableView> tableView;
        KoRemoteFileListModel listModel;
        KoRemoteFileTableModel tableModel(nullptr, 3);
        listModel.setList(&m_files);
        tableModel.setList(&m_files);
        list.setModel(&listModel);
        tableView.setModel(&tableModel);
        QAbstractItemView* view = table ? static_cast<QAbstractItemView*>(&tableView) : &list;
        view->resize(600, 600);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view));
        QFETCH(bool, own);
        list.ownDrag = tableView.ownDrag = own;
        list.setFileList(&m_files);
        list.setPermissionState(permission);
        tableView.setFileList(&m_files);
        tableView.setPermissionState(permission);

        QMimeData data;
        if (payload.isEmpty())
            data.setUrls({QUrl::fromLocalFile("/tmp/x y.txt"), QUrl("https://example.org/z")});
        else
            data.setData(KoCommonUtil::kKoDragMimeType, payload);
        const QPoint pos = row < 0 ? QPoint(590, 590) : view->visualRect(view->model()->index(row, 0)).center();
        QSignalSpy local(view, SIGNAL(localFileDropped(QStringList)));
        QSignalSpy remoteSpy(view, SIGNAL(remoteFileDropped(QStringList, QString)));
        QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &enter);
        QCOMPARE(enter.isAccepted(), permission == 2);
        QDropEvent drop(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &drop);

        QTEST(int(local.size()), "local");
        if (!local.isEmpty())
            QCOMPARE(local.at(0).at(0).toStringList(), QStringList{"/tmp/x y.txt"});
        QFETCH(QStringList, remote);
        QCOMPARE(remoteSpy.size(), remote.isEmpty() ? 0 : 1);
        if (!remote.isEmpty())
            QCOMPARE(remoteSpy.at(0).at(0).toStringList() << remoteSpy.at(0).at(1).toString(), remote);
    }
    void dragOutPayloadHoldsSelectedRows()
    {
        Probe<KoFileTableView> view;
        KoRemoteFileTableModel model(nullptr, 3);
        model.setList(&m_files);
        view.setModel(&model);
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.setFileList(&m_files);
        view.resize(600, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QPoint from = view.visualRect(model.index(0, 0)).center();
        QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, from);
        view.selectionModel()->select(QItemSelection(model.index(2, 0), model.index(2, 2)),
                                      QItemSelectionModel::Select);
        QMouseEvent move(QEvent::MouseMove, from + QPoint(QApplication::startDragDistance() + 1, 0), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &move);
        QCOMPARE(view.drags, 1);
        // Three cells per row, one entry per row.
        QCOMPARE(view.payload.size(), 2);
        QCOMPARE(QSet<QString>(view.payload.begin(), view.payload.end()), (QSet<QString>{"/DCIM", "/b.txt"}));

        view.setPermissionState(0); // nothing may leave a read-only place
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, from);
        view.selectionModel()->select(QItemSelection(model.index(0, 0), model.index(0, 2)),
                                      QItemSelectionModel::Select);
        QApplication::sendEvent(view.viewport(), &move);
        QCOMPARE(view.drags, 1);
    }
    void wheelingEndsOnceAfterTheLastScroll()
    {
        KoFileListView view;
        QSignalSpy wheeling(&view, &KoFileListView::isWheeling);
        const QPoint at(10, 10);
        for (int i = 0; i < 2; ++i) {
            QWheelEvent wheel(at, view.mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(view.viewport(), &wheel);
        }
        // Dragging the scroll bar scrolls pages past as the wheel does: it keeps the flag up.
        view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(wheeling.size(), 2);
        QTRY_COMPARE(wheeling.size(), 3);
        QCOMPARE(wheeling.last().at(0).toBool(), false);
        QTest::qWait(1100); // no second "stopped" report
        QCOMPARE(wheeling.size(), 3);
    }
    void nativeReport_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("reported");
        QTemporaryDir dir;
        QTest::newRow("folder") << dir.path().toUtf8() << true;
        QTest::newRow("non-ascii folder") << QString::fromUtf8("/tmp/目标 夹").toUtf8() << true;
        QTest::newRow("none path") << QByteArray("none path") << false;
    }
    void nativeReport()
    {
        QFETCH(QByteArray, text);
        KoFileListView list;
        KoFileTableView table;
        for (QWidget* view : {static_cast<QWidget*>(&list), static_cast<QWidget*>(&table)}) {
            QSignalSpy left(view, SIGNAL(remoteFileDragLeft(QString)));
            emit view->findChild<KoDragWidget*>()->notifyPath(text.constData());
            QTEST(!left.isEmpty(), "reported");
            if (!left.isEmpty())
                QCOMPARE(left.at(0).at(0).toString(), QString::fromUtf8(text));
        }
    }
    void selectAll_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("total");
        QTest::addColumn<bool>("checked");
        QTest::newRow("none of none") << 0 << 0 << false;
        QTest::newRow("all") << 3 << 3 << true;
        QTest::newRow("some") << 2 << 3 << false;
    }
    void selectAll()
    {
        QFETCH(int, selected);
        QFETCH(int, total);
        QCheckBox box;
        auto* helper = new KoSelectAllHelper(&box);
        QSignalSpy clicks(helper, &KoSelectAllHelper::selectAllClicked);
        QSignalSpy toggles(&box, &QCheckBox::toggled);
        helper->setCounts(3, 3);
        helper->setCounts(selected, total);
        QTEST(box.isChecked(), "checked");
        // Changes made here never re-enter the page's handlers; only a click does, once.
        QCOMPARE(clicks.size(), 0);
        QCOMPARE(toggles.size(), 0);
        box.resize(100, 20);
        QTest::mouseClick(&box, Qt::LeftButton, Qt::NoModifier, QPoint(8, 10));
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(clicks.at(0).at(0).toBool(), box.isChecked());
    }

private:
    QList<KoRemoteFile*> m_files;
};

QTEST_MAIN(TestFileViews)
#include "tst_fileviews.moc"
