// The browser's file, path and category models: roles over awkward records, the rename rules
// and the thumbnail role against the real operator and the fake phone.

#include "ops/KoOpsTestFixture.h"
#include "app/KoCommonUtil.h"
#include "model/KoRemoteCategory.h"
#include "ui/widgets/KoImageCache.h"
#include "ui/browser/KoRemoteCategoryListModel.h"
#include "ui/browser/KoRemoteCategoryTableModel.h"
#include "ui/browser/KoRemoteFileListModel.h"
#include "ui/browser/KoRemoteFilePathListModel.h"
#include "ui/browser/KoRemoteFileTableModel.h"

#include <QAbstractItemModelTester>

namespace R = KoFileModelRole;

class TestFileModels : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<KoRemoteFile*>();
        QVERIFY(m_fx.start(this, QStringLiteral("PHONE-M"), false));
    }
    // Names come from the records (tst_files); here what the models add on top of them.
    void fileRoles_data()
    {
        QTest::addColumn<int>("phoneType");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("sizeEmpty");
        QTest::addColumn<qint64>("modified");
        QTest::addColumn<bool>("timeEmpty");
        QTest::newRow("file") << 200 << qint64(2048) << false << qint64(1700000000000) << false;
        // A folder of exactly 2^32 bytes must not read as empty through a 32-bit narrowing.
        QTest::newRow("folder 2^32") << 100 << (qint64(1) << 32) << true << qint64(0) << false;
        // An album has no time of its own: not "1969.12.31 23:59:59".
        QTest::newRow("album, no time") << 100 << qint64(37) << true << qint64(-1) << true;
    }
    void fileRoles()
    {
        QFETCH(int, phoneType);
        QFETCH(qint64, size);
        QFETCH(qint64, modified);
        KoRemoteFile file(QStringLiteral("http://x"), QString::fromUtf8("/照片/海边 夏天.jpg"), phoneType, size,
                          modified, QString());
        QList<KoRemoteFile*> list{&file};
        KoRemoteFileListModel listModel;
        KoRemoteFileTableModel tableModel(nullptr, 3);
        QAbstractItemModelTester c1(&listModel, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester c2(&tableModel, QAbstractItemModelTester::FailureReportingMode::QtTest);
        listModel.setList(&list);
        tableModel.setList(&list);
        QCOMPARE(listModel.index(0).data(R::FileSize).toLongLong(), size);
        QCOMPARE(listModel.index(0).data(R::FileName).toString(), file.getName());
        QCOMPARE(listModel.index(0).data(R::FileSuffix).toString(), file.getSuffix());
        QCOMPARE(tableModel.index(0, 0).data().toString(), file.getFullName());
        QTEST(tableModel.index(0, 1).data().toString().isEmpty(), "sizeEmpty");
        QTEST(tableModel.index(0, 2).data().toString().isEmpty(), "timeEmpty");
        QVERIFY(!tableModel.index(0, 0).data(Qt::DecorationRole).value<QPixmap>().isNull());
        // Not an empty folder's icon for 2^32 bytes: the table picks it from the 64-bit size.
        if (file.isFolder())
            QCOMPARE(tableModel.index(0, 0).data(Qt::DecorationRole).value<QPixmap>().cacheKey(),
                     KoImageCache::pixmap(":/ui_v3/images/icon_file_dir_small", QSize(18, 18)).cacheKey());
        QCOMPARE(tableModel.flags(tableModel.index(0, 1)) & Qt::ItemIsEditable, Qt::ItemFlags());
        tableModel.onHoverRow(0);
        QCOMPARE(tableModel.index(0, 2).data(Qt::BackgroundRole).value<QColor>(), QColor("#F6F6F6"));
        list.clear();
        listModel.setList(&list); // a membership change is a reset: no stale row
        QCOMPARE(listModel.rowCount(), 0);
    }
    void pathAndCategoryRoles()
    {
        QList<KoRemoteFilePath> paths{KoRemoteFilePath("/", QString::fromUtf8("手机存储")),
                                      KoRemoteFilePath("/DCIM", "")};
        KoRemoteFilePathListModel pathModel;
        QAbstractItemModelTester c1(&pathModel, QAbstractItemModelTester::FailureReportingMode::QtTest);
        pathModel.setList(&paths);
        QCOMPARE(pathModel.index(0).data(R::PathIsLast).toBool(), false);
        QCOMPARE(pathModel.index(1).data(R::PathIsLast).toBool(), true);
        QCOMPARE(pathModel.index(1).data(R::PathName).toString(), QStringLiteral("DCIM"));

        KoRemoteCategory storage("http://x", 9, 1000, 5000), other("http://x", 4, 0, 0);
        QList<KoRemoteCategory*> categories{&storage, &other};
        KoRemoteCategoryListModel listModel;
        KoRemoteCategoryTableModel tableModel(nullptr, 3);
        QAbstractItemModelTester c2(&listModel, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester c3(&tableModel, QAbstractItemModelTester::FailureReportingMode::QtTest);
        listModel.setList(&categories);
        tableModel.setList(&categories);
        QCOMPARE(listModel.index(0).data(R::CategoryTotal).toString(), KoCommonUtil::getFileSizeStringFromLong(5000));
        QCOMPARE(tableModel.index(0, 2).data().toString(), KoCommonUtil::getFileSizeStringFromLong(1000));
        QVERIFY(!tableModel.index(0, 0).data(Qt::DecorationRole).value<QPixmap>().isNull());
        QVERIFY(!tableModel.index(1, 0).data(Qt::DecorationRole).isValid());
    }
    void rename_data()
    {
        QTest::addColumn<QString>("newName");
        QTest::addColumn<bool>("result");
        QTest::addColumn<bool>("sent");
        QTest::newRow("empty") << "" << true << false;
        QTest::newRow("unchanged") << "photo" << true << false;
        QTest::newRow("dot") << "." << false << false;
        QTest::newRow("dot dot") << ".." << false << false;
        QTest::newRow("only dots") << "..." << false << false;
        QTest::newRow("slash walks") << "../x" << false << false;
        QTest::newRow("255 bytes with suffix") << QString(251, 'a') << true << true;
        QTest::newRow("256 bytes with suffix") << QString(252, 'a') << false << false;
        QTest::newRow("long in UTF-8") << QString(90, QChar(0x4E2D)) << false << false;
        QTest::newRow("backslash") << "a\\b" << true << true;
    }
    void rename()
    {
        QFETCH(QString, newName);
        KoRemoteFile a(QStringLiteral("http://x"), QStringLiteral("/p/photo.jpg"), 200, 1, 0, QString());
        KoRemoteFile b(&a);
        QList<KoRemoteFile*> listA{&a}, listB{&b};
        KoRemoteFileListModel listModel;
        KoRemoteFileTableModel tableModel(nullptr, 3);
        listModel.setList(&listA);
        tableModel.setList(&listB);
        QSignalSpy listSpy(&listModel, &KoRemoteFileListModel::renameFile);
        QSignalSpy tableSpy(&tableModel, &KoRemoteFileTableModel::renameFile);
        QTEST(listModel.setData(listModel.index(0), newName, Qt::EditRole), "result");
        QTEST(tableModel.setData(tableModel.index(0, 0), newName, Qt::EditRole), "result");
        QFETCH(bool, sent);
        QCOMPARE(listSpy.size(), sent ? 1 : 0);
        QCOMPARE(tableSpy.size(), sent ? 1 : 0);
        QCOMPARE(a.getName(), sent ? newName : QStringLiteral("photo"));
        QCOMPARE(b.getName(), a.getName());
        QVERIFY(!listModel.setData(listModel.index(0), "other", Qt::DisplayRole));
    }
    void thumbnailRoleFetchesUnlessWheeling()
    {
        QVERIFY(m_fx.writeFile("/DCIM/a.jpg", "thumb a"));
        QVERIFY(m_fx.writeFile("/DCIM/b.jpg", "thumb b"));
        QScopedPointer<KoRemoteFile> a(m_fx.remoteFile("/DCIM/a.jpg")), b(m_fx.remoteFile("/DCIM/b.jpg"));
        QList<KoRemoteFile*> list{a.data(), b.data()};
        KoRemoteFileListModel model;
        model.setCategory(9);
        model.setList(&list);
        QCOMPARE(model.index(0).data(R::FileThumbnail).toString(), QString()); // no device yet
        m_fx.device.setLocal(true);
        model.setFacility(&m_fx.device);

        // Visible and not wheeling: requested, and the path arrives.
        QCOMPARE(model.index(0).data(R::FileThumbnail).toString(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!model.index(0).data(R::FileThumbnail).toString().isEmpty(), 10000);
        QCOMPARE(QFile(model.index(0).data(R::FileThumbnail).toString()).size(), qint64(7));

        // Wheeling: the cached path still comes back, the uncached one is not asked for.
        m_fx.reset();
        model.setWheeling(true);
        QVERIFY(!model.index(0).data(R::FileThumbnail).toString().isEmpty());
        QCOMPARE(model.index(1).data(R::FileThumbnail).toString(), QString());
        QTest::qWait(1200); // longer than two scheduler ticks: a queued request would have gone out
        QCOMPARE(m_fx.phone->callsTo(QStringLiteral("getThumbnail")).size(), 0);
        model.setWheeling(false);
        model.index(1).data(R::FileThumbnail);
        QTRY_COMPARE_WITH_TIMEOUT(m_fx.phone->callsTo(QStringLiteral("getThumbnail")).size(), 1, 10000);
        delete KoRemoteFileOperator::getInstance();
    }

private:
    KoOpsPhone m_fx;
};

QTEST_MAIN(TestFileModels)
#include "tst_filemodels.moc"
