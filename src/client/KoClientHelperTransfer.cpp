// Downloads, thumbnails and uploads of KoClientHelper.

#include "client/KoClientHelper.h"

#include "app/KoCommonUtil.h"
#include "app/KoServerConfig.h"
#include "client/KoClientJson.h"
#include "net/KoReplyMap.h"
#include "net/KoReplyType.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTemporaryFile>
#include <QTimer>

#include <memory>

const char* const KoClientHelper::kDownloadSuffix = ".ReRazeDownload";

namespace {

// The folder that will hold path, or its nearest existing ancestor while it is still to be made:
// the one that can tell how the disk takes a name.
QDir existingFolderOf(const QString& path)
{
    QDir dir = QFileInfo(path).absoluteDir();
    while (!dir.exists() && !dir.isRoot())
        dir.setPath(QFileInfo(dir.absolutePath()).absolutePath());
    return dir;
}

// Whether the folder of path can hold path's name. File systems count a name's length apart
// (bytes, UTF-16 units): only the folder itself can tell. A name whose partial file is the name
// itself plus the suffix is vouched for by that file; the others are made once and removed (a
// file made and removed for every download halves small-file speed on ext4).
bool folderHoldsName(const QString& path, const QString& partial)
{
    const QFileInfo target(path);
    if (partial == path + QLatin1String(KoClientHelper::kDownloadSuffix) || target.exists() || target.isSymLink())
        return true;
    QFile probe(existingFolderOf(path).filePath(target.fileName()));
    if (probe.exists())
        return true;
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    probe.close();
    probe.remove();
    return true;
}

// Whether path's name is a partial-file name on its disk: one ending with the suffix, in any
// letter case where the disk does not tell case apart (a USB drive's). Every file at such a name
// is then an unfinished download, never another's finished one.
bool isPartialName(const QString& path)
{
    const QString suffix = QLatin1String(KoClientHelper::kDownloadSuffix);
    if (path.endsWith(suffix))
        return true;
    if (!path.endsWith(suffix, Qt::CaseInsensitive))
        return false;
    // Only names of this rare kind ask the folder; one that cannot be asked refuses them.
    QTemporaryFile probe(existingFolderOf(path).filePath(QStringLiteral("XXXXXX") + suffix.toLower()));
    if (!probe.open())
        return true;
    const QString made = probe.fileName();
    return QFileInfo::exists(made.left(made.size() - suffix.size()) + suffix);
}

} // namespace

// What one transfer request carries beside its record's values.
struct KoTransferState {
    // Downloads and thumbnails.
    QPointer<QFile> file;
    QString partialPath;
    qint64 haveRead = 0;      // sent to the phone as the resume point
    qint64 expectedSize = -1; // the file's listed size (-1: unknown)
    // The answer starts the file afresh: the partial file is emptied by its first byte, so an
    // answer that brings none leaves it as it was.
    bool restartPending = false;
    bool answerSeen = false; // a 200 answer's headers were taken and the file opened
    bool failed = false;     // the answer cannot be stored where it belongs
    qint64 received = 0;     // bytes of this answer written
    qint64 resumedAt = 0;    // where the answer's bytes went on from (0: from the start)
    // Progress, at most about ten reports a second; the last one is never dropped.
    qint64 lastProgressMs = -1;
    bool progressPending = false;
    qint64 pendingDone = 0;
    qint64 pendingTotal = 0;
    // Resume query: its own answer goes to the callback it was asked with.
    KoClientHelper::CheckSumCallback checkSum;
    // Uploads: the file's size and where this request's part of it starts.
    qint64 uploadSize = 0;
    qint64 uploadOffset = 0;
    // Streamed upload: whether it may still switch to memory for its tail.
    bool tailSwitch = false;
};

