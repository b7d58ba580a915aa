#include "net/KoNetworkHelper.h"

#include "app/KoServerConfig.h"
#include "net/KoCurlReply.h"
#include "net/KoFileRangeDevice.h"
#include "net/KoNetworkObject.h"
#include "net/KoReplyMap.h"
#include "net/KoReplyType.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#include <QUrl>

KoNetworkHelper::KoNetworkHelper(QObject* parent)
    : QObject(parent)
{
    initData();
    initConnection();
}

KoNetworkHelper::~KoNetworkHelper()
{
    m_sweepTimer->stop();
    if (m_network)
        disconnect(m_network, nullptr, this, nullptr);
    m_replyMap->abortAll(this);
    delete m_replyMap;
    m_replyMap = nullptr;
}

void KoNetworkHelper::initData()
{
    m_network = KoNetworkObject::getInstance();
    m_replyMap = new KoReplyMap();
    m_sweepTimer = new QTimer(this);
    m_sweepTimer->setInterval(qMax(1, KoServerConfig::sweepIntervalMs()));
}

void KoNetworkHelper::initConnection()
{
    connect(m_network, &KoNetworkObject::finished, this, &KoNetworkHelper::onFinished);
    connect(m_sweepTimer, &QTimer::timeout, this, &KoNetworkHelper::onCheckTimeout);
    m_sweepTimer->start();
}

QByteArray KoNetworkHelper::multipartBoundary()
{
    return QByteArrayLiteral("----WebKitFormBoundaryw9d1v2FahuvheWBA");
}

namespace {

// Every request asks for `identity`: bytes in any other coding are not the data they stand for.
bool isEncoded(const QNetworkReply* reply)
{
    for (const QByteArray& coding : reply->rawHeader("Content-Encoding").split(',')) {
        const QByteArray name = coding.trimmed().toLower();
        if (!name.isEmpty() && name != "identity")
            return true;
    }
    return false;
}

} // namespace

void KoNetworkHelper::fileReply(QNetworkReply* reply, KoReplyType* record)
{
    if (!reply) {
        delete record;
        return;
    }
    // Before a receiver of readyRead takes any of its bytes.
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply] {
        if (reply->isRunning() && isEncoded(reply)) {
            qDebug() << "Answer of" << reply->url().toString(QUrl::RemoveQuery) << "refused: encoded as"
                     << reply->rawHeader("Content-Encoding");
            reply->abort();
        }
    });
    // A request without a record still gets one, so that its reply is cleaned up.
    m_replyMap->add(reply, record ? record : new KoReplyType(0));
}

void KoNetworkHelper::forwardDownloadProgress(QNetworkReply* reply)
{
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64 total) {
        if (total > 0)
            downloadProgress(reply, received, total);
    });
}

