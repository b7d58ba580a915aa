// Uploads against the fake phone over real sockets: the request the phone receives, the bytes
// it ends up with after in-memory, resumed, tail-switched, concurrent and broken uploads, and
// the one result each upload reports.

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

const int kPhoneUid = 4712;
const QString kPhoneId = QStringLiteral("android-up01");
const QByteArray kBoundary = "----WebKitFormBoundaryw9d1v2FahuvheWBA";

QByteArray sha256(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

struct CheckSumAnswer {
    int id = 0, code = 0, csVersion = 0;
    QString checksum;
    qint64 haveRead = 0;
};

using Results = KoClientResults;

// The values of the named headers, so that one comparison checks a request's identity.
QByteArrayList headerValues(const KoFakeCall& call, const QByteArrayList& names)
{
    QByteArrayList out;
    for (const QByteArray& name : names)
        out << call.header(name);
    return out;
}

KoClientHelper::CheckSumCallback collect(QList<CheckSumAnswer>* into)
{
    return [into](int id, int code, int csVersion, QString checksum, qint64 haveRead) {
        into->append({id, code, csVersion, checksum, haveRead});
    };
}

} // namespace

class TestUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void smallUploadIsByteExactWithItsHeaders();
    void relayUploadCarriesNameAndCommand();
    void uploadFromAnOffsetIsByteExact();
    void tailSwitchReassemblesTheFileWithOneResult();
    void resumedUploadWithAShortRestSwitchesAtOnce();
    void relayTailSwitch();
    void tailSwitchSendsALongRestStreamed();
    void twoUploadsAtOnceBothArriveAndAnswersKeepTheirCallbacks();
    void droppedStreamReportsMinusOneAndResumes();
    void earlySuccessCountsOnlyWhatThePhoneHolds_data();
    void earlySuccessCountsOnlyWhatThePhoneHolds();
    void cancelledStreamIsSilent();
    void relayUploadOfAMissingFileIsRefusedLater();
    void offsetHeaderAlwaysNamesWhereThePartStarts();

private:
    QString localFile(const QString& name, const QByteArray& data)
    {
        const QString path = m_fx.dir.filePath(QStringLiteral("local/") + name);
        writeFile(path, data);
        return path;
    }
    QString onPhone(const QString& path) const { return m_fx.dir.filePath(QStringLiteral("storage") + path); }

    KoPhoneRelay m_fx;
    KoClientHelper* m_client = nullptr;
};

void TestUpload::initTestCase()
{
    QVERIFY(m_fx.start(this, kPhoneId, kPhoneUid));
    QVERIFY(QDir().mkpath(m_fx.root() + QStringLiteral("/上传")));
    KoServerConfig::setRequestDeadlineMs(3000);
    KoServerConfig::setSweepIntervalMs(100);
}

void TestUpload::cleanupTestCase()
{
    KoServerConfig::reset();
}

void TestUpload::init()
{
    m_fx.phone->clearCalls();
    m_fx.phone->clearScripts();
    m_fx.relay->clearCalls();
    m_fx.phone->http()->clearRequests();
    m_client = KoClientHelper::getInstance();
}

void TestUpload::cleanup()
{
    delete m_client;
    m_client = nullptr;
    QTest::qWait(20);
}

