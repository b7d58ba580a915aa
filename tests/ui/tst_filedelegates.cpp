// The browser's delegates and rename editors: row-button hit areas, the path bar's cut, the
// name validator, Escape, one render per type image, and screenshots of both views.

#include "app/KoCommonUtil.h"
#include "model/KoRemoteFile.h"
#include "ui/browser/KoFileListView.h"
#include "ui/browser/KoFileTableView.h"
#include "ui/browser/KoRemoteFileListModel.h"
#include "ui/browser/KoRemoteFileTableModel.h"
#include "ui/browser/KoUiV3FileDetailDelegate.h"
#include "ui/browser/KoUiV3FileIconDelegate.h"
#include "ui/browser/KoUiV3FilePathDelegate.h"
#include "ui/browser/KoUiV3FileTableEditor.h"
#include "ui/widgets/KoImageCache.h"

#include <QDir>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QLineEdit>
#include <QPainter>
#include <QtTest>

namespace {
const QString kArtifacts = QStringLiteral(KO_BINARY_DIR "/test-artifacts");

QList<KoRemoteFile*> sampleFiles()
{
    return {new KoRemoteFile("http://x", "/DCIM", 100, 5, 1700000000000, ""),
            new KoRemoteFile("http://x", "/empty", 100, 0, 1700000000000, ""),
            new KoRemoteFile("http://x", QString::fromUtf8("/海边的一个很长很长很长的夏天照片名字.jpg"), 200, 2048000,
                             1700000000000, ""),
            new KoRemoteFile("http://x", "/report.pdf", 504, 90000, 1700000000000, ""),
            new KoRemoteFile("http://x", "/song.mp3", 400, 4000000, 1700000000000, ""),
            new KoRemoteFile("http://x", "/notes", 700, 12, 1700000000000, "")};
}
} // namespace

