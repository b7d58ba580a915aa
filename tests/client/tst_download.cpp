// Downloads and thumbnails against the fake phone over real sockets: the bytes on disk after
// fresh, resumed, refused, broken, slow, cancelled and paused downloads, and what the client
// reports for each.

#include "app/KoServerConfig.h"
#include "client/KoClientHelper.h"
#include "net/KoNetworkObject.h"
#include "support/KoPhoneRelayFixture.h"
#include "support/KoTestDropProxy.h"
#include "support/KoTestFiles.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using namespace KoTestFiles;

const int kPhoneUid = 4711;
const QString kPhoneId = QStringLiteral("android-dl01");
const int kDeadlineMs = 1500;

QByteArray sha256(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

using Results = KoClientResults;

} // namespace

class TestDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void freshDownloadIsByteIdentical();
    void partialNameFitsTheFileSystem_data();
    void partialNameFitsTheFileSystem();
    void relayDownloadIsByteIdentical();
    void resumeAfterACutIsByteIdentical_data();
    void resumeAfterACutIsByteIdentical();
    void partialFileMeetsThePhonesOffset_data();
    void partialFileMeetsThePhonesOffset();
    void errorAnswerLeavesThePartialFileAlone();
    void chunkedDownloadLongerThanTheDeadlineIsWrittenAsItArrives();
    void shortAnswers_data();
    void shortAnswers();
    void resumeAnswerThatDoesNotEndAtTheListedSize_data();
    void resumeAnswerThatDoesNotEndAtTheListedSize();
    void namesAtTheFileSystemsLimit_data();
    void namesAtTheFileSystemsLimit();
    void cancelDeletesAndPauseKeepsThePartialFile();
    void emptyAnswerWithoutLengthIsNoFile();
    void secondDownloadOfTheSamePartialFileIsRefused();
    void targetFolderIsNeverTouched();
    void progressIsThrottledAndEndsWithTheTotal();
    void thumbnailsOnBothRoutes();
    void unwritableThumbnailIsRefusedWithoutRequest();
    void pauseInsideTheTimeoutResultReportsNothingMore();
    void answerSentAgainUnaskedIsNoOtherFile_data();
    void answerSentAgainUnaskedIsNoOtherFile();

private:
    QString storage(const QString& name) const { return m_fx.dir.filePath(QStringLiteral("storage/") + name); }
    QString local(const QString& name) const { return m_fx.dir.filePath(QStringLiteral("local/") + name); }
    QByteArray putRemote(const QString& name, qint64 size, quint32 seed)
    {
        const QByteArray data = patternBytes(size, seed);
        writeFile(storage(name), data);
        return data;
    }
    // A phone file of size bytes named after the running row, an older copy at its target and
    // the first held bytes of it in the partial file.
    struct Held {
        QString name;
        QString target;
        QString partial;
        QByteArray data;
        QByteArray older;
    };
    Held holdPart(const QString& prefix, int size, int held, quint32 seed)
    {
        Held h;
        h.name = prefix + QStringLiteral("-%1.bin").arg(qHash(QByteArray(QTest::currentDataTag())));
        h.data = putRemote(h.name, size, seed);
        h.target = local(h.name);
        h.partial = h.target + QStringLiteral(".ReRazeDownload");
        h.older = patternBytes(5000, seed + 1);
        writeFile(h.target, h.older);
        QFile::remove(h.partial);
        if (held > 0)
            writeFile(h.partial, h.data.left(held));
        return h;
    }
    void download(int id, const QString& target, const QString& remote, Results& r, const QString& base = QString())
    {
        m_client->downloadFileV2(id, base.isEmpty() ? m_fx.phone->baseUrl() : base, target, 9, remote, 0, -1,
                                 QString(), r.result(), r.onProgress());
    }

    KoPhoneRelay m_fx;
    KoClientHelper* m_client = nullptr;
};

void TestDownload::initTestCase()
{
    QVERIFY(m_fx.start(this, kPhoneId, kPhoneUid));
    KoServerConfig::setRequestDeadlineMs(kDeadlineMs);
    KoServerConfig::setSweepIntervalMs(100);
}

void TestDownload::cleanupTestCase()
{
    KoServerConfig::reset();
}

void TestDownload::init()
{
    m_fx.phone->clearCalls();
    m_fx.phone->clearScripts();
    m_fx.phone->setResumeRefused(false);
    m_fx.phone->setResumeOffset(-1);
    m_client = KoClientHelper::getInstance();
}

void TestDownload::cleanup()
{
    delete m_client;
    m_client = nullptr;
    QTest::qWait(20);
}