namespace {

using State = std::shared_ptr<KoTransferState>;

const qint64 kCopyChunk = 64 * 1024;
// What the network layer may hold of an answer that we have not taken yet; beyond it the
// connection waits, so a slow disk never turns into memory.
const qint64 kReadBufferBytes = 4 * 1024 * 1024;
const qint64 kProgressIntervalMs = 100;

bool isDownload(int type)
{
    return type == KoClientHelper::TypeDownloadV2 || type == KoClientHelper::TypeDownloadRemote;
}

bool isThumbnail(int type)
{
    return type == KoClientHelper::TypeThumbnailV2 || type == KoClientHelper::TypeThumbnailRemote;
}

bool isStreamedUpload(int type)
{
    return type == KoClientHelper::TypeUploadV2 || type == KoClientHelper::TypeUploadRemote;
}

bool isUpload(int type)
{
    return isStreamedUpload(type) || type == KoClientHelper::TypeUploadShortV2
        || type == KoClientHelper::TypeUploadShortRemote;
}

bool isCheckSum(int type)
{
    return type == KoClientHelper::TypeAskCheckSumV2 || type == KoClientHelper::TypeAskCheckSumRemote;
}

bool isRemote(int type)
{
    return type / 1000 == 203;
}

State stateOf(const KoReplyType* record)
{
    if (!record)
        return State();
    const State* s = std::any_cast<State>(&record->getData());
    return s ? *s : State();
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString base64Of(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toBase64());
}

int httpStatus(QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// Closes at once so that everything written is on disk, and lets the object go later (the
// record that points at it is removed in the same turn).
void releaseFile(QFile* file)
{
    if (!file)
        return;
    if (file->isOpen())
        file->close();
    file->deleteLater();
}

// The file's bytes among those of a multipart body sent so far: the part's head goes before
// them and the closing delimiter ("\r\n--" boundary "--\r\n") after.
qint64 fileBytesSent(qint64 bodySent, qint64 bodyTotal, qint64 partSize)
{
    const qint64 tail = KoNetworkHelper::multipartBoundary().size() + 8;
    const qint64 head = qMax<qint64>(0, bodyTotal - partSize - tail);
    return qBound<qint64>(0, bodySent - head, partSize);
}

} // namespace

void KoClientHelper::limitReadBuffer(int id)
{
    if (QNetworkReply* reply = getReplyMap()->getReplyOf(id))
        reply->setReadBufferSize(kReadBufferBytes);
}

bool KoClientHelper::isTransferType(int type)
{
    return isDownload(type) || isThumbnail(type) || isUpload(type) || isCheckSum(type);
}

KoClientHelper::ResultCallback KoClientHelper::resultSlotOf(int type) const
{
    switch (type) {
    case TypeDownloadV2:
        return m_downloadV2;
    case TypeDownloadRemote:
        return m_downloadRemote;
    case TypeThumbnailV2:
        return m_thumbnailV2;
    case TypeThumbnailRemote:
        return m_thumbnailRemote;
    case TypeUploadV2:
    case TypeUploadShortV2:
        return m_uploadV2;
    case TypeUploadRemote:
    case TypeUploadShortRemote:
        return m_uploadRemote;
    default:
        return ResultCallback();
    }
}

KoClientHelper::ProgressCallback KoClientHelper::progressSlotOf(int type) const
{
    switch (type) {
    case TypeDownloadV2:
        return m_downloadProgressV2;
    case TypeDownloadRemote:
        return m_downloadProgressRemote;
    case TypeUploadV2:
    case TypeUploadShortV2:
        return m_uploadProgressV2;
    case TypeUploadRemote:
    case TypeUploadShortRemote:
        return m_uploadProgressRemote;
    default:
        return ProgressCallback();
    }
}

void KoClientHelper::refuseLater(int type, int id, int code)
{
    // Never inside the request call: the caller may hold locks of its own.
    QTimer::singleShot(0, this, [this, type, id, code]() { callResult(resultSlotOf(type), id, code); });
}

// --- downloads and thumbnails -----------------------------------------------------------

void KoClientHelper::downloadFileV2(int id, QString baseUrl, QString localPath, int category, QString path,
                                    qint64 offset, int csVersion, QString checksum, ResultCallback callback,
                                    ProgressCallback progress, qint64 expectedSize)
{
    Q_UNUSED(offset);
    m_downloadV2 = callback;
    if (progress)
        m_downloadProgressV2 = progress;
    QJsonObject body;
    body.insert(QStringLiteral("category"), category);
    body.insert(QStringLiteral("checksum"), checksum);
    body.insert(QStringLiteral("csVersion"), csVersion);
    body.insert(category == 2 ? QStringLiteral("fileId") : QStringLiteral("path"), path);
    QMap<QString, QString> headers;
    addHeaders(headers);
    startDownload(TypeDownloadV2, id, baseUrl + QStringLiteral("/file/v2/getFile"), body, headers, localPath,
                  expectedSize);
}

void KoClientHelper::downloadFileRemote(int id, int toUid, QString toDeviceId, int toDeviceType, QString localPath,
                                        int category, QString path, qint64 offset, int csVersion, QString checksum,
                                        ResultCallback callback, ProgressCallback progress, qint64 expectedSize)
{
    Q_UNUSED(offset);
    m_downloadRemote = callback;
    if (progress)
        m_downloadProgressRemote = progress;
    QJsonObject body;
    body.insert(QStringLiteral("cmd"), QStringLiteral("getFile"));
    body.insert(QStringLiteral("category"), category);
    body.insert(QStringLiteral("checksum"), checksum);
    body.insert(QStringLiteral("csVersion"), csVersion);
    body.insert(category == 2 ? QStringLiteral("fileId") : QStringLiteral("path"), path);
    QMap<QString, QString> headers;
    addHeadersRemote(headers, toUid, toDeviceId, toDeviceType);
    startDownload(TypeDownloadRemote, id, relayOperationUrl(), body, headers, localPath, expectedSize);
}

void KoClientHelper::startDownload(int type, int id, const QString& url, QJsonObject body,
                                   QMap<QString, QString> headers, const QString& localPath, qint64 expectedSize)
{
    // A name the file system cannot hold would only fail at the rename, after the whole body.
    const QString partial = partialPathOf(localPath);
    const int refusal = localPath.isEmpty()    ? -3
        : isPartialName(localPath)             ? kCodeReservedName
        : !folderHoldsName(localPath, partial) ? kCodeNameNotHeld
                                               : 0;
    if (refusal) {
        refuseLater(type, id, refusal);
        return;
    }

    // Two writers on one partial file would interleave their bytes.
    const QString partialAbs = QFileInfo(partial).absoluteFilePath();
    KoReplyMap* map = getReplyMap();
    for (QNetworkReply* pending : map->replies()) {
        const KoReplyType* other = map->getReplyType(pending);
        const State s = stateOf(other);
        // One that is being reported (and ends with this turn) no longer writes.
        if (!other || !isDownload(other->getType()) || !s || !s->file || other->isCanceled()
            || m_reporting.contains(other))
            continue;
        if (QFileInfo(s->partialPath).absoluteFilePath() == partialAbs) {
            refuseLater(type, id);
            return;
        }
    }
    KoCommonUtil::makeSureParentExist(localPath);

    const QFileInfo info(partial);
    if (info.exists() && !info.isFile()) {
        refuseLater(type, id);
        return;
    }
    const qint64 haveRead = info.exists() ? info.size() : 0;
    auto* file = new QFile(partial, this);
    // Creates an empty partial file, leaves an existing one as it is.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) {
        delete file;
        refuseLater(type, id);
        return;
    }
    file->close();

