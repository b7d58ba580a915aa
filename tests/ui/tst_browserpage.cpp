// The file browser page against the real operator and the fake phone (LAN) and relay.

#include "link/KoRemoteConnectManager.h"
#include "ops/KoOpsTestFixture.h"
#include "ops/KoRemoteFileTask.h"
#include "ui/browser/KoUiV3FileWidget.h"
#include "ui/widgets/KoProgressWidget.h"
#include "ui/widgets/KoUiV3TipsWidget.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTableView>

namespace {
const QString kPhoneId = QStringLiteral("phone-browser");

// A menu as "a,b,-,c,sub[x,y]".
QString menuText(QMenu* menu)
{
    if (!menu)
        return QStringLiteral("none");
    QStringList parts;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            parts << QStringLiteral("-");
        else if (action->menu())
            parts << action->text() + "[" + menuText(action->menu()) + "]";
        else
            parts << action->text() + (action->isEnabled() ? "" : "!");
    }
    delete menu;
    return parts.join(',');
}

void touch(const QString& path, int bytes, qint64 secondsAgo)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(bytes, 'x'));
    file.flush(); // a later flush would move the time again
    // One base, so that equal ages are equal times.
    static const QDateTime now = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch());
    QVERIFY(file.setFileTime(now.addSecs(-secondsAgo), QFileDevice::FileModificationTime));
}
} // namespace

class TestBrowserPage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void navigation_data();
    void navigation();
    void permissions_data();
    void permissions();
    void sorting();
    void selectAllBoxes_data();
    void selectAllBoxes();
    void failedListingShowsTheRetryPanel();
    void lateAnswersAndLateTimeoutsChangeNothing();
    void routeChangeReloadsOnTheNewRoute_data();
    void routeChangeReloadsOnTheNewRoute();
    void operatorSuccessesReloadTheShownPhoneOnce();
    void tenThousandEntries();

private:
    KoUiV3FileWidget* page() const { return m_page; }
    QAbstractItemView* shownView() const;
    template <typename T>
    T* child(const char* name) const
    {
        return m_page->findChild<T*>(QLatin1String(name));
    }
    bool idle() const { return !m_page->findChild<KoProgressWidget*>()->isVisible(); }
    int rowOf(const QString& name) const;
    void act(const QString& step);
    QStringList pathNames() const;
    QStringList shownNames() const;
    // Op, category and path or album of the last listing the phone or relay logged.
    QString lastRequest(KoFakeScript* log) const;
    void selectRows(int count);

    KoOpsPhone m_fx;
    QTemporaryDir m_dirs;
    KoUiV3FileWidget* m_page = nullptr;
};

void TestBrowserPage::initTestCase()
{
    KoServerConfig::setLocalUdpPort(0);
    QVERIFY(m_fx.start(this, kPhoneId));
    KoServerConfig::setUpdateBaseUrl(m_fx.relay->accountBaseUrl());
    m_fx.device.setLocal(true);
    m_fx.device.setNick(QStringLiteral("<b>小米</b> 手机"));
    const QString root = m_fx.root();
    touch(root + "/文档/报告.txt", 30, 300);
    touch(root + "/文档/备忘.doc", 10, 100);
    touch(root + "/文档/abc.txt", 20, 200);
    touch(root + "/文档/zz.txt", 20, 200);
    QVERIFY(QDir().mkpath(root + "/文档/子目录"));
    QVERIFY(QDir().mkpath(root + "/空"));
    touch(root + "/相邻/b.txt", 5, 50);
    touch(root + "/相邻/a.txt", 500, 500);
    const QString sd = m_dirs.filePath("sd"), zu = m_dirs.filePath("zu"), albums = m_dirs.filePath("albums");
    QVERIFY(QDir().mkpath(sd + "/A/B"));
    QVERIFY(QDir().mkpath(zu));
    // The phone sends "北京" before "阿里" (code-point order); pinyin would put "阿里" first.
    touch(albums + "/北京/1.jpg", 10, 10);
    touch(albums + "/阿里/2.jpg", 10, 20);
    QVERIFY(QDir().mkpath(albums + "/空相册"));
    m_fx.phone->setCategoryRoot(11, sd);
    m_fx.phone->setCategoryRoot(12, zu);
    m_fx.phone->setCategoryRoot(2, albums);
    m_fx.phone->setCategories({9, 2, 11, 12, 77});
    QDir().mkpath(KO_BINARY_DIR "/test-artifacts");
}

