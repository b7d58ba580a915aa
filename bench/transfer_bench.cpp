// Download and upload throughput of the phone client against a fast fake phone on loopback,
// next to curl against the same server in the same run, and the client's peak memory growth.
//
//   ko_bench_transfer [--mib N] [--work DIR]     runs the benchmark (default 1024 MiB)
//   ko_bench_transfer --serve ROOT               the fake phone alone (prints its port)
//
// The fake phone runs in a child process so that neither its work nor its memory is counted
// against the client.

#include "KoBenchServe.h"
#include "app/KoServerConfig.h"
#include "client/KoClientHelper.h"
#include "support/KoFakePhone.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

const qint64 kMiB = 1024 * 1024;

qint64 procStatusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts peak tracking anew (Linux: "5" resets VmHWM to the current RSS).
void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

bool makeFile(const QString& path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block(int(4 * kMiB), Qt::Uninitialized);
    quint32 x = 12345;
    for (int i = 0; i < block.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        block[i] = char(x >> 24);
    }
    qint64 left = size;
    qint64 n = 0;
    while (left > 0) {
        // Every block differs a little, so that a misplaced block shows.
        const qint64 counter = n++;
        memcpy(block.data(), &counter, sizeof(counter));
        const qint64 w = qMin<qint64>(left, block.size());
        if (f.write(block.constData(), w) != w)
            return false;
        left -= w;
    }
    return true;
}

bool sameEnds(const QString& a, const QString& b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    const qint64 size = fa.size();
    for (qint64 at : {qint64(0), size / 2, qMax<qint64>(0, size - 4 * kMiB)}) {
        fa.seek(at);
        fb.seek(at);
        if (fa.read(4 * kMiB) != fb.read(4 * kMiB))
            return false;
    }
    return true;
}

double mibPerSecond(qint64 bytes, qint64 ms)
{
    return ms > 0 ? double(bytes) / kMiB / (double(ms) / 1000.0) : 0.0;
}

void waitUntil(const bool& done)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
}

struct Figures {
    qint64 ms = -1; // best run
    bool ok = true; // every run correct
    void add(qint64 runMs, bool runOk)
    {
        ok = ok && runOk;
        if (ms < 0 || runMs < ms)
            ms = runMs;
    }
};

bool curlRun(const QStringList& args, qint64* ms)
{
    QElapsedTimer t;
    t.start();
    const int rc = QProcess::execute(QStringLiteral("curl"), args);
    *ms = t.elapsed();
    return rc == 0;
}

class Bench
{
public:
    Bench(const QString& base, const QString& root, const QString& local, qint64 size)
        : m_base(base)
        , m_root(root)
        , m_local(local)
        , m_size(size)
    {
        // A slow disk must not turn into a time-out.
        KoServerConfig::setRequestDeadlineMs(60000);
        m_client = KoClientHelper::getInstance();
        m_onResult = [this](int, int code) {
            m_result = code;
            m_done = true;
        };
    }
    ~Bench() { delete m_client; }

    void warmUp()
    {
        m_done = false;
        m_client->downloadFileV2(++m_id, m_base, m_local + QStringLiteral("/warm.bin"), 9, QStringLiteral("/in/none"),
                                 0, -1, QString(), m_onResult, KoClientHelper::ProgressCallback());
        waitUntil(m_done);
    }

    bool clientDownload(qint64* ms)
    {
        const QString target = m_local + QStringLiteral("/down.bin");
        m_done = false;
        QElapsedTimer t;
        t.start();
        m_client->downloadFileV2(++m_id, m_base, target, 9, QStringLiteral("/big.bin"), 0, -1, QString(), m_onResult,
                                 KoClientHelper::ProgressCallback());
        waitUntil(m_done);
        *ms = t.elapsed();
        const bool ok = m_result == 0 && sameEnds(m_root + QStringLiteral("/big.bin"), target);
        QFile::remove(target);
        return ok;
    }

    // Streamed, with its switch to memory for the tail, as the operation manager starts it.
    bool clientUpload(qint64* ms)
    {
        const QString placed = m_root + QStringLiteral("/in/up.bin");
        m_done = false;
        QElapsedTimer t;
        t.start();
        m_client->uploadFileV2(++m_id, m_base, m_local + QStringLiteral("/up.bin"), 9, QStringLiteral("/in"), 0, 0, 1,
                               QString(), QStringLiteral("BENCHFID%1").arg(m_id), m_onResult,
                               KoClientHelper::ProgressCallback());
        waitUntil(m_done);
        *ms = t.elapsed();
        const bool ok = m_result == 0 && sameEnds(m_local + QStringLiteral("/up.bin"), placed);
        QFile::remove(placed);
        return ok;
    }

    bool curlDownload(qint64* ms)
    {
        const QString target = m_local + QStringLiteral("/curl-down.bin");
        bool ok = curlRun({QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"), target,
                           QStringLiteral("-H"), QStringLiteral("Content-Type: application/json"),
                           QStringLiteral("--data"),
                           QStringLiteral("{\"category\":9,\"path\":\"/big.bin\",\"haveRead\":0}"),
                           m_base + QStringLiteral("/file/v2/getFile")},
                          ms);
        ok = ok && sameEnds(m_root + QStringLiteral("/big.bin"), target);
        QFile::remove(target);
        return ok;
    }