void TestUpload::smallUploadIsByteExactWithItsHeaders()
{
    const QByteArray data = patternBytes(10000, 1);
    const QString path = localFile(QStringLiteral("small.bin"), data);
    Results r;
    m_client->uploadShortFileV2(1, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), 0, 0, 1,
                                QStringLiteral("ABCDEF0123"), QStringLiteral("FID-SMALL"), r.result(),
                                KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(1, 0));
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/small.bin"))), sha256(data));

    const QList<KoFakeCall> calls = m_fx.phone->callsTo(QStringLiteral("uploadFile"));
    QCOMPARE(calls.size(), 1);
    const KoFakeCall& call = calls.first();
    QCOMPARE(call.path, QByteArray("/file/v2/uploadFile"));
    QCOMPARE(headerValues(call,
                          {"category", "path", "size", "offset", "checksum", "valid", "csVersion", "uploadFid",
                           "kouid"}),
             (QByteArrayList{"9", QStringLiteral("/上传").toUtf8().toBase64(), "10000", "0", "ABCDEF0123", "0", "1",
                             "FID-SMALL", "0"}));
    QVERIFY(!call.headers.contains("name"));
    QVERIFY(!call.headers.contains("cmd"));
    QVERIFY(call.header("content-type").contains(kBoundary));

    // The whole body, byte for byte.
    const QByteArray expected = "--" + kBoundary + "\r\n" + "Content-Type: application/x-object\r\n"
        + "Content-Disposition: form-data; name=\"files[]\"; filename=\"small.bin\"\r\n\r\n" + data + "\r\n--"
        + kBoundary + "--\r\n";
    QCOMPARE(call.rawBody.size(), expected.size());
    QCOMPARE(call.rawBody, expected);
    QCOMPARE(call.header("content-length").toLongLong(), qint64(data.size() + 9 + 187));
}

void TestUpload::relayUploadCarriesNameAndCommand()
{
    const QByteArray data = patternBytes(5000, 2);
    const QString path = localFile(QStringLiteral("relay-small.bin"), data);
    Results r;
    m_client->uploadShortFileRemote(2, kPhoneUid, kPhoneId, 2, path, QStringLiteral("重命名.bin"), 9,
                                    QStringLiteral("/上传"), 0, 0, 1, QString(), QStringLiteral("FID-R"), r.result(),
                                    KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(2, 0));
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/重命名.bin"))), sha256(data));
    const QList<KoFakeCall> calls = m_fx.relay->callsTo(QStringLiteral("uploadFile"));
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().path, QByteArray("/reraze/reraze/file"));
    QCOMPARE(headerValues(calls.first(), {"cmd", "name", "toDeviceId"}),
             (QByteArrayList{"uploadFile", QStringLiteral("重命名.bin").toUtf8().toBase64(), kPhoneId.toUtf8()}));
}

void TestUpload::uploadFromAnOffsetIsByteExact()
{
    const QByteArray data = patternBytes(700 * 1000, 3);
    const QString path = localFile(QStringLiteral("offset.bin"), data);
    const QString fid = QStringLiteral("FID-OFFSET");
    // The phone keeps 300000 bytes and the connection drops: the upload must report -1.
    m_fx.phone->queueUploadDrop(300000);
    Results r;
    m_client->uploadShortFileV2(3, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), 0, 0, 1,
                                QStringLiteral("CS"), fid, r.result(), KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(3, -1));
    QCOMPARE(m_fx.phone->uploadHeld(fid), qint64(300000));

    QList<CheckSumAnswer> answers;
    m_client->uploadFileAskCheckSumV2(4, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), fid,
                                      collect(&answers));
    QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 1, 10000);
    const CheckSumAnswer& a = answers.first();
    QCOMPARE((QVariantList{a.id, a.code, a.haveRead, a.checksum}), (QVariantList{4, 0, qint64(300000), "CS"}));
    const QJsonObject asked = m_fx.phone->callsTo(QStringLiteral("checksum")).first().body;
    QCOMPARE((QStringList{asked.value("cmd").toString(), asked.value("name").toString(),
                          asked.value("uploadFid").toString()}),
             (QStringList{"askChecksum", "offset.bin", fid}));

    m_client->uploadShortFileV2(5, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), 300000, 1, 1,
                                QStringLiteral("CS"), fid, r.result(), r.onProgress());
    QVERIFY(r.waitFor(2));
    QCOMPARE(r.results.at(1), qMakePair(5, 0));
    // Progress counts the part's own 400000 bytes, up to all of them.
    QVERIFY(!r.progress.isEmpty());
    for (const QList<qint64>& p : qAsConst(r.progress))
        QCOMPARE((QList<qint64>{p.at(0), p.at(2)}), (QList<qint64>{5, 400000}));
    QCOMPARE(r.progress.last().at(1), qint64(400000));
    QCOMPARE(headerValues(m_fx.phone->callsTo(QStringLiteral("uploadFile")).last(), {"offset", "size"}),
             (QByteArrayList{"300000", "700000"}));
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/offset.bin"))), sha256(data));
}