void TestBrowserPage::init()
{
    m_fx.reset();
    delete m_page; // left by a failed init
    m_page = new KoUiV3FileWidget;
    m_page->resize(820, 520);
    m_page->show();
    m_page->setFacility(&m_fx.device);
    QTRY_VERIFY_WITH_TIMEOUT(idle() && rowOf(QStringLiteral("手机存储")) >= 0, 10000);
}

void TestBrowserPage::cleanup()
{
    delete m_page;
    m_page = nullptr;
}

QAbstractItemView* TestBrowserPage::shownView() const
{
    if (child<QWidget>("tableWidget")->isVisible())
        return child<QTableView>("fileTableView");
    return child<QListView>("fileListView");
}

int TestBrowserPage::rowOf(const QString& name) const
{
    const QStringList names = shownNames();
    return names.indexOf(name);
}

QStringList TestBrowserPage::shownNames() const
{
    // The table models hold the full name (or the category name) in column 0 as text.
    QAbstractItemModel* model = child<QTableView>("fileTableView")->model();
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    return names;
}

QStringList TestBrowserPage::pathNames() const
{
    if (!child<QWidget>("pathWidget")->isVisibleTo(m_page))
        return {};
    QAbstractItemModel* model = child<QListView>("pathListView")->model();
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data(407).toString();
    return names;
}

void TestBrowserPage::act(const QString& step)
{
    const QString arg = step.section(':', 1);
    if (step.startsWith("open:")) {
        const int row = arg.startsWith('#') ? arg.mid(1).toInt() : rowOf(arg);
        QVERIFY2(row >= 0, qPrintable(step));
        m_page->onFileItemDoubleClicked(shownView()->model()->index(row, 0));
    } else if (step.startsWith("path:")) {
        m_page->onPathItemClicked(child<QListView>("pathListView")->model()->index(arg.toInt(), 0));
    } else if (step == "back") {
        child<QPushButton>("btnBackward")->click();
    } else if (step == "fwd") {
        child<QPushButton>("btnForward")->click();
    } else if (step == "home") {
        child<QPushButton>("btnHome")->click();
    }
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 10000);
}

QString TestBrowserPage::lastRequest(KoFakeScript* log) const
{
    for (int i = log->calls().size() - 1; i >= 0; --i) {
        const KoFakeCall call = log->calls().at(i);
        if (call.op == "listCategory" || call.op == "getCollections")
            return call.op;
        if (call.op == "getDirectory") {
            const QJsonObject body = call.body;
            return QStringLiteral("getDirectory %1 %2")
                .arg(body.value("category").toInt())
                .arg(body.contains("path") ? body.value("path").toString() : "album");
        }
    }
    return QString();
}

