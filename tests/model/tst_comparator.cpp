// Sort orders of phone entries: folders first, each flag, Chinese names, alias order.
#include <QtTest>

#include <algorithm>

#include "model/KoCategoryFolderAlias.h"
#include "model/KoRemoteFile.h"
#include "model/KoRemoteFileComparator.h"

namespace {

struct Entry {
    const char* path;
    int type;
    qint64 size;
    qint64 time;
};

QList<KoRemoteFile*> build(const QList<Entry>& entries)
{
    QList<KoRemoteFile*> list;
    for (const Entry& e : entries)
        list.append(
            new KoRemoteFile(QString(), QString::fromUtf8(e.path), e.type, e.size, quint64(e.time), QString()));
    return list;
}

QStringList names(const QList<KoRemoteFile*>& list)
{
    QStringList out;
    for (const KoRemoteFile* f : list)
        out << f->getFullName();
    return out;
}

QStringList sorted(const QList<Entry>& entries, int flag)
{
    QList<KoRemoteFile*> list = build(entries);
    std::sort(list.begin(), list.end(), KoRemoteFileComparator(flag));
    const QStringList out = names(list);
    qDeleteAll(list);
    return out;
}

const QList<Entry> kMixed = {
    {"/sdcard/b.txt", 500, 30, 3000}, {"/sdcard/Music", 100, 0, 1000},  {"/sdcard/a.jpg", 200, 10, 2000},
    {"/sdcard/c.mp4", 300, 20, 1000}, {"/sdcard/Alarms", 100, 5, 3000},
};

} // namespace

class TestComparator : public QObject
{
    Q_OBJECT
private slots:
    void cleanupTestCase()
    {
        if (KoCategoryFolderAlias::hasInstance())
            delete KoCategoryFolderAlias::getInstance();
    }
    void eachFlag_data()
    {
        QTest::addColumn<int>("flag");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("1 name ascending") << 1 << QStringList{"Alarms", "Music", "a.jpg", "b.txt", "c.mp4"};
        QTest::newRow("2 time ascending") << 2 << QStringList{"Music", "Alarms", "c.mp4", "a.jpg", "b.txt"};
        QTest::newRow("-2 time descending") << -2 << QStringList{"Alarms", "Music", "b.txt", "a.jpg", "c.mp4"};
        QTest::newRow("3 size ascending") << 3 << QStringList{"Music", "Alarms", "a.jpg", "c.mp4", "b.txt"};
        QTest::newRow("-3 size descending") << -3 << QStringList{"Alarms", "Music", "b.txt", "c.mp4", "a.jpg"};
    }
    void eachFlag()
    {
        QFETCH(int, flag);
        QFETCH(QStringList, expected);
        QCOMPARE(sorted(kMixed, flag), expected);
    }
    void chineseNamesByPinyin()
    {
        // Code points would give 中 (4E2D) < 北 (5317) < 阿 (963F); pinyin gives a, bei, zhong.
        const QList<Entry> entries = {
            {"/sdcard/中国.txt", 500, 1, 1}, {"/sdcard/阿里.txt", 500, 1, 1}, {"/sdcard/北京.txt", 500, 1, 1},
            {"/sdcard/照片", 100, 1, 1},     {"/sdcard/安装包", 100, 1, 1},
        };
        QCOMPARE(sorted(entries, 1), (QStringList{"安装包", "照片", "阿里.txt", "北京.txt", "中国.txt"}));
        QCOMPARE(sorted(entries, -1), (QStringList{"照片", "安装包", "中国.txt", "北京.txt", "阿里.txt"}));

        // Any other flag: plain text order (code points).
        QCOMPARE(sorted(entries, 7), (QStringList{"安装包", "照片", "中国.txt", "北京.txt", "阿里.txt"}));
    }
    void aliasOrder()
    {
        KoCategoryFolderAlias* aliases = KoCategoryFolderAlias::getInstance();
        QCOMPARE(aliases->getFolderAlias(QStringLiteral("/storage/emulated/0/DCIM/Camera")), QStringLiteral("相机"));
        // Exact whole-path matches only.
        QCOMPARE(aliases->getFolderAlias(QStringLiteral("/storage/emulated/0/DCIM/Camera/")), QString());
        QCOMPARE(aliases->getFolderAlias(QStringLiteral("/storage/emulated/0/DCIM/Camera2")), QString());

        const QList<Entry> entries = {
            {"/storage/emulated/0/Download", 100, 0, 0},         {"/storage/emulated/0/Other", 100, 0, 0},
            {"/storage/emulated/0/DCIM/Camera", 100, 0, 0},      {"/storage/emulated/0/Pictures", 100, 0, 0},
            {"/storage/emulated/0/DCIM/Screenshots", 100, 0, 0}, {"/storage/emulated/0/x.jpg", 200, 0, 0},
        };
        QCOMPARE(sorted(entries, 0),
                 (QStringList{"Camera", "Screenshots", "Pictures", "Download", "Other", "x.jpg"}));

        // The table can be dropped at exit and built again.
        delete aliases;
        QVERIFY(!KoCategoryFolderAlias::hasInstance());
        QCOMPARE(KoCategoryFolderAlias::getInstance()->getFolderOrder(QStringLiteral("/sdcard/DCIM/Camera")), 100);
    }
    void strictWeakOrder()
    {
        QList<KoRemoteFile*> list = build(kMixed);
        list.append(new KoRemoteFile(QString(), QStringLiteral("/sdcard/a.jpg"), 200, 10, 2000, QString()));
        for (int flag = -4; flag <= 4; ++flag) {
            KoRemoteFileComparator less(flag);
            for (KoRemoteFile* a : list) {
                QVERIFY(!less(a, a));
                for (KoRemoteFile* b : list) {
                    if (less(a, b))
                        QVERIFY(!less(b, a));
                }
            }
            QVERIFY(less(list.at(1), list.at(0))); // a folder before a file, whatever the flag
            QVERIFY(!less(list.at(0), list.at(1)));
        }
        qDeleteAll(list);
    }
};

QTEST_GUILESS_MAIN(TestComparator)
#include "tst_comparator.moc"
