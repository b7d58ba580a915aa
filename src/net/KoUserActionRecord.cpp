#include "net/KoUserActionRecord.h"

#include "app/KoCommonUtil.h"
#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "app/KoThisMachineInfo.h"
#include "net/KoReplyMap.h"
#include "net/KoReplyType.h"
#include "net/KoUser.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QNetworkReply>
#include <QThread>
#include <QTimer>

#include <memory>

KoUserActionRecord* KoUserActionRecord::s_instance = nullptr;
QMutex KoUserActionRecord::s_mutex;

namespace {

const int kTypeUploadUar = 6001;
const int kTypeUploadDump = 6002;

const char* const kVersionName = "V3.2.0";

} // namespace

KoUserActionRecord* KoUserActionRecord::getInstance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new KoUserActionRecord();
    return s_instance;
}

KoUserActionRecord::KoUserActionRecord()
    : KoNetworkHelper(nullptr)
{
    initData();
}

KoUserActionRecord::~KoUserActionRecord()
{
    writeKept();
    KoCommonUtil::removeAllFilesOfDir(getDumpDir());
    QMutexLocker locker(&s_mutex);
    if (s_instance == this)
        s_instance = nullptr;
}

void KoUserActionRecord::initData()
{
    KoCommonUtil::mkdir(getUarDir());
    m_batchTimer = new QTimer(this);
    m_batchTimer->setSingleShot(true);
    m_batchTimer->setInterval(kBatchMs);
    connect(m_batchTimer, &QTimer::timeout, this, &KoUserActionRecord::writeKept);
}

QString KoUserActionRecord::getUarDir()
{
    return QDir(KoCommonUtil::getAppDataDir()).filePath(QStringLiteral("uar"));
}

QString KoUserActionRecord::getDumpDir()
{
    return QDir(KoCommonUtil::getAppDataDir()).filePath(QStringLiteral("dump"));
}

// ---- writing ----------------------------------------------------------------

QString KoUserActionRecord::currentLogFile()
{
    QMutexLocker locker(&m_fileLock);
    writeKeptLocked();
    return currentLogFileLocked();
}

QString KoUserActionRecord::currentLogFileLocked()
{
    const QString dir = getUarDir();
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    KoSettings* settings = KoSettings::getInstance();
    const QString path = settings->getUarPath();
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        if (info.absolutePath() == QDir(dir).absolutePath() && info.fileName().startsWith(today)
            && info.fileName().endsWith(QLatin1String(".uar")) && !m_inFlight.contains(path)
            && (!info.exists() || info.size() < kMaxLogFileBytes))
            return path;
    }
    KoCommonUtil::mkdir(dir);
    QString next;
    for (int n = 0;; ++n) {
        const QString name = n == 0 ? today + QStringLiteral(".uar") : QStringLiteral("%1_%2.uar").arg(today).arg(n);
        next = QDir(dir).filePath(name);
        if (!QFileInfo::exists(next) && !m_inFlight.contains(next))
            break;
    }
    settings->setUarPath(next);
    return next;
}

void KoUserActionRecord::appendAction(const QString& action, const QJsonObject& extra, bool batched)
{
    QJsonObject line = extra;
    line.insert(QStringLiteral("action"), action);
    line.insert(QStringLiteral("time"), QDateTime::currentMSecsSinceEpoch());
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';

    QMutexLocker locker(&m_fileLock);
    m_kept += bytes;
    // The timer lives on this object's thread; from any other the line goes out at once.
    if (batched && QThread::currentThread() == thread()) {
        if (!m_batchTimer->isActive())
            m_batchTimer->start();
        return;
    }
    writeKeptLocked();
}

void KoUserActionRecord::writeKept()
{
    QMutexLocker locker(&m_fileLock);
    writeKeptLocked();
}

void KoUserActionRecord::writeKeptLocked()
{
    if (m_kept.isEmpty())
        return;
    // Lines that cannot be written are dropped, as a single one always was.
    QFile file(currentLogFileLocked());
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        file.write(m_kept);
        file.close();
    }
    m_kept.clear();
}

void KoUserActionRecord::recordEnterApp()
{
    appendAction(QStringLiteral("EnterApp"),
                 QJsonObject{{QStringLiteral("version"), QString::fromLatin1(kVersionName)},
                             {QStringLiteral("uid"), KoUser::getInstance()->getId()}});
}

void KoUserActionRecord::recordExitApp()
{
    appendAction(QStringLiteral("ExitApp"));
}

void KoUserActionRecord::recordUserLogin()
{
    appendAction(QStringLiteral("UserLogin"), QJsonObject{{QStringLiteral("uid"), KoUser::getInstance()->getId()}});
}

void KoUserActionRecord::recordUserLogout()
{
    appendAction(QStringLiteral("UserLogout"));
}

void KoUserActionRecord::recordBtnForgetPwdClicked()
{
    appendAction(QStringLiteral("BtnForgetPwdClicked"));
}

void KoUserActionRecord::recordBtnFileUploadClicked()
{
    appendAction(QStringLiteral("BtnFileUploadClicked"));
}

