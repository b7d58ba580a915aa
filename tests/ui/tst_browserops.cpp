// The browser page's file operations against the real operator and the fake phone (LAN): what
// lands on the phone's disk and this computer's, which boxes ask first, and that a page which
// moved on acts on nothing.

#include "app/KoThisMachineInfo.h"
#include "model/KoFileCopyInfo.h"
#include "model/KoRemoteFile.h"
#include "ops/KoOpsTestFixture.h"
#include "support/KoAlertHelpers.h"
#include "support/KoFakeLauncher.h"
#include "support/KoTestFiles.h"
#include "ui/browser/KoDragWidget.h"
#include "ui/browser/KoUiV3FileCopyProgressDialog.h"
#include "ui/browser/KoUiV3FileWidget.h"
#include "ui/widgets/KoProgressWidget.h"

#include <QFileDialog>
#include <QJsonArray>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>

namespace {
const QString kPhoneId = QStringLiteral("phone-ops");

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

using KoTestFiles::treeOf;

void saveShot(QWidget* widget, const char* name)
{
    QDir().mkpath(KO_BINARY_DIR "/test-artifacts");
    widget->grab().save(QStringLiteral(KO_BINARY_DIR "/test-artifacts/") + name);
}

// Presses the confirm (1) or cancel (0) button of the next message box, after running look.
void answerBox(int button, std::function<void(KoUiV3AlertDialog*)> look = {})
{
    KoModal::whenAlertOpen([button, look](KoUiV3AlertDialog* box) {
        if (look)
            look(box);
        if (button == 1)
            box->accept();
        else
            box->reject();
    });
}

QStringList boxTexts(QWidget* box)
{
    QStringList texts;
    for (QLabel* label : box->findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts << label->text();
    return texts;
}
} // namespace

class TestBrowserOps : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void upload_data();
    void upload();
    void downloadAndOverwrite_data();
    void downloadAndOverwrite();
    void nameOperations_data();
    void nameOperations();
    void deleteAsksAndTellsFailures_data();
    void deleteAsksAndTellsFailures();
    void openOnlyKnownKindsFromTheCache_data();
    void openOnlyKnownKindsFromTheCache();
    void onlyTheLastAskedFileOpens();
    void cutAndPaste_data();
    void cutAndPaste();
    void copyProgress_data();
    void copyProgress();
    void copyPercentOfLargeFiles_data();
    void copyPercentOfLargeFiles();
    void drops();

private:
    void openStorage(const KoBaseFacility& device);
    void show(const QString& folder);
    void select(const QStringList& names);
    QString toast() const { return m_page->findChild<QLabel*>("messageLabel")->text(); }
    bool idle() const { return !m_page->findChild<KoProgressWidget*>()->isVisible(); }
    // Waits until the phone logged a call to op, count in all.
    bool waitCalls(const QString& op, int count) const;

    KoOpsPhone m_fx;
    QTemporaryDir m_local;
    KoUiV3FileWidget* m_page = nullptr;
    // What the page hands the desktop to open.
    KoFakeLauncher m_launcher;
};

void TestBrowserOps::initTestCase()
{
    KoServerConfig::setLocalUdpPort(0);
    QVERIFY(m_fx.start(this, kPhoneId));
    m_fx.device.setLocal(true);
    QVERIFY(QDir().mkpath(m_local.filePath("albums")));
    m_fx.phone->setCategoryRoot(2, m_local.filePath("albums"));
    m_fx.phone->setCategories({9, 2});
}

void TestBrowserOps::init()
{
    m_fx.reset();
    QDir(m_fx.root()).removeRecursively();
    QDir().mkpath(m_fx.root());
    m_launcher.clear();
    m_launcher.setEnding(KoFakeLauncher::Opens);
    m_page = new KoUiV3FileWidget;
    m_page->resize(820, 520);
    m_page->show();
    openStorage(m_fx.device);
}