    body.insert(QStringLiteral("haveRead"), double(haveRead));
    if (!isSafeRequest(url, headers)) {
        delete file;
        refuseLater(type, id);
        return;
    }

    auto state = std::make_shared<KoTransferState>();
    state->file = file;
    state->partialPath = partial;
    state->haveRead = haveRead;
    state->expectedSize = expectedSize;
    auto* record = new KoReplyType(type);
    record->setId(id);
    record->addValue(file);
    record->addValue(localPath);
    record->setData(State(state));
    record->setDdl(KoServerConfig::requestDeadlineMs());
    downloadHttpData(body, url, record, &headers);
    limitReadBuffer(id);
}

void KoClientHelper::getThumbnailV2(int id, QString baseUrl, QString localPath, int category, QString path,
                                    ResultCallback callback)
{
    m_thumbnailV2 = callback;
    QJsonObject body;
    body.insert(QStringLiteral("category"), category);
    body.insert(category == 2 ? QStringLiteral("fileId") : QStringLiteral("path"), path);
    QMap<QString, QString> headers;
    addHeaders(headers);
    startThumbnail(TypeThumbnailV2, id, baseUrl + QStringLiteral("/file/v2/getThumbnail"), body, headers, localPath);
}

void KoClientHelper::getThumbnailRemote(int id, int toUid, QString toDeviceId, int toDeviceType, QString localPath,
                                        int category, QString path, ResultCallback callback)
{
    m_thumbnailRemote = callback;
    QJsonObject body;
    body.insert(QStringLiteral("cmd"), QStringLiteral("getThumbnail"));
    body.insert(QStringLiteral("category"), category);
    body.insert(category == 2 ? QStringLiteral("fileId") : QStringLiteral("path"), path);
    QMap<QString, QString> headers;
    addHeadersRemote(headers, toUid, toDeviceId, toDeviceType);
    startThumbnail(TypeThumbnailRemote, id, relayOperationUrl(), body, headers, localPath);
}

void KoClientHelper::startThumbnail(int type, int id, const QString& url, QJsonObject body,
                                    QMap<QString, QString> headers, const QString& localPath)
{
    if (localPath.isEmpty() || !isSafeRequest(url, headers)) {
        refuseLater(type, id);
        return;
    }
    KoCommonUtil::makeSureParentExist(localPath);
    auto* file = new QFile(localPath, this);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        delete file;
        refuseLater(type, id);
        return;
    }
    auto state = std::make_shared<KoTransferState>();
    state->file = file;
    state->answerSeen = false;
    auto* record = new KoReplyType(type);
    record->setId(id);
    record->addValue(file);
    record->setData(State(state));
    record->setDdl(KoServerConfig::requestDeadlineMs());
    downloadHttpData(body, url, record, &headers);
    limitReadBuffer(id);
}

void KoClientHelper::cancelDownloadFileV2(int id, ResultCallback)
{
    cancelDownload(id, true);
}

void KoClientHelper::cancelDownloadFileRemote(int id, ResultCallback)
{
    cancelDownload(id, true);
}

void KoClientHelper::pauseDownloadFileV2(int id, ResultCallback)
{
    cancelDownload(id, false);
}

void KoClientHelper::pauseDownloadFileRemote(int id, ResultCallback)
{
    cancelDownload(id, false);
}

void KoClientHelper::cancelDownload(int id, bool dropPartial)
{
    KoReplyMap* map = getReplyMap();
    QNetworkReply* reply = map->getReplyOf(id);
    KoReplyType* record = reply ? map->getReplyType(reply) : nullptr;
    // Only a download of this id; any other request under it has no file to drop.
    if (!record || !(isDownload(record->getType()) || isThumbnail(record->getType())) || m_reporting.contains(record))
        return;
    record->cancel();
    const State state = stateOf(record);
    if (state && state->file && state->file->isOpen())
        state->file->close();
    if (dropPartial && state && isDownload(record->getType()))
        QFile::remove(state->partialPath);
    // Finishes the reply at once; the finishing step reports 1.
    reply->abort();
}

void KoClientHelper::dataReady(QNetworkReply* reply)
{
    if (m_closing || !reply)
        return;
    KoReplyType* record = getReplyMap()->getReplyType(reply);
    if (!record || m_reporting.contains(record) || record->isCanceled())
        return;
    const int type = record->getType();
    if (!isDownload(type) && !isThumbnail(type))
        return;
    // Data flowing keeps a download alive, whether or not the answer told its length.
    if (isDownload(type))
        record->setDdl(KoServerConfig::requestDeadlineMs());
    writeArrived(record, reply);
}