void KoNetworkHelper::limitAnswer(QNetworkReply* reply, qint64 maxAnswer)
{
    if (!reply)
        return;
    // Bounded buffering holds the network layer back until the check below has seen the bytes.
    reply->setReadBufferSize(maxAnswer + 1);
    auto check = [reply, maxAnswer](bool headersNow) {
        if (!reply->isRunning())
            return;
        if (headersNow) {
            // A limit told before the connection took the request may not have reached it.
            reply->setReadBufferSize(0);
            reply->setReadBufferSize(maxAnswer + 1);
        }
        const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
        if ((declared.isValid() && declared.toLongLong() > maxAnswer) || reply->bytesAvailable() > maxAnswer) {
            qDebug() << "Answer of" << reply->url().toString(QUrl::RemoveQuery) << "refused: more than" << maxAnswer
                     << "bytes";
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, [check] { check(true); });
    connect(reply, &QNetworkReply::readyRead, this, [check] { check(false); });
}

void KoNetworkHelper::postHttpData(QJsonObject& body, QString url, KoReplyType* record,
                                   QMap<QString, QString>* headers, qint64 maxAnswer)
{
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    QNetworkReply* reply = m_network->postJson(url, headers, json);
    limitAnswer(reply, maxAnswer);
    forwardDownloadProgress(reply);
    fileReply(reply, record);
}

void KoNetworkHelper::downloadHttpData(QJsonObject& body, QString url, KoReplyType* record,
                                       QMap<QString, QString>* headers)
{
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    QNetworkReply* reply = m_network->postJson(url, headers, json);
    forwardDownloadProgress(reply);
    connect(reply, &QNetworkReply::readyRead, this, [this, reply]() { dataReady(reply); });
    fileReply(reply, record);
}

void KoNetworkHelper::getHttpData(QString url, KoReplyType* record, QMap<QString, QString>* headers, qint64 maxAnswer)
{
    QNetworkReply* reply = m_network->get(url, headers);
    limitAnswer(reply, maxAnswer);
    forwardDownloadProgress(reply);
    fileReply(reply, record);
}

void KoNetworkHelper::uploadHttpFile(const QString& localPath, QString url, KoReplyType* record,
                                     QMap<QString, QString>* headers, qint64 offset)
{
    sendMultipart(localPath, url, record, headers, offset, false);
}

void KoNetworkHelper::uploadShortHttpFile(const QString& localPath, QString url, KoReplyType* record,
                                          QMap<QString, QString>* headers, qint64 offset)
{
    sendMultipart(localPath, url, record, headers, offset, true);
}

void KoNetworkHelper::sendMultipart(const QString& localPath, const QString& url, KoReplyType* record,
                                    QMap<QString, QString>* headers, qint64 offset, bool inMemory)
{
    const QFileInfo info(localPath);
    const qint64 size = info.exists() ? info.size() : 0;
    const qint64 start = qBound<qint64>(0, offset, size);
    const qint64 partSize = size - start;
    // A quote or a line break in a local file name would end the part header early: escape
    // them as form posts do, so the phone still sees one part with one file name.
    QByteArray name = info.fileName().toUtf8();
    name.replace('"', "%22").replace('\r', "%0D").replace('\n', "%0A");

    const qint64 contentLength = partSize + name.size() + kMultipartOverhead;
    // Over plain http the request goes out through curl: a file read as it is sent, a small
    // part in one write with the request's head.
    const QByteArray boundary = multipartBoundary();
    const QByteArray partHead = "--" + boundary + "\r\nContent-Type: application/x-object\r\n"
        + "Content-Disposition: form-data; name=\"files[]\"; filename=\"" + name + "\"\r\n\r\n";
    const QByteArray partTail = "\r\n--" + boundary + "--\r\n";
    if (!inMemory) {
        auto* device = new KoFileRangeDevice(localPath, start, partSize);
        if (QNetworkReply* reply = m_network->postStream(url, headers, boundary, partHead, device, partTail,
                                                         contentLength)) {
            watchUpload(reply);
            fileReply(reply, record);
            return;
        }
        delete device;
    } else {
        QFile file(localPath);
        QByteArray data;
        const bool readable = file.open(QIODevice::ReadOnly) && file.seek(start);
        if (readable)
            data = file.read(partSize);
        if (readable && data.size() == partSize) {
            if (QNetworkReply* reply = m_network->postStream(url, headers, boundary, partHead + data, nullptr,
                                                             partTail, contentLength)) {
                watchUpload(reply);
                fileReply(reply, record);
                return;
            }
        }
    }

    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    multiPart->setBoundary(multipartBoundary());
    QHttpPart part;
    part.setRawHeader("Content-Type", "application/x-object");
    part.setRawHeader("Content-Disposition", "form-data; name=\"files[]\"; filename=\"" + name + "\"");

    // The part is always exactly partSize bytes long or the request fails: a device left
    // closed makes every read fail, which the network layer reports as a reply error.
    bool inMemoryOk = false;
    if (inMemory) {
        QFile file(localPath);
        if (file.open(QIODevice::ReadOnly) && file.seek(start)) {
            const QByteArray data = file.read(partSize);
            if (data.size() == partSize) {
                part.setBody(data);
                inMemoryOk = true;
            }
        }
    }
    if (!inMemoryOk) {
        auto* device = new KoFileRangeDevice(localPath, start, partSize, multiPart);
        if (!inMemory)
            device->open(QIODevice::ReadOnly);
        part.setBodyDevice(device);
    }
    multiPart->append(part);

    QNetworkReply* reply = m_network->post(url, headers, multiPart, contentLength);
    multiPart->setParent(reply);
    watchUpload(reply);
    fileReply(reply, record);
}

void KoNetworkHelper::watchUpload(QNetworkReply* reply)
{
    limitAnswer(reply, KoCommonUtil::kMaxJsonAnswer);
    connect(reply, &QNetworkReply::uploadProgress, this, [this, reply](qint64 sent, qint64 total) {
        if (total > 0)
            uploadProgress(reply, sent, total);
    });
}

void KoNetworkHelper::abortUpload(QNetworkReply* reply, std::function<void()> then)
{
    if (auto* curlReply = qobject_cast<KoCurlReply*>(reply)) {
        curlReply->abortAndDrain(std::move(then));
        return;
    }
    reply->abort();
    QTimer::singleShot(0, this, std::move(then));
}

bool KoNetworkHelper::answeredBeforeBodySent(QNetworkReply* reply)
{
    const auto* curlReply = qobject_cast<KoCurlReply*>(reply);
    return curlReply && curlReply->answeredBeforeBodySent();
}

bool KoNetworkHelper::isSecureUrl(const QString& url)
{
    const QUrl u(url);
    return u.isValid() && u.scheme() == QLatin1String("https") && !u.host().isEmpty();
}

void KoNetworkHelper::failLater(KoReplyType* record, std::function<void(KoReplyType*)> fail)
{
    // Shared so that the record goes with the timer's functor if this object dies first.
    auto holder = std::make_shared<std::unique_ptr<KoReplyType>>(record);
    QTimer::singleShot(0, this, [holder, fail = std::move(fail)]() {
        std::unique_ptr<KoReplyType> r = std::move(*holder);
        if (r && fail)
            fail(r.get());
    });
}

std::unique_ptr<KoReplyType> KoNetworkHelper::takeRecord(QNetworkReply* reply)
{
    if (!reply || !m_replyMap->getReplyType(reply))
        return nullptr;
    std::unique_ptr<KoReplyType> record(m_replyMap->take(reply));
    reply->deleteLater();
    if (record && record->isCanceled())
        record.reset();
    return record;
}

void KoNetworkHelper::onFinished(QNetworkReply* reply)
{
    takeRecord(reply);
}

void KoNetworkHelper::onTimeout(QNetworkReply*)
{
}

void KoNetworkHelper::uploadProgress(QNetworkReply*, qint64, qint64)
{
}

void KoNetworkHelper::downloadProgress(QNetworkReply*, qint64, qint64)
{
}

void KoNetworkHelper::dataReady(QNetworkReply*)
{
}

void KoNetworkHelper::onCheckTimeout()
{
    QNetworkReply* reply = nullptr;
    KoReplyType* record = nullptr;
    bool alive = false;
    if (!m_replyMap->earliestDeadline(&reply, &record, &alive))
        return;
    if (QDateTime::currentMSecsSinceEpoch() < record->getDdl())
        return;
    if (!alive) {
        // Its reply was destroyed elsewhere; nothing can answer it any more.
        m_replyMap->removeIf(reply, record);
        return;
    }
    QPointer<QNetworkReply> guard(reply);
    // onTimeout may abort the reply, whose finished handler then removes (and deletes) the
    // record while we are still inside: remove only what is still filed, and touch neither
    // the record nor the reply's entry otherwise.
    onTimeout(reply);
    m_replyMap->removeIf(reply, record);
    if (guard)
        guard->deleteLater();
}
