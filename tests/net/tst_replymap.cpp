// Records and the reply map: what the answer handlers read back and who deletes what.

#include "net/KoReplyMap.h"
#include "net/KoReplyType.h"

#include <QDateTime>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QtTest>

#include <memory>

namespace {
// A reply that never goes anywhere, so that one can be built where another one was.
class InertReply : public QNetworkReply
{
public:
    InertReply() { open(QIODevice::ReadOnly); }
    void abort() override { }

protected:
    qint64 readData(char*, qint64) override { return -1; }
};

// A record that tells when it is destroyed.
KoReplyType* watchedRecord(int type, std::weak_ptr<int>* watch)
{
    auto* r = new KoReplyType(type);
    auto token = std::make_shared<int>(type);
    *watch = token;
    r->setData(token);
    return r;
}
} // namespace

class TestReplyMap : public QObject
{
    Q_OBJECT

private:
    QNetworkAccessManager* m_nam = nullptr;
    // Real replies to a closed port: they only serve as keys and die with the manager.
    QNetworkReply* newReply() { return m_nam->get(QNetworkRequest(QUrl("http://127.0.0.1:1/x"))); }

private slots:
    void init() { m_nam = new QNetworkAccessManager(this); }
    void cleanup()
    {
        delete m_nam;
        m_nam = nullptr;
    }

    void valuesByIndexAndChaining()
    {
        QFile f;
        KoReplyType r(203004);
        KoReplyType* same = r.setId(42)
                                ->addValue(&f)
                                ->addValue(QStringLiteral("https://relay/"))
                                ->addValue(7)
                                ->addValue(qint64(5000000000LL))
                                ->addValue(QString::fromUtf8("照片"));
        QCOMPARE(same, &r);
        QCOMPARE(r.getId(), 42);
        QCOMPARE(r.valueCount(), 5);
        // The file takes index 0 with an empty placeholder.
        QCOMPARE(r.getStringValue(0), QString());
        QCOMPARE(r.getFileValue(0), &f);
        QCOMPARE(r.getFileValue(3), &f);
        QCOMPARE(r.getStringValue(1), QStringLiteral("https://relay/"));
        QCOMPARE(r.getIntValue(2), 7);
        QCOMPARE(r.getLongLongValue(3), qint64(5000000000LL));
        QCOMPARE(r.getLongLongValue(2), qint64(7));
        QCOMPARE(r.getStringValue(4), QString::fromUtf8("照片"));
        // Beyond the list and negative indices read as defaults.
        QCOMPARE(r.getIntValue(5), 0);
        QCOMPARE(r.getStringValue(99), QString());
        QCOMPARE(r.getLongLongValue(-1), qint64(0));
    }

    void deadline()
    {
        KoReplyType r(1);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        r.setDdl(15000);
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(r.getDdl() >= before + 15000 && r.getDdl() <= after + 15000);
        QVERIFY(r.hasDdl());
        r.setDdl(0);
        QCOMPARE(r.getDdl(), qint64(-1));
        r.setDdl(1);
        QVERIFY(r.getDdl() > 0);
        r.setDdl(-5);
        QCOMPARE(r.getDdl(), qint64(-1));
        QVERIFY(!r.hasDdl());
    }

    void addFindRemove()
    {
        KoReplyMap map;
        QNetworkReply* a = newReply();
        QNetworkReply* b = newReply();
        std::weak_ptr<int> wa, wb;
        KoReplyType* ra = watchedRecord(1, &wa);
        KoReplyType* rb = watchedRecord(2, &wb);
        ra->setId(10);
        rb->setId(20);
        map.add(a, ra);
        map.add(b, rb);
        QCOMPARE(map.count(), 2);
        QCOMPARE(map.getReplyType(a), ra);
        QCOMPARE(map.getReplyType(b), rb);
        QCOMPARE(map.getReplyTypeOf(20), rb);
        QCOMPARE(map.getReplyOf(10), a);
        QVERIFY(map.getReplyTypeOf(30) == nullptr);
        QVERIFY(map.getReplyOf(30) == nullptr);

        map.remove(a);
        QVERIFY(wa.expired()); // the record is gone, the reply object is not touched
        QCOMPARE(a->parent(), m_nam);
        QVERIFY(map.getReplyType(a) == nullptr);
        QVERIFY(map.getReplyOf(10) == nullptr);
        map.remove(a); // twice is harmless
        QCOMPARE(map.count(), 1);
        QVERIFY(!wb.expired());
    }