void KoClientHelper::transferDownloadProgress(QNetworkReply* reply, qint64 bytesReceived, qint64 bytesTotal)
{
    if (m_closing || !reply)
        return;
    KoReplyType* record = getReplyMap()->getReplyType(reply);
    if (!record || record->getType() < 1 || record->isCanceled() || m_reporting.contains(record))
        return;
    const int type = record->getType();
    if (isDownload(type)) {
        record->setDdl(KoServerConfig::requestDeadlineMs());
        writeArrived(record, reply);
        if (getReplyMap()->getReplyType(reply) != record)
            return;
        deliverProgress(record, bytesReceived, bytesTotal, false);
    } else if (isThumbnail(type)) {
        writeArrived(record, reply);
    }
}

// Takes a 200 answer's resume data and opens the file where the answer's bytes belong.
// False when nothing of this answer may be written.
bool KoClientHelper::beginAnswer(KoReplyType* record, QNetworkReply* reply)
{
    const State state = stateOf(record);
    if (!state || state->failed)
        return false;
    if (state->answerSeen)
        return true;
    // An error answer never touches the file.
    if (reply->error() != QNetworkReply::NoError || httpStatus(reply) != 200)
        return false;
    state->answerSeen = true;
    QFile* file = state->file;
    if (!file) {
        state->failed = true;
        return false;
    }
    if (isThumbnail(record->getType()))
        return file->isOpen();

    bool offsetOk = false;
    const qint64 phoneOffset = reply->rawHeader("offset").trimmed().toLongLong(&offsetOk);
    bool validOk = false;
    const int valid = reply->rawHeader("valid").trimmed().toInt(&validOk);
    qint64 resumeAt = 0;
    if (validOk && valid == 1) {
        resumeAt = state->haveRead;
        if (reply->hasRawHeader("offset")) {
            // The phone goes on from its own count: from an earlier point the partial file is cut
            // back to it; a later point would leave a hole, so the answer cannot be used.
            if (!offsetOk || phoneOffset < 0 || phoneOffset > state->haveRead) {
                state->failed = true;
                return false;
            }
            resumeAt = phoneOffset;
        }
        // The rest must end where the listed file ends: a phone that sends the whole file
        // after agreeing to go on would have it appended to what is held. Nothing held can be
        // trusted any more, so the next start asks from zero.
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (resumeAt > 0 && state->expectedSize > 0 && length.isValid()
            && resumeAt + length.toLongLong() != state->expectedSize) {
            state->failed = true;
            file->resize(0);
            return false;
        }
    }
    state->resumedAt = resumeAt;
    bool opened = false;
    if (resumeAt == 0) {
        opened = file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
        // Only old bytes need emptying: cutting an empty file would make the file system write
        // it out at its close, once per file of a folder.
        state->restartPending = opened && file->size() > 0;
    } else if (QFileInfo(state->partialPath).size() >= resumeAt && file->resize(resumeAt)) {
        opened = file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    }
    if (!opened) {
        state->failed = true;
        return false;
    }
    // Told again now that the answer is on its way: a limit set before the connection took
    // the request may not have reached it.
    reply->setReadBufferSize(0);
    reply->setReadBufferSize(kReadBufferBytes);

    // Once per answer. Its receiver may cancel the download, which ends the record at once.
    const bool hasResumeData = reply->hasRawHeader("offset") && reply->hasRawHeader("csVersion")
        && reply->hasRawHeader("checksum");
    if (hasResumeData) {
        emit uploadConvertInfo(record->getId(), offsetOk ? phoneOffset : 0,
                               reply->rawHeader("csVersion").trimmed().toInt(),
                               QString::fromUtf8(reply->rawHeader("checksum")));
    } else {
        emit uploadConvertInfo(record->getId(), 0, -1, QString());
    }
    return getReplyMap()->getReplyType(reply) == record && !record->isCanceled();
}

// Copies what has arrived into the file.
void KoClientHelper::writeArrived(KoReplyType* record, QNetworkReply* reply)
{
    const State state = stateOf(record);
    if (!state || state->failed)
        return;
    // After this call the record may be gone (cancelled by a signal's receiver).
    if (!beginAnswer(record, reply)) {
        if (state->failed && reply->isRunning()) {
            // Nothing of it can be used: stop receiving it (on a later turn, the reply is
            // in the middle of telling us about its data).
            QMetaObject::invokeMethod(reply, "abort", Qt::QueuedConnection);
        }
        return;
    }
    QFile* file = state->file;
    if (!file || !file->isOpen())
        return;
    while (reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(kCopyChunk);
        if (chunk.isEmpty())
            break;
        if (state->restartPending) {
            state->restartPending = false;
            if (!file->resize(0)) {
                state->failed = true;
                file->close();
                if (reply->isRunning())
                    QMetaObject::invokeMethod(reply, "abort", Qt::QueuedConnection);
                return;
            }
        }
        if (file->write(chunk) != chunk.size()) {
            state->failed = true;
            file->close();
            if (reply->isRunning())
                QMetaObject::invokeMethod(reply, "abort", Qt::QueuedConnection);
            return;
        }
        state->received += chunk.size();
    }
}