void TestBrowserPage::selectRows(int count)
{
    QAbstractItemView* view = shownView();
    view->clearSelection();
    for (int row = 0; row < count; ++row)
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TestBrowserPage::navigation_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<QString>("backForward");
    QTest::addColumn<QString>("request"); // of the last step; "" when it asked for nothing

    QTest::newRow("SD card, two folders deep")
        << QStringList{"open:SD卡", "open:A", "open:B"} << 4 << QStringList{"SD卡", "A", "B"} << "10"
        << "getDirectory 11 /A/B";
    QTest::newRow("back three times is home")
        << QStringList{"open:SD卡", "open:A", "open:B", "back", "back", "back"} << 0 << QStringList{} << "00"
        << "listCategory";
    QTest::newRow("forward again") << QStringList{"open:SD卡", "open:A", "back", "fwd"} << 4
                                   << QStringList{"SD卡", "A"} << "10"
                                   << "getDirectory 11 /A";
    QTest::newRow("album folder, then its root")
        << QStringList{"open:相册", "open:北京", "path:0"} << 1 << QStringList{"相册"} << "10"
        << "getCollections";
    QTest::newRow("back into the album folder")
        << QStringList{"open:相册", "open:北京", "path:0", "back"} << 6 << QStringList{"相册", "北京"} << "11"
        << "getDirectory 2 album";
    QTest::newRow("a new folder drops the forward list")
        << QStringList{"open:手机存储", "open:文档", "back", "open:空"} << 5 << QStringList{"手机存储", "空"} << "10"
        << "getDirectory 9 /空";
    QTest::newRow("last path element does nothing")
        << QStringList{"open:手机存储", "open:文档", "path:1"} << 5 << QStringList{"手机存储", "文档"} << "10"
        << "";
    QTest::newRow("zu root by the path bar") << QStringList{"open:zu", "path:0"} << 8 << QStringList{"zu"} << "10"
                                             << "";
    QTest::newRow("unknown tile leads nowhere") << QStringList{"open:#4"} << 0 << QStringList{} << "00"
                                                << "";
}

void TestBrowserPage::navigation()
{
    QFETCH(QStringList, steps);
    QFETCH(int, state);
    QFETCH(QStringList, path);
    QFETCH(QString, backForward);
    QFETCH(QString, request);
    QCOMPARE(rowOf(QString()), 4); // the tile of category 77 has no name
    for (int i = 0; i < steps.size(); ++i) {
        if (i == steps.size() - 1)
            m_fx.reset();
        act(steps.at(i));
    }
    QCOMPARE(m_page->getCategoryState(), state);
    QCOMPARE(pathNames(), path);
    const bool backShown = child<QWidget>("pathWidget")->isVisibleTo(m_page);
    QCOMPARE(QString("%1%2")
                 .arg(backShown && child<QPushButton>("btnBackward")->isEnabled())
                 .arg(backShown && child<QPushButton>("btnForward")->isEnabled()),
             backForward);
    QCOMPARE(lastRequest(m_fx.phone), request);
    // Each view keeps the one selection model it uses, however often the model changed.
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(child<QListView>("fileListView")),
                                    static_cast<QAbstractItemView*>(child<QTableView>("fileTableView"))})
        QCOMPARE(view->findChildren<QItemSelectionModel*>(QString(), Qt::FindDirectChildrenOnly),
                 QList<QItemSelectionModel*>{view->selectionModel()});
    // Its headers use the view's and keep none of their own.
    for (QHeaderView* header : {child<QTableView>("fileTableView")->horizontalHeader(),
                                child<QTableView>("fileTableView")->verticalHeader()}) {
        QCOMPARE(header->selectionModel(), child<QTableView>("fileTableView")->selectionModel());
        QCOMPARE(header->findChildren<QItemSelectionModel*>(QString(), Qt::FindDirectChildrenOnly),
                 QList<QItemSelectionModel*>());
    }
    if (QTest::currentDataTag() == QLatin1String("back into the album folder")) {
        // Albums keep the phone's order; the folder shows newest first.
        act("path:0");
        QCOMPARE(shownNames(), (QStringList{"北京", "空相册", "阿里"}));
    }
}

