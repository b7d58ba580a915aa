#include "app/KoServerConfig.h"
#include "link/KoLanChannel.h"
#include "link/KoLanMessage.h"
#include "support/KoTestUdpPeer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <memory>
#include <unistd.h>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KO_HEAP_COUNTED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KO_HEAP_COUNTED
#endif
#endif
#ifdef KO_HEAP_COUNTED
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {
const int kKey = 424242;
const int kSenders = 3;
const int kPerSender = 100000;
// Far below what the datagrams of one flood held in memory take, far above the noise.
const qint64 kMemoryMargin = 16 * 1024 * 1024;

// What the program holds: under a sanitizer its count of the heap in use (freed memory waits
// in its quarantine, which the resident size would show), otherwise the resident size.
qint64 memoryInUse()
{
#ifdef KO_HEAP_COUNTED
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
#endif
}

QStringList s_dropLines;
QStringList s_lanLines;
QtMessageHandler s_previousHandler = nullptr;
QMutex s_linesLock; // workers log too

void keepDropLines(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    QMutexLocker l(&s_linesLock);
    if (text.startsWith(QStringLiteral("LAN: dropped ")))
        s_dropLines.append(text);
    if (text.startsWith(QStringLiteral("LAN: ")))
        s_lanLines.append(text);
    else
        s_previousHandler(type, context, text);
}

// A valid disconnect of a phone of its own, with a message id of its own: each one is acted on.
QByteArray floodMessage(int sender, int i)
{
    const QByteArray tag = QByteArray::number(sender) + '-' + QByteArray::number(i);
    return "{\"type\":20,\"version\":1,\"msgId\":\"f" + tag + "\",\"deviceId\":\"flood-" + tag
        + "\",\"deviceType\":2,\"uid\":7}";
}

// Keeps every worker of the global pool busy until released, as slow workers would.
class PoolHold
{
public:
    ~PoolHold() { release(); }
    void hold()
    {
        m_held = QThreadPool::globalInstance()->maxThreadCount();
        for (int i = 0; i < m_held; ++i)
            QThreadPool::globalInstance()->start([this] {
                m_started.release();
                m_gate.acquire();
            });
        m_started.acquire(m_held);
    }
    void release()
    {
        m_gate.release(m_held);
        m_held = 0;
    }

private:
    QSemaphore m_started;
    QSemaphore m_gate;
    int m_held = 0;
};
} // namespace

class TestLanChannel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void floodLeavesMemoryFlat_data();
    void floodLeavesMemoryFlat();
    void strangersFloodNoLog_data();
    void strangersFloodNoLog();
    void cleanupTestCase();
};

void TestLanChannel::initTestCase()
{
    KoServerConfig::setLanRetryMs(200);
    s_previousHandler = qInstallMessageHandler(keepDropLines);
}

void TestLanChannel::cleanupTestCase()
{
    qInstallMessageHandler(s_previousHandler);
}

void TestLanChannel::floodLeavesMemoryFlat_data()
{
    QTest::addColumn<bool>("workersHeld");
    QTest::newRow("workers busy") << true;
    QTest::newRow("workers free") << false;
}