int KoClientHelper::handleDownloadFile(QFile* file, KoReplyType* record, QNetworkReply* reply)
{
    const State state = stateOf(record);
    const int type = record->getType();
    if (record->isCanceled() || !state) {
        releaseFile(file);
        return 1;
    }
    const bool ok = reply->error() == QNetworkReply::NoError && httpStatus(reply) == 200;
    // Bytes that came before a broken connection are still the file's own: keep them for the
    // resume. An error status writes nothing (beginAnswer refuses it).
    writeArrived(record, reply);
    if (file && file->isOpen())
        file->close();
    if (!ok || state->failed || !file) {
        releaseFile(file);
        // A phone that stopped sending is retried like one that never answered.
        return reply->error() == QNetworkReply::TimeoutError ? -1 : 1;
    }

    const QVariant lengthHeader = reply->header(QNetworkRequest::ContentLengthHeader);
    const bool hasLength = lengthHeader.isValid();
    const qint64 length = lengthHeader.toLongLong();
    if (hasLength && state->received != length) {
        releaseFile(file);
        return 1;
    }
    if (isThumbnail(type)) {
        const qint64 size = QFileInfo(file->fileName()).size();
        releaseFile(file);
        return ((hasLength && length == 0) || (!hasLength && size < 1)) ? -4 : 0;
    }
    const qint64 expected = state->expectedSize;
    // Nothing arrived of an answer that starts afresh: the file is empty only if it is meant to be.
    if (state->restartPending && expected <= 0) {
        state->restartPending = false;
        QFile::resize(file->fileName(), 0);
    }
    const qint64 size = QFileInfo(file->fileName()).size();
    // A rest without a length that ran past the listed end was not the rest of what is held.
    if (state->resumedAt > 0 && expected > 0 && size > expected) {
        QFile::resize(file->fileName(), 0);
        releaseFile(file);
        return 1;
    }
    // Without a length the end of the body may be a cut connection: the listed size decides.
    // An answer that brings no bytes completes only a file that is already whole. A longer file
    // is taken, as it may have grown since it was listed.
    if (expected >= 0 && size < expected && (!hasLength || state->received == 0)) {
        releaseFile(file);
        return 1;
    }
    // A declared empty body is a complete answer (an empty file, or nothing left after the
    // resume point); an answer that says nothing and brings nothing is not.
    if (expected < 0 && !hasLength && state->received == 0 && size < 1) {
        releaseFile(file);
        return -4;
    }
    const QString target = record->getStringValue(1);
    const QString scratch = QString::number(record->getId()) + QStringLiteral(".KoTmpName");
    const bool renamed = KoCommonUtil::renameKoDownloadSuffixFile(file, target, scratch);
    releaseFile(file);
    return renamed ? 0 : 1;
}

// --- uploads -------------------------------------------------------------------------------

void KoClientHelper::uploadFileAskCheckSumV2(int id, QString baseUrl, QString localPath, int category, QString path,
                                             QString uploadFid, CheckSumCallback callback)
{
    QMap<QString, QString> headers;
    addHeaders(headers);
    auto* record = new KoReplyType(TypeAskCheckSumV2);
    record->setId(id);
    record->addValue(baseUrl);
    record->addValue(uploadFid);
    record->addValue(localPath);
    record->addValue(category);
    record->addValue(path);
    sendCheckSum(TypeAskCheckSumV2, id, baseUrl + QStringLiteral("/file/v2/checksum"), localPath, category, path,
                 uploadFid, headers, record, callback);
}

void KoClientHelper::uploadFileAskCheckSumRemote(int id, int toUid, QString toDeviceId, int toDeviceType,
                                                 QString localPath, int category, QString path, QString uploadFid,
                                                 CheckSumCallback callback)
{
    QMap<QString, QString> headers;
    addHeadersRemote(headers, toUid, toDeviceId, toDeviceType);
    auto* record = new KoReplyType(TypeAskCheckSumRemote);
    record->setId(id);
    record->addValue(KoServerConfig::relayBaseUrl());
    record->addValue(toUid);
    record->addValue(toDeviceId);
    record->addValue(toDeviceType);
    record->addValue(uploadFid);
    record->addValue(localPath);
    record->addValue(category);
    record->addValue(path);
    sendCheckSum(TypeAskCheckSumRemote, id, relayOperationUrl(), localPath, category, path, uploadFid, headers,
                 record, callback);
}

void KoClientHelper::sendCheckSum(int type, int id, const QString& url, const QString& localPath, int category,
                                  const QString& path, const QString& uploadFid, QMap<QString, QString> headers,
                                  KoReplyType* record, CheckSumCallback callback)
{
    Q_UNUSED(type);
    QJsonObject body;
    body.insert(QStringLiteral("cmd"), QStringLiteral("askChecksum"));
    body.insert(QStringLiteral("name"), QFileInfo(localPath).fileName());
    body.insert(QStringLiteral("category"), category);
    body.insert(QStringLiteral("path"), path);
    body.insert(QStringLiteral("uploadFid"), uploadFid);
    if (!isSafeRequest(url, headers)) {
        delete record;
        QTimer::singleShot(0, this, [callback, id]() {
            if (callback)
                callback(id, -3, -1, QString(), 0);
        });
        return;
    }
    auto state = std::make_shared<KoTransferState>();
    state->checkSum = std::move(callback);
    record->setData(State(state));
    record->setDdl(KoServerConfig::requestDeadlineMs());
    postHttpData(body, url, record, &headers);
}

void KoClientHelper::uploadFileV2(int id, QString baseUrl, QString localPath, int category, QString path,
                                  qint64 offset, int valid, int csVersion, QString checksum, QString uploadFid,
                                  ResultCallback callback, ProgressCallback progress)
{
    m_uploadV2 = callback;
    if (progress)
        m_uploadProgressV2 = progress;
    startUploadV2(TypeUploadV2, id, baseUrl, localPath, category, path, offset, valid, csVersion, checksum, uploadFid,
                  true);
}