void TestUpload::tailSwitchReassemblesTheFileWithOneResult()
{
    const QByteArray data = patternBytes(9 * 1024 * 1024 + 321, 4);
    const QString path = localFile(QStringLiteral("tail.bin"), data);
    QSignalSpy convert(m_client, &KoClientHelper::uploadConvertInfo);
    Results r;
    QList<QList<qint64>> progress;
    m_client->uploadFileV2(6, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), 0, 0, 1, QStringLiteral("CS6"),
                           QStringLiteral("FID-TAIL"), r.result(), [&progress](int id, qint64 done, qint64 total) {
                               progress.append({id, done, total});
                           });
    QVERIFY(r.waitFor(1));
    QTest::qWait(500);
    QCOMPARE(r.results.size(), 1);
    QCOMPARE(r.results.first(), qMakePair(6, 0));
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/tail.bin"))), sha256(data));

    // A stream cut at its tail, the phone's count, the rest from memory. (A stream that
    // outran its progress reports may have arrived whole before the cut: the phone then
    // holds everything and the rest is empty.)
    const QList<KoFakeCall> uploads = m_fx.phone->callsTo(QStringLiteral("uploadFile"));
    QVERIFY(uploads.size() == 1 || uploads.size() == 2);
    const KoFakeCall tail = uploads.last();
    QCOMPARE(tail.header("valid"), QByteArray("1"));
    const qint64 haveRead = tail.header("offset").toLongLong();
    QVERIFY(haveRead > 0);
    QVERIFY(data.size() - haveRead <= KoClientHelper::kTailMemoryLimit);
    QCOMPARE(tail.header("checksum"), QByteArray("CS6"));
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("checksum")).size(), 1);
    QCOMPARE(convert.count(), 1);
    QCOMPARE((QVariantList{convert.first().at(0).toInt(), convert.first().at(1).toLongLong()}),
             (QVariantList{6, haveRead}));
    QVERIFY(convert.first().at(3).toString().isEmpty());
    QVERIFY(!progress.isEmpty());
    for (const auto& p : progress)
        QCOMPARE(p.at(0), qint64(6));
}

void TestUpload::resumedUploadWithAShortRestSwitchesAtOnce()
{
    const QByteArray data = patternBytes(2500 * 1000, 17);
    const QString path = localFile(QStringLiteral("resumed-tail.bin"), data);
    const QString fid = QStringLiteral("FID-RTAIL2");
    // The phone holds the first 1800000 bytes.
    m_fx.phone->queueUploadDrop(1800 * 1000);
    Results r;
    m_client->uploadShortFileV2(17, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), 0, 0, 1,
                                QStringLiteral("CS17"), fid, r.result(), KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(1));
    QCOMPARE(m_fx.phone->uploadHeld(fid), qint64(1800 * 1000));
    // 700000 bytes left of the whole file: below the switch point from the first report on.
    m_client->uploadFileV2(18, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), 1800 * 1000, 1, 1,
                           QStringLiteral("CS17"), fid, r.result(), KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(2));
    QCOMPARE(r.results.at(1), qMakePair(18, 0));
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("checksum")).size(), 1);
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/resumed-tail.bin"))), sha256(data));
}

void TestUpload::relayTailSwitch()
{
    const QByteArray data = patternBytes(5 * 1024 * 1024 + 77, 5);
    const QString path = localFile(QStringLiteral("relay-tail.bin"), data);
    Results r;
    m_client->uploadFileRemote(7, kPhoneUid, kPhoneId, 2, path, QStringLiteral("relay-tail.bin"), 9,
                               QStringLiteral("/上传"), 0, 0, 1, QStringLiteral("CS7"), QStringLiteral("FID-RTAIL"),
                               r.result(), KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(1));
    QTest::qWait(300);
    QCOMPARE(r.results.size(), 1);
    QCOMPARE(r.results.first(), qMakePair(7, 0));
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/relay-tail.bin"))), sha256(data));
    QCOMPARE(m_fx.relay->callsTo(QStringLiteral("askChecksum")).size(), 1);
}

