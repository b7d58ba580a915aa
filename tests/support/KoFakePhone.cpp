#include "support/KoFakePhone.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include <functional>

namespace {

QJsonObject codeOnly(int code)
{
    return QJsonObject{{QStringLiteral("code"), code}};
}

int phoneTypeOf(const QFileInfo& info)
{
    if (info.isDir())
        return 100;
    const QString suffix = info.suffix().toLower();
    static const QHash<QString, int> types{
        {"jpg", 200},  {"jpeg", 200}, {"png", 200},  {"gif", 200},  {"bmp", 200},  {"heic", 200},
        {"webp", 200}, {"mp4", 300},  {"mov", 300},  {"avi", 300},  {"mkv", 300},  {"3gp", 300},
        {"mp3", 400},  {"wav", 400},  {"aac", 400},  {"flac", 400}, {"m4a", 400},  {"ogg", 400},
        {"txt", 500},  {"doc", 501},  {"docx", 501}, {"ppt", 502},  {"pptx", 502}, {"xls", 503},
        {"xlsx", 503}, {"pdf", 504},  {"zip", 600},  {"rar", 600},  {"7z", 600},   {"apk", 601},
    };
    return types.value(suffix, 0);
}

QFileInfoList sortedEntries(const QString& dir)
{
    return QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                   QDir::Name | QDir::DirsFirst);
}

qint64 treeSize(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isDir())
        return info.size();
    qint64 total = 0;
    for (const QFileInfo& child : sortedEntries(path))
        total += treeSize(child.filePath());
    return total;
}

bool copyTree(const QString& from, const QString& to)
{
    const QFileInfo info(from);
    if (!info.isDir())
        return QFile::copy(from, to);
    if (!QDir().mkdir(to))
        return false;
    for (const QFileInfo& child : sortedEntries(from)) {
        if (!copyTree(child.filePath(), to + QLatin1Char('/') + child.fileName()))
            return false;
    }
    return true;
}

// A dangling link holds its name too.
bool nameTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// A name free in dir: "a.txt" when it is, else "a(1).txt", "a(2).txt", ...; a folder, a name
// without suffix and a hidden one (".a") are numbered at their end.
QString freeName(const QString& dir, const QString& name, bool folder)
{
    const int dot = folder ? -1 : name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString suffix = dot > 0 ? name.mid(dot) : QString();
    QString candidate = name;
    for (int n = 1; nameTaken(dir + QLatin1Char('/') + candidate); ++n)
        candidate = base + QStringLiteral("(%1)").arg(n) + suffix;
    return candidate;
}

bool removeTree(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}

QString joinPhonePath(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

bool isPlainName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

QStringList pathsOf(const QJsonValue& value, const QString& key)
{
    QStringList paths;
    for (const QJsonValue& entry : value.toArray())
        paths.append(entry.toObject().value(key).toString());
    return paths;
}

} // namespace

KoFakePhone::KoFakePhone(const QString& root, QObject* parent)
    : QObject(parent)
{
    m_roots.insert(9, QDir::cleanPath(QFileInfo(root).absoluteFilePath()));
    m_http = new KoTestHttpServer(KoTestHttpServer::Http, this);
    m_http->setHandler([this](const KoTestRequest& request) { return handleHttp(request); });
    watchAbortedUploads(m_http);
}

bool KoFakePhone::start()
{
    return m_http->listen();
}

QString KoFakePhone::baseUrl() const
{
    return m_http->baseUrl();
}

quint16 KoFakePhone::port() const
{
    return m_http->port();
}

void KoFakePhone::setIdentity(const QString& deviceId, const QString& deviceName, int deviceType, int appVersion,
                              int uid)
{
    m_deviceId = deviceId;
    m_deviceName = deviceName;
    m_deviceType = deviceType;
    m_appVersion = appVersion;
    m_uid = uid;
}

void KoFakePhone::setCategoryRoot(int category, const QString& dir)
{
    m_roots.insert(category, QDir::cleanPath(QFileInfo(dir).absoluteFilePath()));
}

