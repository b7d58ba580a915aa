// The usage log on disk and its upload to the loopback account server.

#include "app/KoCommonUtil.h"
#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "app/KoThisMachineInfo.h"
#include "net/KoNetworkObject.h"
#include "net/KoUser.h"
#include "net/KoUserActionRecord.h"
#include "support/KoFakeAccountServer.h"
#include "support/KoTestCertificates.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

QList<QJsonObject> readLines(const QString& path)
{
    QList<QJsonObject> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (i == lines.size() - 1) {
            // The file ends with a line break: nothing may follow it.
            if (!lines.at(i).isEmpty())
                out.append(QJsonObject{{"broken", QString::fromUtf8(lines.at(i))}});
            break;
        }
        out.append(QJsonDocument::fromJson(lines.at(i)).object());
    }
    return out;
}

QStringList uarFiles()
{
    return QDir(KoUserActionRecord::getUarDir()).entryList(QStringList{"*.uar"}, QDir::Files, QDir::Name);
}

void writeFile(const QString& path, const QByteArray& data)
{
    KoCommonUtil::makeSureParentExist(path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

} // namespace

class TestActionRecord : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void everyActionAppendsOneLine();
    void newFileEachDayAndWhenFull();
    void uploadsOncePerDayAndDeletesAccepted();
    void failedUploadKeepsFiles();
    void recordsDuringUploadAreKept();
    void clockSetBackDoesNotBlockUpload();
    void dumpsUploadedAndEmptiedAtExit();

private:
    KoUserActionRecord* rec() { return KoUserActionRecord::getInstance(); }
    void clearLogs();
    // Uploads now whatever the last time was; waits until no upload is pending.
    void uploadNow(int expectedRequests);

    KoFakeAccountServer* m_account = nullptr;
};

void TestActionRecord::initTestCase()
{
    // Start from no saved account, whatever an earlier run left in this test's home.
    KoSettings::getInstance()->remove("user");
    QVERIFY(KoTestCertificates::trust());
    KoServerConfig::setSweepIntervalMs(100);
    KoServerConfig::setRequestDeadlineMs(1500);
    m_account = new KoFakeAccountServer(this);
    QVERIFY(m_account->start());
    KoServerConfig::setAccountBaseUrl(m_account->baseUrl());
}

void TestActionRecord::init()
{
    m_account->clearForcedResults();
    m_account->clearUploads();
    m_account->http()->clearRequests();
    clearLogs();
}

void TestActionRecord::cleanupTestCase()
{
    delete KoUserActionRecord::getInstance();
    delete KoUser::getInstance();
    delete KoThisMachineInfo::getInstance();
    delete KoNetworkObject::getInstance();
    delete KoSettings::getInstance();
}

void TestActionRecord::clearLogs()
{
    KoCommonUtil::removeAllFilesOfDir(KoUserActionRecord::getUarDir());
    KoSettings::getInstance()->setUarPath(QString());
}

void TestActionRecord::uploadNow(int expectedRequests)
{
    KoSettings::getInstance()->setUarLastTime(0);
    rec()->uploadRecord();
    QVERIFY(m_account->http()->waitForRequests(expectedRequests));
    QTest::qWait(200);
}

void TestActionRecord::everyActionAppendsOneLine()
{
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    rec()->recordEnterApp();
    rec()->recordExitApp();
    rec()->recordUserLogin();
    rec()->recordUserLogout();
    rec()->recordBtnForgetPwdClicked();
    rec()->recordBtnFileUploadClicked();
    rec()->recordBtnFileDownloadClicked();
    rec()->recordFileDragIn();
    rec()->recordFileDragOut();
    rec()->recordCheckUpdate();
    rec()->recordDownloadFile(1, false);
    rec()->recordDownloadFile(0, true);
    rec()->recordUploadFile(0, true);
    rec()->recordUploadFile(1, false);

    const QString path = rec()->currentLogFile();
    QCOMPARE(QFileInfo(path).fileName(), QDate::currentDate().toString("yyyyMMdd") + ".uar");
    QCOMPARE(KoSettings::getInstance()->getUarPath(), path);
    const QList<QJsonObject> lines = readLines(path);
    const QStringList expected{"EnterApp",
                               "ExitApp",
                               "UserLogin",
                               "UserLogout",
                               "BtnForgetPwdClicked",
                               "BtnFileUploadClicked",
                               "BtnFileDownloadClicked",
                               "FileDragIn",
                               "FileDragOut",
                               "CheckUpdate",
                               "DownloadFile",
                               "DownloadFile",
                               "UploadFile",
                               "UploadFile"};
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i) {
        QCOMPARE(lines.at(i).value("action").toString(), expected.at(i));
        const qint64 t = qint64(lines.at(i).value("time").toDouble());
        QVERIFY(t >= before && t <= QDateTime::currentMSecsSinceEpoch());
    }
    QCOMPARE(lines.at(0).value("version").toString(), QStringLiteral("V3.2.0"));
    QCOMPARE(lines.at(0).value("uid"), QJsonValue(KoUser::getInstance()->getId()));
    QVERIFY(lines.at(2).contains("uid"));
    QVERIFY(!lines.at(1).contains("uid"));
    QList<int> typeAndResult;
    for (int i = 10; i < 14; ++i)
        typeAndResult << lines.at(i).value("Type").toInt() << lines.at(i).value("Result").toInt();
    QCOMPARE(typeAndResult, (QList<int>{1, 1, 0, 0, 0, 0, 1, 1}));
}