void TestDownload::freshDownloadIsByteIdentical()
{
    const QByteArray data = putRemote(QStringLiteral("fresh.bin"), 3 * 1024 * 1024 + 17, 1);
    QSignalSpy convert(m_client, &KoClientHelper::uploadConvertInfo);
    Results r;
    download(11, local(QStringLiteral("fresh.bin")), QStringLiteral("/fresh.bin"), r);
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(11, 0));
    QCOMPARE(sha256Of(local(QStringLiteral("fresh.bin"))), sha256(data));
    QVERIFY(!QFile::exists(local(QStringLiteral("fresh.bin.ReRazeDownload"))));

    const QList<KoFakeCall> calls = m_fx.phone->callsTo(QStringLiteral("getFile"));
    QCOMPARE(calls.size(), 1);
    QCOMPARE((QVariantList{calls.first().body.value("haveRead").toDouble(),
                           calls.first().body.value("path").toString()}),
             (QVariantList{0.0, "/fresh.bin"}));
    QCOMPARE(calls.first().header("accept-encoding"), QByteArray("identity"));
    // The phone's resume data, once for the answer.
    QCOMPARE(convert.count(), 1);
    QCOMPARE((QVariantList{convert.first().at(0).toInt(), convert.first().at(1).toLongLong()}),
             (QVariantList{11, 0LL}));
    QVERIFY(!convert.first().at(3).toString().isEmpty());
}

void TestDownload::relayDownloadIsByteIdentical()
{
    const QByteArray data = putRemote(QStringLiteral("relay.bin"), 1024 * 1024 + 5, 2);
    Results r;
    m_client->downloadFileRemote(12, kPhoneUid, kPhoneId, 2, local(QStringLiteral("sub/dir/relay.bin")), 9,
                                 QStringLiteral("/relay.bin"), 0, -1, QString(), r.result(), r.onProgress());
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(12, 0));
    QCOMPARE(sha256Of(local(QStringLiteral("sub/dir/relay.bin"))), sha256(data));
    const QList<KoFakeCall> calls = m_fx.relay->callsTo(QStringLiteral("getFile"));
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().header("toDeviceId"), kPhoneId.toUtf8());
}

enum CutBy { CutByReset, CutByStall, CutByTrickle };

// A transfer cut by a reset (an error at once), by a stall (the deadline) or by a trickle (the
// slow-transfer bound): what arrived is kept, and the next download goes on from it to a
// byte-identical file.
void TestDownload::resumeAfterACutIsByteIdentical_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("cut");
    QTest::addColumn<int>("firstCode");
    QTest::newRow("reset") << int(CutByReset) << 4 * 1024 * 1024 << 1536 * 1024 << 1;
    QTest::newRow("stall") << int(CutByStall) << 2 * 1024 * 1024 + 3 << 700 * 1024 << -1;
    // A byte every 200 ms renews the request's deadline each time: only the slow-transfer
    // bound ends it, as a time-out.
    QTest::newRow("trickle") << int(CutByTrickle) << 2 * 1024 * 1024 + 3 << 2 * 1024 * 1024 << -1;
}

void TestDownload::resumeAfterACutIsByteIdentical()
{
    QFETCH(int, fault);
    QFETCH(int, size);
    QFETCH(int, cut);
    QFETCH(int, firstCode);
    const bool reset = fault == CutByReset;
    const int slowTransferMs = KoServerConfig::slowTransferMs();
    if (fault == CutByTrickle)
        KoServerConfig::setSlowTransferMs(1000);
    const QByteArray data = putRemote(QStringLiteral("cut.bin"), size, quint32(cut));
    const QString target = local(QStringLiteral("cut.bin"));
    const QString partial = target + QStringLiteral(".ReRazeDownload");
    QFile::remove(target);
    QFile::remove(partial);
    KoTestResponse cutting;
    if (fault == CutByTrickle)
        cutting.trickleMs = 200;
    else
        (reset ? cutting.resetAfter : cutting.stallAfter) = cut;
    m_fx.phone->queueDownloadFault(cutting);
    Results r;
    download(21, target, QStringLiteral("/cut.bin"), r);
    QVERIFY(r.waitFor(1, kDeadlineMs * 6));
    KoServerConfig::setSlowTransferMs(slowTransferMs);
    QCOMPARE(r.results.first(), qMakePair(21, firstCode));
    const QByteArray kept = readFile(partial);
    // A reset may lose what was still in flight; a stall keeps every byte sent.
    QVERIFY(kept.size() > 0 && kept.size() <= cut);
    if (fault == CutByStall)
        QCOMPARE(kept.size(), cut);
    QVERIFY(data.startsWith(kept));
    QVERIFY(!QFile::exists(target));

    download(22, target, QStringLiteral("/cut.bin"), r);
    QVERIFY(r.waitFor(2));
    QCOMPARE(r.results.at(1), qMakePair(22, 0));
    const QList<KoFakeCall> calls = m_fx.phone->callsTo(QStringLiteral("getFile"));
    QCOMPARE(qint64(calls.last().body.value(QStringLiteral("haveRead")).toDouble()), qint64(kept.size()));
    QCOMPARE(sha256Of(target), sha256(data));
    QVERIFY(!QFile::exists(partial));

    // Nothing buffered may reach the file after the client is gone.
    delete m_client;
    m_client = nullptr;
    QTest::qWait(50);
    QCOMPARE(sha256Of(target), sha256(data));
    m_client = KoClientHelper::getInstance();
}