void TestBrowserPage::permissions_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("buttons");
    QTest::addColumn<QString>("blankMenu");
    QTest::addColumn<QString>("fileMenu");
    QTest::addColumn<QString>("keys"); // of X C V R F2 Del Ctrl+Backspace, those that act

    const QString sortView1 = "刷新,排序方式[名称,大小,修改时间],查看[列表,缩略图]";
    const QString full2 = "上传,粘贴!,新建文件夹,-,刷新,查看[列表,缩略图],排序方式[名称,-,大小,-,修改时间]";
    QTest::newRow("home") << QStringList{} << 1 << ""
                          << "刷新"
                          << "none"
                          << "R";
    QTest::newRow("album root") << QStringList{"open:相册"} << 1 << ""
                                << "刷新"
                                << "none"
                                << "R";
    QTest::newRow("album folder") << QStringList{"open:相册", "open:北京"} << 1 << "下载文件,删除" << sortView1
                                  << "下载,删除"
                                  << "R Del BS";
    QTest::newRow("SD card, nothing selected") << QStringList{"open:SD卡"} << 0 << "" << sortView1 << "下载"
                                               << "R";
    QTest::newRow("SD card") << QStringList{"open:SD卡"} << 1 << "下载文件,删除" << sortView1 << "下载"
                             << "R";
    QTest::newRow("storage, one") << QStringList{"open:手机存储"} << 1 << "上传文件,新建文件夹,下载文件,删除,更多"
                                  << full2 << "下载,-,复制,剪切,重命名,-,删除"
                                  << "X C V R F2 Del BS";
    QTest::newRow("storage, two") << QStringList{"open:手机存储"} << 2 << "上传文件,新建文件夹,下载文件,删除,更多"
                                  << full2 << "下载,-,复制,剪切,重命名!,-,删除"
                                  << "X C V R F2 Del BS";
    QTest::newRow("zu, empty") << QStringList{"open:zu"} << 0 << "上传文件,新建文件夹" << full2
                               << "下载,-,复制,剪切,重命名!,-,删除"
                               << "X C V R F2 Del BS";
}

void TestBrowserPage::permissions()
{
    QFETCH(QStringList, steps);
    QFETCH(int, selected);
    for (const QString& step : steps)
        act(step);
    selectRows(selected);
    QStringList buttons;
    for (const char* name : {"btnUpload", "btnMkdir", "btnDownload", "btnDelete", "btnMore"}) {
        if (child<QPushButton>(name)->isVisibleTo(m_page))
            buttons << child<QPushButton>(name)->text();
    }
    QTEST(buttons.join(','), "buttons");
    QTEST(menuText(m_page->buildExplorerMenu()), "blankMenu");
    QTEST(menuText(m_page->buildFileMenu()), "fileMenu");
    const QList<QPair<QString, QPair<int, Qt::KeyboardModifiers>>> keys{{"X", {Qt::Key_X, Qt::ControlModifier}},
                                                                        {"C", {Qt::Key_C, Qt::ControlModifier}},
                                                                        {"V", {Qt::Key_V, Qt::ControlModifier}},
                                                                        {"R", {Qt::Key_R, Qt::ControlModifier}},
                                                                        {"F2", {Qt::Key_F2, Qt::NoModifier}},
                                                                        {"Del", {Qt::Key_Delete, Qt::NoModifier}},
                                                                        {"BS",
                                                                         {Qt::Key_Backspace, Qt::ControlModifier}}};
    QStringList acting;
    for (const auto& key : keys) {
        if (m_page->keyCommand(key.second.first, key.second.second) != KoUiV3FileWidget::KeyNone)
            acting << key.first;
    }
    QTEST(acting.join(' '), "keys");

    // Ctrl+R on the view reloads the place, whatever the state.
    m_fx.reset();
    QTest::keyClick(shownView(), Qt::Key_R, Qt::ControlModifier);
    QTRY_VERIFY(!lastRequest(m_fx.phone).isEmpty());
    // Over the relay no copy: not in the file menu, not by key.
    m_page->onDeviceLocalChanged(kPhoneId, false, QString());
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 10000);
    QVERIFY(!menuText(m_page->buildFileMenu()).contains("复制"));
    QCOMPARE(m_page->keyCommand(Qt::Key_C, Qt::ControlModifier), KoUiV3FileWidget::KeyNone);
}

