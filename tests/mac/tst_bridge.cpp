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
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton
                                                                        : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, w->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

QPushButton* windowButton(CFramelessWindow* w, const char* name)
{
    return w->windowButtons()->findChild<QPushButton*>(QLatin1String(name));
}

QFileDialog* openChooser(QWidget*)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible())
            return d;
    return nullptr;
}
} // namespace

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

    // The strip's rule over the shared surface drag (whose lost release tst_widgets covers).
    void drag_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("maximised");
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<QPoint>("moved");
        QTest::newRow("inside the strip") << 48 << false << QPoint(300, 20) << QPoint(30, 20);
        QTest::newRow("below the strip") << 48 << false << QPoint(300, 100) << QPoint();
        QTest::newRow("negative height: whole window") << -5 << false << QPoint(300, 400) << QPoint(30, 20);
        QTest::newRow("maximised") << 48 << true << QPoint(300, 20) << QPoint();
    }
    void drag()
    {
        QFETCH(int, height);
        QFETCH(bool, maximised);
        QFETCH(QPoint, press);
        QFETCH(QPoint, moved);
        CFramelessWindow w;
        w.setCentralWidget(new QWidget);
        w.setDraggableAreaHeight(height);
        w.setGeometry(40, 40, 720, 480);
        maximised ? w.showMaximized() : w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(w.isMaximized(), maximised);
        const QPoint start = w.pos();
        const QPoint g = w.mapToGlobal(press);
        sendMouse(&w, QEvent::MouseButtonPress, g, Qt::LeftButton);
        sendMouse(&w, QEvent::MouseMove, g + QPoint(10, 10), Qt::NoButton);
        sendMouse(&w, QEvent::MouseMove, g + QPoint(30, 20), Qt::NoButton);
        QTRY_COMPARE(w.pos(), start + moved);
        sendMouse(&w, QEvent::MouseButtonRelease, g + moved, Qt::LeftButton);
        // After the release further moves do nothing.
        sendMouse(&w, QEvent::MouseMove, g + QPoint(90, 90), Qt::NoButton);
        QTest::qWait(50);
        QCOMPARE(w.pos(), start + moved);
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
        // Drawn above the content added after the frame was built.
        QCOMPARE(w.childAt(zoom->mapTo(&w, zoom->rect().center())), zoom);

        zoom->click();
        QTRY_VERIFY(w.isMaximized());
        zoom->click();
        QTRY_VERIFY(!w.isMaximized());

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
        dialog->setDirectory(m_dir.path());
        auto* view = dialog->findChild<QListView*>("listView");
        auto* model = dialog->findChild<QFileSystemModel*>();
        const QModelIndex dirIndex = model->index(QDir(m_dir.path()).filePath("d"));
        const QModelIndex fileIndex = model->index(QDir(m_dir.path()).filePath("a.txt"));
        QTRY_VERIFY(dirIndex.isValid() && fileIndex.isValid());
        // A folder selected keeps the prompt (Qt would say "Open").
        view->selectionModel()->select(dirIndex, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QPushButton* accept = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
        QTRY_COMPARE(accept->text(), QString::fromUtf8("选择"));
        view->selectionModel()->select(fileIndex, QItemSelectionModel::Select | QItemSelectionModel::Rows);

        QTRY_VERIFY(accept->isEnabled());
        QTRY_COMPARE(accept->text(), QString::fromUtf8("选择"));
        accept->click();
        QTRY_COMPARE(calls, 1);
        got.sort();
        QCOMPARE(got, QStringList({QDir(m_dir.path()).filePath("a.txt"), QDir(m_dir.path()).filePath("d")}));
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
        dialog->setDirectory(m_dir.path());
        auto* view = dialog->findChild<QListView*>("listView");
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
        QCOMPARE(dialog->findChild<QListView*>("listView")->selectionMode(), QAbstractItemView::SingleSelection);
        dialog->reject(); // no callback: nothing to call
        QTest::qWait(20);
    }

    // Not the working directory: each kind of chooser opens where it was last left, else at home.
    void chooserOpensWhereItWasLastLeft()
    {
        QWidget parent;
        parent.show();
        const QString home = QDir(QDir::homePath()).absolutePath();
        const QString left = QDir(m_dir.path()).filePath("d");
        auto openedIn = [&parent](bool files, bool dirs) {
            __chooseFilesOrDirectories(&parent, files, dirs, true, std::function<void(QStringList)>());
            QFileDialog* dialog = openChooser(&parent);
            return dialog ? dialog->directory().absolutePath() : QString();
        };
        QVERIFY(QDir::currentPath() != home);

        QCOMPARE(openedIn(true, false), home);
        openChooser(&parent)->setDirectory(left);
        openChooser(&parent)->reject();
        QTRY_VERIFY(!openChooser(&parent));
        QCOMPARE(openedIn(true, false), left);
        openChooser(&parent)->reject();
        QTRY_VERIFY(!openChooser(&parent));
        // Another kind of chooser keeps its own place.
        QCOMPARE(openedIn(false, true), home);
        openChooser(&parent)->reject();
        QTRY_VERIFY(!openChooser(&parent));
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
