// File operations on a phone: new folder, delete, rename, move, and copy inside the phone.

#include "client/KoClientHelper.h"
#include "client/KoClientJson.h"

#include "app/KoServerConfig.h"
#include "model/KoFileCopyInfo.h"
#include "model/KoRemoteFile.h"
#include "net/KoReplyType.h"

#include <QJsonArray>

using namespace KoClientJson;

namespace {

const int kCategoryAlbum = 2;
const quint64 kNoTime = ~quint64(0);

QJsonArray entriesOf(const QStringList& items, const QString& key)
{
    QJsonArray array;
    for (const QString& item : items)
        array.append(QJsonObject{{key, item}});
    return array;
}

QString pathKey()
{
    return QStringLiteral("path");
}

} // namespace

// --- requests ------------------------------------------------------------------------

void KoClientHelper::newFolderV2(int id, QString baseUrl, int category, QString path, ResultCallback callback)
{
    m_newFolderV2 = callback;
    QJsonObject body{{QStringLiteral("category"), category}, {QStringLiteral("path"), path}};
    sendLan(TypeNewFolderV2, id, baseUrl, QStringLiteral("/file/v2/newFolder"), body);
}

void KoClientHelper::newFolderRemote(int id, int toUid, QString toDeviceId, int toDeviceType, int category,
                                     QString path, ResultCallback callback)
{
    m_newFolderRemote = callback;
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("newFolder")},
                     {QStringLiteral("category"), category},
                     {QStringLiteral("path"), path}};
    sendRelay(TypeNewFolderRemote, id, toUid, toDeviceId, toDeviceType, body);
}

void KoClientHelper::deleteFileV2(int id, QString baseUrl, int category, QStringList files, FileListCallback callback)
{
    m_deleteV2 = callback;
    const bool album = category == kCategoryAlbum;
    QJsonObject body{{QStringLiteral("category"), category},
                     {QStringLiteral("files"), entriesOf(files, album ? QStringLiteral("fileId") : pathKey())}};
    sendLan(album ? TypeAlbumDeleteV2 : TypeDeleteV2, id, baseUrl, QStringLiteral("/file/v2/deleteFile"), body);
}

void KoClientHelper::deleteFileRemote(int id, int toUid, QString toDeviceId, int toDeviceType, int category,
                                      QStringList files, FileListCallback callback)
{
    m_deleteRemote = callback;
    const bool album = category == kCategoryAlbum;
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("deleteFile")},
                     {QStringLiteral("category"), category},
                     {QStringLiteral("files"), entriesOf(files, album ? QStringLiteral("fileId") : pathKey())}};
    sendRelay(album ? TypeAlbumDeleteRemote : TypeDeleteRemote, id, toUid, toDeviceId, toDeviceType, body);
}

void KoClientHelper::renameFileV2(int id, QString baseUrl, int category, QString path, QString name,
                                  ResultCallback callback)
{
    m_renameV2 = callback;
    QJsonObject body{{QStringLiteral("category"), category},
                     {QStringLiteral("path"), path},
                     {QStringLiteral("name"), name}};
    sendLan(TypeRenameV2, id, baseUrl, QStringLiteral("/file/v2/renameFile"), body);
}

void KoClientHelper::renameFileRemote(int id, int toUid, QString toDeviceId, int toDeviceType, int category,
                                      QString path, QString name, ResultCallback callback)
{
    m_renameRemote = callback;
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("renameFile")},
                     {QStringLiteral("category"), category},
                     {QStringLiteral("path"), path},
                     {QStringLiteral("name"), name}};
    sendRelay(TypeRenameRemote, id, toUid, toDeviceId, toDeviceType, body);
}

void KoClientHelper::moveFileV2(int id, QString baseUrl, int srcCategory, QStringList src, int dstCategory,
                                QString dst, FileListCallback callback)
{
    m_moveV2 = callback;
    QJsonObject body{{QStringLiteral("srcCategory"), srcCategory},
                     {QStringLiteral("src"), entriesOf(src, pathKey())},
                     {QStringLiteral("dstCategory"), dstCategory},
                     {QStringLiteral("dst"), dst}};
    sendLan(TypeMoveV2, id, baseUrl, QStringLiteral("/file/v2/moveFile"), body);
}

void KoClientHelper::moveFileRemote(int id, int toUid, QString toDeviceId, int toDeviceType, int srcCategory,
                                    QStringList src, int dstCategory, QString dst, FileListCallback callback)
{
    m_moveRemote = callback;
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("moveFile")},
                     {QStringLiteral("srcCategory"), srcCategory},
                     {QStringLiteral("src"), entriesOf(src, pathKey())},
                     {QStringLiteral("dstCategory"), dstCategory},
                     {QStringLiteral("dst"), dst}};
    sendRelay(TypeMoveRemote, id, toUid, toDeviceId, toDeviceType, body);
}

void KoClientHelper::copyFileV2(int id, QString baseUrl, QString taskId, int srcCategory, QStringList src,
                                int dstCategory, QString dst, CopyListCallback callback)
{
    m_copyV2 = callback;
    QJsonObject body{{QStringLiteral("taskid"), taskId},
                     {QStringLiteral("srcCategory"), srcCategory},
                     {QStringLiteral("src"), entriesOf(src, pathKey())},
                     {QStringLiteral("dstCategory"), dstCategory},
                     {QStringLiteral("dst"), dst}};
    sendLan(TypeCopyV2, id, baseUrl, QStringLiteral("/file/v2/copyFile"), body);
}