void TestLanChannel::floodLeavesMemoryFlat()
{
    // Disconnects from three senders at full speed once grew the program by gigabytes: every
    // datagram became a waiting task, and every acknowledgement opened a socket.
    QFETCH(bool, workersHeld);
    auto shared = std::make_shared<KoLanShared>();
    KoTestUdpPeer phone;
    QVERIFY(phone.bind());
    {
        QMutexLocker l(&shared->addressLock);
        shared->deviceId = QStringLiteral("computer");
        shared->phonePort = phone.port();
    }
    shared->setKey(kKey);
    KoLanChannel channel(shared);
    QVERIFY(channel.open(0));
    const quint16 port = channel.port();
    const QHostAddress computer = QHostAddress::LocalHost;
    phone.setHandler([&](const QByteArray& datagram, QHostAddress from, quint16) {
        const QJsonObject msg = QJsonDocument::fromJson(datagram).object();
        if (msg.value("type").toInt() != KoLanMessage::TypeAck) {
            const QString msgId = msg.value("msgId").toString();
            phone.send(KoLanMessage::toBytes(KoLanMessage::makeAck(msgId, "phone", 2, 7)), from, port);
        }
        return QList<QByteArray>();
    });
    auto waitingNow = [&] {
        QMutexLocker l(&shared->ackLock);
        return shared->waiting;
    };
    int disconnects = 0;
    connect(&channel, &KoLanChannel::disconnectRequested, this, [&] { ++disconnects; });

    for (int i = 0; i < 3; ++i)
        phone.send(KoLanMessage::toBytes(KoLanMessage::make(KoLanMessage::TypeDisconnect, "phone", 2, 7)), computer,
                   port);
    QVERIFY(phone.waitForDatagrams(3, 10000));
    QTRY_COMPARE_WITH_TIMEOUT(disconnects, 3, 10000);
    const qint64 before = memoryInUse();
    QVERIFY(before > 0);

    PoolHold hold;
    if (workersHeld)
        hold.hold();
    s_dropLines.clear();
    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<KoTestUdpFlood>> floods;
    for (int s = 0; s < kSenders; ++s) {
        // Each sender on an address of its own, where the acknowledgements go.
        floods.push_back(std::make_unique<KoTestUdpFlood>(QHostAddress(QStringLiteral("127.0.0.%1").arg(s + 2)),
                                                          phone.port(), computer, port, kPerSender,
                                                          [s](int i) { return floodMessage(s, i); }));
        floods.back()->start();
    }
    int most = 0;
    qint64 peak = before;
    auto flooding = [&] {
        for (const auto& flood : floods)
            if (!flood->isFinished())
                return true;
        return false;
    };
    while (flooding()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        most = qMax(most, waitingNow());
        peak = qMax(peak, memoryInUse());
    }
    for (const auto& flood : floods)
        QVERIFY(flood->sent() > 0);
    // Whatever the socket still holds is read (or dropped) too.
    QTest::qWait(200);
    most = qMax(most, waitingNow());
    peak = qMax(peak, memoryInUse());
    hold.release();
    QTRY_COMPARE_WITH_TIMEOUT(waitingNow(), 0, 60000);
    QCoreApplication::processEvents();
    const qint64 after = qMax(peak, memoryInUse());
    QVERIFY2(most <= KoLanChannel::kMaxWaiting, qPrintable(QString::number(most)));
    QVERIFY2(after - before < kMemoryMargin,
             qPrintable(QStringLiteral("grew by %1 MiB; %2 dropped, %3 acted on")
                            .arg((after - before) >> 20)
                            .arg(channel.droppedDatagrams())
                            .arg(disconnects)));
    // Held workers leave no room: the flood did reach the bound.
    if (workersHeld)
        QVERIFY(channel.droppedDatagrams() > 0);

    // Still working: a pairing phone is heard and answered, and a message of ours is acknowledged.
    QSignalSpy connects(&channel, &KoLanChannel::connectRequested);
    QSignalSpy finished(&channel, &KoLanChannel::sendFinished);
    QJsonObject pair = KoLanMessage::make(KoLanMessage::TypeConnect, "phone", 2, 7);
    pair.insert(QStringLiteral("key"), kKey);
    pair.insert(QStringLiteral("port"), 8080);
    phone.send(KoLanMessage::toBytes(pair), computer, port);
    QTRY_COMPARE_WITH_TIMEOUT(connects.size(), 1, 10000);
    QCOMPARE(connects.first().at(1).toString(), QStringLiteral("127.0.0.1"));
    const QString sent = channel.send(KoLanMessage::make(KoLanMessage::TypeConnect, "computer", 1, 0), "127.0.0.1");
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
    QCOMPARE(finished.first(), (QVariantList{sent, int(KoLanMessage::TypeConnect), true}));

    // Every datagram the phone got, acknowledgements and the message alike, came from one port.
    QTRY_VERIFY_WITH_TIMEOUT(phone.datagrams().size() >= 5, 10000);
    for (const KoTestDatagram& d : phone.datagrams())
        QCOMPARE(d.port, port);

    // Every drop is counted in the log, in a few lines rather than one each.
    channel.shutDown();
    qint64 logged = 0;
    for (const QString& line : qAsConst(s_dropLines))
        logged += line.section(' ', 2, 2).toLongLong();
    QCOMPARE(logged, channel.droppedDatagrams());
    QVERIFY2(s_dropLines.size() <= 1 + clock.elapsed() / 1000, qPrintable(QString::number(s_dropLines.size())));
}

void TestLanChannel::strangersFloodNoLog_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("not a message") << QByteArray("GET / HTTP/1.1");
    QTest::newRow("too large") << QByteArray(KoLanMessage::kMaxDatagramSize + 1, '{');
    QJsonObject pair = KoLanMessage::make(KoLanMessage::TypeConnect, "phone", 2, 7);
    pair.insert(QStringLiteral("key"), kKey + 1);
    QTest::newRow("wrong pairing key") << KoLanMessage::toBytes(pair);
}

void TestLanChannel::strangersFloodNoLog()
{
    // A line for each datagram a stranger sends at any rate would flood the log instead.
    QFETCH(QByteArray, datagram);
    auto shared = std::make_shared<KoLanShared>();
    shared->setKey(kKey);
    KoLanChannel channel(shared);
    QVERIFY(channel.open(0));
    {
        QMutexLocker l(&s_linesLock);
        s_lanLines.clear();
    }
    QElapsedTimer clock;
    clock.start();
    // Each with a message id of its own, so none is passed over as already seen.
    KoTestUdpFlood flood(QHostAddress(QStringLiteral("127.0.0.2")), 0, QHostAddress::LocalHost, channel.port(), 20000,
                         [&](int i) {
                             QByteArray d = datagram;
                             return d.replace("\"msgId\":\"", "\"msgId\":\"" + QByteArray::number(i));
                         });
    flood.start();
    while (!flood.isFinished())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QVERIFY(flood.sent() > 0);
    QTest::qWait(200);
    channel.shutDown();
    QMutexLocker l(&s_linesLock);
    QVERIFY(!s_lanLines.isEmpty());
    QVERIFY2(s_lanLines.size() <= 2 + clock.elapsed() / 1000, qPrintable(QString::number(s_lanLines.size())));
}

QTEST_GUILESS_MAIN(TestLanChannel)
#include "tst_lanchannel.moc"