void TestBrowserPage::sorting()
{
    act("open:手机存储");
    act("open:文档");
    // Folders first; Han by pinyin (报 bao < 备 bei) and before Latin, as the Chinese collation has it.
    const QStringList byName{"子目录", "报告.txt", "备忘.doc", "abc.txt", "zz.txt"};
    QCOMPARE(shownNames(), byName);
    QHeaderView* header = child<QTableView>("fileTableView")->horizontalHeader();
    const struct {
        int section;
        QStringList order;
        Qt::SortOrder indicator;
    } clicks[] = {
        {0, {"子目录", "zz.txt", "abc.txt", "备忘.doc", "报告.txt"}, Qt::DescendingOrder},
        {0, byName, Qt::AscendingOrder},
        // Equal sizes (abc, zz) keep the name order.
        {1, {"子目录", "报告.txt", "abc.txt", "zz.txt", "备忘.doc"}, Qt::DescendingOrder},
        {2, {"子目录", "备忘.doc", "abc.txt", "zz.txt", "报告.txt"}, Qt::DescendingOrder},
        {2, {"子目录", "报告.txt", "abc.txt", "zz.txt", "备忘.doc"}, Qt::AscendingOrder},
    };
    for (const auto& click : clicks) {
        m_page->onFileTableHeaderClicked(click.section);
        QCOMPARE(shownNames(), click.order);
        QCOMPARE(header->sortIndicatorSection(), click.section);
        QCOMPARE(header->sortIndicatorOrder(), click.indicator);
    }
    // The flag belongs to the category type: a sibling folder sorts oldest first too.
    act("path:0");
    act("open:相邻");
    QCOMPARE(shownNames(), (QStringList{"a.txt", "b.txt"}));
    QCOMPARE(header->sortIndicatorSection(), 2);
    m_page->setFacility(m_page->getFacility());
    QTRY_VERIFY_WITH_TIMEOUT(idle() && rowOf("手机存储") >= 0, 10000);
    act("open:手机存储");
    act("open:相邻");
    QCOMPARE(shownNames(), (QStringList{"a.txt", "b.txt"}));
    QCOMPARE(header->sortIndicatorSection(), 0);
    m_page->onFileTableHeaderClicked(1);
    QCOMPARE(shownNames(), (QStringList{"a.txt", "b.txt"}));
    m_page->onFileTableHeaderClicked(1);
    QCOMPARE(shownNames(), (QStringList{"b.txt", "a.txt"}));
}

void TestBrowserPage::selectAllBoxes_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("steps"); // "box", "header": a click; "select:n", "deselect:n", "table", "cut"
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("boxes"); // "全选" box text, then 1/0 for its check and the header's
    QTest::addColumn<QString>("buttons");
    const QString all = "上传文件,新建文件夹,下载文件,删除,更多";
    const QString none = "上传文件,新建文件夹";
    QTest::newRow("全选 selects all") << "文档" << QStringList{"box"} << 5 << "全不选 1 1" << all;
    QTest::newRow("deselecting one keeps the rest")
        << "文档" << QStringList{"box", "deselect:2"} << 4 << "全选 0 0" << all;
    QTest::newRow("all selected by hand") << "文档" << QStringList{"select:5"} << 5 << "全不选 1 1" << all;
    QTest::newRow("then a click clears") << "文档" << QStringList{"select:5", "box"} << 0 << "全选 0 0" << none;
    QTest::newRow("the header's box selects all")
        << "文档" << QStringList{"table", "header"} << 5 << "全不选 1 1" << all;
    QTest::newRow("the header's box clears")
        << "文档" << QStringList{"table", "select:5", "header"} << 0 << "全选 0 0" << none;
    QTest::newRow("an empty folder") << "空" << QStringList{} << 0 << "全选 0 0" << none;
    QTest::newRow("a cut empties the selection")
        << "文档" << QStringList{"select:2", "cut"} << 0 << "全选 0 0" << none;
}