void KoClientHelper::uploadShortFileV2(int id, QString baseUrl, QString localPath, int category, QString path,
                                       qint64 offset, int valid, int csVersion, QString checksum, QString uploadFid,
                                       ResultCallback callback, ProgressCallback progress)
{
    m_uploadV2 = callback;
    if (progress)
        m_uploadProgressV2 = progress;
    startUploadV2(TypeUploadShortV2, id, baseUrl, localPath, category, path, offset, valid, csVersion, checksum,
                  uploadFid, false);
}

void KoClientHelper::uploadFileRemote(int id, int toUid, QString toDeviceId, int toDeviceType, QString localPath,
                                      QString name, int category, QString path, qint64 offset, int valid,
                                      int csVersion, QString checksum, QString uploadFid, ResultCallback callback,
                                      ProgressCallback progress)
{
    m_uploadRemote = callback;
    if (progress)
        m_uploadProgressRemote = progress;
    startUploadRemote(TypeUploadRemote, id, toUid, toDeviceId, toDeviceType, localPath, name, category, path, offset,
                      valid, csVersion, checksum, uploadFid, true);
}

void KoClientHelper::uploadShortFileRemote(int id, int toUid, QString toDeviceId, int toDeviceType, QString localPath,
                                           QString name, int category, QString path, qint64 offset, int valid,
                                           int csVersion, QString checksum, QString uploadFid,
                                           ResultCallback callback, ProgressCallback progress)
{
    m_uploadRemote = callback;
    if (progress)
        m_uploadProgressRemote = progress;
    startUploadRemote(TypeUploadShortRemote, id, toUid, toDeviceId, toDeviceType, localPath, name, category, path,
                      offset, valid, csVersion, checksum, uploadFid, false);
}

void KoClientHelper::startUploadV2(int type, int id, QString baseUrl, QString localPath, int category, QString path,
                                   qint64 offset, int valid, int csVersion, QString checksum, QString uploadFid,
                                   bool tailSwitch)
{
    const qint64 size = QFileInfo(localPath).size();
    // The part is sent from here (see uploadHttpFile); the header must say the same.
    offset = qBound<qint64>(0, offset, size);
    // From the start the phone must drop what it holds: "valid" 1 would have it append.
    if (offset == 0)
        valid = 0;
    QMap<QString, QString> headers;
    addHeaders(headers);
    headers.insert(QStringLiteral("category"), QString::number(category));
    headers.insert(QStringLiteral("path"), base64Of(path));
    headers.insert(QStringLiteral("size"), QString::number(size));
    headers.insert(QStringLiteral("offset"), QString::number(offset));
    headers.insert(QStringLiteral("checksum"), checksum);
    headers.insert(QStringLiteral("valid"), QString::number(valid));
    headers.insert(QStringLiteral("csVersion"), QString::number(csVersion));
    headers.insert(QStringLiteral("uploadFid"), uploadFid);

    auto* record = new KoReplyType(type);
    record->setId(id);
    record->addValue(baseUrl);
    if (type == TypeUploadV2) {
        record->addValue(uploadFid);
        record->addValue(localPath);
        record->addValue(category);
        record->addValue(path);
    }
    sendUpload(type, id, baseUrl + QStringLiteral("/file/v2/uploadFile"), headers, localPath, offset, size, record,
               tailSwitch);
}

void KoClientHelper::startUploadRemote(int type, int id, int toUid, QString toDeviceId, int toDeviceType,
                                       QString localPath, QString name, int category, QString path, qint64 offset,
                                       int valid, int csVersion, QString checksum, QString uploadFid, bool tailSwitch)
{
    const QFileInfo info(localPath);
    if (!info.isFile()) {
        refuseLater(type, id);
        return;
    }
    const qint64 size = info.size();
    offset = qBound<qint64>(0, offset, size);
    // From the start the phone must drop what it holds: "valid" 1 would have it append.
    if (offset == 0)
        valid = 0;
    QMap<QString, QString> headers;
    addHeadersRemote(headers, toUid, toDeviceId, toDeviceType);
    headers.insert(QStringLiteral("cmd"), QStringLiteral("uploadFile"));
    headers.insert(QStringLiteral("category"), QString::number(category));
    headers.insert(QStringLiteral("path"), base64Of(path));
    headers.insert(QStringLiteral("name"), base64Of(name));
    headers.insert(QStringLiteral("size"), QString::number(size));
    headers.insert(QStringLiteral("offset"), QString::number(offset));
    headers.insert(QStringLiteral("checksum"), checksum);
    headers.insert(QStringLiteral("valid"), QString::number(valid));
    headers.insert(QStringLiteral("csVersion"), QString::number(csVersion));
    headers.insert(QStringLiteral("uploadFid"), uploadFid);

    auto* record = new KoReplyType(type);
    record->setId(id);
    record->addValue(KoServerConfig::relayBaseUrl());
    if (type == TypeUploadRemote) {
        record->addValue(toUid);
        record->addValue(toDeviceId);
        record->addValue(toDeviceType);
        record->addValue(uploadFid);
        record->addValue(localPath);
        record->addValue(category);
        record->addValue(path);
    }
    sendUpload(type, id, KoServerConfig::relayBaseUrl() + QStringLiteral("reraze/file"), headers, localPath, offset,
               size, record, tailSwitch);
}

