// Transfers of the fake phone: downloads with resume, thumbnails, uploads kept per upload id
// so that an interrupted upload can go on where the phone's copy ends.

#include "support/KoFakePhone.h"

#include "app/KoCheckSumUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace {

const qint64 kCopyBlock = 1024 * 1024;
const qint64 kHeadScan = 64 * 1024;

QJsonObject codeOnly(int code)
{
    return QJsonObject{{QStringLiteral("code"), code}};
}

KoTestResponse jsonAnswer(const QJsonObject& object, int status = 200)
{
    return KoTestResponse::json(object, status);
}

bool plainName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

QString fromBase64(const QByteArray& value)
{
    return QString::fromUtf8(QByteArray::fromBase64(value));
}

// Where the one file part of an upload body lies: [start, start + length) of the body.
struct PartRange {
    bool ok = false;
    qint64 start = 0;
    qint64 length = 0;
    QString filename;
};

qint64 bodySizeOf(const KoFakeCall& call)
{
    return call.bodyFile.isEmpty() ? call.rawBody.size() : QFileInfo(call.bodyFile).size();
}

QByteArray bodyRead(const KoFakeCall& call, qint64 offset, qint64 length)
{
    if (call.bodyFile.isEmpty())
        return call.rawBody.mid(int(offset), int(length));
    QFile file(call.bodyFile);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return QByteArray();
    return file.read(length);
}

// A body cut short (the client went away) still holds the part's first bytes; a tail that
// could be the start of the closing delimiter is not counted as data.
PartRange partOf(const KoFakeCall& call, bool complete)
{
    PartRange range;
    const QByteArray contentType = call.header("content-type");
    const int at = contentType.indexOf("boundary=");
    if (at < 0)
        return range;
    QByteArray boundary = contentType.mid(at + 9).trimmed();
    if (boundary.startsWith('"') && boundary.endsWith('"') && boundary.size() >= 2)
        boundary = boundary.mid(1, boundary.size() - 2);
    const qint64 total = bodySizeOf(call);
    const QByteArray head = bodyRead(call, 0, qMin(total, kHeadScan));
    const QByteArray opening = "--" + boundary + "\r\n";
    if (!head.startsWith(opening))
        return range;
    const int headersEnd = head.indexOf("\r\n\r\n", opening.size());
    if (headersEnd < 0)
        return range;
    const QByteArray partHeaders = head.mid(opening.size(), headersEnd - opening.size());
    const int fn = partHeaders.indexOf("filename=\"");
    if (fn >= 0) {
        const int end = partHeaders.indexOf('"', fn + 10);
        if (end > fn)
            range.filename = QString::fromUtf8(partHeaders.mid(fn + 10, end - fn - 10));
    }
    range.start = headersEnd + 4;
    const QByteArray closing = "\r\n--" + boundary + "--\r\n";
    if (complete) {
        if (total - range.start < closing.size() || bodyRead(call, total - closing.size(), closing.size()) != closing)
            return range;
        range.length = total - range.start - closing.size();
    } else {
        qint64 length = qMax<qint64>(0, total - range.start);
        const QByteArray tail = bodyRead(call, range.start + qMax<qint64>(0, length - closing.size()),
                                         qMin<qint64>(length, closing.size()));
        for (int keep = qMin(tail.size(), closing.size() - 1); keep > 0; --keep) {
            if (tail.endsWith(closing.left(keep))) {
                length -= keep;
                break;
            }
        }
        range.length = length;
    }
    range.ok = true;
    return range;
}

bool copyRange(const KoFakeCall& call, qint64 from, qint64 length, QFile* to)
{
    if (call.bodyFile.isEmpty())
        return to->write(call.rawBody.constData() + from, length) == length;
    QFile in(call.bodyFile);
    if (!in.open(QIODevice::ReadOnly) || !in.seek(from))
        return false;
    while (length > 0) {
        const QByteArray block = in.read(qMin(length, kCopyBlock));
        if (block.isEmpty() || to->write(block) != block.size())
            return false;
        length -= block.size();
    }
    return true;
}

} // namespace

bool KoFakePhone::isTransferOp(const QString& op)
{
    return op == QLatin1String("getFile") || op == QLatin1String("getThumbnail") || op == QLatin1String("uploadFile")
        || op == QLatin1String("checksum") || op == QLatin1String("askChecksum");
}

void KoFakePhone::queueDownloadFault(const KoTestResponse& fault)
{
    m_downloadFaults.append(fault);
}

qint64 KoFakePhone::uploadHeld(const QString& uploadFid) const
{
    const auto it = m_uploads.constFind(uploadFid);
    return it == m_uploads.constEnd() ? -1 : it->held;
}

KoTestResponse KoFakePhone::serveTransfer(const KoFakeCall& call)
{
    if (call.op == QLatin1String("getFile"))
        return serveDownload(call, false);
    if (call.op == QLatin1String("getThumbnail"))
        return serveDownload(call, true);
    if (call.op == QLatin1String("uploadFile"))
        return serveUpload(call);
    return jsonAnswer(serveCheckSum(call));
}