void TestUpload::tailSwitchSendsALongRestStreamed()
{
    const QByteArray data = patternBytes(6 * 1024 * 1024 + 9, 10);
    const QString path = localFile(QStringLiteral("long-rest.bin"), data);
    // The phone says it holds nothing: the rest is the whole file, too much for memory.
    m_fx.phone->queueAnswer(QStringLiteral("checksum"),
                            KoTestResponse::json(
                                QJsonObject{{"code", 0}, {"haveRead", 0}, {"checksum", "CS16"}, {"csVersion", 1}}));
    Results r;
    m_client->uploadFileV2(16, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), 0, 0, 1,
                           QStringLiteral("CS16"), QStringLiteral("FID-LONG"), r.result(),
                           KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(1));
    QTest::qWait(300);
    QCOMPARE(r.results.size(), 1);
    QCOMPARE(r.results.first(), qMakePair(16, 0));
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/long-rest.bin"))), sha256(data));
    // Streamed again from 0 (the whole file in its body), and without a second switch.
    const QList<KoFakeCall> uploads = m_fx.phone->callsTo(QStringLiteral("uploadFile"));
    QVERIFY(uploads.size() == 1 || uploads.size() == 2);
    QCOMPARE(headerValues(uploads.last(), {"offset", "valid"}), (QByteArrayList{"0", "0"}));
    QCOMPARE(uploads.last().header("content-length").toLongLong(), qint64(data.size() + 13 + 187));
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("checksum")).size(), 1);
}

void TestUpload::twoUploadsAtOnceBothArriveAndAnswersKeepTheirCallbacks()
{
    const QByteArray a = patternBytes(6 * 1024 * 1024 + 1, 6);
    const QByteArray b = patternBytes(7 * 1024 * 1024 + 2, 7);
    const QString pathA = localFile(QStringLiteral("a.bin"), a);
    const QString pathB = localFile(QStringLiteral("b.bin"), b);
    Results r;
    m_client->uploadFileV2(8, m_fx.phone->baseUrl(), pathA, 9, QStringLiteral("/上传"), 0, 0, 1, QString(),
                           QStringLiteral("FID-A"), r.result(), KoClientHelper::ProgressCallback());
    m_client->uploadFileV2(9, m_fx.phone->baseUrl(), pathB, 9, QStringLiteral("/上传"), 0, 0, 1, QString(),
                           QStringLiteral("FID-B"), r.result(), KoClientHelper::ProgressCallback());
    // The operation manager asks about a third upload meanwhile, with a callback of its own.
    QList<CheckSumAnswer> mine;
    m_client->uploadFileAskCheckSumV2(10, m_fx.phone->baseUrl(), pathA, 9, QStringLiteral("/上传"),
                                      QStringLiteral("FID-OTHER"), collect(&mine));
    QVERIFY(r.waitFor(2));
    QTest::qWait(300);
    QCOMPARE(r.results.size(), 2);
    QCOMPARE((QList<int>{r.codeOf(8), r.codeOf(9)}), (QList<int>{0, 0}));
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/a.bin"))), sha256(a));
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/b.bin"))), sha256(b));
    // The tail switches' answers never reached the manager's callback.
    QCOMPARE(mine.size(), 1);
    QCOMPARE(mine.first().id, 10);
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("checksum")).size(), 3);
}