void TestBrowserOps::openStorage(const KoBaseFacility& device)
{
    KoBaseFacility shown(device);
    m_page->setFacility(&shown);
    QTRY_VERIFY_WITH_TIMEOUT(idle() && m_page->findChild<QTableView*>("fileTableView")->model()->rowCount() > 0,
                             10000);
    select({"手机存储"});
    m_page->onFileItemDoubleClicked(m_page->findChild<QListView*>("fileListView")->currentIndex());
    QTRY_VERIFY_WITH_TIMEOUT(idle() && m_page->getCategoryState() == 5, 10000);
}

void TestBrowserOps::cleanup()
{
    delete m_page;
    m_page = nullptr;
    QTRY_VERIFY(KoModal::openAlerts().isEmpty());
}

void TestBrowserOps::show(const QString& folder)
{
    m_page->refreshFileExplorer();
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 10000);
    for (const QString& part : folder.split('/', Qt::SkipEmptyParts)) {
        select({part});
        QAbstractItemView* view = m_page->findChild<QTableView*>("fileTableView");
        m_page->onFileItemDoubleClicked(view->model()->index(view->currentIndex().row(), 0));
        QTRY_VERIFY_WITH_TIMEOUT(idle() && m_page->getCurrentPath().getAbsolutePath().endsWith(part), 10000);
    }
}

void TestBrowserOps::select(const QStringList& names)
{
    // The icon view is shown; its model holds the same rows as the table's.
    QAbstractItemView* view = m_page->findChild<QListView*>("fileListView");
    QAbstractItemModel* table = m_page->findChild<QTableView*>("fileTableView")->model();
    view->clearSelection();
    for (const QString& name : names) {
        for (int row = 0; row < table->rowCount(); ++row) {
            if (table->index(row, 0).data().toString() == name) {
                view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select);
                view->setCurrentIndex(view->model()->index(row, 0));
                m_page->findChild<QTableView*>("fileTableView")->setCurrentIndex(table->index(row, 0));
            }
        }
    }
}

bool TestBrowserOps::waitCalls(const QString& op, int count) const
{
    QElapsedTimer timer;
    timer.start();
    while (m_fx.phone->callsTo(op).size() < count && timer.elapsed() < 10000)
        QTest::qWait(10);
    return m_fx.phone->callsTo(op).size() >= count;
}

void TestBrowserOps::upload_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("retarget");
    QTest::newRow("file") << "a.bin" << false;
    QTest::newRow("folder") << "dir" << false;
    QTest::newRow("page moved on before the answer") << "a.bin" << true;
}

void TestBrowserOps::upload()
{
    QFETCH(QString, what);
    QFETCH(bool, retarget);
    // The source holds only what is chosen, so the phone's storage must end up the same.
    const QString src = m_local.filePath("up");
    QDir(src).removeRecursively();
    QDir().mkpath(what == "dir" ? src + "/dir/sub" : src);
    for (const QString& name : what == "dir" ? QStringList{"dir/b.txt", "dir/sub/c.txt"} : QStringList{what}) {
        QFile file(src + '/' + name);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(name.toUtf8().repeated(1000)) > 0);
    }
    show("/");
    KoModal::whenOpen<QFileDialog>([&](QFileDialog* dialog) {
        if (retarget)
            m_page->setFacility(&m_fx.device);
        dialog->setDirectory(src);
        dialog->selectFile(what);
        static_cast<QDialog*>(dialog)->accept();
    });
    m_page->onBtnUploadClicked();
    QTRY_VERIFY(!QApplication::activeModalWidget());
    if (retarget) {
        // An upload is listed at once and sent by the scheduler: nothing was listed.
        QVERIFY(KoRemoteFileOperator::getInstance()->getUploadingList()->isEmpty());
        QCOMPARE(treeOf(m_fx.root()), QString());
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(treeOf(m_fx.root()), treeOf(src), 15000);
}

void TestBrowserOps::downloadAndOverwrite_data()
{
    QTest::addColumn<int>("answer"); // -1: no local copy yet, 1 overwrite, 0 skip
    QTest::addColumn<bool>("shown");
    QTest::newRow("fresh") << -1 << true;
    QTest::newRow("overwrite") << 1 << true;
    QTest::newRow("skip") << 0 << true;
    QTest::newRow("another phone's question is answered") << 1 << false;
}