    bool curlUpload(qint64* ms)
    {
        const QString placed = m_root + QStringLiteral("/in/up.bin");
        ++m_id;
        bool ok = curlRun(
            {QStringLiteral("-s"),
             QStringLiteral("-f"),
             QStringLiteral("-o"),
             QStringLiteral("/dev/null"),
             QStringLiteral("-H"),
             QStringLiteral("Expect:"),
             QStringLiteral("-H"),
             QStringLiteral("category: 9"),
             QStringLiteral("-H"),
             QStringLiteral("path: ") + QString::fromLatin1(QByteArray("/in").toBase64()),
             QStringLiteral("-H"),
             QStringLiteral("size: %1").arg(m_size),
             QStringLiteral("-H"),
             QStringLiteral("offset: 0"),
             QStringLiteral("-H"),
             QStringLiteral("valid: 0"),
             QStringLiteral("-H"),
             QStringLiteral("csVersion: 1"),
             QStringLiteral("-H"),
             QStringLiteral("uploadFid: BENCHFID%1").arg(m_id),
             QStringLiteral("-F"),
             QStringLiteral("files[]=@%1;type=application/x-object").arg(m_local + QStringLiteral("/up.bin")),
             m_base + QStringLiteral("/file/v2/uploadFile")},
            ms);
        ok = ok && sameEnds(m_local + QStringLiteral("/up.bin"), placed);
        QFile::remove(placed);
        return ok;
    }

private:
    QString m_base, m_root, m_local;
    qint64 m_size;
    KoClientHelper* m_client = nullptr;
    KoClientHelper::ResultCallback m_onResult;
    int m_result = -100;
    bool m_done = false;
    int m_id = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    // Bodies stay in memory (this process is not the one measured): a spill to disk would slow
    // down whoever uploads, curl and client alike, and blur the comparison.
    if (args.size() >= 3 && args.at(1) == QLatin1String("--serve"))
        return serve(args.at(2), 1536 * kMiB);

    qint64 mib = 1024;
    int runs = 3;
    QString workBase = QDir::tempPath();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--mib"))
            mib = args.at(i + 1).toLongLong();
        else if (args.at(i) == QLatin1String("--runs"))
            runs = qMax(1, args.at(i + 1).toInt());
        else if (args.at(i) == QLatin1String("--work"))
            workBase = args.at(i + 1);
    }
    const qint64 size = mib * kMiB;
    QTemporaryDir work(workBase + QStringLiteral("/ko-bench-XXXXXX"));
    if (!work.isValid())
        return 1;
    const QString root = work.filePath(QStringLiteral("phone"));
    const QString local = work.filePath(QStringLiteral("local"));
    QDir().mkpath(root + QStringLiteral("/in"));
    QDir().mkpath(local);
    QTextStream out(stdout);
    out << "preparing " << mib << " MiB files...\n";
    out.flush();
    if (!makeFile(root + QStringLiteral("/big.bin"), size) || !makeFile(local + QStringLiteral("/up.bin"), size))
        return 1;

    QProcess server;
    const int port = startServedPhone(server, root);
    if (port == 0)
        return 1;

    Figures dl, cdl, ul, cul;
    qint64 baselineKb = 0, peakDownKb = 0, peakUpKb = 0;
    {
        Bench bench(QStringLiteral("http://127.0.0.1:%1").arg(port), root, local, size);
        bench.warmUp();
        baselineKb = procStatusKb("VmRSS:");
        resetPeak();
        // Interleaved, best of each: the machine's other load hits both sides alike.
        for (int run = 0; run < runs; ++run) {
            qint64 ms = 0;
            resetPeak();
            bool ok = bench.clientDownload(&ms);
            peakDownKb = qMax(peakDownKb, procStatusKb("VmHWM:"));
            dl.add(ms, ok);
            ok = bench.curlDownload(&ms);
            cdl.add(ms, ok);
            resetPeak();
            ok = bench.clientUpload(&ms);
            peakUpKb = qMax(peakUpKb, procStatusKb("VmHWM:"));
            ul.add(ms, ok);
            ok = bench.curlUpload(&ms);
            cul.add(ms, ok);
            out << "run " << run + 1 << " of " << runs << " done\n";
            out.flush();
        }
    }
    server.kill();
    server.waitForFinished(5000);

    auto line = [&](const char* what, const Figures& mine, const Figures& theirs) {
        const double a = mibPerSecond(size, mine.ms), b = mibPerSecond(size, theirs.ms);
        out << QStringLiteral("%1 client %2 MiB/s (%3 ms, %4)  curl %5 MiB/s (%6 ms, %7)  client/curl %8 %\n")
                   .arg(QLatin1String(what))
                   .arg(a, 0, 'f', 1)
                   .arg(mine.ms)
                   .arg(mine.ok ? "ok" : "FAILED")
                   .arg(b, 0, 'f', 1)
                   .arg(theirs.ms)
                   .arg(theirs.ok ? "ok" : "FAILED")
                   .arg(b > 0 ? 100.0 * a / b : 0.0, 0, 'f', 0);
    };
    out << QStringLiteral("%1 MiB each way on loopback, best of %2 interleaved runs\n").arg(mib).arg(runs);
    line("download:", dl, cdl);
    line("upload:  ", ul, cul);
    out << QStringLiteral("client peak RSS growth: download %1 MiB, upload %2 MiB (baseline %3 MiB)\n")
               .arg(double(peakDownKb - baselineKb) / 1024.0, 0, 'f', 1)
               .arg(double(peakUpKb - baselineKb) / 1024.0, 0, 'f', 1)
               .arg(double(baselineKb) / 1024.0, 0, 'f', 1);
    out.flush();
    return dl.ok && ul.ok && cdl.ok && cul.ok ? 0 : 2;
}
