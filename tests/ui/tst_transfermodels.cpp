// The transfer tables' models and row delegates: what each role answers (also for a record
// without its file or of the wrong class, and for rows whose record moved or left the list), where the row
// buttons answer clicks, and what the state column paints.

#include <QtTest>
#include <QtWidgets>

#include "model/KoFileDownloadInfo.h"
#include "model/KoFileUploadInfo.h"
#include "support/KoTransferRecords.h"
#include "ui/transfer/KoFileDownloadInfoTableModel.h"
#include "ui/transfer/KoFileFinishedInfoTableModel.h"
#include "ui/transfer/KoFileUploadInfoTableModel.h"
#include "ui/transfer/KoUiV3FileDownloadInfoDelegate.h"
#include "ui/transfer/KoUiV3FileFinishedInfoDelegate.h"
#include "ui/transfer/KoUiV3FileUploadInfoDelegate.h"
#include "ui/widgets/KoImageCache.h"

using KoTransferRecords::Line;
using Model = KoTransferTableModel;

namespace {
KoFileConvertInfo* record(const Line& l, int taskId = 7)
{
    return KoFileConvertInfo::getConvertInfoFromJson(taskId, QString::fromUtf8(KoTransferRecords::line(l)));
}

// 0 downloads, 1 uploads, 2 finished; over list when given.
Model* newModel(int table, QList<KoFileConvertInfo*>* list = nullptr)
{
    Model* model = table == 0 ? static_cast<Model*>(new KoFileDownloadInfoTableModel(nullptr, 4))
        : table == 1          ? static_cast<Model*>(new KoFileUploadInfoTableModel(nullptr, 4))
                              : new KoFileFinishedInfoTableModel(nullptr, 4);
    if (list)
        model->setList(list);
    return model;
}

Line state(int type, int s, int progress = 50)
{
    Line l;
    l.type = type;
    l.state = s;
    l.progress = progress;
    return l;
}
} // namespace