    void sameIdPrefersLatest()
    {
        KoReplyMap map;
        QNetworkReply* stream = newReply();
        QNetworkReply* checksum = newReply();
        map.add(stream, (new KoReplyType(101004))->setId(5));
        map.add(checksum, (new KoReplyType(101017))->setId(5));
        QCOMPARE(map.getReplyOf(5), checksum);
        QCOMPARE(map.getReplyTypeOf(5)->getType(), 101017);
        map.remove(checksum);
        QCOMPARE(map.getReplyOf(5), stream);
    }

    void removeIfOnlyTheSameRecord()
    {
        KoReplyMap map;
        QNetworkReply* a = newReply();
        auto* first = new KoReplyType(1);
        map.add(a, first);
        std::weak_ptr<int> w;
        KoReplyType* second = watchedRecord(2, &w);
        map.add(a, second); // replaces and deletes the first
        QVERIFY(!map.removeIf(a, first));
        QCOMPARE(map.getReplyType(a), second);
        QVERIFY(map.removeIf(a, second));
        QVERIFY(w.expired());
        QVERIFY(map.isEmpty());
    }

    void earliestDeadlineSkipsRecordsWithout()
    {
        KoReplyMap map;
        QNetworkReply* none = newReply();
        QNetworkReply* late = newReply();
        QNetworkReply* early = newReply();
        map.add(none, new KoReplyType(1));
        QNetworkReply* r = nullptr;
        KoReplyType* rec = nullptr;
        QVERIFY(!map.earliestDeadline(&r, &rec));
        auto* lateRec = new KoReplyType(2);
        lateRec->setDdl(60000);
        auto* earlyRec = new KoReplyType(3);
        earlyRec->setDdl(1000);
        map.add(late, lateRec);
        map.add(early, earlyRec);
        bool alive = false;
        QVERIFY(map.earliestDeadline(&r, &rec, &alive));
        QCOMPARE(r, early);
        QCOMPARE(rec, earlyRec);
        QVERIFY(alive);
        delete early; // destroyed behind the map's back
        QVERIFY(map.earliestDeadline(&r, &rec, &alive));
        QCOMPARE(rec, earlyRec);
        QVERIFY(!alive);
        QVERIFY(map.getReplyOf(0) == nullptr);
    }

    void replyAtTheAddressOfADeadOneIsWatched()
    {
        // The allocator hands out a freed reply's address again; the map must watch the new
        // reply, not the memory of the old one.
        alignas(InertReply) unsigned char storage[sizeof(InertReply)];
        KoReplyMap map;
        auto* first = new (storage) InertReply();
        KoReplyType* firstRec = (new KoReplyType(1))->setId(7);
        firstRec->setDdl(60000);
        map.add(first, firstRec);
        first->~InertReply(); // destroyed behind the map's back

        auto* second = new (storage) InertReply();
        KoReplyType* secondRec = (new KoReplyType(2))->setId(7);
        secondRec->setDdl(60000);
        map.add(second, secondRec);
        QNetworkReply* r = nullptr;
        KoReplyType* rec = nullptr;
        bool alive = false;
        QVERIFY(map.earliestDeadline(&r, &rec, &alive));
        QCOMPARE(rec, secondRec);
        QVERIFY(alive);
        QCOMPARE(map.getReplyOf(7), static_cast<QNetworkReply*>(second));
        map.clear();
        second->~InertReply();
    }

    void destructorDeletesRecords()
    {
        std::weak_ptr<int> w1, w2;
        {
            KoReplyMap map;
            map.add(newReply(), watchedRecord(1, &w1));
            map.add(newReply(), watchedRecord(2, &w2));
        }
        QVERIFY(w1.expired());
        QVERIFY(w2.expired());
    }

    void abortAllFinishesRepliesOnce()
    {
        KoReplyMap map;
        QNetworkReply* a = newReply();
        QNetworkReply* b = newReply();
        std::weak_ptr<int> wa;
        map.add(a, watchedRecord(1, &wa));
        map.add(b, new KoReplyType(2));
        int finished = 0;
        int lookedUp = 0;
        for (QNetworkReply* r : {a, b}) {
            connect(r, &QNetworkReply::finished, this, [&, r] {
                ++finished;
                // Whoever handles the abort finds the map already empty.
                if (map.getReplyType(r))
                    ++lookedUp;
                map.remove(r);
            });
        }
        QPointer<QNetworkReply> pa(a), pb(b);
        map.abortAll();
        QCOMPARE(finished, 2);
        QCOMPARE(lookedUp, 0);
        QVERIFY(wa.expired());
        QVERIFY(map.isEmpty());
        QCOMPARE(a->error(), QNetworkReply::OperationCanceledError);
        QTRY_VERIFY(pa.isNull() && pb.isNull()); // scheduled for deletion
    }
};

QTEST_GUILESS_MAIN(TestReplyMap)
#include "tst_replymap.moc"