void TestBrowserPage::selectAllBoxes()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, steps);
    QFETCH(int, selected);
    QFETCH(QString, boxes);
    QFETCH(QString, buttons);
    act("open:手机存储");
    act("open:" + folder);
    auto* box = child<QCheckBox>("chbSelect");
    auto* header = child<QWidget>("tableWidget")->findChild<QCheckBox*>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(header);
    for (const QString& step : steps) {
        if (step == "box") {
            box->click();
        } else if (step == "header") {
            header->click();
        } else if (step == "table") {
            child<QPushButton>("btnTable")->click();
        } else if (step.startsWith("select:")) {
            selectRows(step.section(':', 1).toInt());
        } else if (step.startsWith("deselect:")) {
            const QModelIndex index = shownView()->model()->index(step.section(':', 1).toInt(), 0);
            shownView()->selectionModel()->select(index, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        } else if (step == "cut") {
            m_page->onCutActionTriggled();
        }
    }
    QCOMPARE(shownView()->selectionModel()->selectedRows().size(), selected);
    QCOMPARE(QStringLiteral("%1 %2 %3").arg(box->text()).arg(box->isChecked()).arg(header->isChecked()), boxes);
    QStringList shown;
    for (const char* name : {"btnUpload", "btnMkdir", "btnDownload", "btnDelete", "btnMore"}) {
        if (child<QPushButton>(name)->isVisibleTo(m_page))
            shown << child<QPushButton>(name)->text();
    }
    QCOMPARE(shown.join(','), buttons);
    QVERIFY(child<QLabel>("stateLabel")->text().contains(QStringLiteral("已选中 %1 个项").arg(selected)));
}

void TestBrowserPage::failedListingShowsTheRetryPanel()
{
    act("open:手机存储");
    m_fx.phone->queueAnswer("getDirectory", KoTestResponse::json(QJsonObject{{"code", 2}}));
    act("open:文档");
    auto* tips = m_page->findChild<KoUiV3TipsWidget*>();
    QTRY_VERIFY(tips->isVisible());
    QCOMPARE(tips->findChild<QLabel*>("tipsLabel")->text(), QStringLiteral("数据获取失败, "));
    QVERIFY(child<QWidget>("exploreWidget")->isEnabled());
    m_page->grab().save(KO_BINARY_DIR "/test-artifacts/browser_timeout.png");
    m_fx.reset();
    emit tips->click();
    QTRY_VERIFY_WITH_TIMEOUT(idle() && !tips->isVisible(), 10000);
    QCOMPARE(lastRequest(m_fx.phone), QStringLiteral("getDirectory 9 /文档"));
    QCOMPARE(shownNames().size(), 5);

    // A really empty folder says so, and a time-out of another task then changes nothing.
    act("path:0");
    act("open:空");
    QTRY_COMPARE(tips->findChild<QLabel*>("tipsLabel")->text(), QStringLiteral("暂无文件或文件夹"));
    emit KoRemoteFileOperator::getInstance()->taskExecuteTimeoutV2(KoRemoteFileTask::TypeThumbnail, kPhoneId);
    emit KoRemoteFileOperator::getInstance()->taskExecuteTimeoutV2(KoRemoteFileTask::TypeFileList, kPhoneId);
    QCOMPARE(tips->findChild<QLabel*>("tipsLabel")->text(), QStringLiteral("暂无文件或文件夹"));
}

void TestBrowserPage::lateAnswersAndLateTimeoutsChangeNothing()
{
    act("open:手机存储");
    int listings = 0;
    connect(KoRemoteFileOperator::getInstance(), &KoRemoteFileOperator::getFileListSuccessV2, m_page,
            [&listings] { ++listings; });
    KoTestResponse late = KoTestResponse::json(QJsonObject{
        {"code", 0},
        {"files", QJsonArray{QJsonObject{{"path", "/文档/late.txt"}, {"type", 200}, {"size", 1}, {"lastTime", 1}}}}});
    late.delayMs = 800;
    m_fx.phone->queueAnswer("getDirectory", late);
    m_page->onFileItemDoubleClicked(shownView()->model()->index(rowOf("文档"), 0));
    QTRY_COMPARE(lastRequest(m_fx.phone), QStringLiteral("getDirectory 9 /文档")); // took the late answer
    act("path:0");
    act("open:相邻");
    QTRY_COMPARE_WITH_TIMEOUT(listings, 3, 10000);
    QCOMPARE(m_page->getCurrentPath().getAbsolutePath(), QStringLiteral("/相邻"));
    QCOMPARE(shownNames(), (QStringList{"a.txt", "b.txt"}));
}