void KoClientHelper::sendUpload(int type, int id, const QString& url, QMap<QString, QString> headers,
                                const QString& localPath, qint64 offset, qint64 size, KoReplyType* record,
                                bool tailSwitch)
{
    if (!isSafeRequest(url, headers)) {
        delete record;
        refuseLater(type, id);
        return;
    }
    auto state = std::make_shared<KoTransferState>();
    state->uploadSize = size;
    state->uploadOffset = offset;
    state->tailSwitch = tailSwitch && isStreamedUpload(type);
    record->setData(State(state));
    record->setDdl(KoServerConfig::requestDeadlineMs());
    if (isStreamedUpload(type))
        uploadHttpFile(localPath, url, record, &headers, offset);
    else
        uploadShortHttpFile(localPath, url, record, &headers, offset);
}

void KoClientHelper::transferUploadProgress(QNetworkReply* reply, qint64 bytesSent, qint64 bytesTotal)
{
    if (m_closing || !reply)
        return;
    KoReplyType* record = getReplyMap()->getReplyType(reply);
    if (!record || record->getType() < 1 || record->isCanceled() || m_reporting.contains(record))
        return;
    const int type = record->getType();
    if (!isUpload(type))
        return;
    const State state = stateOf(record);
    if (!state)
        return;
    record->setDdl(KoServerConfig::requestDeadlineMs());
    // Progress counts the file's bytes of this request only, from its offset: the multipart
    // framing around them is not the file's.
    const qint64 partSize = qMax<qint64>(0, state->uploadSize - state->uploadOffset);
    const qint64 fileSent = fileBytesSent(bytesSent, bytesTotal, partSize);
    deliverProgress(record, fileSent, partSize, false);
    // The progress callback may have cancelled the upload.
    if (getReplyMap()->getReplyType(reply) != record)
        return;
    if (!isStreamedUpload(type) || !state->tailSwitch || record->isCanceled())
        return;
    if (partSize - fileSent > kTailSwitchBytes)
        return;
    switchUploadTail(reply, record);
}

void KoClientHelper::switchUploadTail(QNetworkReply* reply, KoReplyType* record)
{
    const int type = record->getType();
    const int id = record->getId();
    const bool remote = isRemote(type);
    const QString baseUrl = record->getStringValue(0);
    const int toUid = record->getIntValue(1);
    const QString toDeviceId = record->getStringValue(2);
    const int toDeviceType = record->getIntValue(3);
    const QString uploadFid = record->getStringValue(remote ? 4 : 1);
    const QString localPath = record->getStringValue(remote ? 5 : 2);
    const int category = record->getIntValue(remote ? 6 : 3);
    const QString path = record->getStringValue(remote ? 7 : 4);

    // Our own abort: the stream ends without a result; the record goes with it. The phone is
    // asked once it has read the cut stream (its count would miss what is still on the way).
    // A cancel meanwhile drops the question.
    record->cancel();
    record = nullptr;
    m_tailAskPending.insert(id);

    QPointer<KoClientHelper> self(this);
    auto resume = [self, remote, baseUrl, toUid, toDeviceId, toDeviceType, uploadFid, localPath, category,
                   path](int id, int code, int csVersion, QString checksum, qint64 haveRead) {
        if (!self)
            return;
        const int resultType = remote ? TypeUploadRemote : TypeUploadV2;
        if (code != 0) {
            callResult(self->resultSlotOf(resultType), id, code);
            return;
        }
        // The phone's count is not trusted: the checkpoint is where the rest really starts.
        const qint64 size = QFileInfo(localPath).size();
        const qint64 from = qBound<qint64>(0, haveRead, size);
        emit self->uploadConvertInfo(id, from, -1, QString());
        if (!self)
            return;
        const qint64 rest = size - from;
        // A phone that kept much less than was sent gets the rest streamed again (without a
        // second switch), so memory never holds more than the tail.
        const bool inMemory = rest <= kTailMemoryLimit;
        const QString name = QFileInfo(localPath).fileName();
        if (remote) {
            self->startUploadRemote(inMemory ? TypeUploadShortRemote : TypeUploadRemote, id, toUid, toDeviceId,
                                    toDeviceType, localPath, name, category, path, from, 1, csVersion, checksum,
                                    uploadFid, false);
        } else {
            self->startUploadV2(inMemory ? TypeUploadShortV2 : TypeUploadV2, id, baseUrl, localPath, category, path,
                                from, 1, csVersion, checksum, uploadFid, false);
        }
    };
    abortUpload(reply, [=] {
        if (!self || !self->m_tailAskPending.remove(id))
            return;
        if (remote) {
            self->uploadFileAskCheckSumRemote(id, toUid, toDeviceId, toDeviceType, localPath, category, path,
                                              uploadFid, resume);
        } else {
            self->uploadFileAskCheckSumV2(id, baseUrl, localPath, category, path, uploadFid, resume);
        }
    });
}