void TestDownload::partialNameFitsTheFileSystem_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("plain"); // target + ".ReRazeDownload", as earlier versions left it
    const QString chinese = QString::fromUtf8("中文名字的文件");
    QString c80;
    while (c80.size() < 80)
        c80 += chinese;
    c80.truncate(80);
    QString emoji;
    for (int i = 0; i < 60; ++i)
        emoji += QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("short") << QStringLiteral("a.bin") << true;
    QTest::newRow("240 bytes: 255 with the suffix") << c80 << true;
    QTest::newRow("241 bytes") << QStringLiteral("x") + c80 << false;
    QTest::newRow("250 bytes of Chinese") << c80 + QStringLiteral("中文.txt") << false;
    QTest::newRow("four-byte characters at the cut") << emoji + QStringLiteral(".txt") << false;
}

void TestDownload::partialNameFitsTheFileSystem()
{
    QFETCH(QString, name);
    QFETCH(bool, plain);
    const QString dir = QStringLiteral("/Users/me/下载");
    const QString partial = KoClientHelper::partialPathOf(dir + QLatin1Char('/') + name);
    if (plain) {
        QCOMPARE(partial, dir + QLatin1Char('/') + name + QStringLiteral(".ReRazeDownload"));
        return;
    }
    QVERIFY(partial.startsWith(dir + QLatin1Char('/')));
    QVERIFY(partial.endsWith(QStringLiteral(".ReRazeDownload")));
    const QString partialName = partial.mid(dir.size() + 1);
    QVERIFY2(partialName.toUtf8().size() <= 255, qPrintable(QString::number(partialName.toUtf8().size())));
    QVERIFY(partialName.toUtf8().size() >= 250); // cut no shorter than needed
    // Cut between characters: no half of a pair is left.
    QCOMPARE(QString::fromUtf8(partialName.toUtf8()), partialName);
    // The same target always finds the same file; another name with the same start, another one.
    QCOMPARE(KoClientHelper::partialPathOf(dir + QLatin1Char('/') + name), partial);
    QVERIFY(KoClientHelper::partialPathOf(dir + QLatin1Char('/') + name + QLatin1Char('2')) != partial);
    QVERIFY(KoClientHelper::partialPathOf(dir + QStringLiteral("/other/") + name).endsWith(partialName));
}

// A partial file meets the phone's answer on where it goes on from.
void TestDownload::partialFileMeetsThePhonesOffset_data()
{
    QTest::addColumn<bool>("foreign");    // the partial file is not a prefix of the phone's file
    QTest::addColumn<int>("partial");     // bytes held before the request
    QTest::addColumn<bool>("refused");    // the phone refuses to resume: it sends all
    QTest::addColumn<int>("phoneOffset"); // where the phone says it goes on from (-1: as asked)
    QTest::addColumn<int>("code");
    QTest::newRow("refused resume rewrites from zero") << true << 1000 << true << -1 << 0;
    QTest::newRow("smaller phone offset cuts the partial file") << false << 300 * 1024 << false << 100 * 1024 << 0;
    QTest::newRow("larger phone offset fails, partial kept") << false << 100 * 1024 << false << 300 * 1024 << 1;
}

void TestDownload::partialFileMeetsThePhonesOffset()
{
    QFETCH(bool, foreign);
    QFETCH(int, partial);
    QFETCH(bool, refused);
    QFETCH(int, phoneOffset);
    QFETCH(int, code);
    const QByteArray data = putRemote(QStringLiteral("offset.bin"), 512 * 1024, quint32(partial));
    const QString target = local(QStringLiteral("offset.bin"));
    const QString partialPath = target + QStringLiteral(".ReRazeDownload");
    QFile::remove(target);
    const QByteArray held = foreign ? QByteArray(partial, 'z') : data.left(partial);
    QVERIFY(writeFile(partialPath, held));
    m_fx.phone->setResumeRefused(refused);
    m_fx.phone->setResumeOffset(phoneOffset);
    Results r;
    download(41, target, QStringLiteral("/offset.bin"), r);
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(41, code));
    const QList<KoFakeCall> calls = m_fx.phone->callsTo(QStringLiteral("getFile"));
    QCOMPARE(qint64(calls.first().body.value(QStringLiteral("haveRead")).toDouble()), qint64(partial));
    if (code == 0) {
        QCOMPARE(sha256Of(target), sha256(data));
    } else {
        QCOMPARE(readFile(partialPath), held);
        QVERIFY(!QFile::exists(target));
    }
}