void TestActionRecord::newFileEachDayAndWhenFull()
{
    // A file left from an earlier day is not continued.
    const QString old = QDir(KoUserActionRecord::getUarDir()).filePath("20000101.uar");
    writeFile(old, "{\"action\":\"ExitApp\",\"time\":1}\n");
    KoSettings::getInstance()->setUarPath(old);
    rec()->recordFileDragIn();
    QCOMPARE(readLines(old).size(), 1);
    const QString today = rec()->currentLogFile();
    QVERIFY(today != old);
    QCOMPARE(readLines(today).size(), 1);

    // A full file is not continued either.
    writeFile(today, QByteArray(KoUserActionRecord::kMaxLogFileBytes, 'x'));
    rec()->recordFileDragOut();
    const QString next = rec()->currentLogFile();
    QCOMPARE(QFileInfo(next).fileName(), QDate::currentDate().toString("yyyyMMdd") + "_1.uar");
    QCOMPARE(QFileInfo(today).size(), KoUserActionRecord::kMaxLogFileBytes);
    QCOMPARE(readLines(next).size(), 1);
    QCOMPARE(readLines(next).first().value("action").toString(), QStringLiteral("FileDragOut"));
}

void TestActionRecord::uploadsOncePerDayAndDeletesAccepted()
{
    const QString old = QDir(KoUserActionRecord::getUarDir()).filePath("20000101.uar");
    const QByteArray oldContent = "{\"action\":\"ExitApp\",\"time\":1}\n";
    writeFile(old, oldContent);
    rec()->recordEnterApp();
    rec()->recordCheckUpdate();
    const QString current = rec()->currentLogFile();
    QFile f(current);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray currentContent = f.readAll();
    f.close();

    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    KoSettings::getInstance()->setUarLastTime(0);
    rec()->uploadRecord();
    QVERIFY(m_account->http()->waitForRequests(2));
    QTRY_COMPARE(uarFiles(), QStringList());
    QVERIFY(KoSettings::getInstance()->getUarLastTime() >= before);

    const QList<KoFakeAccountServer::Upload> ups = m_account->uploads();
    QCOMPARE(ups.size(), 2);
    QMap<QString, QByteArray> byName;
    for (const KoFakeAccountServer::Upload& u : ups) {
        QCOMPARE(u.cmd, QByteArray("UPLOAD_UAR"));
        QCOMPARE(u.deviceName, KoThisMachineInfo::getInstance()->getDeviceName());
        byName.insert(u.fileName, u.data);
    }
    QCOMPARE(byName.value("20000101.uar"), oldContent);
    QCOMPARE(byName.value(QFileInfo(current).fileName()), currentContent);

    // Within the same day nothing more goes out.
    rec()->recordFileDragIn();
    m_account->http()->clearRequests();
    rec()->uploadRecord();
    QTest::qWait(500);
    QCOMPARE(m_account->http()->requests().size(), 0);
    QCOMPARE(uarFiles().size(), 1);

    // A day later it does.
    KoSettings::getInstance()->setUarLastTime(QDateTime::currentMSecsSinceEpoch()
                                              - KoUserActionRecord::kUploadIntervalMs - 1000);
    rec()->uploadRecord();
    QVERIFY(m_account->http()->waitForRequests(1));
    QTRY_COMPARE(uarFiles(), QStringList());
}