KoTestResponse KoFakePhone::serveDownload(const KoFakeCall& call, bool thumbnail)
{
    if (call.body.isEmpty())
        return jsonAnswer(codeOnly(CodeBadRequest), 400);
    const int category = call.body.value(QStringLiteral("category")).toInt(-1);
    const QString local = category == 2 ? photoPath(call.body.value(QStringLiteral("fileId")).toString())
                                        : localPath(category, call.body.value(QStringLiteral("path")).toString());
    if (local.isEmpty())
        return jsonAnswer(codeOnly(category == 2 ? CodeNotFound : CodeNoPermission), 403);
    const QFileInfo info(local);
    if (!info.isFile())
        return jsonAnswer(codeOnly(CodeNotFound), 404);

    KoTestResponse response;
    response.status = 200;
    response.bodyFile = local;
    response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/octet-stream")));
    if (thumbnail)
        return response;

    const qint64 size = info.size();
    const qint64 haveRead = qint64(call.body.value(QStringLiteral("haveRead")).toDouble());
    const QString asked = call.body.value(QStringLiteral("checksum")).toString();
    const QString current = KoCheckSumUtil::getCurrentVersionFileCheckSum(local);
    // The client's copy is continued only while it is a beginning of this very file.
    bool resume = !m_resumeRefused && haveRead > 0 && haveRead <= size && (asked.isEmpty() || asked == current);
    qint64 from = resume ? haveRead : 0;
    if (m_resumeOffset >= 0) {
        resume = true;
        from = qMin(m_resumeOffset, size);
    }
    response.bodyFileOffset = from;
    response.headers.append(qMakePair(QByteArray("valid"), QByteArray(resume ? "1" : "0")));
    response.headers.append(qMakePair(QByteArray("offset"), QByteArray::number(from)));
    response.headers.append(
        qMakePair(QByteArray("csVersion"), QByteArray::number(KoCheckSumUtil::getCurrentVersion())));
    response.headers.append(qMakePair(QByteArray("checksum"), current.toUtf8()));
    if (!m_downloadFaults.isEmpty()) {
        const KoTestResponse fault = m_downloadFaults.takeFirst();
        response.stallAfter = fault.stallAfter;
        response.closeAfter = fault.closeAfter;
        response.resetAfter = fault.resetAfter;
        response.chunked = fault.chunked;
        response.noContentLength = fault.noContentLength;
        response.delayMs = fault.delayMs;
        response.trickleMs = fault.trickleMs;
        response.repeatAfterMs = fault.repeatAfterMs;
        response.headers += fault.headers;
    }
    return response;
}

QJsonObject KoFakePhone::serveCheckSum(const KoFakeCall& call)
{
    if (call.body.isEmpty())
        return codeOnly(CodeBadRequest);
    const QString fid = call.body.value(QStringLiteral("uploadFid")).toString();
    if (fid.isEmpty())
        return codeOnly(CodeBadRequest);
    QJsonObject answer = codeOnly(CodeOk);
    const auto it = m_uploads.constFind(fid);
    // The fingerprint is the one the upload was started with: the client compares it with
    // its own file's to know whether the phone's bytes are still a beginning of it.
    answer.insert(QStringLiteral("haveRead"), double(it == m_uploads.constEnd() ? 0 : it->held));
    answer.insert(QStringLiteral("checksum"), it == m_uploads.constEnd() ? QString() : it->checksum);
    answer.insert(QStringLiteral("csVersion"),
                  it == m_uploads.constEnd() ? KoCheckSumUtil::getCurrentVersion() : it->csVersion);
    return answer;
}

bool KoFakePhone::storeUploadData(const QString& fid, const KoFakeCall& call, bool bodyComplete, qint64 limit,
                                  bool* complete, int* code)
{
    *complete = false;
    *code = CodeOk;
    const PartRange part = partOf(call, bodyComplete);
    if (!part.ok) {
        *code = CodeBadRequest;
        return false;
    }
    bool offsetOk = false;
    const qint64 offset = call.header("offset").toLongLong(&offsetOk);
    const qint64 size = call.header("size").toLongLong();
    const int valid = call.header("valid").toInt();
    if (!offsetOk || offset < 0) {
        *code = CodeBadRequest;
        return false;
    }

    Upload& upload = m_uploads[fid];
    if (upload.done) {
        // A request sent after the whole file arrived (the client could not know): it goes on
        // from the file in place.
        upload.done = false;
        upload.dataFile.clear();
        const QString copy = m_uploadDir.filePath(QString::fromLatin1(fid.toUtf8().toHex())
                                                  + QStringLiteral(".part"));
        QFile::remove(copy);
        if (valid == 1 && QFile::copy(upload.target, copy))
            upload.dataFile = copy;
        else
            upload.held = 0;
    }
    if (upload.dataFile.isEmpty())
        upload.dataFile = m_uploadDir.filePath(QString::fromLatin1(fid.toUtf8().toHex()) + QStringLiteral(".part"));
    // A fresh start forgets what was held; a resume must start within it.
    if (valid != 1)
        upload.held = 0;
    if (offset > upload.held || (valid != 1 && offset != 0)) {
        *code = CodeFailed;
        return false;
    }
    QFile data(upload.dataFile);
    if (!data.open(QIODevice::ReadWrite) || !data.resize(offset) || !data.seek(offset)) {
        *code = CodeFailed;
        return false;
    }
    const qint64 length = limit < 0 ? part.length : qMin(part.length, limit);
    if (!copyRange(call, part.start, length, &data)) {
        upload.held = qMax<qint64>(0, data.size());
        *code = CodeFailed;
        return false;
    }
    data.close();
    upload.held = offset + length;
    upload.size = size;
    upload.checksum = QString::fromUtf8(call.header("checksum"));
    upload.csVersion = call.header("csVersion").toInt();
    *complete = upload.held == upload.size;
    if (upload.held > upload.size)
        *code = CodeFailed;
    return true;
}