QString KoFakePhone::localPath(int category, const QString& phonePath) const
{
    const QString root = m_roots.value(category);
    if (root.isEmpty() || !phonePath.startsWith(QLatin1Char('/')))
        return QString();
    // ".." may not climb out of the storage.
    const QString local = QDir::cleanPath(root + phonePath);
    if (local != root && !local.startsWith(root + QLatin1Char('/')))
        return QString();
    return local;
}

QString KoFakePhone::albumId(const QString& album)
{
    return QStringLiteral("a") + QString::fromLatin1(album.toUtf8().toHex());
}

QString KoFakePhone::photoId(const QString& album, const QString& fileName)
{
    return QStringLiteral("p") + QString::fromLatin1((album + QLatin1Char('/') + fileName).toUtf8().toHex());
}

QString KoFakePhone::photoPath(const QString& id) const
{
    const QString root = m_roots.value(2);
    if (root.isEmpty() || !id.startsWith(QLatin1Char('p')))
        return QString();
    const QString relative = QString::fromUtf8(QByteArray::fromHex(id.mid(1).toLatin1()));
    const QStringList parts = relative.split(QLatin1Char('/'));
    if (parts.size() != 2 || !isPlainName(parts[0]) || !isPlainName(parts[1]))
        return QString();
    return root + QLatin1Char('/') + relative;
}

void KoFakeScript::queueAnswer(const QString& op, const KoTestResponse& response)
{
    m_queued[op].append(response);
}

void KoFakeScript::setAnswer(const QString& op, const KoTestResponse& response)
{
    m_fixed.insert(op, response);
}

void KoFakeScript::setDelay(const QString& op, int delayMs)
{
    m_delays.insert(op, delayMs);
}

void KoFakeScript::clearScripts()
{
    m_queued.clear();
    m_fixed.clear();
    m_delays.clear();
}

QList<KoFakeCall> KoFakeScript::callsTo(const QString& op) const
{
    QList<KoFakeCall> result;
    for (const KoFakeCall& call : m_calls) {
        if (call.op == op)
            result.append(call);
    }
    return result;
}