void TestBrowserOps::downloadAndOverwrite()
{
    QFETCH(int, answer);
    QFETCH(bool, shown);
    const QByteArray bytes = QByteArray("phone bytes ").repeated(5000);
    QVERIFY(m_fx.writeFile("/p.dat", bytes));
    const QString dst = m_local.filePath("down");
    QDir(dst).removeRecursively();
    QDir().mkpath(dst);
    if (answer >= 0) {
        QFile old(dst + "/p.dat");
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    }
    show("/");
    select({"p.dat"});
    QStringList asked;
    if (answer >= 0) {
        answerBox(answer, [&](KoUiV3AlertDialog* box) {
            asked = boxTexts(box);
            if (shown && answer == 1)
                saveShot(box, "browser_overwrite.png");
        });
    }
    if (shown) {
        KoModal::whenOpen<QFileDialog>([&](QFileDialog* chooser) {
            chooser->setDirectory(dst); // a folder chooser takes the folder it shows
            static_cast<QDialog*>(chooser)->accept();
        });
        m_page->onBtnDownloadClicked();
        QTRY_COMPARE(KoThisMachineInfo::getInstance()->getLastDownloadDir(), dst);
    } else {
        KoBaseFacility other(m_fx.device);
        other.setDeviceId("another");
        QList<KoRemoteFile*> files{m_fx.remoteFile("/p.dat", 1)};
        KoRemoteFileOperator::getInstance()->getFileGroupDownloadStartV2(9, files, dst, &other);
        qDeleteAll(files);
    }
    if (answer >= 0)
        QTRY_VERIFY_WITH_TIMEOUT(asked.contains("本地包含1个同名文件, 对于这些文件您要"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(readAll(dst + "/p.dat"), answer == 0 ? QByteArray("old") : bytes, 15000);
}

void TestBrowserOps::nameOperations_data()
{
    QTest::addColumn<QStringList>("before"); // "name/" a folder, else a file
    QTest::addColumn<QString>("action");     // "mkdir", "mkdir:typed", "rename:entry:name", "lost mkdir:..."
    QTest::addColumn<QString>("after");      // treeOf the storage
    QTest::addColumn<int>("renames");        // rename requests the phone receives
    QTest::addColumn<bool>("relay");
    QTest::newRow("new folder beside taken names") << QStringList{"新建文件夹/", "新建文件夹(1)"} << "mkdir"
                                                   << "新建文件夹(1)= 新建文件夹(2)/ 新建文件夹/" << 0 << false;
    QTest::newRow("name typed before the folder exists") << QStringList{} << "mkdir:照片"
                                                         << "照片/" << 1 << false;
    QTest::newRow("rename keeps the suffix") << QStringList{"a.txt"} << "rename:a.txt:b"
                                             << "b.txt=" << 1 << false;
    QTest::newRow("rename to ..") << QStringList{"a.txt"} << "rename:a.txt:.."
                                  << "a.txt=" << 0 << false;
    QTest::newRow("rename to a/b") << QStringList{"a.txt"} << "rename:a.txt:a/b"
                                   << "a.txt=" << 0 << false;
    QTest::newRow("rename to the same name") << QStringList{"d/"} << "rename:d:d"
                                             << "d/" << 0 << false;
    QTest::newRow("rename over the relay") << QStringList{"a.txt"} << "rename:a.txt:b"
                                           << "b.txt=" << 1 << true;
    QTest::newRow("typed folder name over the relay") << QStringList{} << "mkdir:照片"
                                                      << "照片/" << 1 << true;
    // The phone makes the folder but its answer comes after the request's deadline.
    QTest::newRow("name typed, the answer lost") << QStringList{} << "lost mkdir:照片"
                                                 << "照片/" << 1 << false;
    QTest::newRow("rename after an unanswered new folder") << QStringList{} << "lost mkdir:rename:照片"
                                                           << "照片/" << 1 << false;
}

void TestBrowserOps::nameOperations()
{
    QFETCH(QStringList, before);
    QFETCH(QString, action);
    QFETCH(QString, after);
    QFETCH(int, renames);
    QFETCH(bool, relay);
    for (const QString& entry : before)
        QVERIFY(entry.endsWith('/') ? QDir().mkpath(m_fx.root() + '/' + entry) : m_fx.writeFile('/' + entry, ""));
    if (relay) {
        KoBaseFacility remote(m_fx.device);
        remote.setLocal(false);
        openStorage(remote);
        QVERIFY(!m_fx.relay->callsTo("getDirectory").isEmpty());
    }
    show("/");
    const QStringList parts = action.split(':');
    QAbstractItemView* view = m_page->findChild<QListView*>("fileListView");
    const int deadline = KoServerConfig::requestDeadlineMs();
    const auto restore = qScopeGuard([deadline] { KoServerConfig::setRequestDeadlineMs(deadline); });
    if (parts.at(0) == "lost mkdir") {
        KoServerConfig::setRequestDeadlineMs(500);
        m_fx.phone->setDelay("newFolder", 3000);
        const int listings = m_fx.phone->callsTo("getDirectory").size();
        m_page->onBtnMkdirClicked();
        if (parts.size() == 2)
            view->model()->setData(view->model()->index(0, 0), parts.at(1));
        // The time-out lists the folder again: the phone's own entry replaces the placeholder.
        QVERIFY(waitCalls("getDirectory", listings + 1));
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 10000);
        KoServerConfig::setRequestDeadlineMs(deadline);
        if (parts.size() == 3) {
            select({"新建文件夹"});
            view->model()->setData(view->currentIndex(), parts.at(2));
        }
    } else if (parts.at(0) == "mkdir") {
        if (parts.size() > 1)
            m_fx.phone->setDelay("newFolder", 300);
        m_page->onBtnMkdirClicked();
        QVERIFY(view->indexWidget(view->model()->index(0, 0))); // the name is open for editing
        if (parts.size() > 1) {
            view->model()->setData(view->model()->index(0, 0), parts.at(1));
            QCOMPARE(m_fx.phone->callsTo("renameFile").size(), 0); // not before the folder exists
        }
    } else {
        select({parts.at(1)});
        const int row = view->currentIndex().row();
        view->model()->setData(view->model()->index(row, 0), parts.at(2));
    }
    QTRY_COMPARE_WITH_TIMEOUT(treeOf(m_fx.root()), after, 10000);
    // A listing asked after the requests comes back after them.
    const int listings = m_fx.phone->callsTo("getDirectory").size();
    m_page->refreshFileExplorer();
    QVERIFY(waitCalls("getDirectory", listings + 1));
    QTRY_VERIFY(idle());
    QCOMPARE(m_fx.phone->callsTo("renameFile").size(), renames);
    QCOMPARE(m_fx.relay->callsTo("renameFile").size(), relay ? renames : 0);
    QCOMPARE(treeOf(m_fx.root()), after);
}

void TestBrowserOps::deleteAsksAndTellsFailures_data()
{
    QTest::addColumn<int>("deviceType"); // 0: a folder of the storage; else a photo album of that phone type
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("failure");
    QTest::addColumn<QString>("after");
    QTest::newRow("confirmed") << 0 << 1 << false << "b/";
    QTest::newRow("cancelled") << 0 << 0 << false << "a.txt= b/";
    QTest::newRow("phone refuses") << 0 << 1 << true << "a.txt= b/";
    QTest::newRow("android album asks first") << 2 << 0 << false << "a.jpg=";
    QTest::newRow("iPhone album sends, then tells") << 3 << 1 << false << "";
}

void TestBrowserOps::deleteAsksAndTellsFailures()
{
    QFETCH(int, deviceType);
    QFETCH(int, button);
    QFETCH(bool, failure);
    QFETCH(QString, after);
    const QString album = m_local.filePath("albums/相机");
    QDir(album).removeRecursively();
    QVERIFY(QDir().mkpath(album));
    QFile(album + "/a.jpg").open(QIODevice::WriteOnly);
    QVERIFY(m_fx.writeFile("/a.txt", ""));
    QVERIFY(QDir().mkpath(m_fx.root() + "/b"));
    if (deviceType) {
        KoBaseFacility phone(m_fx.device);
        phone.setDeviceType(deviceType);
        m_page->setFacility(&phone);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && m_page->getCategoryState() == 0, 10000);
        for (const QString& place : {"相册", "相机"}) {
            select({place});
            m_page->onFileItemDoubleClicked(m_page->findChild<QListView*>("fileListView")->currentIndex());
            QTRY_VERIFY_WITH_TIMEOUT(idle(), 10000);
        }
        QCOMPARE(m_page->getCategoryState(), 6);
    } else {
        show("/");
    }
    select({deviceType ? "a.jpg" : "a.txt"});
    if (failure)
        m_fx.phone->setAnswer("deleteFile", KoTestResponse::json({{"code", 4}}));
    QStringList asked;
    answerBox(button, [&](KoUiV3AlertDialog* box) {
        asked = boxTexts(box);
        // An iPhone's request goes out while its box is still up.
        if (deviceType == 3)
            QVERIFY(waitCalls("deleteFile", 1));
        else if (!deviceType)
            saveShot(box, "browser_delete_confirm.png");
    });
    m_page->onBtnDeleteClicked();
    QVERIFY(
        asked.contains(deviceType == 3 ? "由于iOS系统权限限制, 请在iOS端手动确认删除" : "确定要删除这1个项目吗?"));
    if (button == 0) {
        QCOMPARE(m_fx.phone->callsTo("deleteFile").size(), 0);
        QCOMPARE(treeOf(deviceType ? album : m_fx.root()), after);
        return;
    }
    if (failure)
        QTRY_COMPARE_WITH_TIMEOUT(toast(), QStringLiteral("文件删除失败, 请检查与vu的连接后重试"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(treeOf(deviceType ? album : m_fx.root()), after, 10000);
}

void TestBrowserOps::openOnlyKnownKindsFromTheCache_data()
{
    QTest::addColumn<QString>("name"); // each row its own file: copies stay cached for the run
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QString>("fault"); // "404": the phone has no such file; "no app": nothing opens it
    QTest::addColumn<QString>("told");
    const QString unsupported = QStringLiteral("暂不支持该类型文件的预览, 请下载后在本地打开");
    QTest::newRow("photo") << "p.jpg" << true << ""
                           << "";
    QTest::newRow("a script typed as a photo") << "x.sh" << false << "" << unsupported;
    QTest::newRow("no application to open it")
        << "n.jpg" << false << "no app" << QStringLiteral("没有可以打开该文件的应用");
    QTest::newRow("the copy is answered 404")
        << "q.jpg" << false << "404" << QStringLiteral("文件打开失败, 请检查与vu的连接是否断开");
}

void TestBrowserOps::openOnlyKnownKindsFromTheCache()
{
    QFETCH(QString, name);
    QFETCH(bool, opened);
    QFETCH(QString, fault);
    QFETCH(QString, told);
    QVERIFY(m_fx.writeFile('/' + name, "#!/bin/sh\n"));
    // The phone says what kind a file is; this one claims to be a photo.
    const QJsonObject entry{{"path", '/' + name}, {"type", 200}, {"size", 10}, {"lastTime", 0}};
    m_fx.phone->setAnswer("getDirectory", KoTestResponse::json({{"code", 0}, {"files", QJsonArray{entry}}}));
    if (fault == "404")
        m_fx.phone->setAnswer("getFile", KoTestResponse::raw("not found", 404, "text/plain"));
    if (fault == "no app")
        m_launcher.setEnding(KoFakeLauncher::NoApplication);
    show("/");
    m_page->onFileItemDoubleClicked(m_page->findChild<QListView*>("fileListView")->model()->index(0, 0));
    if (opened) {
        QTRY_COMPARE_WITH_TIMEOUT(m_launcher.opened().size(), 1, 10000);
        QVERIFY(m_launcher.opened().at(0).endsWith(".jpg"));
        // The launcher has ended well: nothing is told.
        QTRY_VERIFY_WITH_TIMEOUT(KoFakeLauncher::allEnded(), 10000);
        QCoreApplication::processEvents();
        QCOMPARE(toast(), told);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(toast(), told, 10000);
        // Only a known kind from the cache reaches the launcher, which may find no application.
        QCOMPARE(m_launcher.opened().size(), fault == "no app" ? 1 : 0);
    }
    // "打开文件..." has ended, and the browsing area works again.
    QTRY_VERIFY(idle());
    QVERIFY(m_page->findChild<QWidget*>("exploreWidget")->isEnabled());
    QCOMPARE(m_fx.phone->callsTo("getFile").size(), 1);
}

void TestBrowserOps::onlyTheLastAskedFileOpens()
{
    QVERIFY(m_fx.writeFile("/first.jpg", "1"));
    QVERIFY(m_fx.writeFile("/second.jpg", "2"));
    show("/");
    // Both copies take a while; the first one asked for comes back first.
    m_fx.phone->setDelay("getFile", 1500);
    QAbstractItemModel* model = m_page->findChild<QTableView*>("fileTableView")->model();
    for (const QString& name : {"first.jpg", "second.jpg"}) {
        select({name});
        m_page->onFileItemDoubleClicked(
            model->index(m_page->findChild<QListView*>("fileListView")->currentIndex().row(), 0));
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_launcher.opened().size(), 1, 15000);
    QVERIFY(m_launcher.opened().at(0).endsWith(".jpg"));
    QCOMPARE(readAll(m_launcher.opened().at(0)), QByteArray("2"));
    QTRY_VERIFY(idle());
    QCOMPARE(m_fx.phone->callsTo("getFile").size(), 2);
}

void TestBrowserOps::cutAndPaste_data()
{
    QTest::addColumn<QString>("into");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("copy"); // copied (LAN) rather than cut
    QTest::newRow("another folder") << "/t"
                                    << "t/ t/a/ t/a/s/" << false;
    QTest::newRow("own subfolder") << "/a/s"
                                   << "a/ a/s/ t/" << false;
    QTest::newRow("into itself") << "/a"
                                 << "a/ a/s/ t/" << false;
    QTest::newRow("copied into itself") << "/a"
                                        << "a/ a/s/ t/" << true;
    QTest::newRow("copied into its own folder, the name taken") << "/"
                                                                << "a(1)/ a(1)/s/ a/ a/s/ t/" << true;
    QTest::newRow("a name that only begins with the source's") << "/ab"
                                                               << "ab/ ab/a/ ab/a/s/ t/" << false;
}

void TestBrowserOps::cutAndPaste()
{
    QFETCH(QString, into);
    QFETCH(QString, after);
    QFETCH(bool, copy);
    QVERIFY(QDir().mkpath(m_fx.root() + "/a/s"));
    QVERIFY(QDir().mkpath(m_fx.root() + "/t"));
    QVERIFY(QDir().mkpath(m_fx.root() + into));
    show("/");
    select({"a"});
    if (copy)
        m_page->onCopyActionTriggled();
    else
        m_page->onCutActionTriggled();
    show(into);
    QStringList told;
    const bool refused = into == "/a" || into.startsWith("/a/");
    if (refused)
        answerBox(1, [&](KoUiV3AlertDialog* box) { told = boxTexts(box); });
    bool closedItself = true;
    if (copy && !refused) {
        // The progress box closes once the phone's copy is done; one still open later is cancelled.
        KoModal::whenOpen<KoUiV3FileCopyProgressDialog>([&closedItself](KoUiV3FileCopyProgressDialog* dialog) {
            QTimer::singleShot(20000, dialog, [&closedItself, dialog] {
                closedItself = false;
                dialog->findChild<QPushButton*>("btnCancel")->click();
            });
        });
    }
    m_page->onPasteActionTriggled();
    if (refused) {
        QVERIFY(told.contains(copy ? "目标文件夹是源文件夹/a的子文件夹, 无法复制"
                                   : "目标文件夹是源文件夹/a的子文件夹, 无法移动"));
        QCOMPARE(m_fx.phone->callsTo("moveFile").size(), 0);
        QCOMPARE(m_fx.phone->callsTo("copyFile").size(), 0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(treeOf(m_fx.root()), after, 10000);
    QVERIFY(closedItself);
}

void TestBrowserOps::copyProgress_data()
{
    QTest::addColumn<QString>("phone"); // how the phone answers the progress polls
    QTest::newRow("cancelled") << "partial";
    QTest::newRow("phone stops answering") << "silent";
    QTest::newRow("every answer takes 3 s") << "slow";
}

void TestBrowserOps::copyProgress()
{
    QFETCH(QString, phone);
    const bool cancel = phone == "partial";
    const int deadline = KoServerConfig::requestDeadlineMs();
    const auto restore = qScopeGuard([deadline] { KoServerConfig::setRequestDeadlineMs(deadline); });
    QVERIFY(m_fx.writeFile("/c.txt", QByteArray(400, 'c')));
    QVERIFY(QDir().mkpath(m_fx.root() + "/t"));
    show("/");
    select({"c.txt"});
    m_page->onCopyActionTriggled();
    show("/t");
    const QJsonObject partial{
        {"code", 0}, {"files", QJsonArray{QJsonObject{{"path", "/c.txt"}, {"size", 400}, {"progress", 150}}}}};
    KoTestResponse answer = KoTestResponse::json(partial);
    if (phone == "silent") {
        KoServerConfig::setRequestDeadlineMs(1000);
        answer.noAnswer = true;
    } else if (phone == "slow") {
        // Slow but within the request's deadline: the copy goes on and ends well.
        answer = KoTestResponse::json(
            {{"code", 0}, {"files", QJsonArray{QJsonObject{{"path", "/c.txt"}, {"size", 400}, {"progress", 400}}}}});
        answer.delayMs = 3000;
    }
    m_fx.phone->setAnswer("copyFileProgress", answer);
    // The copy itself is made by the phone at once; its start answer says it is still running.
    m_fx.phone->setAnswer("copyFile", KoTestResponse::json(partial));
    // The box runs its own event loop: it is looked at and answered from inside it.
    QStringList shown;
    int percent = -1;
    KoModal::whenOpen<KoUiV3FileCopyProgressDialog>([&](KoUiV3FileCopyProgressDialog* dialog) {
        shown << dialog->findChild<QLabel*>("copyNameLabel")->text()
              << dialog->findChild<QLabel*>("copyDetailLabel")->text();
        percent = dialog->findChild<QProgressBar*>("copyProgressBar")->value();
        if (!cancel)
            return;
        QVERIFY(waitCalls("copyFileProgress", 2));
        saveShot(dialog, "browser_copy_progress.png");
        dialog->findChild<QPushButton*>("btnCancel")->click();
    });
    m_page->onPasteActionTriggled();
    QTRY_VERIFY_WITH_TIMEOUT(percent >= 0 && !QApplication::activeModalWidget(), 30000);
    QCOMPARE(shown, QStringList({"正在复制: c.txt", "共1个文件, 已完成0个"}));
    QCOMPARE(percent, 37);
    if (cancel) {
        QVERIFY(waitCalls("cancelCopyFile", 1));
        return;
    }
    if (phone == "slow") {
        // One poll at a time, and a late answer is no failure.
        QCOMPARE(m_fx.phone->callsTo("copyFileProgress").size(), 1);
        QCOMPARE(toast(), QString());
        return;
    }
    // Three polls left unanswered ended it and told the user.
    QCOMPARE(toast(), QStringLiteral("文件复制失败, 请检查与vu的连接后重试"));
    QCOMPARE(m_fx.phone->callsTo("copyFileProgress").size(), 3);

    // A failed file counts as over: the box closes with the failure told.
    auto* list = new QList<KoFileCopyInfo*>{new KoFileCopyInfo(1, m_fx.remoteFile("/x", 500), m_fx.url(), 0)};
    list->first()->setConvertState(3);
    KoUiV3FileCopyProgressDialog failed(1, m_fx.url(), list, 9);
    QCOMPARE(failed.exec(), int(QDialog::Accepted));
    QVERIFY(failed.hasFailed());
}

void TestBrowserOps::copyPercentOfLargeFiles_data()
{
    // A file per entry: its size and how much of it is copied, as the phone says.
    QTest::addColumn<QList<qint64>>("sizes");
    QTest::addColumn<QList<qint64>>("copied");
    QTest::addColumn<int>("percent");
    const qint64 mb = 1024 * 1024;
    const qint64 huge = 9000000000000000000LL;
    QTest::newRow("50 MB of 100 MB") << QList<qint64>{100 * mb} << QList<qint64>{50 * mb} << 50;
    QTest::newRow("3 GB of 4 GB") << QList<qint64>{4096 * mb} << QList<qint64>{3072 * mb} << 75;
    QTest::newRow("finished") << QList<qint64>{4096 * mb} << QList<qint64>{4096 * mb} << 100;
    QTest::newRow("an empty file") << QList<qint64>{0} << QList<qint64>{0} << 100;
    // Sums past 64 bits.
    QTest::newRow("two of 9e18 bytes, nothing copied") << QList<qint64>{huge, huge} << QList<qint64>{0, 0} << 0;
    QTest::newRow("two of 9e18 bytes, both copied") << QList<qint64>{huge, huge} << QList<qint64>{huge, huge} << 100;
    QTest::newRow("a negative size beside half a file")
        << QList<qint64>{-huge, 100} << QList<qint64>{-huge, 50} << 50;
}

void TestBrowserOps::copyPercentOfLargeFiles()
{
    QFETCH(QList<qint64>, sizes);
    QFETCH(QList<qint64>, copied);
    QFETCH(int, percent);
    // The phone names the file; markup in it is shown as typed.
    const QString name = QStringLiteral("<b>big &amp; small.iso");
    auto* list = new QList<KoFileCopyInfo*>;
    for (int i = 0; i < sizes.size(); ++i) {
        auto* file = new KoRemoteFile(m_fx.url(), '/' + name, 200, sizes.at(i), 0, QString());
        list->append(new KoFileCopyInfo(1, file, m_fx.url(), copied.at(i)));
    }
    // Not the LAN version: it asks the phone nothing.
    KoUiV3FileCopyProgressDialog dialog(1, m_fx.url(), list, 9);
    QCOMPARE(dialog.findChild<QProgressBar*>("copyProgressBar")->value(), percent);
    auto* nameLabel = dialog.findChild<QLabel*>("copyNameLabel");
    if (percent < 100) {
        QCOMPARE(nameLabel->text(), QStringLiteral("正在复制: ") + name);
        QCOMPARE(nameLabel->textFormat(), Qt::PlainText);
    }
}

void TestBrowserOps::drops()
{
    QVERIFY(QDir().mkpath(m_fx.root() + "/a"));
    QVERIFY(m_fx.writeFile("/f.txt", "drag me out"));
    QFile local(m_local.filePath("dropped.txt"));
    QVERIFY(local.open(QIODevice::WriteOnly) && local.write("dropped") == 7);
    local.close();
    show("/");
    m_page->onLocalFileDropped({local.fileName()});
    QTRY_COMPARE_WITH_TIMEOUT(readAll(m_fx.root() + "/dropped.txt"), QByteArray("dropped"), 15000);
    // The page lists the folder again once the upload ended.
    QTRY_VERIFY_WITH_TIMEOUT(idle() && m_page->findChild<QTableView*>("fileTableView")->model()->rowCount() == 3,
                             10000);

    // A folder dropped onto itself goes nowhere.
    m_page->onRemoteFileDropped({"/a"}, "/a");
    // The desktop reports where a drag out landed: the selection is downloaded there.
    select({"f.txt"});
    const QString out = m_local.filePath("out");
    QDir().mkpath(out);
    const QString lastDir = KoThisMachineInfo::getInstance()->getLastDownloadDir();
    emit m_page->findChild<QListView*>("fileListView")
        ->findChild<KoDragWidget*>()
        ->notifyPath(out.toUtf8().constData());
    QTRY_COMPARE_WITH_TIMEOUT(readAll(out + "/f.txt"), QByteArray("drag me out"), 15000);
    QCOMPARE(KoThisMachineInfo::getInstance()->getLastDownloadDir(), lastDir);
    QCOMPARE(m_fx.phone->callsTo("moveFile").size(), 0);
}

QTEST_MAIN(TestBrowserOps)
#include "tst_browserops.moc"