void TestBrowserPage::routeChangeReloadsOnTheNewRoute_data()
{
    QTest::addColumn<bool>("toLan");
    QTest::newRow("LAN to relay") << false;
    // Only the manager's signal brings the address back.
    QTest::newRow("relay to LAN") << true;
}

void TestBrowserPage::routeChangeReloadsOnTheNewRoute()
{
    QFETCH(bool, toLan);
    const QByteArray route = toLan ? "lan" : "relay";
    const QString dir = m_fx.root() + "/路由";
    touch(dir + "/a.txt", 5, 50);
    if (toLan) {
        KoBaseFacility relayOnly(m_fx.device);
        relayOnly.setLocal(false);
        relayOnly.setUrl(QString());
        m_page->setFacility(&relayOnly);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && rowOf("手机存储") >= 0, 10000);
    }
    act("open:手机存储");
    act("open:路由");
    QCOMPARE(shownNames(), QStringList{"a.txt"});
    m_fx.reset();
    // The manager names the phone in its own case.
    emit KoRemoteConnectManager::getInstance()->deviceLocalChanged(kPhoneId.toUpper(), toLan,
                                                                   toLan ? m_fx.url() : QString());
    QTRY_COMPARE_WITH_TIMEOUT(lastRequest(m_fx.phone), QStringLiteral("getDirectory 9 /路由"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(idle() && rowOf("a.txt") >= 0, 10000);
    QCOMPARE(m_page->getFacility()->isLocal(), toLan);
    QCOMPARE(lastRequest(m_fx.relay), toLan ? QString() : QStringLiteral("getDirectory 9 /路由"));

    // The next operation takes the new route too.
    child<QPushButton>("btnMkdir")->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_fx.phone->callsTo("newFolder").size(), 1, 10000);
    QTRY_COMPARE(QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    for (const KoFakeCall& call : m_fx.phone->calls())
        QCOMPARE(call.route, route); // nothing on the other route
    QVERIFY(QDir(dir).removeRecursively());
}

void TestBrowserPage::operatorSuccessesReloadTheShownPhoneOnce()
{
    act("open:手机存储");
    m_fx.reset();
    KoRemoteFileOperator* op = KoRemoteFileOperator::getInstance();
    // Another phone's work changes nothing here; a delete of three paths reloads once.
    emit op->renameFileFinishedV2("/x", "other-phone");
    emit op->moveFileFinishedV2("/x", "/y", "other-phone");
    for (int i = 0; i < 3; ++i)
        emit op->deleteFileFinishedV2(QString(), kPhoneId);
    QTRY_VERIFY_WITH_TIMEOUT(idle() && rowOf("文档") >= 0, 10000);
    QTest::qWait(200); // a second reload would have been asked for in the same turn
    QCOMPARE(m_fx.phone->callsTo("getDirectory").size(), 1);
}

void TestBrowserPage::tenThousandEntries()
{
    const QString dir = m_fx.root() + "/many";
    QVERIFY(QDir().mkpath(dir));
    for (int i = 0; i < 10000; ++i) {
        QFile file(dir + QStringLiteral("/f%1.txt").arg(9999 - i, 5, 10, QChar('0')));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    act("open:手机存储");
    m_page->grab().save(KO_BINARY_DIR "/test-artifacts/browser_folder_icons.png");
    child<QPushButton>("btnTable")->click();
    m_page->grab().save(KO_BINARY_DIR "/test-artifacts/browser_folder_table.png");
    act("open:many");
    const QStringList names = shownNames();
    QCOMPARE(names.size(), 10000);
    QCOMPARE(names.first(), QStringLiteral("f00000.txt"));
    QCOMPARE(names.last(), QStringLiteral("f09999.txt"));
    QVERIFY(std::is_sorted(names.begin(), names.end()));
    QVERIFY(child<QLabel>("stateLabel")->text().startsWith(QStringLiteral("共 10000 个项目, 已选中 0 个项")));
    act("home");
    m_page->grab().save(KO_BINARY_DIR "/test-artifacts/browser_categories.png");
    QVERIFY(QDir(dir).removeRecursively());
}

QTEST_MAIN(TestBrowserPage)
#include "tst_browserpage.moc"