void TestUpload::droppedStreamReportsMinusOneAndResumes()
{
    const QByteArray data = patternBytes(6 * 1024 * 1024, 8);
    const QString path = localFile(QStringLiteral("dropped.bin"), data);
    const QString fid = QStringLiteral("FID-DROP");
    KoTestDropProxy proxy(m_fx.phone->port());
    QVERIFY(proxy.listen());
    // One drop: the body is not sent again from its start on a new connection (which would
    // throw away what the phone holds); the break is reported instead.
    proxy.dropAfter(2 * 1024 * 1024, 1);
    Results r;
    m_client->uploadFileV2(11, proxy.baseUrl(), path, 9, QStringLiteral("/上传"), 0, 0, 1, QStringLiteral("CS11"),
                           fid, r.result(), KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(1));
    QTest::qWait(300);
    QCOMPARE(r.results.size(), 1);
    QCOMPARE(r.results.first(), qMakePair(11, -1));
    QCOMPARE(proxy.drops(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(m_fx.phone->uploadHeld(fid) > 0, 5000);
    const qint64 held = m_fx.phone->uploadHeld(fid);
    QVERIFY(held < 2 * 1024 * 1024);
    QVERIFY(m_fx.phone->callsTo(QStringLiteral("uploadFile")).isEmpty());

    // The retry goes on from the phone's count.
    QList<CheckSumAnswer> answers;
    m_client->uploadFileAskCheckSumV2(12, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), fid,
                                      collect(&answers));
    QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 1, 10000);
    QCOMPARE(answers.first().haveRead, held);
    m_client->uploadFileV2(13, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), held, 1, 1,
                           QStringLiteral("CS11"), fid, r.result(), KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(2));
    QCOMPARE(r.results.at(1), qMakePair(13, 0));
    // Every body the phone saw: the dropped one from 0, then the rest from the phone's count.
    QList<qint64> offsets;
    for (const KoTestRequest& request : m_fx.phone->http()->requests()) {
        if (request.pathOnly() == "/file/v2/uploadFile")
            offsets << request.header("offset").toLongLong();
    }
    QVERIFY(offsets.size() >= 2);
    QCOMPARE(offsets.mid(0, 2), (QList<qint64>{0, held}));
    QCOMPARE(offsets.count(0), 1);
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/dropped.bin"))), sha256(data));
}

void TestUpload::earlySuccessCountsOnlyWhatThePhoneHolds_data()
{
    QTest::addColumn<bool>("phoneHoldsAll");
    QTest::addColumn<int>("code");
    QTest::newRow("nothing stored: fails and resumes") << false << -1;
    QTest::newRow("the phone holds the whole file") << true << 0;
}

// "200, code 0" with a part of the body out is no proof: the phone is asked what it holds.
// (The file is larger than the sockets' buffers, so its tail is not reached before the answer.)
void TestUpload::earlySuccessCountsOnlyWhatThePhoneHolds()
{
    QFETCH(bool, phoneHoldsAll);
    QFETCH(int, code);
    const QByteArray data = patternBytes(24 * 1024 * 1024, 21);
    const QString name = phoneHoldsAll ? QStringLiteral("early-all.bin") : QStringLiteral("early.bin");
    const QString path = localFile(name, data);
    const QString fid = QStringLiteral("FID-EARLY-%1").arg(int(phoneHoldsAll));
    m_fx.phone->http()->answerEarly("/file/v2/uploadFile", 2 * 1024 * 1024, "{\"code\":0}");
    if (phoneHoldsAll) {
        m_fx.phone->queueAnswer(
            QStringLiteral("checksum"),
            KoTestResponse::json(
                QJsonObject{{"code", 0}, {"haveRead", double(data.size())}, {"checksum", "CS21"}, {"csVersion", 1}}));
    }
    Results r;
    m_client->uploadFileV2(21, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), 0, 0, 1,
                           QStringLiteral("CS21"), fid, r.result(), KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(1));
    QTest::qWait(300);
    QCOMPARE(r.results, (QList<QPair<int, int>>{qMakePair(21, code)}));
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("checksum")).size(), 1);
    if (phoneHoldsAll)
        return;
    QVERIFY(!QFile::exists(onPhone(QStringLiteral("/上传/") + name)));

    // The retry goes on from the phone's count to the whole file.
    QList<CheckSumAnswer> answers;
    m_client->uploadFileAskCheckSumV2(22, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), fid,
                                      collect(&answers));
    QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 1, 10000);
    m_client->uploadFileV2(23, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), answers.first().haveRead, 1,
                           1, QStringLiteral("CS21"), fid, r.result(), KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(2));
    QCOMPARE(r.results.at(1), qMakePair(23, 0));
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/") + name)), sha256(data));
}