class TestTransferModels : public QObject
{
    Q_OBJECT

private slots:
    void inProgressRoles_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("nick");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("role");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("phone") << 1 << "小明" << 1 << int(Qt::DisplayRole) << QVariant("小明(Mi 10)");
        QTest::newRow("phone without nick") << 0 << "" << 1 << int(Qt::DisplayRole) << QVariant();
        QTest::newRow("sizes") << 1 << "小明" << 2 << int(Model::ConvertedSizeRole) << QVariant("1.00KB");
        QTest::newRow("task id") << 0 << "小明" << 3 << int(Model::TaskIdRole) << QVariant(7);
    }

    void inProgressRoles()
    {
        QFETCH(int, type);
        QFETCH(QString, nick);
        QFETCH(int, column);
        QFETCH(int, role);
        QFETCH(QVariant, expected);
        Line l = state(type, 4);
        l.nick = nick;
        QList<KoFileConvertInfo*> list{record(l)};
        QScopedPointer<Model> model(newModel(type, &list));
        QAbstractItemModelTester checker(model.data(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model->data(model->index(0, column), role), expected);
        qDeleteAll(list);
    }

    void finishText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<QString>("expected");
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime morning(now.date(), QTime(0, 0, 1));
        const QDateTime lateYesterday(now.date().addDays(-1), QTime(23, 59, 59));
        QTest::newRow("today") << 0 << morning << QStringLiteral("下载完成 00:00:01");
        QTest::newRow("yesterday, under 24 h")
            << 1 << lateYesterday << QStringLiteral("上传完成 ") + lateYesterday.toString("yyyy-MM-dd");
        QTest::newRow("never") << 0 << QDateTime() << QStringLiteral("下载完成 ");
    }

    void finishText()
    {
        QFETCH(int, kind);
        QFETCH(QDateTime, at);
        QFETCH(QString, expected);
        Line l = state(kind, 2);
        l.finishedTime = at.isValid() ? at.toMSecsSinceEpoch() : 0;
        QList<KoFileConvertInfo*> list{record(l)};
        KoFileFinishedInfoTableModel model(nullptr, 4);
        QAbstractItemModelTester checker(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setList(&list);
        QCOMPARE(model.data(model.index(0, 2), Qt::DisplayRole).toString(), expected);
        QCOMPARE(model.data(model.index(0, 3), Model::LocalPathRole),
                 kind == 0 ? QVariant(QStringLiteral("/nonexistent/IMG_1.jpg")) : QVariant());
        qDeleteAll(list);
    }

    // A record without its file, or of the other class, must neither crash nor name a file; the
    // state and buttons of a fileless record still show.
    void brokenRecordsAnswerNothingAndDoNotCrash()
    {
        auto* noFile = new KoFileDownloadInfo(3, 1, 2, "phone", 9, nullptr, QString());
        noFile->setConvertState(KoFileConvertInfo::StateFailed);
        auto* upload = new KoFileUploadInfo(4, nullptr, 9, "/DCIM", 1, 2, "phone");
        upload->setConvertState(KoFileConvertInfo::StateFinished);
        QList<KoFileConvertInfo*> list{noFile, upload};
        KoFileDownloadInfoTableModel downloads(nullptr, 4);
        KoFileFinishedInfoTableModel finished(nullptr, 4);
        QAbstractItemModelTester c1(&downloads, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester c2(&finished, QAbstractItemModelTester::FailureReportingMode::QtTest);
        downloads.setList(&list);
        finished.setList(&list);
        QCOMPARE(downloads.data(downloads.index(0, 0), Qt::DisplayRole), QVariant());
        QCOMPARE(downloads.data(downloads.index(0, 0), Qt::DecorationRole), QVariant());
        QCOMPARE(downloads.data(downloads.index(0, 3), Model::StateRole), QVariant(3));
        QCOMPARE(downloads.data(downloads.index(1, 3), Model::StateRole), QVariant()); // an upload
        QCOMPARE(finished.data(finished.index(1, 0), Qt::DisplayRole), QVariant());
        QCOMPARE(finished.data(finished.index(1, 3), Model::KindRole), QVariant(1));

        QTableView view;
        view.resize(600, 200);
        view.setModel(&downloads);
        view.setItemDelegate(new KoUiV3FileDownloadInfoDelegate(&view));
        view.grab(); // paints every cell
        qDeleteAll(list);
    }

    // Between two resets the list changes under the model: each row still shows its own record
    // wherever it now stands, or once it left, what the row showed; never another record, and
    // never a blank row for a record that is still there. "A1": name A, state 1.
    void rowsFollowTheirRecords_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("shownBefore"); // the rows were read once before the change
        QTest::addColumn<QString>("expected");
        QTest::newRow("first finished") << "finish A" << true << "A1 B1 C1 D1";
        QTest::newRow("finished, never shown") << "finish B" << false << "A1 B2 C1 D1";
        QTest::newRow("three finished") << "finish A,finish B,finish C" << true << "A1 B1 C1 D1";
        QTest::newRow("newer record in front") << "prepend X" << true << "A1 B1 C1 D1";
        QTest::newRow("one deleted") << "delete B" << true << "A1 B1 C1 D1";
        QTest::newRow("one deleted, never shown") << "delete B" << false << "A1 - C1 D1";
        QTest::newRow("one paused in place") << "pause C" << true << "A1 B1 C4 D1";
        QTest::newRow("moved, then paused") << "finish A,pause D" << true << "A1 B1 C1 D4";
        QTest::newRow("all replaced") << "delete A,delete B,finish C,finish D,prepend X,prepend Y" << true
                                      << "A1 B1 C1 D1";
        QTest::newRow("reversed") << "reverse" << false << "A1 B1 C1 D1";
    }

    void rowsFollowTheirRecords()
    {
        QFETCH(QString, change);
        QFETCH(bool, shownBefore);
        QFETCH(QString, expected);
        QList<KoFileConvertInfo*> list;
        QHash<QString, KoFileConvertInfo*> byName;
        int id = 0;
        const auto add = [&](const QString& name) {
            Line l = state(0, 1);
            l.name = name + ".jpg";
            KoFileConvertInfo* r = record(l, ++id);
            byName.insert(name, r);
            return r;
        };
        for (const QString& name : {"A", "B", "C", "D"})
            list << add(name);
        QList<KoFileConvertInfo*> moved; // left for another list, still alive
        KoFileDownloadInfoTableModel model(nullptr, 4);
        QAbstractItemModelTester checker(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setList(&list);
        const auto shown = [&] {
            QStringList rows;
            for (int row = 0; row < model.rowCount(); ++row) {
                const QString name = model.data(model.index(row, 0), Qt::DisplayRole).toString();
                const QVariant s = model.data(model.index(row, 2), Model::StateRole);
                rows << (name.isEmpty() ? QString("-") : name.left(1) + s.toString());
            }
            return rows.join(' ');
        };
        if (shownBefore)
            QCOMPARE(shown(), QString("A1 B1 C1 D1"));
        for (const QString& step : change.split(',')) {
            const QString verb = step.section(' ', 0, 0);
            KoFileConvertInfo* r = byName.value(step.section(' ', 1));
            if (verb == "finish") {
                list.removeOne(r);
                r->setConvertState(KoFileConvertInfo::StateFinished);
                moved << r;
            } else if (verb == "delete") {
                list.removeOne(r);
                delete r;
            } else if (verb == "pause") {
                r->setConvertState(KoFileConvertInfo::StatePaused);
            } else if (verb == "prepend") {
                list.prepend(add(step.section(' ', 1)));
            } else if (verb == "reverse") {
                std::reverse(list.begin(), list.end());
            }
        }
        QCOMPARE(shown(), expected);
        // Read again: what a row fell back to stays.
        QCOMPARE(shown(), expected);
        // The next reset shows the list as it is.
        QCOMPARE(model.isStale(), list.size() != 4);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        model.setList(&list);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(model.rowCount(), list.size());
        for (int row = 0; row < list.size(); ++row)
            QCOMPARE(model.data(model.index(row, 3), Model::TaskIdRole), QVariant(list.at(row)->getTaskId()));
        qDeleteAll(list);
        qDeleteAll(moved);
    }

    // A record that moved in the list and changed is announced at its own row.
    void refreshAnnouncesTheRowOfAMovedRecord()
    {
        QList<KoFileConvertInfo*> list{record(state(0, 1), 1), record(state(0, 1), 2), record(state(0, 1), 3)};
        KoFileDownloadInfoTableModel model(nullptr, 4);
        QAbstractItemModelTester checker(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setList(&list);
        model.refreshRows(0, 2, false);
        KoFileConvertInfo* done = list.takeFirst();
        list.at(1)->setProgress(90);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.refreshRows(0, 2);
        QSet<int> rows;
        for (const QList<QVariant>& args : qAsConst(changed))
            rows << args.at(0).toModelIndex().row();
        QCOMPARE(rows, QSet<int>{2});
        QCOMPARE(model.data(model.index(2, 2), Model::ProgressRole), QVariant(90));
        QCOMPARE(model.recordAt(2), list.at(1));
        QCOMPARE(model.recordAt(0), nullptr);
        delete done;
        qDeleteAll(list);
    }

    void iconsAreRenderedOncePerType()
    {
        QList<KoFileConvertInfo*> list{record(state(0, 4)), record(state(0, 3))};
        KoFileDownloadInfoTableModel model(nullptr, 4);
        model.setList(&list);
        model.data(model.index(0, 0), Qt::DecorationRole);
        const int renders = KoImageCache::renderCount();
        for (int i = 0; i < 100; ++i)
            QVERIFY(!model.data(model.index(i % 2, 0), Qt::DecorationRole).value<QPixmap>().isNull());
        QCOMPARE(KoImageCache::renderCount(), renders);
        qDeleteAll(list);
    }

    void rowButtons_data()
    {
        QTest::addColumn<int>("table"); // 0 downloads, 1 uploads, 2 finished
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("rowState"); // -1: a record of the other class (a blank row)
        QTest::addColumn<int>("x");
        QTest::addColumn<QString>("expected");
        QTest::newRow("waiting: pause") << 0 << 0 << 0 << 18 << "pause 7";
        QTest::newRow("running: delete") << 1 << 1 << 1 << 58 << "delete 7 1";
        QTest::newRow("running: gap") << 0 << 0 << 1 << 38 << "";
        QTest::newRow("running: no third button") << 0 << 0 << 1 << 98 << "";
        QTest::newRow("failed: retry") << 0 << 0 << 3 << 18 << "retry 7";
        QTest::newRow("paused: start") << 1 << 1 << 4 << 18 << "retry 7";
        QTest::newRow("paused: delete") << 0 << 0 << 4 << 58 << "delete 7 4";
        QTest::newRow("finished row in progress table") << 0 << 0 << 2 << 18 << "";
        QTest::newRow("blank row") << 0 << 1 << -1 << 18 << "";
        QTest::newRow("download: open") << 2 << 0 << 2 << 18 << "open /nonexistent/IMG_1.jpg";
        QTest::newRow("download: folder") << 2 << 0 << 2 << 58 << "dir /nonexistent/IMG_1.jpg";
        QTest::newRow("download: clear") << 2 << 0 << 2 << 98 << "clear 7";
        QTest::newRow("upload: clear") << 2 << 1 << 2 << 18 << "clear 7";
        QTest::newRow("upload: nothing at 58") << 2 << 1 << 2 << 58 << "";
    }

    void rowButtons()
    {
        QFETCH(int, table);
        QFETCH(int, type);
        QFETCH(int, rowState);
        QFETCH(int, x);
        QFETCH(QString, expected);
        QList<KoFileConvertInfo*> list{record(state(type, qMax(rowState, 0)))};
        QTableView view;
        view.resize(700, 200);
        QScopedPointer<Model> model(newModel(table, &list));
        view.setModel(model.data());
        view.verticalHeader()->setDefaultSectionSize(48);
        QStringList seen;
        if (table == 2) {
            auto* d = new KoUiV3FileFinishedInfoDelegate(&view);
            connect(d, &KoUiV3FileFinishedInfoDelegate::btnOpenFileClicked, [&](QString p) { seen << "open " + p; });
            connect(d, &KoUiV3FileFinishedInfoDelegate::btnOpenDirClicked, [&](QString p) { seen << "dir " + p; });
            connect(d, &KoUiV3FileFinishedInfoDelegate::btnDeleteClicked,
                    [&](int id) { seen << QString("clear %1").arg(id); });
            view.setItemDelegate(d);
        } else {
            KoTransferProgressDelegate* d = table == 0
                ? static_cast<KoTransferProgressDelegate*>(new KoUiV3FileDownloadInfoDelegate(&view))
                : new KoUiV3FileUploadInfoDelegate(&view);
            connect(d, &KoTransferProgressDelegate::btnPauseClicked,
                    [&](int id) { seen << QString("pause %1").arg(id); });
            connect(d, &KoTransferProgressDelegate::btnRetryClicked,
                    [&](int id) { seen << QString("retry %1").arg(id); });
            connect(d, &KoTransferProgressDelegate::btnDeleteClicked,
                    [&](int id, int s) { seen << QString("delete %1 %2").arg(id).arg(s); });
            view.setItemDelegate(d);
        }
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QRect cell = view.visualRect(model->index(0, 3));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(cell.left() + x, cell.center().y()));
        QCOMPARE(seen.join(';'), expected);
        view.setModel(nullptr);
        qDeleteAll(list);
    }

    // The pointer rests on row 0's first button, then one move takes it to row, column, x.
    void hoverOffAButtonRestoresTheArrow_data()
    {
        QTest::addColumn<int>("table"); // 0 downloads, 1 uploads, 2 finished
        QTest::addColumn<int>("type");  // of row 1's record
        QTest::addColumn<int>("rowState");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("x");
        QTest::newRow("the gap") << 0 << 0 << 0 << 0 << 3 << 38;
        QTest::newRow("a finished row in a progress table") << 0 << 0 << 2 << 1 << 3 << 18;
        QTest::newRow("a blank row") << 0 << 1 << 0 << 1 << 3 << 18;
        QTest::newRow("an upload row's missing button") << 2 << 1 << 2 << 1 << 3 << 58;
        QTest::newRow("straight into the state column") << 1 << 1 << 0 << 0 << 2 << 30;
        QTest::newRow("straight into the next row's name") << 2 << 0 << 2 << 1 << 0 << 100;
    }
    void hoverOffAButtonRestoresTheArrow()
    {
        QFETCH(int, table);
        QFETCH(int, type);
        QFETCH(int, rowState);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(int, x);
        QList<KoFileConvertInfo*> list{record(state(table == 1 ? 1 : 0, table == 2 ? 2 : 0)),
                                       record(state(type, rowState))};
        const auto free = qScopeGuard([&list] { qDeleteAll(list); });
        QTableView view;
        view.setMouseTracking(true);
        view.resize(700, 200);
        QScopedPointer<Model> model(newModel(table, &list));
        view.setModel(model.data());
        view.verticalHeader()->setDefaultSectionSize(48);
        view.setItemDelegate(
            table == 2       ? static_cast<QAbstractItemDelegate*>(new KoUiV3FileFinishedInfoDelegate(&view))
                : table == 0 ? static_cast<QAbstractItemDelegate*>(new KoUiV3FileDownloadInfoDelegate(&view))
                             : new KoUiV3FileUploadInfoDelegate(&view));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const auto moveTo = [&view, &model](int r, int c, int dx) {
            const QRect cell = view.visualRect(model->index(r, c));
            const QPoint at(cell.left() + dx, cell.center().y());
            QMouseEvent move(QEvent::MouseMove, at, view.viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(view.viewport(), &move);
        };
        moveTo(0, 3, 18);
        QCOMPARE(view.cursor().shape(), Qt::PointingHandCursor);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), table == 2 ? "打开" : "暂停");
        moveTo(row, column, x);
        QCOMPARE(view.cursor().shape(), Qt::ArrowCursor);
        QTRY_VERIFY_WITH_TIMEOUT(!QToolTip::isVisible(), 5000);
        view.setModel(nullptr);
    }

    void stateColumnPixels_data()
    {
        QTest::addColumn<int>("rowState");
        QTest::addColumn<int>("progress");
        QTest::addColumn<int>("x"); // in the 200 px cell; -1: anywhere in the cell
        QTest::addColumn<QColor>("expected");
        // Track from 10, 168 px wide; half of it filled at 50 %.
        QTest::newRow("running: filled part") << 1 << 50 << 20 << QColor("#4D90FF");
        QTest::newRow("running: track after the fill") << 1 << 50 << 100 << QColor("#E5E5E5");
        QTest::newRow("running: at 0 only the track") << 1 << 0 << 20 << QColor("#E5E5E5");
        QTest::newRow("paused: grey fill") << 4 << 50 << 20 << QColor("#C3C3C3");
        QTest::newRow("over 100 fills the track") << 1 << 150 << 170 << QColor("#4D90FF");
        QTest::newRow("over 100 stays inside it") << 1 << 150 << 182 << QColor(Qt::white);
        QTest::newRow("below 0 fills nothing") << 1 << -20 << 12 << QColor("#E5E5E5");
        QTest::newRow("failed: red text") << 3 << 0 << -1 << QColor("#f75555");
    }

    void stateColumnPixels()
    {
        QFETCH(int, rowState);
        QFETCH(int, progress);
        QFETCH(int, x);
        QFETCH(QColor, expected);
        // Raw role values, as a model other than ours might give them.
        QStandardItemModel model(1, 4);
        model.setData(model.index(0, 2), rowState, Model::StateRole);
        model.setData(model.index(0, 2), progress, Model::ProgressRole);
        KoUiV3FileDownloadInfoDelegate delegate;
        QImage image(200, 48, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 200, 48);
        delegate.paint(&painter, option, model.index(0, 2));
        painter.end();
        if (x < 0) {
            bool found = false;
            for (int px = 0; px < image.width() && !found; ++px)
                for (int py = 0; py < image.height() && !found; ++py)
                    found = image.pixelColor(px, py) == expected;
            QVERIFY(found);
            return;
        }
        QFont small;
        small.setPixelSize(10);
        const int barY = (48 - 9 - QFontMetrics(small).height()) / 2 + 2;
        QCOMPARE(image.pixelColor(x, barY), expected);
    }
};

QTEST_MAIN(TestTransferModels)
#include "tst_transfermodels.moc"
