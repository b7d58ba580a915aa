// The transfer page over a real operator: states come from a transfer-list file the operator
// loads, a running row from a fake-phone download held part of the way. Bar texts, bulk
// actions (what the lists hold afterwards and what the phone was asked), the selection,
// badges, tray notices, missing-file alerts and a 10,000-file group.

#include <QtTest>
#include <QtWidgets>

#include "../ops/KoOpsTransferFixture.h"
#include "support/KoFakeLauncher.h"
#include "support/KoModalHelpers.h"
#include "support/KoTransferRecords.h"
#include "ui/KoSystemTray.h"
#include "ui/KoUiV3AlertDialog.h"
#include "ui/transfer/KoTransferTableModel.h"
#include "ui/transfer/KoUiV3TransferWidget.h"
#include "ui/widgets/KoRowPainter.h"
#include "ui/widgets/KoUiV3TipsWidget.h"

using namespace KoOpsTransfer;
using KoTransferRecords::Line;

namespace {
const QString kPhoneId = QStringLiteral("android-page-1");

Line rec(int type, int state, const QString& name, const QString& deviceId = kPhoneId)
{
    Line l;
    l.type = type;
    l.state = state;
    l.name = name;
    l.deviceId = deviceId;
    l.uid = KoOpsPhone::kUid;
    if (state == 2)
        l.finishedTime = QDateTime::currentMSecsSinceEpoch();
    return l;
}

QString states(const QList<KoFileConvertInfo*>* list)
{
    QStringList s;
    for (KoFileConvertInfo* r : *list)
        s << QString::number(r->getConvertState());
    s.sort();
    return s.join(',');
}

// The paint events a widget gets, and when the last came.
class PaintRecorder : public QObject
{
public:
    QList<QRegion> regions;
    QElapsedTimer sinceLast;
    PaintRecorder() { sinceLast.start(); }
    bool quietFor(int ms) const { return sinceLast.elapsed() >= ms; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            regions << static_cast<QPaintEvent*>(event)->region();
            sinceLast.restart();
        }
        return QObject::eventFilter(watched, event);
    }
};

// The rows the view shows whole, first and last.
QPair<int, int> shownRows(QTableView* view)
{
    const int height = view->viewport()->height();
    int last = view->rowAt(height - 1);
    if (last < 0)
        last = view->model()->rowCount() - 1;
    else if (view->rowViewportPosition(last) + view->rowHeight(last) > height)
        --last;
    return {qMax(0, view->rowAt(0)), last};
}

enum Painted { NoName, PausedBar };

// The rows the view shows whose name cell paints no text (NoName), or whose state cell paints
// the paused bar's fill at the track's start (PausedBar): "row N".
QStringList rowsPainting(QTableView* view, Painted what)
{
    const QImage image = view->viewport()->grab().toImage();
    QFont caption;
    caption.setPixelSize(10);
    QStringList rows;
    const QPair<int, int> shown = shownRows(view);
    for (int row = shown.first; row <= shown.second; ++row) {
        bool hit = false;
        if (what == PausedBar) {
            const QRect cell = view->visualRect(view->model()->index(row, 2));
            const QRect track = KoRowPainter::barRect(cell, QFontMetrics(caption).height());
            hit = image.pixelColor(track.left() + 3, track.center().y()) == KoRowPainter::kPausedFill;
        } else {
            // The name from 38 px in.
            const QRect area = view->visualRect(view->model()->index(row, 0)).adjusted(38, 0, -12, 0);
            for (int y = area.top(); y <= area.bottom() && !hit; ++y) {
                for (int x = area.left(); x <= area.right() && !hit; ++x)
                    hit = qGray(image.pixel(x, y)) < 128;
            }
        }
        if (hit == (what == PausedBar))
            rows << QString("row %1").arg(row);
    }
    return rows;
}

const QList<Line> kDownloads{rec(0, 4, "A.jpg"), rec(0, 3, "B.jpg"), rec(0, 4, "C.jpg")};
const QList<Line> kUploads{rec(1, 4, "U1.jpg", "gone-phone"), rec(1, 3, "U2.jpg", "gone-phone")};
const QList<Line> kFinished{rec(0, 2, "F1.jpg"), rec(1, 2, "F2.jpg")};
} // namespace