void TestActionRecord::failedUploadKeepsFiles()
{
    rec()->recordEnterApp();
    const QString path = rec()->currentLogFile();
    const QList<QJsonObject> before = readLines(path);
    QCOMPARE(before.size(), 1);

    // Refused by the server.
    m_account->forceResult("log/uar", -1);
    uploadNow(1);
    QCOMPARE(uarFiles().size(), 1);
    QCOMPARE(readLines(path), before);
    m_account->clearForcedResults();

    // Broken answers and a missed deadline.
    KoTestResponse silent;
    silent.noAnswer = true;
    const QList<KoTestResponse> answers{KoTestResponse::raw("oops", 500, "text/plain"),
                                        KoTestResponse::json(QJsonObject{{"result", "0"}}), silent};
    for (int i = 0; i < answers.size(); ++i) {
        m_account->queueAnswer("log/uar", answers.at(i));
        uploadNow(2 + i);
        if (answers.at(i).noAnswer)
            QTest::qWait(2500); // past the deadline
        QCOMPARE(uarFiles().size(), 1);
    }
    QCOMPARE(readLines(path), before);

    // The next day's upload takes it.
    uploadNow(5);
    QTRY_COMPARE(uarFiles(), QStringList());
}

void TestActionRecord::recordsDuringUploadAreKept()
{
    rec()->recordEnterApp();
    const QString first = rec()->currentLogFile();
    KoTestResponse slow = KoTestResponse::json(QJsonObject{{"result", 0}});
    slow.delayMs = 800;
    m_account->queueAnswer("log/uar", slow);
    KoSettings::getInstance()->setUarLastTime(0);
    rec()->uploadRecord();
    // Written while the first file is on its way.
    rec()->recordFileDragIn();
    rec()->recordFileDragOut();
    const QString second = rec()->currentLogFile();
    QVERIFY(second != first);
    QTRY_VERIFY(!QFileInfo::exists(first));
    QCOMPARE(readLines(second).size(), 2);
    QCOMPARE(readLines(second).at(0).value("action").toString(), QStringLiteral("FileDragIn"));
}

void TestActionRecord::clockSetBackDoesNotBlockUpload()
{
    rec()->recordExitApp();
    KoSettings::getInstance()->setUarLastTime(QDateTime::currentMSecsSinceEpoch() + 10LL * 24 * 3600 * 1000);
    rec()->uploadRecord();
    QVERIFY(m_account->http()->waitForRequests(1));
    QTRY_COMPARE(uarFiles(), QStringList());
    QVERIFY(KoSettings::getInstance()->getUarLastTime() <= QDateTime::currentMSecsSinceEpoch());
}

void TestActionRecord::dumpsUploadedAndEmptiedAtExit()
{
    const QDir dump(KoUserActionRecord::getDumpDir());
    writeFile(dump.filePath("crash-1.dmp"), QByteArray(5000, '\x01'));
    writeFile(dump.filePath("crash-2.dmp"), "second");
    m_account->queueAnswer("log/dump", KoTestResponse::json(QJsonObject{{"result", 1}}));
    rec()->uploadDump();
    QVERIFY(m_account->http()->waitForRequests(2));
    // One refused (the first request answered), one accepted.
    QTRY_COMPARE(dump.entryList(QDir::Files).size(), 1);
    QCOMPARE(m_account->uploads().size(), 1);
    QCOMPARE(m_account->uploads().first().cmd, QByteArray("UPLOAD_DUMP"));

    // Not limited to once a day.
    rec()->uploadDump();
    QTRY_COMPARE(dump.entryList(QDir::Files).size(), 0);
    QCOMPARE(m_account->uploads().size(), 2);
    QByteArray all;
    for (const auto& u : m_account->uploads())
        all += u.data;
    QVERIFY(all.contains("second"));
    QVERIFY(all.contains(QByteArray(5000, '\x01')));

    // The destructor empties the folder.
    writeFile(dump.filePath("crash-3.dmp"), "left over");
    delete KoUserActionRecord::getInstance();
    QCOMPARE(dump.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).size(), 0);
    QVERIFY(dump.exists());
}

QTEST_GUILESS_MAIN(TestActionRecord)
#include "tst_actionrecord.moc"