KoTestResponse KoFakePhone::serveUpload(const KoFakeCall& call)
{
    const QString fid = QString::fromUtf8(call.header("uploadFid"));
    const int category = call.header("category").toInt();
    const QString folder = fromBase64(call.header("path"));
    const QString folderLocal = localPath(category, folder);
    if (fid.isEmpty())
        return jsonAnswer(codeOnly(CodeBadRequest));
    if (folderLocal.isEmpty())
        return jsonAnswer(codeOnly(CodeNoPermission));
    if (!QFileInfo(folderLocal).isDir())
        return jsonAnswer(codeOnly(CodeNotFound));
    QString name = call.route == "relay" ? fromBase64(call.header("name")) : partOf(call, true).filename;
    if (!plainName(name))
        return jsonAnswer(codeOnly(CodeBadRequest));

    const auto known = m_uploads.constFind(fid);
    if (known != m_uploads.constEnd() && known->done && m_uploadDrops.isEmpty() && call.header("valid").toInt() == 1
        && call.header("offset").toLongLong() == known->held && known->target == folderLocal + QLatin1Char('/') + name
        && partOf(call, true).length == 0 && QFileInfo(known->target).size() == known->held) {
        // Nothing left to send of a file already in place.
        return jsonAnswer(codeOnly(CodeOk));
    }

    const bool drop = !m_uploadDrops.isEmpty();
    const qint64 keep = drop ? m_uploadDrops.takeFirst() : -1;
    bool complete = false;
    int code = CodeOk;
    storeUploadData(fid, call, true, drop ? qMax<qint64>(0, keep) : -1, &complete, &code);
    if (drop) {
        // The connection goes down before any answer byte: the client hears a broken
        // connection, and the phone keeps what it had.
        KoTestResponse lost = KoTestResponse::raw(QByteArray(16, 'x'));
        lost.resetAfter = 0;
        return lost;
    }
    if (code != CodeOk)
        return jsonAnswer(codeOnly(code));
    if (!complete)
        return jsonAnswer(codeOnly(CodeFailed));
    Upload& upload = m_uploads[fid];
    const QString target = folderLocal + QLatin1Char('/') + name;
    if (QFileInfo(target).isDir())
        return jsonAnswer(codeOnly(CodeExists));
    QFile::remove(target);
    if (!QFile::rename(upload.dataFile, target)) {
        QFile::remove(upload.dataFile);
        m_uploads.remove(fid);
        return jsonAnswer(codeOnly(CodeFailed));
    }
    // Still known: a resume query after the end hears that the phone holds it all.
    upload.done = true;
    upload.target = target;
    upload.dataFile.clear();
    return jsonAnswer(codeOnly(CodeOk));
}

void KoFakePhone::watchAbortedUploads(KoTestHttpServer* server)
{
    connect(server, &KoTestHttpServer::requestReceived, this, [this, server](const KoTestRequest& request) {
        Q_UNUSED(server);
        if (!request.aborted)
            return;
        const QByteArray path = request.pathOnly();
        const bool lan = path == "/file/v2/uploadFile";
        const bool relay = path == "/reraze/reraze/file"
            && QString::fromUtf8(request.header("toDeviceId")) == deviceId();
        if (lan || relay)
            storeAbortedUpload(request);
    });
}

void KoFakePhone::storeAbortedUpload(const KoTestRequest& request)
{
    const KoFakeCall call = KoFakeCall::fromRequest(request,
                                                    request.pathOnly().startsWith("/reraze/") ? "relay" : "lan",
                                                    QStringLiteral("uploadFile"));
    const QString fid = QString::fromUtf8(call.header("uploadFid"));
    if (fid.isEmpty())
        return;
    bool complete = false;
    int code = CodeOk;
    // Whatever arrived counts; the upload stays open until a request brings its end.
    storeUploadData(fid, call, false, -1, &complete, &code);
}