void TestDownload::errorAnswerLeavesThePartialFileAlone()
{
    putRemote(QStringLiteral("missing-later.bin"), 1000, 8);
    const QString target = local(QStringLiteral("err.bin"));
    const QString partial = target + QStringLiteral(".ReRazeDownload");
    const QByteArray before = patternBytes(1000, 99);
    QVERIFY(writeFile(partial, before));
    m_fx.phone->queueAnswer(QStringLiteral("getFile"), KoTestResponse::raw("no such file here", 404, "text/plain"));
    Results r;
    download(61, target, QStringLiteral("/missing-later.bin"), r);
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(61, 1));
    QCOMPARE(readFile(partial), before);
    QVERIFY(!QFile::exists(target));

    // A 200 answer that never reaches a byte (refused connection) is no different.
    download(62, target, QStringLiteral("/x"), r, QStringLiteral("http://127.0.0.1:1"));
    QVERIFY(r.waitFor(2));
    QCOMPARE(r.results.at(1), qMakePair(62, 1));
    QCOMPARE(readFile(partial), before);
}

void TestDownload::chunkedDownloadLongerThanTheDeadlineIsWrittenAsItArrives()
{
    const qint64 size = 1200 * 1024;
    const QByteArray data = putRemote(QStringLiteral("chunked.bin"), size, 9);
    const QString target = local(QStringLiteral("chunked.bin"));
    const QString partial = target + QStringLiteral(".ReRazeDownload");
    KoTestDropProxy proxy(m_fx.phone->port());
    QVERIFY(proxy.listen());
    // About 2.4 s in all, longer than the deadline.
    proxy.setDownstreamRate(500 * 1024);
    KoTestResponse fault;
    fault.chunked = true;
    m_fx.phone->queueDownloadFault(fault);
    Results r;
    download(71, target, QStringLiteral("/chunked.bin"), r, proxy.baseUrl());
    qint64 seenWhileRunning = 0;
    QElapsedTimer t;
    t.start();
    while (r.results.isEmpty() && t.elapsed() < 20000) {
        QTest::qWait(50);
        if (r.results.isEmpty())
            seenWhileRunning = qMax(seenWhileRunning, QFileInfo(partial).size());
    }
    QCOMPARE(r.results.size(), 1);
    QCOMPARE(r.results.first(), qMakePair(71, 0));
    QVERIFY(t.elapsed() > kDeadlineMs);
    QVERIFY(seenWhileRunning > 0);
    QVERIFY(seenWhileRunning < size);
    QCOMPARE(sha256Of(target), sha256(data));
}

enum ShortAnswer {
    WholeAnswer,
    NoLengthCutByClose,
    NoLengthCutByReset,
    EmptyAnswer,
    LengthAboveBody,
    RestNoLength,
    GzipAnswer
};

void TestDownload::shortAnswers_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("held"); // bytes of the file already in the partial file
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("code");
    QTest::newRow("no length, cut by a close") << 3149827 << 0 << int(NoLengthCutByClose) << 1;
    QTest::newRow("no length, cut by a reset") << 3149827 << 0 << int(NoLengthCutByReset) << 1;
    QTest::newRow("empty 200 for a non-empty file") << 200000 << 0 << int(EmptyAnswer) << 1;
    QTest::newRow("empty 200 keeps the partial") << 200000 << 70000 << int(EmptyAnswer) << 1;
    QTest::newRow("empty 200 when the partial is whole") << 200000 << 200000 << int(EmptyAnswer) << 0;
    QTest::newRow("zero-byte file replaces a longer one") << 0 << 0 << int(WholeAnswer) << 0;
    QTest::newRow("nothing left to resume") << 65536 << 65536 << int(WholeAnswer) << 0;
    QTest::newRow("no length, closed at the end") << 800 * 1024 << 0 << int(RestNoLength) << 0;
    QTest::newRow("declared length, body ends cleanly short") << 300000 << 0 << int(LengthAboveBody) << 1;
    QTest::newRow("resumed rest without a length") << 900000 << 400000 << int(RestNoLength) << 0;
    // Bytes in a coding that was not asked for are not the file's, whole as they may be.
    QTest::newRow("gzip-encoded answer") << 300000 << 0 << int(GzipAnswer) << 1;
    QTest::newRow("gzip-encoded rest keeps the partial") << 300000 << 100000 << int(GzipAnswer) << 1;
}

