#include "net/KoAutoUpdateTool.h"

#include "app/KoServerConfig.h"
#include "net/KoReplyMap.h"
#include "net/KoReplyType.h"
#include "net/KoUser.h"

#include <QMutexLocker>
#include <QNetworkReply>
#include <QTimer>

#include <memory>

KoAutoUpdateTool* KoAutoUpdateTool::s_instance = nullptr;
QMutex KoAutoUpdateTool::s_mutex;

namespace {

// Reply type codes: periodic / by hand, release / test file.
const int kTypePeriodicRelease = 3001;
const int kTypePeriodicTest = 3002;
const int kTypeManualRelease = 3003;
const int kTypeManualTest = 3004;

// A version file is a few lines; anything bigger is not one.
const qint64 kMaxVersionFileBytes = 64 * 1024;

bool isManual(int type)
{
    return type == kTypeManualRelease || type == kTypeManualTest;
}

} // namespace

KoAutoUpdateTool* KoAutoUpdateTool::getInstance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new KoAutoUpdateTool();
    return s_instance;
}

KoAutoUpdateTool::KoAutoUpdateTool()
    : KoNetworkHelper(nullptr)
{
    initData();
    initConnection();
}

KoAutoUpdateTool::~KoAutoUpdateTool()
{
    m_checkTimer->stop();
    QMutexLocker locker(&s_mutex);
    if (s_instance == this)
        s_instance = nullptr;
}

void KoAutoUpdateTool::initData()
{
    m_checkTimer = new QTimer(this);
    m_checkTimer->setInterval(kCheckIntervalMs);
}

void KoAutoUpdateTool::initConnection()
{
    connect(m_checkTimer, &QTimer::timeout, this, &KoAutoUpdateTool::onCheckTimer);
}

bool KoAutoUpdateTool::testChannel() const
{
    return KoUser::getInstance()->getUpdatePermission() == 1;
}

QString KoAutoUpdateTool::getUpdateUrl() const
{
    return KoServerConfig::updateBaseUrl()
        + (testChannel() ? QStringLiteral("index_test.html") : QStringLiteral("index.html"));
}

void KoAutoUpdateTool::checkIsUpdate()
{
    m_checkTimer->start();
    requestVersionFile(false);
}

void KoAutoUpdateTool::checkIsUpdateManually()
{
    requestVersionFile(true);
}

void KoAutoUpdateTool::onCheckTimer()
{
    requestVersionFile(false);
}

void KoAutoUpdateTool::requestVersionFile(bool manual)
{
    const bool test = testChannel();
    const int type = manual ? (test ? kTypeManualTest : kTypeManualRelease)
                            : (test ? kTypePeriodicTest : kTypePeriodicRelease);
    const QString url = KoServerConfig::updateBaseUrl()
        + (test ? QStringLiteral("version_test.txt") : QStringLiteral("version.txt"));
    auto* record = new KoReplyType(type);
    record->setDdl(KoServerConfig::requestDeadlineMs());

    if (!isSecureUrl(url)) {
        // Never over plain HTTP: fails like an unreachable site.
        failLater(record, [this](KoReplyType* r) { finishCheck(r, nullptr); });
        return;
    }
    getHttpData(url, record, nullptr, kMaxVersionFileBytes);
}

void KoAutoUpdateTool::onFinished(QNetworkReply* reply)
{
    std::unique_ptr<KoReplyType> record = takeRecord(reply);
    if (!record)
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200 || reply->bytesAvailable() > kMaxVersionFileBytes) {
        finishCheck(record.get(), nullptr);
        return;
    }
    const QByteArray body = reply->readAll();
    finishCheck(record.get(), &body);
}

void KoAutoUpdateTool::onTimeout(QNetworkReply* reply)
{
    std::unique_ptr<KoReplyType> record = takeRecord(reply);
    if (!record)
        return;
    finishCheck(record.get(), nullptr);
}

void KoAutoUpdateTool::finishCheck(KoReplyType* record, const QByteArray* body)
{
    const bool manual = isManual(record->getType());
    int code = 0;
    QString name;
    const bool readable = body && parseVersionFile(*body, &code, &name);
    const bool newer = readable && code > kVersionCode;
    if (readable)
        m_versionName = name;
    if (manual) {
        // No answer must not read as "nothing newer".
        if (!readable)
            emit updateCheckFailed();
        else if (newer)
            emit newVersion();
        else
            emit notNewVersion();
        return;
    }
    if (newer && !m_notified) {
        m_notified = true;
        emit newVersion();
    }
}

bool KoAutoUpdateTool::parseVersionFile(const QByteArray& text, int* code, QString* name)
{
    bool haveCode = false;
    int foundCode = 0;
    QString foundName;
    const QList<QByteArray> lines = text.split('\n');
    for (QByteArray line : lines) {
        line = line.trimmed(); // also drops the CR of CRLF
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const int eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed();
        if (key == "VERSION_CODE") {
            bool ok = false;
            const int v = value.toInt(&ok);
            haveCode = ok && v > 0;
            foundCode = haveCode ? v : 0;
        } else if (key == "versionName") {
            foundName = QString::fromUtf8(value);
        }
    }
    if (code)
        *code = foundCode;
    if (name)
        *name = foundName;
    return haveCode;
}