class TestTransferPage : public QObject
{
    Q_OBJECT
private:
    KoOpsPhone m_fx;
    KoRemoteFileOperator* m_op = nullptr;
    KoUiV3TransferWidget* m_page = nullptr;
    QTemporaryDir* m_local = nullptr;

    template <typename T = QWidget>
    T* child(const char* name) const
    {
        return m_page->findChild<T*>(QLatin1String(name));
    }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
    QTableView* view(int page) const
    {
        static const char* const names[] = {"uploadTableView", "downloadTableView", "finishedTableView"};
        return child<QTableView>(names[page]);
    }
    QCheckBox* selectAllBox() const { return m_page->findChild<QCheckBox*>(); }
    QString bar() const
    {
        QStringList texts;
        for (const char* name : {"btnStart", "btnPause", "btnRetry", "btnDelete", "btnClear"})
            if (button(name)->isVisibleTo(m_page))
                texts << button(name)->text();
        return texts.join('|');
    }
    QString counter() const { return child<QLabel>("selectedLabel")->text(); }
    void openPage(int page)
    {
        static const char* const names[] = {"btnUpload", "btnDownload", "btnFinished"};
        button(names[page])->click();
    }
    void selectRow(int page, int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTableView* v = view(page);
        QTest::mouseClick(v->viewport(), Qt::LeftButton, modifiers,
                          v->visualRect(v->model()->index(row, 0)).center());
    }

    // Loads the lists from a transfer-list file and shows the page.
    void load(const QList<Line>& lines, bool running = false)
    {
        QByteArray text;
        for (Line l : lines) {
            // Unfinished downloads aim into a folder that exists, so a restart reaches the phone.
            if (l.type == 0 && l.state != 2 && l.localPath.isNull())
                l.localPath = m_local->filePath(l.name);
            text += KoTransferRecords::line(l);
        }
        QVERIFY(writeAll(convertListPath(), text));
        m_op = KoRemoteFileOperator::getInstance();
        if (running) {
            // Held after its first bytes: waiting and transferring rows are live ones.
            KoTestResponse stall;
            stall.stallAfter = 1000;
            m_fx.phone->queueDownloadFault(stall);
            QList<KoRemoteFile*> files{m_fx.remoteFile("/run.bin", 500)};
            m_op->getFileGroupDownloadStartV2(9, files, m_local->path(), &m_fx.device);
            qDeleteAll(files);
            QTRY_COMPARE(states(m_op->getDownLoadingList()), QString("1,3,4,4"));
        }
        m_page = new KoUiV3TransferWidget;
        m_page->resize(960, 552);
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_page));
    }
    void save(const QString& name) { KoModal::saveArtifact(m_page, name); }