std::function<void()> KoClientHelper::earlyUploadCheck(const KoReplyType* record)
{
    const int type = record->getType();
    const int id = record->getId();
    QPointer<KoClientHelper> self(this);
    if (type != TypeUploadV2) {
        return [self, type, id] {
            if (self)
                callResult(self->resultSlotOf(type), id, -1);
        };
    }
    const QString baseUrl = record->getStringValue(0);
    const QString uploadFid = record->getStringValue(1);
    const QString localPath = record->getStringValue(2);
    const int category = record->getIntValue(3);
    const QString path = record->getStringValue(4);
    return [self, type, id, baseUrl, uploadFid, localPath, category, path] {
        if (!self)
            return;
        auto answered = [self, type, localPath](int id, int code, int, QString, qint64 haveRead) {
            if (!self)
                return;
            // Anything less fails, and the retry goes on from the phone's count.
            const bool whole = code == 0 && haveRead >= QFileInfo(localPath).size();
            callResult(self->resultSlotOf(type), id, whole ? 0 : -1);
        };
        self->uploadFileAskCheckSumV2(id, baseUrl, localPath, category, path, uploadFid, answered);
    };
}

void KoClientHelper::cancelUploadFileV2(int id, ResultCallback)
{
    cancelUpload(id);
}

void KoClientHelper::cancelUploadFileRemote(int id, ResultCallback)
{
    cancelUpload(id);
}

void KoClientHelper::cancelUpload(int id)
{
    if (m_tailAskPending.remove(id))
        return;
    KoReplyMap* map = getReplyMap();
    QNetworkReply* reply = map->getReplyOf(id);
    KoReplyType* record = reply ? map->getReplyType(reply) : nullptr;
    if (!record || !(isUpload(record->getType()) || isCheckSum(record->getType())) || m_reporting.contains(record))
        return;
    record->cancel();
    reply->abort();
}

// --- progress -----------------------------------------------------------------------------

void KoClientHelper::deliverProgress(KoReplyType* record, qint64 done, qint64 total, bool force)
{
    const State state = stateOf(record);
    if (!state)
        return;
    const qint64 now = nowMs();
    const bool last = total > 0 && done >= total;
    if (!force && !last && state->lastProgressMs >= 0 && now - state->lastProgressMs < kProgressIntervalMs) {
        state->progressPending = true;
        state->pendingDone = done;
        state->pendingTotal = total;
        return;
    }
    state->progressPending = false;
    state->lastProgressMs = now;
    const ProgressCallback cb = progressSlotOf(record->getType());
    if (cb)
        cb(record->getId(), done, total);
}

void KoClientHelper::flushProgress(KoReplyType* record)
{
    const State state = stateOf(record);
    if (state && state->progressPending)
        deliverProgress(record, state->pendingDone, state->pendingTotal, true);
}

// --- end of a transfer request ---------------------------------------------------------------

void KoClientHelper::finishTransfer(QNetworkReply* reply, KoReplyType* record)
{
    KoReplyMap* map = getReplyMap();
    const int id = record->getId();
    const int type = record->getType();
    const State state = stateOf(record);
    record->setDdl(0);
    m_reporting.insert(record);

    if (isDownload(type) || isThumbnail(type)) {
        const bool canceled = record->isCanceled();
        const int result = handleDownloadFile(state ? state->file.data() : nullptr, record, reply);
        if (!canceled && result == 0)
            flushProgress(record);
        m_reporting.remove(record);
        // Gone before the caller hears of it, so that it may start the same download again.
        map->remove(reply);
        reply->deleteLater();
        callResult(resultSlotOf(type), id, result);
        return;
    }

    const bool own = record->isCanceled();
    QJsonObject answer;
    int status = 0;
    std::function<void()> confirmEarly;
    if (!own) {
        answer = KoCommonUtil::byteArrayToJson(KoCommonUtil::readAll(reply));
        status = httpStatus(reply);
        if (isUpload(type) && answeredBeforeBodySent(reply))
            confirmEarly = earlyUploadCheck(record);
        flushProgress(record);
    }
    m_reporting.remove(record);
    map->remove(reply);
    reply->deleteLater();
    // Aborted by this client (tail switch, cancel): no result.
    if (own)
        return;
    // A success told before the whole body went out proves nothing: the phone says what it holds.
    if (confirmEarly && !answer.isEmpty() && KoClientJson::readCode(answer) == 0) {
        confirmEarly();
        return;
    }

    // A connection that broke (also under a stream) is a failure to retry, never silence.
    const int emptyCode = (status == 200 || status == 0) ? -1 : -2;
    if (isCheckSum(type)) {
        const CheckSumCallback cb = state ? state->checkSum : CheckSumCallback();
        if (!cb)
            return;
        if (answer.isEmpty()) {
            cb(id, emptyCode, -1, QString(), 0);
            return;
        }
        cb(id, KoClientJson::readCode(answer), KoClientJson::readInt(answer.value(QStringLiteral("csVersion")), -1),
           KoClientJson::readString(answer.value(QStringLiteral("checksum"))),
           KoClientJson::readInt64(answer.value(QStringLiteral("haveRead"))));
        return;
    }
    callResult(resultSlotOf(type), id, answer.isEmpty() ? emptyCode : KoClientJson::readCode(answer));
}

void KoClientHelper::timeoutTransfer(KoReplyType* record)
{
    const int id = record->getId();
    const int type = record->getType();
    const State state = stateOf(record);
    if (isDownload(type) || isThumbnail(type)) {
        // The partial file stays for the next start.
        if (state) {
            releaseFile(state->file);
            state->file = nullptr;
        }
        callResult(resultSlotOf(type), id, -1);
        return;
    }
    if (isCheckSum(type)) {
        const CheckSumCallback cb = state ? state->checkSum : CheckSumCallback();
        if (cb)
            cb(id, -1, -1, QString(), 0);
        return;
    }
    callResult(resultSlotOf(type), id, -1);
}
