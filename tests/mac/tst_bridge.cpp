#include <QtTest>
#include <QtWidgets>

#include "mac/CFramelessWindow.h"
#include "mac/KoMacBridge.h"

namespace {
class CountingWindow : public CFramelessWindow
{
public:
    int closeEvents = 0;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        ++closeEvents;
        CFramelessWindow::closeEvent(event);
    }
};

void sendMouse(QWidget* w, QEvent::Type type, const QPoint& global, Qt::MouseButton button)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, w->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

QPushButton* windowButton(CFramelessWindow* w, const char* name)
{
    return w->windowButtons()->findChild<QPushButton*>(QLatin1String(name));
}

QFileDialog* openChooser(QWidget* parent)
{
    QFileDialog* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<QFileDialog*>(w)) {
            if (d->isVisible())
                dialog = d;
        }
    }
    Q_UNUSED(parent);
    return dialog;
}
}

class TestBridge : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    void makeTree()
    {
        QDir dir(m_dir.path());
        dir.mkdir("d");
        for (const char* name : {"a.txt", "b.txt"}) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x");
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        makeTree();
    }

    void dragsOnlyByTheTopStrip()
    {
        CFramelessWindow w;
        w.setCentralWidget(new QWidget);
        w.setDraggableAreaHeight(48);
        w.setGeometry(40, 40, 720, 480);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);

        // Below the strip: no move.
        QPoint start = w.pos();
        QPoint g = w.mapToGlobal(QPoint(300, 100));
        sendMouse(&w, QEvent::MouseButtonPress, g, Qt::LeftButton);
        sendMouse(&w, QEvent::MouseMove, g + QPoint(30, 20), Qt::NoButton);
        sendMouse(&w, QEvent::MouseButtonRelease, g + QPoint(30, 20), Qt::LeftButton);
        QCOMPARE(w.pos(), start);

        // Inside the strip: the window follows the mouse.
        g = w.mapToGlobal(QPoint(300, 20));
        sendMouse(&w, QEvent::MouseButtonPress, g, Qt::LeftButton);
        sendMouse(&w, QEvent::MouseMove, g + QPoint(30, 20), Qt::NoButton);
        sendMouse(&w, QEvent::MouseMove, g + QPoint(50, 25), Qt::NoButton);
        QTRY_COMPARE(w.pos(), start + QPoint(50, 25));
        sendMouse(&w, QEvent::MouseButtonRelease, g + QPoint(50, 25), Qt::LeftButton);

        // After the release further moves do nothing.
        start = w.pos();
        sendMouse(&w, QEvent::MouseMove, g + QPoint(90, 90), Qt::NoButton);
        QCOMPARE(w.pos(), start);
    }

    void lostReleaseDoesNotDragOnHover()
    {
        CFramelessWindow w;
        w.setMouseTracking(true);
        w.setDraggableAreaHeight(48);
        w.setGeometry(40, 40, 720, 480);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QPoint start = w.pos();
        const QPoint g = w.mapToGlobal(QPoint(300, 20));
        sendMouse(&w, QEvent::MouseButtonPress, g, Qt::LeftButton);
        // The release went to a box that opened meanwhile; the cursor now only hovers.
        const QPoint hover = g + QPoint(60, 70);
        QMouseEvent move(QEvent::MouseMove, w.mapFromGlobal(hover), hover, Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&w, &move);
        QTest::qWait(50);
        QCOMPARE(w.pos(), start);
    }

    void negativeHeightMeansWholeWindow()
    {
        CFramelessWindow w;
        w.setDraggableAreaHeight(-5);
        QCOMPARE(w.draggableAreaHeight(), 0);
        w.setGeometry(40, 40, 720, 480);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QPoint start = w.pos();
        const QPoint g = w.mapToGlobal(QPoint(300, 400));
        sendMouse(&w, QEvent::MouseButtonPress, g, Qt::LeftButton);
        sendMouse(&w, QEvent::MouseMove, g + QPoint(10, 10), Qt::NoButton);
        QTRY_COMPARE(w.pos(), start + QPoint(10, 10));
    }

    void maximisedWindowDoesNotMove()
    {
        CFramelessWindow w;
        w.setDraggableAreaHeight(48);
        w.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(w.isMaximized());
        const QPoint start = w.pos();
        const QPoint g = w.mapToGlobal(QPoint(300, 20));
        sendMouse(&w, QEvent::MouseButtonPress, g, Qt::LeftButton);
        sendMouse(&w, QEvent::MouseMove, g + QPoint(40, 40), Qt::NoButton);
        QTest::qWait(50);
        QCOMPARE(w.pos(), start);
    }

    void windowButtonsStayOnTopAndWork()
    {
        CountingWindow w;
        w.setCentralWidget(new QWidget);
        w.setGeometry(40, 40, 720, 480);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QPushButton* close = windowButton(&w, "btnWindowClose");
        QPushButton* min = windowButton(&w, "btnWindowMin");
        QPushButton* zoom = windowButton(&w, "btnWindowZoom");
        QVERIFY(close && min && zoom);
        // Drawn above the content added after the frame was built.
        const QPoint centre = zoom->mapTo(&w, zoom->rect().center());
        QCOMPARE(w.childAt(centre), zoom);
        QVERIFY(!zoom->icon().isNull());

        zoom->click();
        QTRY_VERIFY(w.isMaximized());
        zoom->click();
        QTRY_VERIFY(!w.isMaximized());

        w.setMinBtnEnabled(false);
        QVERIFY(!min->isEnabled());
        w.setMinBtnEnabled(true);
        min->click();
        QTRY_VERIFY(w.isMinimized());
        w.showNormal();

        close->click();
        QCOMPARE(w.closeEvents, 1);
        QVERIFY(!w.isVisible());
    }

    void closeButtonCanHideInstead()
    {
        CountingWindow w;
        w.setCloseBtnQuit(false);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        windowButton(&w, "btnWindowClose")->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(w.closeEvents, 0);
    }

    void chooserTakesFilesAndFoldersTogether()
    {
        QWidget parent;
        parent.show();
        int calls = 0;
        QStringList got;
        __chooseFilesOrDirectories(&parent, true, true, true, [&](QStringList paths) {
            ++calls;
            got = paths;
        });
        QCOMPARE(calls, 0); // returns at once
        QFileDialog* dialog = openChooser(&parent);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
        QCOMPARE(dialog->labelText(QFileDialog::Accept), QString::fromUtf8("选择"));

        dialog->setDirectory(m_dir.path());
        auto* view = dialog->findChild<QListView*>("listView");
        QVERIFY(view);
        QCOMPARE(view->selectionMode(), QAbstractItemView::ExtendedSelection);
        auto* model = dialog->findChild<QFileSystemModel*>();
        QVERIFY(model);
        const QModelIndex dirIndex = model->index(QDir(m_dir.path()).filePath("d"));
        const QModelIndex fileIndex = model->index(QDir(m_dir.path()).filePath("a.txt"));
        QTRY_VERIFY(dirIndex.isValid() && fileIndex.isValid());
        // A folder selected keeps the prompt (Qt would say "Open").
        view->selectionModel()->select(dirIndex, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        auto* box = dialog->findChild<QDialogButtonBox*>();
        QVERIFY(box);
        QPushButton* accept = box->button(QDialogButtonBox::Open);
        QVERIFY(accept);
        QTRY_COMPARE(accept->text(), QString::fromUtf8("选择"));
        view->selectionModel()->select(fileIndex, QItemSelectionModel::Select | QItemSelectionModel::Rows);

        QTRY_VERIFY(accept->isEnabled());
        QTRY_COMPARE(accept->text(), QString::fromUtf8("选择"));
        accept->click();
        QTRY_COMPARE(calls, 1);
        QStringList sorted = got;
        sorted.sort();
        QCOMPARE(sorted, QStringList({QDir(m_dir.path()).filePath("a.txt"), QDir(m_dir.path()).filePath("d")}));
        QTest::qWait(20);
        QCOMPARE(calls, 1);
        QVERIFY(!openChooser(&parent));
    }

    void cancelledChooserAnswersEmptyOnce()
    {
        QWidget parent;
        parent.show();
        int calls = 0;
        QStringList got{"sentinel"};
        __chooseFilesOrDirectories(&parent, true, true, true, [&](QStringList paths) {
            ++calls;
            got = paths;
        });
        QFileDialog* dialog = openChooser(&parent);
        QVERIFY(dialog);
        dialog->reject();
        QTRY_COMPARE(calls, 1);
        QVERIFY(got.isEmpty());
    }

    void folderOnlyChooserOffersFoldersOnly()
    {
        QWidget parent;
        parent.show();
        QStringList got{"sentinel"};
        __chooseFilesOrDirectories(&parent, false, true, false, [&](QStringList paths) { got = paths; });
        QFileDialog* dialog = openChooser(&parent);
        QVERIFY(dialog);
        QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
        QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
        dialog->setDirectory(m_dir.path());
        auto* view = dialog->findChild<QListView*>("listView");
        QVERIFY(view);
        QCOMPARE(view->selectionMode(), QAbstractItemView::SingleSelection);
        QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 1); // "d", no files
        // Nothing selected: the folder shown is the choice.
        static_cast<QDialog*>(dialog)->accept();
        QTRY_COMPARE(got, QStringList({QDir(m_dir.path()).absolutePath()}));
    }

    void singleFileChooserAllowsOneItem()
    {
        QWidget parent;
        parent.show();
        __chooseFilesOrDirectories(&parent, true, false, false, std::function<void(QStringList)>());
        QFileDialog* dialog = openChooser(&parent);
        QVERIFY(dialog);
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
        auto* view = dialog->findChild<QListView*>("listView");
        QCOMPARE(view->selectionMode(), QAbstractItemView::SingleSelection);
        dialog->reject(); // no callback: nothing to call
        QTest::qWait(20);
    }

    void dragOutReturnsAtOnce()
    {
        QMouseEvent event(QEvent::MouseButtonPress, QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        __forQtDrag(nullptr, &event);
        QWidget w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        __forQtMinimized(&w);
        QTRY_VERIFY(w.isMinimized());
    }
};

QTEST_MAIN(TestBridge)
#include "tst_bridge.moc"