private slots:
    void initTestCase()
    {
        KoServerConfig::setSweepIntervalMs(100);
        QVERIFY(m_fx.start(this, kPhoneId, false));
        QVERIFY(m_fx.writeFile("/run.bin", randomBytes(300000, 3)));
        connectPhone(m_fx);
    }
    void cleanupTestCase() { dropConnectManager(); }
    void init()
    {
        m_fx.reset();
        m_local = new QTemporaryDir;
        KoSettings::getInstance()->setNotifyDownload(true);
        KoSettings::getInstance()->setNotifyUpload(true);
    }
    void cleanup()
    {
        delete m_page;
        m_page = nullptr;
        delete m_op;
        m_op = nullptr;
        delete m_local;
        QFile::remove(convertListPath());
    }

    void barAndCounterFollowPageAndSelection_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QString>("counter");
        QTest::newRow("downloads, none") << 1 << 0 << "开始全部|暂停全部|重试全部失败任务|删除全部"
                                         << "共3个项目, 已选中0个项目";
        QTest::newRow("downloads, one") << 1 << 1 << "开始|暂停|重试失败任务|删除"
                                        << "共3个项目, 已选中1个项目";
        QTest::newRow("finished, none") << 2 << 0 << "清除全部记录"
                                        << "共2个项目, 已选中0个项目";
        QTest::newRow("finished, one") << 2 << 1 << "清除记录"
                                       << "共2个项目, 已选中1个项目";
        QTest::newRow("empty uploads") << 0 << 0 << ""
                                       << "共0个项目, 已选中0个项目";
    }
    void barAndCounterFollowPageAndSelection()
    {
        QFETCH(int, page);
        QFETCH(int, selected);
        QFETCH(QString, bar);
        QFETCH(QString, counter);
        load(kDownloads + kFinished);
        openPage(page);
        if (selected)
            selectRow(page, 0);
        QCOMPARE(this->bar(), bar);
        QCOMPARE(this->counter(), counter);
        const bool empty = page == 0;
        QCOMPARE(view(page)->isVisible(), !empty);
        QCOMPARE(selectAllBox()->isVisible(), !empty);
        QCOMPARE(m_page->findChild<KoUiV3TipsWidget*>()->isVisible(), empty);
        // The headers use the view's selection model and keep none of their own.
        for (QHeaderView* header : {view(page)->horizontalHeader(), view(page)->verticalHeader()}) {
            QCOMPARE(header->selectionModel(), view(page)->selectionModel());
            QCOMPARE(header->findChildren<QItemSelectionModel*>(QString(), Qt::FindDirectChildrenOnly),
                     QList<QItemSelectionModel*>());
        }
        if (empty)
            save("transfer_empty.png");
        else if (page == 2 && !selected)
            save("transfer_finished.png");
    }

    void bulkActions_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("selectState"); // the first row in this state is selected; -1 none
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("answer");        // the confirmation: 1 "确定", 0 "取消", -1 none expected
        QTest::addColumn<QString>("after");     // the page's list, states sorted
        QTest::addColumn<QStringList>("asked"); // files the phone was asked for besides the held one
        QTest::newRow("start all") << 1 << -1 << "btnStart" << -1 << "1,3,3,3" << QStringList{"A.jpg", "C.jpg"};
        QTest::newRow("start one") << 1 << 4 << "btnStart" << -1 << "1,3,3,4" << QStringList{"A.jpg"};
        QTest::newRow("pause all") << 1 << -1 << "btnPause" << -1 << "3,4,4,4" << QStringList();
        QTest::newRow("pause a failed one") << 1 << 3 << "btnPause" << -1 << "1,3,4,4" << QStringList();
        QTest::newRow("retry all") << 1 << -1 << "btnRetry" << -1 << "1,3,4,4" << QStringList{"B.jpg"};
        QTest::newRow("delete all, cancelled") << 1 << -1 << "btnDelete" << 0 << "1,3,4,4" << QStringList();
        QTest::newRow("delete all") << 1 << -1 << "btnDelete" << 1 << "" << QStringList();
        QTest::newRow("delete the running one") << 1 << 1 << "btnDelete" << -1 << "3,4,4" << QStringList();
        QTest::newRow("clear all, cancelled") << 2 << -1 << "btnClear" << 0 << "2,2" << QStringList();
        QTest::newRow("clear all") << 2 << -1 << "btnClear" << 1 << "" << QStringList();
        QTest::newRow("clear one") << 2 << 2 << "btnClear" << -1 << "2" << QStringList();
        QTest::newRow("start all uploads, phone gone") << 0 << -1 << "btnStart" << -1 << "3,3" << QStringList();
    }
    void bulkActions()
    {
        QFETCH(int, page);
        QFETCH(int, selectState);
        QFETCH(QString, action);
        QFETCH(int, answer);
        QFETCH(QString, after);
        QFETCH(QStringList, asked);
        load(kDownloads + kUploads + kFinished, true);
        QList<KoFileConvertInfo*>* lists[] = {m_op->getUploadingList(), m_op->getDownLoadingList(),
                                              m_op->getConvertedList()};
        openPage(page);
        if (selectState >= 0) {
            int row = 0;
            while (lists[page]->at(row)->getConvertState() != selectState)
                ++row;
            selectRow(page, row);
        }
        const QString before = states(lists[page]);
        if (page == 1 && selectState < 0 && action == "btnStart")
            save("transfer_downloads.png");
        bool confirmShown = false;
        if (answer >= 0) {
            KoModal::whenOpen<KoUiV3AlertDialog>([&](KoUiV3AlertDialog* box) {
                confirmShown = true;
                answer ? box->accept() : box->reject();
            });
        }
        QSignalSpy errors(m_op, &KoRemoteFileOperator::fileDownloadErrorV2);
        QSignalSpy upErrors(m_op, &KoRemoteFileOperator::fileUploadErrorV2);
        button(qPrintable(action))->click();
        QCOMPARE(confirmShown, answer >= 0);
        QTRY_COMPARE(states(lists[page]), after);
        QTRY_COMPARE(errors.count() + upErrors.count(), asked.size() + (page == 0 ? 1 : 0));
        QStringList requested;
        for (const KoFakeCall& call : m_fx.phone->callsTo("getFile"))
            requested << QFileInfo(call.body.value("path").toString()).fileName();
        requested.removeAll("run.bin");
        requested.sort();
        QCOMPARE(requested, asked);
        if (answer == 0)
            QCOMPARE(states(lists[page]), before);
        // The rebuilt table shows the list, and nothing stays selected.
        QTRY_COMPARE(view(page)->model()->rowCount(), lists[page]->size());
        if (states(lists[page]) != before)
            QTRY_COMPARE(view(page)->selectionModel()->selectedRows().size(), 0);
    }

    // A bulk start or pause over many uploads shows on every row as soon as the click is
    // handled, with no timer waited for: a loop busy with thousands of transfers' sockets may
    // hold timers back for seconds.
    void bulkActionsShowWithoutWaitingForATimer_data()
    {
        QTest::addColumn<bool>("slowPhone");      // the phone holds its answers
        QTest::addColumn<QStringList>("actions"); // bar buttons, or "row": the first row's start button
        QTest::addColumn<QString>("paused");      // the rows painted paused
        QTest::newRow("start all") << false << QStringList{"btnStart"} << "none";
        QTest::newRow("start all, slow phone") << true << QStringList{"btnStart"} << "none";
        QTest::newRow("start all, then pause all") << true << QStringList{"btnStart", "btnPause"} << "all";
        QTest::newRow("start one row") << true << QStringList{"row"} << "all but row 0";
    }
    void bulkActionsShowWithoutWaitingForATimer()
    {
        QFETCH(bool, slowPhone);
        QFETCH(QStringList, actions);
        QFETCH(QString, paused);
        QVERIFY(m_fx.writeFile("/DCIM/keep", "x"));
        if (slowPhone) {
            for (const char* op : {"checksum", "askChecksum", "uploadFile"})
                m_fx.phone->setDelay(op, 600000);
        }
        QList<Line> lines;
        for (int i = 0; i < 300; ++i) {
            Line l = rec(1, 4, QString("P%1.bin").arg(i));
            l.localPath = m_local->filePath(l.name);
            l.total = 3000;
            QVERIFY(writeAll(l.localPath, randomBytes(3000, i)));
            lines << l;
        }
        load(lines);
        openPage(0);
        QTableView* v = view(0);
        QAbstractItemModelTester checker(v->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QPair<int, int> shown = shownRows(v);
        QVERIFY(shown.second > shown.first);
        QCOMPARE(rowsPainting(v, PausedBar).size(), shown.second - shown.first + 1);
        for (const QString& action : actions) {
            QSignalSpy resets(v->model(), &QAbstractItemModel::modelReset);
            QSignalSpy changes(v->model(), &QAbstractItemModel::dataChanged);
            if (action == "row") {
                const QRect cell = v->visualRect(v->model()->index(0, 3));
                QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, QPoint(cell.left() + 18, cell.center().y()));
            } else {
                button(qPrintable(action))->click();
            }
            QCoreApplication::sendPostedEvents();
            QVERIFY(!resets.isEmpty() || !changes.isEmpty());
        }
        QStringList expected;
        for (int row = shownRows(v).first; row <= shownRows(v).second; ++row) {
            if (paused == "all" || (paused == "all but row 0" && row > 0))
                expected << QString("row %1").arg(row);
        }
        QCOMPARE(rowsPainting(v, PausedBar), expected);
        QCOMPARE(rowsPainting(v, NoName), QStringList());
    }

    // A full selection must not vanish when the user narrows it.
    void narrowingAFullSelectionKeepsIt_data()
    {
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<int>("left");
        QTest::newRow("plain click") << false << 1;
        QTest::newRow("ctrl click") << true << 2;
    }
    void narrowingAFullSelectionKeepsIt()
    {
        QFETCH(bool, ctrl);
        QFETCH(int, left);
        load(kDownloads + kFinished);
        openPage(1);
        QTest::mouseClick(selectAllBox(), Qt::LeftButton, {}, QPoint(7, 7));
        QVERIFY(selectAllBox()->isChecked());
        QCOMPARE(view(1)->selectionModel()->selectedRows().size(), 3);
        QCOMPARE(view(2)->selectionModel()->selectedRows().size(), 2);
        selectRow(1, 1, ctrl ? Qt::ControlModifier : Qt::NoModifier);
        QCOMPARE(view(1)->selectionModel()->selectedRows().size(), left);
        QVERIFY(!selectAllBox()->isChecked());
        QCOMPARE(bar(), QString("开始|暂停|重试失败任务|删除"));
        // Selecting every row by hand checks the box and selects nothing elsewhere.
        view(1)->selectAll();
        QVERIFY(selectAllBox()->isChecked());
        QTest::mouseClick(selectAllBox(), Qt::LeftButton, {}, QPoint(7, 7));
        QCOMPARE(view(1)->selectionModel()->selectedRows().size(), 0);
        QCOMPARE(view(2)->selectionModel()->selectedRows().size(), 0);
    }

    void badges_data()
    {
        // Different counts on the two badges, so that swapped badges show.
        QTest::addColumn<int>("downloads");
        QTest::addColumn<int>("uploads");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("1000") << 1000 << 7;
        QTest::newRow("downloads only") << 3 << 0;
        QTest::newRow("uploads only") << 0 << 12;
    }
    void badges()
    {
        QFETCH(int, downloads);
        QFETCH(int, uploads);
        load({});
        QMetaObject::invokeMethod(m_op, "convertCountChanged", Q_ARG(int, downloads), Q_ARG(int, uploads));
        const QList<QPair<const char*, int>> badges{{"downloadCountLabel", downloads}, {"uploadCountLabel", uploads}};
        for (const auto& expected : badges) {
            auto* badge = child<QLabel>(expected.first);
            const int count = expected.second;
            QTRY_COMPARE(badge->isVisible(), count > 0);
            if (count > 0)
                QCOMPARE(badge->pixmap(Qt::ReturnByValue).toImage(), KoCommonUtil::getNoticePoint(count).toImage());
        }
        if (downloads > 0 && uploads > 0) // the images tell the counts apart
            QVERIFY(KoCommonUtil::getNoticePoint(downloads).toImage()
                    != KoCommonUtil::getNoticePoint(uploads).toImage());
    }

    void trayNotices_data()
    {
        QTest::addColumn<QString>("signal");
        QTest::addColumn<bool>("setting");
        QTest::addColumn<int>("failed");
        QTest::addColumn<QString>("text");
        QTest::newRow("downloads") << "allDownloadsSuccessV2" << true << 0 << "下载任务全部结束. ";
        QTest::newRow("downloads, 2 failed")
            << "allDownloadsSuccessV2" << true << 2 << "下载任务全部结束. 下载列表中剩余2个失败任务";
        QTest::newRow("downloads off") << "allDownloadsSuccessV2" << false << 0 << "";
        QTest::newRow("uploads, 1 failed")
            << "allUploadSuccessV2" << true << 1 << "上传任务全部结束. 上传列表中剩余1个失败任务";
        QTest::newRow("uploads off") << "allUploadSuccessV2" << false << 3 << "";
    }
    void trayNotices()
    {
        QFETCH(QString, signal);
        QFETCH(bool, setting);
        QFETCH(QString, text);
        QFETCH(int, failed);
        load({});
        // Read at each notice, not at start.
        KoSettings::getInstance()->setNotifyDownload(setting);
        KoSettings::getInstance()->setNotifyUpload(setting);
        const int before = KoSystemTray::getInstance()->recentNotices().size();
        QMetaObject::invokeMethod(m_op, qPrintable(signal), Q_ARG(int, failed));
        const QList<KoSystemTray::Notice> notices = KoSystemTray::getInstance()->recentNotices();
        if (text.isEmpty()) {
            QCOMPARE(notices.size(), before);
            return;
        }
        QVERIFY(notices.size() == before + 1 || notices.size() == KoSystemTray::kKeptNotices);
        QCOMPARE(notices.last().title, QString("柯沃vu V3.2.0"));
        QCOMPARE(notices.last().text, text);
    }

    void missingFilesAlert_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("ending");
        QTest::addColumn<QString>("alert");
        const QString file = QStringLiteral("文件已被修改或删除");
        const QString folder = QStringLiteral("文件所在文件夹已被修改或删除");
        const int opens = KoFakeLauncher::Opens;
        QTest::newRow("file gone") << "/nonexistent/F.jpg" << 18 << opens << file;
        QTest::newRow("empty path, folder") << "" << 58 << opens << folder;
        // The file is there, but the launcher finds no application to open it with: not damaged.
        const int none = KoFakeLauncher::NoApplication;
        QTest::newRow("no application, file") << "kept" << 18 << none << QStringLiteral("没有可以打开该文件的应用");
        QTest::newRow("no application, folder")
            << "kept" << 58 << none << QStringLiteral("没有可以打开该文件夹的应用");
        QTest::newRow("opened, file") << "kept" << 18 << opens << "";
        QTest::newRow("opened, folder") << "kept" << 58 << opens << "";
    }
    void missingFilesAlert()
    {
        QFETCH(QString, path);
        QFETCH(int, x);
        QFETCH(int, ending);
        QFETCH(QString, alert);
        KoFakeLauncher launcher;
        launcher.setEnding(KoFakeLauncher::Ending(ending));
        const bool kept = path == "kept";
        if (kept) {
            path = m_local->filePath("F.jpg");
            QVERIFY(writeAll(path, "jpeg"));
        }
        Line l = rec(0, 2, "F.jpg");
        l.localPath = path;
        load({l});
        openPage(2);
        // Every alert is answered, and counted.
        QStringList shown;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, this, [&shown] {
            for (KoUiV3AlertDialog* box : KoModal::openWidgets<KoUiV3AlertDialog>()) {
                shown << box->windowTitle() + ": " + box->findChild<QLabel*>("textLabel")->text();
                box->accept();
            }
        });
        answerer.start(10);
        QTableView* v = view(2);
        const QRect cell = v->visualRect(v->model()->index(0, 3));
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, QPoint(cell.left() + x, cell.center().y()));
        if (!alert.isEmpty())
            QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 20000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(!launcher.opened().isEmpty(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(KoFakeLauncher::allEnded(), 20000);
        QTest::qWait(50);
        QCOMPARE(shown, alert.isEmpty() ? QStringList() : QStringList{"柯沃vu: " + alert});
        QCOMPARE(launcher.opened(), kept ? QStringList{x == 18 ? path : m_local->path()} : QStringList());
        QCOMPARE(m_op->getConvertedList()->size(), 1);
    }

    // A download refused before any byte says why where the pointer rests on its failed row;
    // one the phone failed has no such words.
    void failedRowTellsWhy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("why"); // a part of the tip; empty: no tip
        QTest::newRow("a partial-file name") << "B.jpg.ReRazeDownload" << "留给未完成的下载使用";
        QTest::newRow("a name the disk cannot hold") << QString(100, QChar(0x957F)) << "不能保存这个文件名";
        QTest::newRow("a folder in the way") << "dir.jpg" << "下载位置已有同名文件夹";
        QTest::newRow("not on the phone") << "absent.jpg" << QString();
    }
    void failedRowTellsWhy()
    {
        QFETCH(QString, name);
        QFETCH(QString, why);
        QVERIFY(QDir().mkpath(m_local->filePath("dir.jpg")));
        load({rec(0, 3, name)});
        openPage(1);
        QSignalSpy errors(m_op, &KoRemoteFileOperator::fileDownloadErrorV2);
        selectRow(1, 0);
        button("btnRetry")->click();
        QTRY_COMPARE(errors.size(), 1);
        QCOMPARE(m_fx.phone->callsTo("getFile").size(), why.isEmpty() ? 1 : 0);
        QToolTip::hideText();
        QTableView* v = view(1);
        const QPoint at = v->visualRect(v->model()->index(0, 2)).center();
        QHelpEvent hover(QEvent::ToolTip, at, v->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(v->viewport(), &hover);
        const QString tip = QToolTip::isVisible() ? QToolTip::text() : QString();
        QVERIFY2(why.isEmpty() ? tip.isEmpty() : tip.contains(why), qPrintable(tip));
    }

    // While 1,000 downloads start and finish, every row the shown table shows names a file of
    // the group and paints it, no two rows the same one, every rebuilt table has the list's
    // length, and at the end the tables and badges read true.
    void thousandTransfersKeepEveryRowTrue()
    {
        KoWatchdog watchdog(280);
        const int count = 1000;
        for (int i = 0; i < count; ++i)
            QVERIFY(m_fx.writeFile(QString("/k/f%1.bin").arg(i), randomBytes(40 + i % 50, i)));
        load({});
        openPage(1);
        QList<KoFileConvertInfo*>* lists[] = {m_op->getUploadingList(), m_op->getDownLoadingList(),
                                              m_op->getConvertedList()};
        QList<QAbstractItemModelTester*> testers;
        QStringList wrong;
        for (int page = 0; page < 3; ++page) {
            QAbstractItemModel* model = view(page)->model();
            testers << new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::QtTest,
                                                    this);
            connect(model, &QAbstractItemModel::modelReset, this, [&wrong, model, list = lists[page], page] {
                if (model->rowCount() != list->size())
                    wrong << QString("table %1: %2 rows for %3 records")
                                 .arg(page)
                                 .arg(model->rowCount())
                                 .arg(list->size());
            });
        }
        QSet<QString> group;
        for (int i = 0; i < count; ++i)
            group << QString("f%1.bin").arg(i);
        int probes = 0;
        int shownPage = 1;
        const auto checkRows = [&] {
            QTableView* v = view(shownPage);
            if (!v->isVisible() || v->model()->rowCount() == 0)
                return;
            ++probes;
            QSet<QString> names;
            const QPair<int, int> shown = shownRows(v);
            for (int row = shown.first; row <= shown.second; ++row) {
                const QString name = v->model()->data(v->model()->index(row, 0), Qt::DisplayRole).toString();
                if (!group.contains(name) || names.contains(name))
                    wrong << QString("row %1: \"%2\"").arg(row).arg(name);
                names << name;
            }
            for (const QString& row : rowsPainting(v, NoName))
                wrong << row + " painted no name";
        };
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, checkRows);
        probe.start(30);

        QSignalSpy finished(m_op, &KoRemoteFileOperator::fileDownloadSuccessV2);
        QSignalSpy allDone(m_op, &KoRemoteFileOperator::allDownloadsSuccessV2);
        QList<KoRemoteFile*> files;
        for (int i = 0; i < count; ++i)
            files << m_fx.remoteFile(QString("/k/f%1.bin").arg(i), 500);
        m_op->getFileGroupDownloadStartV2(9, files, m_local->path(), &m_fx.device);
        qDeleteAll(files);
        QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>("downloadCountLabel")->isVisible(), 10000);
        // Half way the finished table is the one shown.
        QTRY_VERIFY_WITH_TIMEOUT(finished.count() >= count / 3, 120000);
        shownPage = 2;
        openPage(2);
        QTRY_VERIFY_WITH_TIMEOUT(!allDone.isEmpty(), 200000);
        QTRY_COMPARE(view(2)->model()->rowCount(), count);
        probe.stop();
        checkRows();
        QVERIFY(probes > 1);
        QCOMPARE(wrong, QStringList());
        QCOMPARE(allDone.last().at(0).toInt(), 0);
        QTRY_VERIFY(!child<QLabel>("downloadCountLabel")->isVisible());
        QVERIFY(!child<QLabel>("uploadCountLabel")->isVisible());
        QSet<int> ids;
        for (int row = 0; row < count; ++row)
            ids << view(2)->model()->data(view(2)->model()->index(row, 0), KoTransferTableModel::TaskIdRole).toInt();
        QCOMPARE(ids.size(), count);
        QCOMPARE(counter(), QString("共%1个项目, 已选中0个项目").arg(count));
        openPage(1);
        QCOMPARE(view(1)->model()->rowCount(), 0);
        QVERIFY(!view(1)->isVisible());
        qDeleteAll(testers);
    }

    // Progress of one row repaints that row only, and a report that changes nothing shown
    // repaints nothing.
    void progressRepaintsItsRowOnly()
    {
        load(kDownloads, true);
        openPage(1);
        QTableView* v = view(1);
        QList<KoFileConvertInfo*>* list = m_op->getDownLoadingList();
        int row = 0;
        while (list->at(row)->getConvertState() != 1)
            ++row;
        KoFileConvertInfo* running = list->at(row);
        QCOMPARE(v->model()->data(v->model()->index(row, 0), KoTransferTableModel::TaskIdRole).toInt(),
                 running->getTaskId());
        PaintRecorder paints;
        v->viewport()->installEventFilter(&paints);
        QTRY_VERIFY(paints.quietFor(400));
        paints.regions.clear();

        QMetaObject::invokeMethod(m_op, "downloadTaskProgressV2", Q_ARG(int, running->getTaskId()),
                                  Q_ARG(int, running->getProgress()));
        QTest::qWait(600);
        QCOMPARE(paints.regions.size(), 0);

        running->setConvertedSize(running->getConvertedSize() + 150000);
        running->setProgress(running->getProgress() + 40);
        QMetaObject::invokeMethod(m_op, "downloadTaskProgressV2", Q_ARG(int, running->getTaskId()),
                                  Q_ARG(int, running->getProgress()));
        QTRY_VERIFY(!paints.regions.isEmpty());
        QTRY_VERIFY(paints.quietFor(400));
        const QRect rowRect(0, v->rowViewportPosition(row), v->viewport()->width(), v->rowHeight(row));
        QRegion painted;
        for (const QRegion& r : qAsConst(paints.regions))
            painted += r;
        QVERIFY2(rowRect.contains(painted.boundingRect()),
                 qPrintable(QString("painted %1,%2 %3x%4 outside row %5")
                                .arg(painted.boundingRect().x())
                                .arg(painted.boundingRect().y())
                                .arg(painted.boundingRect().width())
                                .arg(painted.boundingRect().height())
                                .arg(row)));
    }

    // 10,000 records load and show; a 10,000-file group rebuilds each table once, not per file.
    void tenThousandRecords()
    {
        KoWatchdog watchdog(240);
        QList<Line> lines;
        for (int i = 0; i < 10000; ++i)
            lines << rec(0, 4, QString("L%1.jpg").arg(i));
        load(lines);
        openPage(1);
        QCOMPARE(view(1)->model()->rowCount(), 10000);
        QVERIFY(view(1)->isVisible());

        m_fx.phone->setDelay("getFile", 600000);
        QList<KoRemoteFile*> files;
        for (int i = 0; i < 10000; ++i)
            files << m_fx.remoteFile(QString("/g/f%1.bin").arg(i), 500);
        QSignalSpy resets(view(1)->model(), &QAbstractItemModel::modelReset);
        QSignalSpy finishedResets(view(2)->model(), &QAbstractItemModel::modelReset);
        QSignalSpy starts(m_op, &KoRemoteFileOperator::fileDownloadStartV2);
        m_op->getFileGroupDownloadStartV2(9, files, m_local->path(), &m_fx.device);
        qDeleteAll(files);
        QCOMPARE(starts.count(), 10000);
        QTRY_COMPARE(view(1)->model()->rowCount(), 20000);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(finishedResets.count(), 0);
        QVERIFY(child<QLabel>("downloadCountLabel")->isVisible());
        m_op->clearDownloadList();
    }
};

QTEST_MAIN(TestTransferPage)
#include "tst_transferpage.moc"