bool KoFakeScript::waitForCalls(int count, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (m_calls.size() < count && timer.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return m_calls.size() >= count;
}

KoTestResponse KoFakePhone::handleHttp(const KoTestRequest& request)
{
    const QByteArray path = request.pathOnly();
    QString op;
    if (path.startsWith("/file/v2/"))
        op = QString::fromUtf8(path.mid(9));
    else if (path.startsWith("/msg/"))
        op = QString::fromUtf8(path.mid(5));
    if (op.isEmpty() || op.contains(QLatin1Char('/')))
        return KoTestResponse::raw("not found", 404, "text/plain");

    return answer(KoFakeCall::fromRequest(request, "lan", op));
}

KoFakeCall KoFakeCall::fromRequest(const KoTestRequest& request, const QByteArray& route, const QString& op)
{
    KoFakeCall call;
    call.route = route;
    call.op = op;
    call.path = request.path;
    call.headers = request.headers;
    // A spilled body (a large upload) stays in its file.
    call.rawBody = request.bodyFile.isEmpty() ? request.body : QByteArray();
    call.bodyFile = request.bodyFile;
    const QJsonDocument doc = QJsonDocument::fromJson(call.rawBody);
    if (doc.isObject())
        call.body = doc.object();
    return call;
}

KoTestResponse KoFakePhone::answer(const KoFakeCall& call)
{
    m_calls.append(call);
    emit called(call);
    auto queued = m_queued.find(call.op);
    if (queued != m_queued.end() && !queued->isEmpty())
        return queued->takeFirst();
    auto fixed = m_fixed.constFind(call.op);
    if (fixed != m_fixed.constEnd())
        return *fixed;
    if (isTransferOp(call.op)) {
        KoTestResponse transfer = serveTransfer(call);
        transfer.delayMs = qMax(transfer.delayMs, m_delays.value(call.op, 0));
        return transfer;
    }
    KoTestResponse response = call.body.isEmpty() && call.op != QLatin1String("listCategory")
        ? KoTestResponse::json(codeOnly(CodeBadRequest))
        : KoTestResponse::json(serve(call.op, call.body));
    response.delayMs = m_delays.value(call.op, 0);
    return response;
}

QJsonObject KoFakePhone::serve(const QString& op, const QJsonObject& body)
{
    if (op == QLatin1String("listCategory"))
        return listCategory();
    if (op == QLatin1String("getDirectory"))
        return getDirectory(body);
    if (op == QLatin1String("getCollections"))
        return getCollections(body);
    if (op == QLatin1String("getMultiSubPaths"))
        return getMultiSubPaths(body);
    if (op == QLatin1String("newFolder"))
        return newFolder(body);
    if (op == QLatin1String("deleteFile"))
        return deleteFile(body);
    if (op == QLatin1String("renameFile"))
        return renameFile(body);
    if (op == QLatin1String("moveFile"))
        return moveFile(body);
    if (op == QLatin1String("copyFile"))
        return copyFile(body);
    if (op == QLatin1String("copyFileProgress"))
        return copyFileProgress(body);
    if (op == QLatin1String("cancelCopyFile"))
        return cancelCopyFile(body);
    if (op == QLatin1String("desktopStartConnect"))
        return desktopStartConnect(body);
    if (op == QLatin1String("disconnDisk"))
        return disconnDisk(body);
    if (op == QLatin1String("accessable"))
        return accessable(body);
    return codeOnly(CodeBadRequest);
}

QJsonObject KoFakePhone::entryOf(int category, const QString& phonePath, const QString& local) const
{
    Q_UNUSED(category);
    const QFileInfo info(local);
    return QJsonObject{{QStringLiteral("path"), phonePath},
                       {QStringLiteral("type"), phoneTypeOf(info)},
                       {QStringLiteral("size"), info.isDir() ? 0.0 : double(info.size())},
                       {QStringLiteral("lastTime"), double(info.lastModified().toMSecsSinceEpoch())}};
}

// --- listing ---------------------------------------------------------------------------

QJsonObject KoFakePhone::listCategory()
{
    QJsonArray categories;
    for (int category : m_categories)
        categories.append(category);
    QJsonObject answer = codeOnly(CodeOk);
    answer.insert(QStringLiteral("categories"), categories);
    return answer;
}

QJsonObject KoFakePhone::getDirectory(const QJsonObject& body)
{
    const int category = body.value(QStringLiteral("category")).toInt(-1);
    if (category == 2)
        return getCollection(body.value(QStringLiteral("collectionId")).toString());
    const QString phonePath = body.value(QStringLiteral("path")).toString();
    if (!m_roots.contains(category))
        return codeOnly(CodeNotFound);
    const QString local = localPath(category, phonePath);
    if (local.isEmpty())
        return codeOnly(CodeNoPermission);
    if (!QFileInfo(local).isDir())
        return codeOnly(CodeNotFound);
    QJsonArray files;
    for (const QFileInfo& info : sortedEntries(local))
        files.append(entryOf(category, joinPhonePath(phonePath, info.fileName()), info.filePath()));
    QJsonObject answer = codeOnly(CodeOk);
    answer.insert(QStringLiteral("files"), files);
    return answer;
}

QJsonObject KoFakePhone::getCollections(const QJsonObject&)
{
    const QString root = m_roots.value(2);
    if (root.isEmpty())
        return codeOnly(CodeNotFound);
    QJsonArray collections;
    for (const QFileInfo& album : sortedEntries(root)) {
        if (!album.isDir())
            continue;
        int count = 0;
        // An album is as new as its newest photo; an empty one as its folder.
        qint64 newest = album.lastModified().toMSecsSinceEpoch();
        for (const QFileInfo& photo : sortedEntries(album.filePath())) {
            if (!photo.isFile())
                continue;
            const qint64 time = photo.lastModified().toMSecsSinceEpoch();
            newest = ++count == 1 ? time : qMax(newest, time);
        }
        collections.append(QJsonObject{{QStringLiteral("id"), albumId(album.fileName())},
                                       {QStringLiteral("title"), album.fileName()},
                                       {QStringLiteral("count"), count},
                                       {QStringLiteral("lastTime"), double(newest)}});
    }
    QJsonObject answer = codeOnly(CodeOk);
    answer.insert(QStringLiteral("collections"), collections);
    return answer;
}

QJsonObject KoFakePhone::getCollection(const QString& collectionId)
{
    const QString root = m_roots.value(2);
    if (root.isEmpty() || !collectionId.startsWith(QLatin1Char('a')))
        return codeOnly(CodeNotFound);
    const QString album = QString::fromUtf8(QByteArray::fromHex(collectionId.mid(1).toLatin1()));
    const QString dir = root + QLatin1Char('/') + album;
    if (!isPlainName(album) || !QFileInfo(dir).isDir())
        return codeOnly(CodeNotFound);
    QJsonArray files;
    for (const QFileInfo& photo : sortedEntries(dir)) {
        if (!photo.isFile())
            continue;
        files.append(QJsonObject{{QStringLiteral("id"), photoId(album, photo.fileName())},
                                 {QStringLiteral("name"), photo.fileName()},
                                 {QStringLiteral("type"), phoneTypeOf(photo)},
                                 {QStringLiteral("size"), double(photo.size())},
                                 {QStringLiteral("lastTime"), double(photo.lastModified().toMSecsSinceEpoch())}});
    }
    QJsonObject answer = codeOnly(CodeOk);
    answer.insert(QStringLiteral("files"), files);
    return answer;
}

QJsonObject KoFakePhone::getMultiSubPaths(const QJsonObject& body)
{
    const int category = body.value(QStringLiteral("category")).toInt(-1);
    QJsonArray data;
    for (const QJsonValue& value : body.value(QStringLiteral("files")).toArray()) {
        const QString phonePath = value.toString();
        if (category == 2) {
            // An album id: its photos, each under its own id.
            const QJsonObject album = getCollection(phonePath);
            if (album.value(QStringLiteral("code")).toInt() != CodeOk)
                return album;
            QJsonArray files;
            qint64 total = 0;
            for (const QJsonValue& photo : album.value(QStringLiteral("files")).toArray()) {
                QJsonObject entry = photo.toObject();
                entry.insert(QStringLiteral("path"), entry.take(QStringLiteral("id")));
                entry.remove(QStringLiteral("name"));
                total += qint64(entry.value(QStringLiteral("size")).toDouble());
                files.append(entry);
            }
            data.append(QJsonObject{{QStringLiteral("path"), phonePath},
                                    {QStringLiteral("size"), double(total)},
                                    {QStringLiteral("files"), files}});
            continue;
        }
        const QString local = localPath(category, phonePath);
        if (local.isEmpty())
            return codeOnly(CodeNoPermission);
        if (!QFileInfo(local).isDir())
            return codeOnly(CodeNotFound);
        QJsonArray files;
        qint64 total = 0;
        // Depth first, each folder before its content, names in order.
        std::function<void(const QString&, const QString&)> walk = [&](const QString& dir, const QString& phoneDir) {
            for (const QFileInfo& info : sortedEntries(dir)) {
                const QString childPath = joinPhonePath(phoneDir, info.fileName());
                files.append(entryOf(category, childPath, info.filePath()));
                if (info.isDir())
                    walk(info.filePath(), childPath);
                else
                    total += info.size();
            }
        };
        walk(local, phonePath);
        data.append(QJsonObject{{QStringLiteral("path"), phonePath},
                                {QStringLiteral("size"), double(total)},
                                {QStringLiteral("files"), files}});
    }
    QJsonObject answer = codeOnly(CodeOk);
    answer.insert(QStringLiteral("data"), data);
    return answer;
}

// --- file operations -------------------------------------------------------------------

QJsonObject KoFakePhone::newFolder(const QJsonObject& body)
{
    const int category = body.value(QStringLiteral("category")).toInt(-1);
    const QString local = localPath(category, body.value(QStringLiteral("path")).toString());
    if (local.isEmpty() || local == m_roots.value(category))
        return codeOnly(CodeNoPermission);
    const QFileInfo info(local);
    if (info.exists())
        return codeOnly(CodeExists);
    if (!QFileInfo(info.absolutePath()).isDir())
        return codeOnly(CodeNotFound);
    return codeOnly(QDir().mkdir(local) ? CodeOk : CodeFailed);
}

QJsonObject KoFakePhone::deleteFile(const QJsonObject& body)
{
    const int category = body.value(QStringLiteral("category")).toInt(-1);
    const bool album = category == 2;
    const QString key = album ? QStringLiteral("fileId") : QStringLiteral("path");
    QJsonArray failed;
    for (const QString& item : pathsOf(body.value(QStringLiteral("files")), key)) {
        const QString local = album ? photoPath(item) : localPath(category, item);
        const bool ok = !local.isEmpty() && local != m_roots.value(category) && QFileInfo::exists(local)
            && removeTree(local);
        if (!ok)
            failed.append(QJsonObject{{key, item}});
    }
    QJsonObject answer = codeOnly(CodeOk);
    answer.insert(QStringLiteral("files"), failed);
    return answer;
}

QJsonObject KoFakePhone::renameFile(const QJsonObject& body)
{
    const int category = body.value(QStringLiteral("category")).toInt(-1);
    const QString name = body.value(QStringLiteral("name")).toString();
    if (!isPlainName(name))
        return codeOnly(CodeBadRequest);
    const QString local = localPath(category, body.value(QStringLiteral("path")).toString());
    if (local.isEmpty() || local == m_roots.value(category))
        return codeOnly(CodeNoPermission);
    const QFileInfo info(local);
    if (!info.exists())
        return codeOnly(CodeNotFound);
    const QString target = info.absolutePath() + QLatin1Char('/') + name;
    if (QFileInfo::exists(target))
        return codeOnly(CodeExists);
    return codeOnly(QDir().rename(local, target) ? CodeOk : CodeFailed);
}

QJsonObject KoFakePhone::moveFile(const QJsonObject& body)
{
    const int srcCategory = body.value(QStringLiteral("srcCategory")).toInt(-1);
    const int dstCategory = body.value(QStringLiteral("dstCategory")).toInt(-1);
    const QString dst = localPath(dstCategory, body.value(QStringLiteral("dst")).toString());
    if (dst.isEmpty())
        return codeOnly(CodeNoPermission);
    if (!QFileInfo(dst).isDir())
        return codeOnly(CodeNotFound);
    QJsonArray failed;
    for (const QString& item : pathsOf(body.value(QStringLiteral("src")), QStringLiteral("path"))) {
        const QString local = localPath(srcCategory, item);
        const QString target = dst + QLatin1Char('/') + QFileInfo(local).fileName();
        const bool intoItself = target == local || dst == local || dst.startsWith(local + QLatin1Char('/'));
        const bool ok = !local.isEmpty() && local != m_roots.value(srcCategory) && QFileInfo::exists(local)
            && !intoItself && !QFileInfo::exists(target) && QDir().rename(local, target);
        if (!ok)
            failed.append(QJsonObject{{QStringLiteral("path"), item}});
    }
    QJsonObject answer = codeOnly(CodeOk);
    answer.insert(QStringLiteral("files"), failed);
    return answer;
}

namespace {

QJsonArray copyItems(const QList<QPair<QString, QPair<qint64, qint64>>>& items)
{
    QJsonArray files;
    for (const auto& item : items) {
        files.append(QJsonObject{{QStringLiteral("path"), item.first},
                                 {QStringLiteral("size"), double(item.second.first)},
                                 {QStringLiteral("progress"), double(item.second.second)}});
    }
    return files;
}

} // namespace

QJsonObject KoFakePhone::copyFile(const QJsonObject& body)
{
    const QString taskId = body.value(QStringLiteral("taskid")).toString();
    const int srcCategory = body.value(QStringLiteral("srcCategory")).toInt(-1);
    const int dstCategory = body.value(QStringLiteral("dstCategory")).toInt(-1);
    if (taskId.isEmpty())
        return codeOnly(CodeBadRequest);
    const QString dst = localPath(dstCategory, body.value(QStringLiteral("dst")).toString());
    if (dst.isEmpty())
        return codeOnly(CodeNoPermission);
    if (!QFileInfo(dst).isDir())
        return codeOnly(CodeNotFound);
    CopyJob job;
    QList<QPair<QString, QPair<qint64, qint64>>> report;
    // The copy is made at once; the job keeps what each source came to. A name taken in the
    // target gets a numbered one, so that pasting into the source's own folder makes a copy too.
    for (const QString& item : pathsOf(body.value(QStringLiteral("src")), QStringLiteral("path"))) {
        const QString local = localPath(srcCategory, item);
        if (local.isEmpty() || !QFileInfo::exists(local))
            continue;
        CopyJob::Item entry;
        entry.path = item;
        entry.size = treeSize(local);
        const QFileInfo source(local);
        const QString target = dst + QLatin1Char('/') + freeName(dst, source.fileName(), source.isDir());
        const bool intoItself = dst == local || dst.startsWith(local + QLatin1Char('/'));
        if (!intoItself && copyTree(local, target))
            entry.copied = entry.size;
        job.items.append(entry);
        report.append({entry.path, {entry.size, entry.copied}});
    }
    if (job.items.isEmpty())
        return codeOnly(CodeNotFound);
    m_copyJobs.insert(taskId, job);
    QJsonObject answer = codeOnly(CodeOk);
    answer.insert(QStringLiteral("files"), copyItems(report));
    return answer;
}

QJsonObject KoFakePhone::copyFileProgress(const QJsonObject& body)
{
    const auto job = m_copyJobs.constFind(body.value(QStringLiteral("taskid")).toString());
    if (job == m_copyJobs.constEnd())
        return codeOnly(CodeNotFound);
    QList<QPair<QString, QPair<qint64, qint64>>> report;
    for (const CopyJob::Item& item : job->items)
        report.append({item.path, {item.size, item.copied}});
    QJsonObject answer = codeOnly(CodeOk);
    answer.insert(QStringLiteral("files"), copyItems(report));
    return answer;
}

QJsonObject KoFakePhone::cancelCopyFile(const QJsonObject& body)
{
    auto job = m_copyJobs.find(body.value(QStringLiteral("taskid")).toString());
    if (job == m_copyJobs.end())
        return codeOnly(CodeNotFound);
    job->cancelled = true;
    return codeOnly(CodeOk);
}

// --- connection messages ---------------------------------------------------------------

QJsonObject KoFakePhone::desktopStartConnect(const QJsonObject& body)
{
    const QString desktop = body.value(QStringLiteral("deviceId")).toString();
    if (desktop.isEmpty())
        return codeOnly(CodeBadRequest);
    if (!m_desktops.contains(desktop))
        m_desktops.append(desktop);
    return QJsonObject{{QStringLiteral("code"), CodeOk},
                       {QStringLiteral("deviceId"), m_deviceId},
                       {QStringLiteral("deviceName"), m_deviceName},
                       {QStringLiteral("deviceType"), m_deviceType},
                       {QStringLiteral("appVersion"), m_appVersion}};
}

QJsonObject KoFakePhone::disconnDisk(const QJsonObject& body)
{
    m_desktops.removeAll(body.value(QStringLiteral("deviceId")).toString());
    return codeOnly(CodeOk);
}

QJsonObject KoFakePhone::accessable(const QJsonObject& body)
{
    return codeOnly(body.value(QStringLiteral("toDeviceId")).toString() == m_deviceId ? CodeOk : CodeNotFound);
}