// Fewer bytes than the file has are never the file: the partial file stays for a resume and
// the target (here an older copy) is not touched.
void TestDownload::shortAnswers()
{
    QFETCH(int, size);
    QFETCH(int, held);
    QFETCH(int, answer);
    QFETCH(int, code);
    const Held h = holdPart(QStringLiteral("short"), size, held, 70);
    const QString& name = h.name;
    const QByteArray& data = h.data;
    const QString& target = h.target;
    const QString& partial = h.partial;
    const QByteArray& older = h.older;
    QCOMPARE(readFile(target), older);
    KoTestResponse fault;
    switch (answer) {
    case NoLengthCutByClose:
        fault.noContentLength = true;
        fault.closeAfter = size / 2;
        break;
    case NoLengthCutByReset:
        fault.noContentLength = true;
        fault.resetAfter = size / 2;
        break;
    case EmptyAnswer:
        // No resume headers at all.
        m_fx.phone->queueAnswer(QStringLiteral("getFile"), KoTestResponse::raw(QByteArray()));
        break;
    case LengthAboveBody:
        // A whole chunked body under a length it does not reach: no network error tells.
        fault.chunked = true;
        fault.headers.append(qMakePair(QByteArray("Content-Length"), QByteArray::number(size + 1000)));
        break;
    case RestNoLength:
        fault.noContentLength = true;
        break;
    case GzipAnswer:
        fault.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip")));
        break;
    default:
        break;
    }
    if (answer != EmptyAnswer)
        m_fx.phone->queueDownloadFault(fault);
    Results r;
    m_client->downloadFileV2(111, m_fx.phone->baseUrl(), target, 9, QLatin1Char('/') + name, 0, -1, QString(),
                             r.result(), r.onProgress(), size);
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(111, code));
    if (code == 0) {
        QVERIFY(QFileInfo(target).isFile());
        QCOMPARE(readFile(target), data);
        QVERIFY(!QFile::exists(partial));
        return;
    }
    QCOMPARE(readFile(target), older);
    const QByteArray kept = readFile(partial);
    QVERIFY(QFile::exists(partial));
    QVERIFY(kept.size() >= held);
    QVERIFY(data.startsWith(kept));
    // Nothing of an encoded answer reaches the partial file either.
    if (answer == GzipAnswer)
        QCOMPARE(kept.size(), held);
}

enum ResumeFraming { RestWithLength, RestWithoutLength };

void TestDownload::resumeAnswerThatDoesNotEndAtTheListedSize_data()
{
    QTest::addColumn<int>("held"); // bytes of the file in the partial file
    QTest::addColumn<int>("from"); // where the answer's body starts in the phone's file
    QTest::addColumn<int>("framing");
    QTest::newRow("the whole file after agreeing to go on") << 1572867 << 0 << int(RestWithLength);
    QTest::newRow("the whole file, without a length") << 1572867 << 0 << int(RestWithoutLength);
    QTest::newRow("a rest from an earlier point than it says") << 1000000 << 400000 << int(RestWithLength);
}

// "valid" 1 at the held size, but a body that is not the rest: appending it would make a file
// of the wrong size and bytes. It fails, the target stays, and the next start asks from zero.
void TestDownload::resumeAnswerThatDoesNotEndAtTheListedSize()
{
    QFETCH(int, held);
    QFETCH(int, from);
    QFETCH(int, framing);
    const int size = 3149827;
    const Held h = holdPart(QStringLiteral("ignored"), size, held, 80);
    QCOMPARE(QFileInfo(h.partial).size(), qint64(held));
    KoTestResponse answer = KoTestResponse::raw(h.data.mid(from));
    answer.noContentLength = framing == RestWithoutLength;
    answer.headers.append(qMakePair(QByteArray("valid"), QByteArray("1")));
    answer.headers.append(qMakePair(QByteArray("offset"), QByteArray::number(held)));
    answer.headers.append(qMakePair(QByteArray("csVersion"), QByteArray("1")));
    answer.headers.append(qMakePair(QByteArray("checksum"), QByteArray("0123456789abcdef")));
    m_fx.phone->queueAnswer(QStringLiteral("getFile"), answer);
    Results r;
    m_client->downloadFileV2(131, m_fx.phone->baseUrl(), h.target, 9, QLatin1Char('/') + h.name, 0, -1, QString(),
                             r.result(), r.onProgress(), size);
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(131, 1));
    QCOMPARE(readFile(h.target), h.older);
    QCOMPARE(QFileInfo(h.partial).size(), qint64(0));

    m_client->downloadFileV2(132, m_fx.phone->baseUrl(), h.target, 9, QLatin1Char('/') + h.name, 0, -1, QString(),
                             r.result(), r.onProgress(), size);
    QVERIFY(r.waitFor(2));
    QCOMPARE(r.results.at(1), qMakePair(132, 0));
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("getFile")).last().body.value(QStringLiteral("haveRead")).toDouble(),
             0.0);
    QCOMPARE(sha256Of(h.target), sha256(h.data));
}