void KoClientHelper::copyFileProgressV2(int id, QString baseUrl, QString taskId, CopyListCallback callback)
{
    m_copyProgressV2 = callback;
    QJsonObject body{{QStringLiteral("taskid"), taskId}};
    sendLan(TypeCopyProgressV2, id, baseUrl, QStringLiteral("/file/v2/copyFileProgress"), body);
}

void KoClientHelper::cancelCopyFileV2(int id, QString baseUrl, QString taskId, ResultCallback callback)
{
    m_cancelCopyV2 = callback;
    QJsonObject body{{QStringLiteral("taskid"), taskId}};
    sendLan(TypeCancelCopyV2, id, baseUrl, QStringLiteral("/file/v2/cancelCopyFile"), body);
}

// --- parsers -------------------------------------------------------------------------

namespace {

// Entries the phone failed to handle; they only mean something in a successful answer.
void parseFailed(const QString& serverKey, const QJsonObject& reply, int& code, QList<KoRemoteFile*>* list,
                 const QString& key)
{
    code = readCode(reply);
    if (code != 0)
        return;
    const QJsonArray files = reply.value(QStringLiteral("files")).toArray();
    for (const QJsonValue& value : files) {
        const QString text = readString(value.toObject().value(key));
        list->append(new KoRemoteFile(serverKey, text, -1, -1, kNoTime, QString()));
    }
}

} // namespace

void KoClientHelper::parseErrorFileList(QString serverKey, const QJsonObject& reply, int& code,
                                        QList<KoRemoteFile*>* list)
{
    parseFailed(serverKey, reply, code, list, pathKey());
}

void KoClientHelper::parseErrorCollectionFileList(QString serverKey, const QJsonObject& reply, int& code,
                                                  QList<KoRemoteFile*>* list)
{
    // Photos are named by their id, which stands in the entry's path.
    parseFailed(serverKey, reply, code, list, QStringLiteral("fileId"));
}

void KoClientHelper::parseCopyFileList(int id, QString serverKey, const QJsonObject& reply, int& code,
                                       QList<KoFileCopyInfo*>* list)
{
    code = readCode(reply);
    // The entries describe the job whatever the code says about this request.
    const QJsonArray files = reply.value(QStringLiteral("files")).toArray();
    for (const QJsonValue& value : files) {
        const QJsonObject entry = value.toObject();
        const QString path = readString(entry.value(pathKey()));
        const qint64 size = readInt64(entry.value(QStringLiteral("size")));
        // Copied bytes are compared with a 64-bit size, so they are read at 64 bits too.
        const qint64 progress = readInt64(entry.value(QStringLiteral("progress")));
        auto* file = new KoRemoteFile(serverKey, path, -1, size, kNoTime, QString());
        list->append(new KoFileCopyInfo(id, file, serverKey, progress, nullptr));
    }
}

// --- answer handlers -----------------------------------------------------------------

void KoClientHelper::newFolderV2Callback(int id, QString, QJsonObject answer)
{
    callResult(m_newFolderV2, id, readCode(answer));
}

void KoClientHelper::newFolderRemoteCallback(int id, QString, QJsonObject answer)
{
    callResult(m_newFolderRemote, id, readCode(answer));
}

void KoClientHelper::renameFileV2Callback(int id, QString, QJsonObject answer)
{
    callResult(m_renameV2, id, readCode(answer));
}

void KoClientHelper::renameFileRemoteCallback(int id, QString, QJsonObject answer)
{
    callResult(m_renameRemote, id, readCode(answer));
}

void KoClientHelper::cancelCopyFileV2Callback(int id, QString, QJsonObject answer)
{
    callResult(m_cancelCopyV2, id, readCode(answer));
}

void KoClientHelper::deleteFileV2Callback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteFile*>();
    parseErrorFileList(server, answer, code, list);
    deliverList(m_deleteV2, id, code, list);
}

void KoClientHelper::deleteFileRemoteCallback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteFile*>();
    parseErrorFileList(server, answer, code, list);
    deliverList(m_deleteRemote, id, code, list);
}

void KoClientHelper::deleteFileV2IosCallback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteFile*>();
    parseErrorCollectionFileList(server, answer, code, list);
    deliverList(m_deleteV2, id, code, list);
}

void KoClientHelper::deleteFileRemoteIosCallback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteFile*>();
    parseErrorCollectionFileList(server, answer, code, list);
    deliverList(m_deleteRemote, id, code, list);
}

void KoClientHelper::moveFileV2Callback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteFile*>();
    parseErrorFileList(server, answer, code, list);
    deliverList(m_moveV2, id, code, list);
}

void KoClientHelper::moveFileRemoteCallback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteFile*>();
    parseErrorFileList(server, answer, code, list);
    deliverList(m_moveRemote, id, code, list);
}

void KoClientHelper::copyFileV2Callback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoFileCopyInfo*>();
    parseCopyFileList(id, server, answer, code, list);
    deliverList(m_copyV2, id, code, list);
}

void KoClientHelper::copyFileProgressV2Callback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoFileCopyInfo*>();
    parseCopyFileList(id, server, answer, code, list);
    deliverList(m_copyProgressV2, id, code, list);
}