class TestFileDelegates : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<KoRemoteFile*>();
        QDir().mkpath(kArtifacts);
    }
    void cleanup()
    {
        qDeleteAll(m_files);
        m_files.clear();
    }
    void rowButtons_data()
    {
        QTest::addColumn<int>("permission");
        QTest::addColumn<QPoint>("at"); // offset from the cell's right edge, and y
        QTest::addColumn<QString>("signal");
        // Cell (0, 0, 400, 30): right = 399, buttons at y 7.
        QTest::newRow("2 download") << 2 << QPoint(84 - 8, 15) << "download";
        QTest::newRow("2 delete") << 2 << QPoint(56 - 8, 15) << "delete";
        QTest::newRow("2 more") << 2 << QPoint(28 - 8, 15) << "more";
        QTest::newRow("2 left of download") << 2 << QPoint(85, 15) << "";
        QTest::newRow("1 download") << 1 << QPoint(56 - 8, 15) << "download";
        QTest::newRow("1 delete") << 1 << QPoint(28 - 8, 15) << "delete";
        QTest::newRow("1 where more was") << 1 << QPoint(84 - 8, 15) << "";
        QTest::newRow("0 none") << 0 << QPoint(28 - 8, 15) << "";
    }
    void rowButtons()
    {
        QFETCH(int, permission);
        QFETCH(QPoint, at);
        QFETCH(QString, signal);
        m_files = sampleFiles();
        KoRemoteFileTableModel model(nullptr, 3);
        model.setList(&m_files);
        model.setPermissionState(permission);
        KoUiV3FileDetailDelegate delegate;
        QSignalSpy download(&delegate, &KoUiV3FileDetailDelegate::btnDownloadClicked);
        QSignalSpy remove(&delegate, &KoUiV3FileDetailDelegate::btnDeleteClicked);
        QSignalSpy more(&delegate, &KoUiV3FileDetailDelegate::btnMoreClicked);
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 400, 30);
        const QPoint pos(option.rect.right() - at.x(), at.y());
        QMouseEvent press(QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        const bool consumed = delegate.editorEvent(&press, &model, option, model.index(0, 0));
        QCOMPARE(consumed, !signal.isEmpty());
        QCOMPARE(download.size(), signal == "download" ? 1 : 0);
        QCOMPARE(remove.size(), signal == "delete" ? 1 : 0);
        QCOMPARE(more.size(), signal == "more" ? 1 : 0);
        if (!more.isEmpty())
            QCOMPARE(more.at(0).at(1).toPoint(), QPoint(option.rect.right() - 28, 7 + 15));
    }
    void pathCut_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        const QString smile = QString::fromUtf8("😀");
        QTest::newRow("11 cut") << "Screenshots"
                                << "Screensh...";
        QTest::newRow("8 emoji whole") << smile.repeated(8) << smile.repeated(8);
        // Counted in characters, so no emoji is cut in half.
        QTest::newRow("9 emoji cut") << smile.repeated(9) << smile.repeated(8) + "...";
        QTest::newRow("mixed") << "ab" + smile.repeated(7) << "ab" + smile.repeated(6) + "...";
    }
    void pathCut()
    {
        QFETCH(QString, name);
        QTEST(KoUiV3FilePathDelegate::displayText(name), "shown");
    }
    void validator_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("acceptable");
        QTest::newRow("slash and colon dropped") << "a/b:c"
                                                 << "abc" << true;
        QTest::newRow("backslash kept") << "a\\b"
                                        << "a\\b" << true;
        QTest::newRow("dot") << "."
                             << "." << false;
        QTest::newRow("dots") << "..."
                              << "..." << false;
        QTest::newRow("dots then name") << "..x"
                                        << "..x" << true;
        QTest::newRow("255 bytes max") << QString(300, 'a') << QString(255, 'a') << true;
        QTest::newRow("chinese to 255 bytes") << QString(100, QChar(0x4E2D)) << QString(85, QChar(0x4E2D)) << true;
    }
    void validator()
    {
        QFETCH(QString, typed);
        KoUiV3FileTableEditor editor;
        auto* edit = editor.findChild<QLineEdit*>("nameEdit");
        for (const QChar c : typed) // one character at a time, as typed
            edit->insert(QString(c));
        QTEST(edit->text(), "text");
        QTEST(edit->hasAcceptableInput(), "acceptable");
    }
    void escapeCancelsAndReturnRenamesOnce_data()
    {
        QTest::addColumn<bool>("table");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("renames");
        QTest::newRow("table escape") << true << int(Qt::Key_Escape) << 0;
        QTest::newRow("table return") << true << int(Qt::Key_Return) << 1;
        QTest::newRow("icons escape") << false << int(Qt::Key_Escape) << 0;
        QTest::newRow("icons return") << false << int(Qt::Key_Return) << 1;
    }
    void escapeCancelsAndReturnRenamesOnce()
    {
        QFETCH(bool, table);
        QFETCH(int, key);
        m_files = sampleFiles();
        KoFileTableView tableView;
        KoFileListView listView;
        KoRemoteFileTableModel tableModel(nullptr, 3);
        KoRemoteFileListModel listModel;
        tableModel.setList(&m_files);
        listModel.setList(&m_files);
        tableView.setModel(&tableModel);
        listView.setModel(&listModel);
        tableView.setItemDelegate(new KoUiV3FileDetailDelegate(&tableView));
        listView.setItemDelegate(new KoUiV3FileIconDelegate(&listView));
        listView.setViewMode(QListView::IconMode);
        QAbstractItemView* view = table ? static_cast<QAbstractItemView*>(&tableView) : &listView;
        QSignalSpy renames(view->model(), SIGNAL(renameFile(KoRemoteFile*, QString)));
        view->resize(600, 400);
        view->show();
        QVERIFY(QTest::qWaitForWindowActive(view));
        const QModelIndex index = view->model()->index(3, 0);
        view->edit(index);
        QLineEdit* edit = nullptr;
        QTRY_VERIFY((edit = view->findChild<QLineEdit*>("nameEdit")) && edit->hasFocus());
        // The whole name, without its suffix, is selected.
        QCOMPARE(edit->selectedText(), QStringLiteral("report"));
        QTest::keyClicks(edit, "summary");
        QTest::keyClick(edit, Qt::Key(key));
        QTRY_VERIFY(!view->findChild<QLineEdit*>("nameEdit")
                    || !view->findChild<QLineEdit*>("nameEdit")->isVisible());
        QCoreApplication::processEvents();
        QTEST(int(renames.size()), "renames");
        QCOMPARE(m_files.at(3)->getName(), renames.isEmpty() ? QStringLiteral("report") : QStringLiteral("summary"));
    }
    // A thumbnail fits inside the 80 x 80 icon with its shape kept, centred.
    void thumbnailsKeepTheirShape_data()
    {
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QSize>("painted");
        QTest::newRow("4:3 photo") << QSize(400, 300) << QSize(80, 60);
        QTest::newRow("tall screenshot") << QSize(100, 400) << QSize(20, 80);
        QTest::newRow("square") << QSize(50, 50) << QSize(80, 80);
    }
    void thumbnailsKeepTheirShape()
    {
        QFETCH(QSize, image);
        QFETCH(QSize, painted);
        QTemporaryDir dir;
        QImage red(image, QImage::Format_RGB32);
        red.fill(Qt::red);
        const QString path = dir.filePath("thumb.png");
        QVERIFY(red.save(path));
        QStandardItemModel model(1, 1);
        auto* item = new QStandardItem;
        model.setItem(0, 0, item);
        item->setData(QStringLiteral("IMG_0001"), KoFileModelRole::FileName);
        item->setData(int(KoAbstractFile::TypePhoto), KoFileModelRole::FileType);
        item->setData(path, KoFileModelRole::FileThumbnail);
        KoUiV3FileIconDelegate delegate;
        QImage canvas(128, 128, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QStyleOptionViewItem tile;
        tile.rect = canvas.rect();
        {
            QPainter painter(&canvas);
            delegate.paint(&painter, tile, model.index(0, 0));
        }
        QRect box;
        for (int y = 0; y < canvas.height(); ++y)
            for (int x = 0; x < canvas.width(); ++x)
                if (canvas.pixelColor(x, y) == QColor(Qt::red))
                    box |= QRect(x, y, 1, 1);
        QCOMPARE(box.size(), painted);
        QCOMPARE(box.center(), KoUiV3FileIconDelegate::iconRect(tile.rect).center());
    }

    void typeImagesRenderOncePerSize()
    {
        QList<KoRemoteFile*> files;
        const int types[] = {100, 200, 300, 400, 500, 501, 502, 503, 504, 600, 601, 700};
        for (int i = 0; i < 10000; ++i)
            files.append(new KoRemoteFile("http://x", QStringLiteral("/f%1.x").arg(i), types[i % 12], i % 3, 0, ""));
        m_files = files;
        KoRemoteFileListModel listModel;
        KoRemoteFileTableModel tableModel(nullptr, 3);
        listModel.setList(&files);
        tableModel.setList(&files);
        KoUiV3FileIconDelegate icons;
        KoUiV3FileDetailDelegate rows;
        QImage canvas(600, 200, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&canvas);
        QStyleOptionViewItem tile, row;
        tile.rect = QRect(0, 0, 128, 128);
        row.rect = QRect(0, 0, 400, 30);
        const int before = KoImageCache::renderCount();
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i < files.size(); ++i) {
                icons.paint(&painter, tile, listModel.index(i));
                rows.paint(&painter, row, tableModel.index(i, 0));
            }
        }
        // At most 13 large and 13 small type images (folders empty and not), each rendered once.
        QVERIFY(KoImageCache::renderCount() - before <= 26);
        QVERIFY(KoImageCache::renderCount() - before >= 13);
    }
    void screenshots()
    {
        m_files = sampleFiles();
        m_files.at(3)->setCut(true);
        KoFileListView list;
        KoRemoteFileListModel listModel;
        listModel.setList(&m_files);
        list.setModel(&listModel);
        list.setItemDelegate(new KoUiV3FileIconDelegate(&list));
        list.setViewMode(QListView::IconMode);
        list.setFlow(QListView::LeftToRight);
        list.setWrapping(true);
        list.setResizeMode(QListView::Adjust);
        list.resize(600, 320);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.selectionModel()->select(listModel.index(0), QItemSelectionModel::Select);
        QVERIFY(list.grab().save(kArtifacts + "/views_icons.png"));

        KoFileTableView table;
        KoRemoteFileTableModel tableModel(nullptr, 3);
        tableModel.setList(&m_files);
        tableModel.setPermissionState(2);
        table.setModel(&tableModel);
        table.setItemDelegate(new KoUiV3FileDetailDelegate(&table));
        table.setSelectionBehavior(QAbstractItemView::SelectRows);
        table.setShowGrid(false);
        table.verticalHeader()->hide();
        table.horizontalHeader()->setMinimumSectionSize(150);
        table.horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
        connect(&table, &KoFileTableView::hoverRow, &tableModel, &KoRemoteFileTableModel::onHoverRow);
        table.resize(700, 300);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        QMouseEvent move(QEvent::MouseMove, table.visualRect(tableModel.index(2, 0)).center(), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(table.viewport(), &move);
        QTRY_VERIFY(tableModel.index(2, 0).data(KoFileModelRole::Hover).toBool());
        const QImage hover = table.grab().toImage();
        QVERIFY(hover.save(kArtifacts + "/views_table_hover.png"));
        // The hovered row's background.
        const QRect cell = table.visualRect(tableModel.index(2, 1));
        QCOMPARE(hover.pixelColor(table.viewport()->mapTo(&table, cell.topLeft() + QPoint(cell.width() - 4, 3))),
                 QColor("#F6F6F6"));

        table.edit(tableModel.index(2, 0));
        QTRY_VERIFY(table.findChild<QLineEdit*>("nameEdit"));
        QVERIFY(table.grab().save(kArtifacts + "/views_rename_editor.png"));
    }

private:
    QList<KoRemoteFile*> m_files;
};

QTEST_MAIN(TestFileDelegates)
#include "tst_filedelegates.moc"