void TestDownload::namesAtTheFileSystemsLimit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("sub"); // a folder of the target still to be made
    QTest::addColumn<int>("result");
    const auto ofBytes = [](int bytes, const QString& end = QString()) {
        QString name;
        while (name.toUtf8().size() + 3 + end.size() <= bytes)
            name += QStringLiteral("长");
        while (name.toUtf8().size() + end.size() < bytes)
            name += QLatin1Char('x');
        return name + end;
    };
    const QString suffix = QStringLiteral(".ReRazeDownload");
    QTest::newRow("255 bytes is taken") << ofBytes(255) << QString() << 0;
    QTest::newRow("256 bytes is refused") << ofBytes(256) << QString() << -5;
    QTest::newRow("300 bytes is refused") << ofBytes(300) << QString() << -5;
    QTest::newRow("255 bytes, folder to be made") << ofBytes(255) << QStringLiteral("a/b") << 0;
    QTest::newRow("256 bytes, folder to be made") << ofBytes(256) << QStringLiteral("a/b") << -5;
    QTest::newRow("a partial-file name") << QStringLiteral("x.bin") + suffix << QString() << -6;
    QTest::newRow("a partial-file name, folder to be made")
        << QStringLiteral("x.bin") + suffix << QStringLiteral("a/b") << -6;
    QTest::newRow("300 bytes ending with the suffix") << ofBytes(300, suffix) << QString() << -6;
    // Only a disk that does not tell letter case apart takes it for the partial-file name.
    QTest::newRow("the suffix in other letter case") << QStringLiteral("x.bin.rerazedownload") << QString() << 1;
}

// A name longer than a file name may be, or one kept for partial files, is refused before the
// request: no body is fetched only to fail at the rename, and nothing is left in the folder; a
// name the folder was asked about is there alone once it arrived.
void TestDownload::namesAtTheFileSystemsLimit()
{
    QFETCH(QString, name);
    QFETCH(QString, sub);
    QFETCH(int, result);
    const QString folder = local(QStringLiteral("limit-%1").arg(qHash(QByteArray(QTest::currentDataTag()))));
    QVERIFY(QDir().mkpath(folder));
    if (result == 1) {
        QVERIFY(writeFile(folder + QStringLiteral("/case.rerazedownload"), "probe"));
        result = QFile::exists(folder + QStringLiteral("/case.ReRazeDownload")) ? -6 : 0;
        QVERIFY(QFile::remove(folder + QStringLiteral("/case.rerazedownload")));
    }
    const QString inside = sub.isEmpty() ? name : sub + QLatin1Char('/') + name;
    const QByteArray data = putRemote(QStringLiteral("limit.bin"), 200000, 90);
    Results r;
    download(141, folder + QLatin1Char('/') + inside, QStringLiteral("/limit.bin"), r);
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(141, result));
    QDirIterator left(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    QStringList found;
    while (left.hasNext())
        found << left.next().mid(folder.size() + 1);
    QCOMPARE(found, result == 0 ? QStringList{inside} : QStringList());
    if (result == 0) {
        QCOMPARE(readFile(folder + QLatin1Char('/') + inside), data);
        return;
    }
    QVERIFY(m_fx.phone->callsTo(QStringLiteral("getFile")).isEmpty());
    QVERIFY(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

void TestDownload::cancelDeletesAndPauseKeepsThePartialFile()
{
    const QByteArray data = putRemote(QStringLiteral("slow.bin"), 2 * 1024 * 1024, 11);
    KoTestDropProxy proxy(m_fx.phone->port());
    QVERIFY(proxy.listen());
    proxy.setDownstreamRate(400 * 1024);

    const QString cancelled = local(QStringLiteral("cancelled.bin"));
    const QString paused = local(QStringLiteral("paused.bin"));
    Results r;
    download(91, cancelled, QStringLiteral("/slow.bin"), r, proxy.baseUrl());
    download(92, paused, QStringLiteral("/slow.bin"), r, proxy.baseUrl());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(cancelled + QStringLiteral(".ReRazeDownload")).size() > 0
                                 && QFileInfo(paused + QStringLiteral(".ReRazeDownload")).size() > 0,
                             10000);
    m_client->cancelDownloadFileV2(91, KoClientHelper::ResultCallback());
    m_client->pauseDownloadFileV2(92, KoClientHelper::ResultCallback());
    QVERIFY(r.waitFor(2));
    QCOMPARE(r.codeOf(91), 1);
    QCOMPARE(r.codeOf(92), 1);
    QTest::qWait(300);
    QVERIFY(!QFile::exists(cancelled + QStringLiteral(".ReRazeDownload")));
    QVERIFY(!QFile::exists(cancelled));
    const QByteArray kept = readFile(paused + QStringLiteral(".ReRazeDownload"));
    QVERIFY(kept.size() > 0);
    QVERIFY(data.startsWith(kept));
    QVERIFY(!QFile::exists(paused));
    QCOMPARE(r.results.size(), 2);

    // The paused one goes on from there.
    download(93, paused, QStringLiteral("/slow.bin"), r);
    QVERIFY(r.waitFor(3));
    QCOMPARE(r.codeOf(93), 0);
    QCOMPARE(sha256Of(paused), sha256(data));
}

// An answer that declares nothing and brings nothing, for a file of unknown size.
void TestDownload::emptyAnswerWithoutLengthIsNoFile()
{
    putRemote(QStringLiteral("empty.bin"), 0, 12);
    Results r;
    const QString nothing = local(QStringLiteral("nothing.bin"));
    KoTestResponse empty = KoTestResponse::raw(QByteArray());
    empty.noContentLength = true;
    m_fx.phone->queueAnswer(QStringLiteral("getFile"), empty);
    download(103, nothing, QStringLiteral("/empty.bin"), r);
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.at(0), qMakePair(103, -4));
    QVERIFY(!QFile::exists(nothing));
}