void TestUpload::cancelledStreamIsSilent()
{
    const QByteArray data = patternBytes(4 * 1024 * 1024, 9);
    const QString path = localFile(QStringLiteral("cancel.bin"), data);
    Results r;
    m_client->uploadFileV2(14, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), 0, 0, 1, QString(),
                           QStringLiteral("FID-CANCEL"), r.result(), KoClientHelper::ProgressCallback());
    m_client->cancelUploadFileV2(14, KoClientHelper::ResultCallback());
    // An id without a pending request: nothing.
    m_client->cancelUploadFileV2(999, KoClientHelper::ResultCallback());
    QTest::qWait(800);
    QVERIFY(r.results.isEmpty());
    QVERIFY(!QFile::exists(onPhone(QStringLiteral("/上传/cancel.bin"))));
    QVERIFY(m_fx.phone->callsTo(QStringLiteral("checksum")).isEmpty());
}

void TestUpload::relayUploadOfAMissingFileIsRefusedLater()
{
    Results r;
    m_client->uploadFileRemote(15, kPhoneUid, kPhoneId, 2, m_fx.dir.filePath(QStringLiteral("local/none.bin")),
                               QStringLiteral("none.bin"), 9, QStringLiteral("/上传"), 0, 0, 1, QString(),
                               QStringLiteral("FID-NONE"), r.result(), KoClientHelper::ProgressCallback());
    QVERIFY(r.results.isEmpty());
    QVERIFY(r.waitFor(1));
    QCOMPARE(r.results.first(), qMakePair(15, -3));
    QTest::qWait(100);
    QVERIFY(m_fx.relay->callsTo(QStringLiteral("uploadFile")).isEmpty());
}

void TestUpload::offsetHeaderAlwaysNamesWhereThePartStarts()
{
    // A negative offset sends the whole file: the header must say 0, not the caller's number.
    const QByteArray small = patternBytes(20000, 16);
    const QString smallPath = localFile(QStringLiteral("negative.bin"), small);
    Results r;
    m_client->uploadShortFileV2(16, m_fx.phone->baseUrl(), smallPath, 9, QStringLiteral("/上传"), -100, 0, 1,
                                QString(), QStringLiteral("FID-NEG"), r.result(), KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(1));
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("uploadFile")).last().header("offset"), QByteArray("0"));
    QCOMPARE(r.results.first(), qMakePair(16, 0));
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/negative.bin"))), sha256(small));

    // A phone that claims a negative count at the tail switch: the rest goes from 0, and the
    // checkpoint handed on is that 0, never the phone's number.
    const QByteArray data = patternBytes(9 * 1024 * 1024 + 5, 17);
    const QString path = localFile(QStringLiteral("negative-tail.bin"), data);
    m_fx.phone->queueAnswer(QStringLiteral("checksum"),
                            KoTestResponse::json(
                                {{"code", 0}, {"haveRead", -100}, {"checksum", ""}, {"csVersion", 1}}));
    QSignalSpy convert(m_client, &KoClientHelper::uploadConvertInfo);
    m_client->uploadFileV2(17, m_fx.phone->baseUrl(), path, 9, QStringLiteral("/上传"), 0, 0, 1, QString(),
                           QStringLiteral("FID-NEGTAIL"), r.result(), KoClientHelper::ProgressCallback());
    QVERIFY(r.waitFor(2, 60000));
    QCOMPARE(r.results.at(1), qMakePair(17, 0));
    QCOMPARE(sha256Of(onPhone(QStringLiteral("/上传/negative-tail.bin"))), sha256(data));
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("checksum")).size(), 1);
    QCOMPARE(convert.count(), 1);
    QCOMPARE(convert.first().at(1).toLongLong(), qint64(0));
    QCOMPARE(m_fx.phone->callsTo(QStringLiteral("uploadFile")).last().header("offset"), QByteArray("0"));
}

QTEST_GUILESS_MAIN(TestUpload)
#include "tst_upload.moc"