void KoUserActionRecord::recordBtnFileDownloadClicked()
{
    appendAction(QStringLiteral("BtnFileDownloadClicked"));
}

void KoUserActionRecord::recordFileDragIn()
{
    appendAction(QStringLiteral("FileDragIn"));
}

void KoUserActionRecord::recordFileDragOut()
{
    appendAction(QStringLiteral("FileDragOut"));
}

void KoUserActionRecord::recordCheckUpdate()
{
    appendAction(QStringLiteral("CheckUpdate"));
}

void KoUserActionRecord::recordDownloadFile(int type, bool success)
{
    appendAction(QStringLiteral("DownloadFile"),
                 QJsonObject{{QStringLiteral("Type"), type}, {QStringLiteral("Result"), success ? 0 : 1}}, true);
}

void KoUserActionRecord::recordUploadFile(int type, bool ok)
{
    appendAction(QStringLiteral("UploadFile"),
                 QJsonObject{{QStringLiteral("Type"), type}, {QStringLiteral("Result"), ok ? 0 : 1}}, true);
}

// ---- uploads ----------------------------------------------------------------

void KoUserActionRecord::uploadRecord()
{
    KoSettings* settings = KoSettings::getInstance();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 last = settings->getUarLastTime();
    // A last time in the future (a clock set back) does not hold the upload off.
    if (last > 0 && last <= now && now - last < kUploadIntervalMs)
        return;
    settings->setUarLastTime(now);

    QStringList files;
    {
        QMutexLocker locker(&m_fileLock);
        // Kept records go with this upload; later ones to a new file, never into one that is
        // about to be deleted.
        writeKeptLocked();
        settings->setUarPath(QString());
        const QDir dir(getUarDir());
        const QStringList names = dir.entryList(QStringList{QStringLiteral("*.uar")}, QDir::Files, QDir::Name);
        for (const QString& name : names)
            files.append(dir.filePath(name));
    }
    for (const QString& path : qAsConst(files))
        uploadFile(path, kTypeUploadUar);
}

void KoUserActionRecord::uploadDump()
{
    const QDir dir(getDumpDir());
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names)
        uploadFile(dir.filePath(name), kTypeUploadDump);
}

void KoUserActionRecord::uploadFile(const QString& path, int type)
{
    QByteArray data;
    {
        QMutexLocker locker(&m_fileLock);
        if (m_inFlight.contains(path))
            return;
        QFile file(path);
        if (file.size() > kMaxUploadBytes || !file.open(QIODevice::ReadOnly))
            return;
        data = file.readAll();
        file.close();
        if (data.isEmpty()) {
            // Nothing to tell the server.
            if (type == kTypeUploadDump || path != KoSettings::getInstance()->getUarPath())
                QFile::remove(path);
            return;
        }
        m_inFlight.insert(path);
    }

    const bool uar = type == kTypeUploadUar;
    QJsonObject body{{QStringLiteral("cmd"), uar ? QStringLiteral("UPLOAD_UAR") : QStringLiteral("UPLOAD_DUMP")},
                     {QStringLiteral("uid"), KoUser::getInstance()->getId()},
                     {QStringLiteral("deviceName"), KoThisMachineInfo::getInstance()->getDeviceName()},
                     {QStringLiteral("fileName"), QFileInfo(path).fileName()},
                     {QStringLiteral("data"), QString::fromLatin1(data.toBase64())}};
    auto* record = new KoReplyType(type);
    record->addValue(path);
    record->setDdl(KoServerConfig::requestDeadlineMs());

    const QString url = KoServerConfig::accountBaseUrl()
        + (uar ? QStringLiteral("log/uar") : QStringLiteral("log/dump"));
    if (!isSecureUrl(url)) {
        // Never over plain HTTP: the file waits for a later upload.
        failLater(record, [this](KoReplyType* r) { finishUpload(r, false); });
        return;
    }
    postHttpData(body, url, record, nullptr);
}

void KoUserActionRecord::onFinished(QNetworkReply* reply)
{
    std::unique_ptr<KoReplyType> record = takeRecord(reply);
    if (!record)
        return;
    bool accepted = false;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        const QJsonDocument doc = QJsonDocument::fromJson(KoCommonUtil::readAll(reply));
        const QJsonValue result = doc.object().value(QStringLiteral("result"));
        accepted = doc.isObject() && result.isDouble() && result.toDouble() == 0.0;
    }
    finishUpload(record.get(), accepted);
}

void KoUserActionRecord::onTimeout(QNetworkReply* reply)
{
    std::unique_ptr<KoReplyType> record = takeRecord(reply);
    if (!record)
        return;
    finishUpload(record.get(), false);
}

void KoUserActionRecord::finishUpload(KoReplyType* record, bool accepted)
{
    const QString path = record->getStringValue(0);
    QMutexLocker locker(&m_fileLock);
    m_inFlight.remove(path);
    // Only what the server took is deleted; anything else waits for the next upload.
    if (accepted)
        QFile::remove(path);
}