void TestDownload::secondDownloadOfTheSamePartialFileIsRefused()
{
    const QByteArray data = putRemote(QStringLiteral("twice.bin"), 600 * 1024, 14);
    KoTestDropProxy proxy(m_fx.phone->port());
    QVERIFY(proxy.listen());
    proxy.setDownstreamRate(600 * 1024);
    const QString target = local(QStringLiteral("twice.bin"));
    QFile::remove(target);
    Results r;
    download(111, target, QStringLiteral("/twice.bin"), r, proxy.baseUrl());
    download(112, target, QStringLiteral("/twice.bin"), r, proxy.baseUrl());
    // Not inside the call.
    QVERIFY(r.results.isEmpty());
    QVERIFY(r.waitFor(2));
    QCOMPARE(r.results.first(), qMakePair(112, -3));
    QCOMPARE(r.codeOf(111), 0);
    QCOMPARE(sha256Of(target), sha256(data));
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("getFile")).size(), 1);
    QFile::remove(target);
}

void TestDownload::targetFolderIsNeverTouched()
{
    const QByteArray data = putRemote(QStringLiteral("folder.bin"), 10 * 1024, 15);
    const QString target = local(QStringLiteral("folder.bin"));
    QVERIFY(QDir().mkpath(target));
    QVERIFY(writeFile(target + QStringLiteral("/inside.txt"), "keep me"));
    Results r;
    download(121, target, QStringLiteral("/folder.bin"), r);
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(121, 1));
    QVERIFY(QFileInfo(target).isDir());
    QCOMPARE(readFile(target + QStringLiteral("/inside.txt")), QByteArray("keep me"));
    QCOMPARE(readFile(target + QStringLiteral(".ReRazeDownload")), data);
}

void TestDownload::progressIsThrottledAndEndsWithTheTotal()
{
    const qint64 size = 1024 * 1024;
    putRemote(QStringLiteral("progress.bin"), size, 17);
    KoTestDropProxy proxy(m_fx.phone->port());
    QVERIFY(proxy.listen());
    proxy.setDownstreamRate(700 * 1024);
    Results r;
    QElapsedTimer t;
    t.start();
    download(141, local(QStringLiteral("progress.bin")), QStringLiteral("/progress.bin"), r, proxy.baseUrl());
    QVERIFY(r.waitFor(1));
    const qint64 elapsed = t.elapsed();
    QCOMPARE(r.results.first(), qMakePair(141, 0));
    QVERIFY(!r.progress.isEmpty());
    // About ten a second (the proxy passes data 50 times a second).
    QVERIFY2(r.progress.size() <= elapsed / 100 + 3,
             qPrintable(QStringLiteral("%1 reports in %2 ms").arg(r.progress.size()).arg(elapsed)));
    QCOMPARE(r.progress.last().at(1), size);
    QCOMPARE(r.progress.last().at(2), size);
}

void TestDownload::thumbnailsOnBothRoutes()
{
    const QByteArray data = putRemote(QStringLiteral("photo.jpg"), 20 * 1024, 18);
    Results r;
    const QString lan = local(QStringLiteral("thumbs/lan.jpg"));
    const QString relay = local(QStringLiteral("thumbs/relay.jpg"));
    QVERIFY(writeFile(local(QStringLiteral("old.jpg")), QByteArray(100 * 1024, 'x')));
    m_client->getThumbnailV2(151, m_fx.phone->baseUrl(), lan, 9, QStringLiteral("/photo.jpg"), r.result());
    m_client->getThumbnailRemote(152, kPhoneUid, kPhoneId, 2, relay, 9, QStringLiteral("/photo.jpg"), r.result());
    QVERIFY(r.waitFor(2));
    QCOMPARE(r.codeOf(151), 0);
    QCOMPARE(r.codeOf(152), 0);
    QCOMPARE(readFile(lan), data);
    QCOMPARE(readFile(relay), data);
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("getThumbnail")).first().header("accept-encoding"),
             QByteArray("identity"));

    // A thumbnail the phone cannot give.
    m_client->getThumbnailV2(153, m_fx.phone->baseUrl(), local(QStringLiteral("thumbs/none.jpg")), 9,
                             QStringLiteral("/none.jpg"), r.result());
    QVERIFY(r.waitFor(3));
    QCOMPARE(r.codeOf(153), 1);
}

void TestDownload::unwritableThumbnailIsRefusedWithoutRequest()
{
    putRemote(QStringLiteral("photo2.jpg"), 1024, 19);
    // A path below a file can never be created.
    QVERIFY(writeFile(local(QStringLiteral("plainfile")), "x"));
    Results r;
    m_client->getThumbnailV2(161, m_fx.phone->baseUrl(), local(QStringLiteral("plainfile/t.jpg")), 9,
                             QStringLiteral("/photo2.jpg"), r.result());
    QVERIFY(r.results.isEmpty());
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(161, -3));
    QTest::qWait(100);
    QVERIFY(m_fx.phone->callsTo(QStringLiteral("getThumbnail")).isEmpty());
}

void TestDownload::pauseInsideTheTimeoutResultReportsNothingMore()
{
    putRemote(QStringLiteral("late.bin"), 1024 * 1024, 18);
    const QString target = local(QStringLiteral("late.bin"));
    const QString partial = target + QStringLiteral(".ReRazeDownload");
    KoTestResponse fault;
    fault.stallAfter = 100 * 1024;
    m_fx.phone->queueDownloadFault(fault);
    Results r;
    // A caller dropping its failed task stops what it still believes to be running.
    m_client->downloadFileV2(
        81, m_fx.phone->baseUrl(), target, 9, QStringLiteral("/late.bin"), 0, -1, QString(),
        [this, &r](int id, int code) {
            r.results.append({id, code});
            m_client->pauseDownloadFileV2(id, KoClientHelper::ResultCallback());
            m_client->cancelDownloadFileV2(id, KoClientHelper::ResultCallback());
        },
        r.onProgress());
    QVERIFY(r.waitFor(1, kDeadlineMs * 6));
    QTest::qWait(300);
    QCOMPARE(r.results.size(), 1);
    QCOMPARE(r.results.first(), qMakePair(81, -1));
    // The download had ended: the partial file is the next start's.
    QCOMPARE(readFile(partial).size(), 100 * 1024);
}

// A phone that sends its answer a second time, unasked, while the connection waits in the pool:
// the next download must not take it for its own.
void TestDownload::answerSentAgainUnaskedIsNoOtherFile_data()
{
    QTest::addColumn<int>("repeatMs");
    QTest::addColumn<bool>("nextAfterIt"); // the next download starts only once the repeat is out
    QTest::newRow("2 ms, next at once") << 2 << false;
    QTest::newRow("20 ms, next at once") << 20 << false;
    QTest::newRow("2 ms, next after it") << 2 << true;
    QTest::newRow("20 ms, next after it") << 20 << true;
}

void TestDownload::answerSentAgainUnaskedIsNoOtherFile()
{
    QFETCH(int, repeatMs);
    QFETCH(bool, nextAfterIt);
    // A phone of its own, so that no connection of another test waits in the pool.
    KoFakePhone phone(m_fx.root());
    QVERIFY(phone.start());
    KoTestResponse repeated;
    repeated.repeatAfterMs = repeatMs;
    const int files = 12;
    const QString folder = QStringLiteral("again-%1/").arg(qHash(QByteArray(QTest::currentDataTag())));
    Results r;
    for (int i = 0; i < files; ++i) {
        const QString name = QStringLiteral("again%1.bin").arg(i);
        // Sizes differ too, so another file's answer is never the right length by chance.
        const QByteArray data = putRemote(name, 1000 + 97 * i, quint32(400 + i));
        const QString target = local(folder + name);
        phone.queueDownloadFault(repeated);
        download(300 + i, target, QLatin1Char('/') + name, r, phone.baseUrl());
        QVERIFY(r.waitFor(i + 1));
        QCOMPARE(r.results.last(), qMakePair(300 + i, 0));
        QCOMPARE(sha256Of(target), sha256(data));
        if (nextAfterIt)
            QTRY_COMPARE(phone.http()->unaskedAnswers(), i + 1);
    }
    // Dropped before the request went out: every file asked for once.
    QCOMPARE(phone.callsTo(QStringLiteral("getFile")).size(), files);
    if (nextAfterIt) {
        // Each connection that held a repeat was closed and the next download opened its own.
        QCOMPARE(phone.http()->acceptedConnections(), files);
        QTRY_COMPARE(phone.http()->connectionCount(), 1);
    }
}

QTEST_GUILESS_MAIN(TestDownload)
#include "tst_download.moc"
