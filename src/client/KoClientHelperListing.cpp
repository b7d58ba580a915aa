// Listing requests and their answers: category index, folders, albums and sub-listings.

#include "client/KoClientHelper.h"
#include "client/KoClientJson.h"

#include "app/KoServerConfig.h"
#include "model/KoRemoteCategory.h"
#include "model/KoRemoteFile.h"
#include "net/KoReplyType.h"

#include <QJsonArray>

#include <limits>

using namespace KoClientJson;

namespace {

const QString kRootPath = QStringLiteral("/");
const int kCategoryAlbum = 2;
const int kCategoryOwnDisk = 1;
const int kPhoneTypeFolder = 100;
// "Last modified" of an album: unknown.
const quint64 kNoTime = ~quint64(0);

} // namespace

// --- requests ------------------------------------------------------------------------

void KoClientHelper::getCategoryIndex(int id, QString remoteServer, CategoryCallback callback)
{
    m_categoryV2 = callback;
    // The phone wants a body, whatever it holds.
    QJsonObject body{{QStringLiteral("xxx"), QStringLiteral("xxx")}};
    sendLan(TypeCategoryIndexV2, id, remoteServer, QStringLiteral("/file/v2/listCategory"), body);
}

void KoClientHelper::getCategoryIndexRemote(int id, int toUid, QString toDeviceId, int toDeviceType,
                                            CategoryCallback callback)
{
    m_categoryRemote = callback;
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("listCategory")}};
    sendRelay(TypeCategoryIndexRemote, id, toUid, toDeviceId, toDeviceType, body);
}

void KoClientHelper::getFileListV2(int id, QString remoteServer, int category, QString path,
                                   FileListCallback callback)
{
    m_fileListV2 = callback;
    QJsonObject body{{QStringLiteral("category"), category}};
    QString endpoint = QStringLiteral("/file/v2/getDirectory");
    int type = TypeFileListV2;
    if (category == kCategoryAlbum && path == kRootPath) {
        endpoint = QStringLiteral("/file/v2/getCollections");
        type = TypeAlbumListV2;
    } else if (category == kCategoryAlbum) {
        body.insert(QStringLiteral("collectionId"), path);
        type = TypeAlbumFolderV2;
    } else {
        body.insert(QStringLiteral("path"), path);
    }
    sendLan(type, id, remoteServer, endpoint, body);
}

void KoClientHelper::getFileListRemote(int id, int toUid, QString toDeviceId, int toDeviceType, int category,
                                       QString path, FileListCallback callback)
{
    m_fileListRemote = callback;
    QJsonObject body{{QStringLiteral("category"), category}};
    int type = TypeFileListRemote;
    if (category == kCategoryAlbum && path == kRootPath) {
        body.insert(QStringLiteral("cmd"), QStringLiteral("getCollections"));
        type = TypeAlbumListRemote;
    } else if (category == kCategoryAlbum) {
        body.insert(QStringLiteral("cmd"), QStringLiteral("getDirectory"));
        body.insert(QStringLiteral("collectionId"), path);
        type = TypeAlbumFolderRemote;
    } else {
        body.insert(QStringLiteral("cmd"), QStringLiteral("getDirectory"));
        body.insert(QStringLiteral("path"), path);
    }
    sendRelay(type, id, toUid, toDeviceId, toDeviceType, body);
}

void KoClientHelper::getSubFileListV2(int id, QString remoteServer, int category, QString path,
                                      SubFileListCallback callback)
{
    m_subFileListV2 = callback;
    QJsonObject body{{QStringLiteral("category"), category}, {QStringLiteral("files"), QJsonArray{path}}};
    sendLan(TypeSubFileListV2, id, remoteServer, QStringLiteral("/file/v2/getMultiSubPaths"), body);
}

void KoClientHelper::getSubFileListRemote(int id, int toUid, QString toDeviceId, int toDeviceType, int category,
                                          QString path, SubFileListCallback callback)
{
    m_subFileListRemote = callback;
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("getMultiSubPaths")},
                     {QStringLiteral("category"), category},
                     {QStringLiteral("files"), QJsonArray{path}}};
    sendRelay(TypeSubFileListRemote, id, toUid, toDeviceId, toDeviceType, body);
}

// --- parsers -------------------------------------------------------------------------

void KoClientHelper::parseCategoryList(QString remoteServer, const QJsonObject& reply, int& code,
                                       QList<KoRemoteCategory*>* list)
{
    code = readCode(reply);
    if (code != 0)
        return;
    bool hasAlbums = false;
    const QJsonArray categories = reply.value(QStringLiteral("categories")).toArray();
    for (const QJsonValue& value : categories) {
        const int category = readInt(value, 0);
        hasAlbums = hasAlbums || category == kCategoryAlbum;
        list->append(new KoRemoteCategory(remoteServer, category, -1, -1));
    }
    // A phone with photo albums calls its own disk area "zu"; it is the same phone on
    // either route, so both routes name it alike.
    if (hasAlbums) {
        const QString zu = QStringLiteral("zu");
        for (KoRemoteCategory* category : *list) {
            if (category->getCategoryType() == kCategoryOwnDisk) {
                category->setName(zu);
                category->getPath()->setName(zu);
            }
        }
    }
}

void KoClientHelper::parseFileList(QString remoteServer, const QJsonObject& reply, int& code,
                                   QList<KoRemoteFile*>* list)
{
    code = readCode(reply);
    if (code != 0)
        return;
    const QJsonArray files = reply.value(QStringLiteral("files")).toArray();
    for (const QJsonValue& value : files) {
        const QJsonObject entry = value.toObject();
        QString path = readString(entry.value(QStringLiteral("path")));
        const int type = readInt(entry.value(QStringLiteral("type")), 0);
        const qint64 size = readInt64(entry.value(QStringLiteral("size")));
        const quint64 lastTime = readUInt64(entry.value(QStringLiteral("lastTime")));
        list->append(new KoRemoteFile(remoteServer, path, type, size, lastTime, QString()));
    }
}

void KoClientHelper::parseCollectionList(QString remoteServer, const QJsonObject& reply, int& code,
                                         QList<KoRemoteFile*>* list)
{
    code = readCode(reply);
    if (code != 0)
        return;
    const QJsonArray collections = reply.value(QStringLiteral("collections")).toArray();
    for (const QJsonValue& value : collections) {
        const QJsonObject entry = value.toObject();
        QString id = readString(entry.value(QStringLiteral("id")));
        const QString title = readString(entry.value(QStringLiteral("title")));
        // The size field of an album carries its photo count.
        const int count = readInt(entry.value(QStringLiteral("count")), 0);
        list->append(new KoRemoteFile(remoteServer, id, kPhoneTypeFolder, count, kNoTime, title));
    }
}

void KoClientHelper::parseCollectionFileList(QString remoteServer, const QJsonObject& reply, int& code,
                                             QList<KoRemoteFile*>* list)
{
    code = readCode(reply);
    if (code != 0)
        return;
    const QJsonArray files = reply.value(QStringLiteral("files")).toArray();
    for (const QJsonValue& value : files) {
        const QJsonObject entry = value.toObject();
        QString id = readString(entry.value(QStringLiteral("id")));
        const QString name = readString(entry.value(QStringLiteral("name")));
        const int type = readInt(entry.value(QStringLiteral("type")), 0);
        const qint64 size = readInt64(entry.value(QStringLiteral("size")));
        const quint64 lastTime = readUInt64(entry.value(QStringLiteral("lastTime")));
        list->append(new KoRemoteFile(remoteServer, id, type, size, lastTime, name));
    }
}

void KoClientHelper::parseSubFileList(QString remoteServer, const QJsonObject& reply, int& code,
                                      QList<KoRemoteFile*>* list, qint64& totalSize)
{
    totalSize = 0;
    code = readCode(reply);
    if (code != 0)
        return;
    const QJsonArray data = reply.value(QStringLiteral("data")).toArray();
    for (const QJsonValue& value : data) {
        const QJsonObject folder = value.toObject();
        // The phone's numbers are not trusted: a negative size adds nothing, a sum beyond
        // 64 bits stays at the largest count.
        const qint64 size = qMax<qint64>(0, readInt64(folder.value(QStringLiteral("size"))));
        totalSize = size > std::numeric_limits<qint64>::max() - totalSize ? std::numeric_limits<qint64>::max()
                                                                          : totalSize + size;
        int ignored = 0;
        QJsonObject files{{QStringLiteral("code"), 0},
                          {QStringLiteral("files"), folder.value(QStringLiteral("files"))}};
        parseFileList(remoteServer, files, ignored, list);
    }
}

// --- answer handlers -----------------------------------------------------------------

void KoClientHelper::getCategoryIndexCallback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteCategory*>();
    parseCategoryList(server, answer, code, list);
    deliverList(m_categoryV2, id, code, list);
}

void KoClientHelper::getCategoryIndexRemoteCallback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteCategory*>();
    parseCategoryList(server, answer, code, list);
    deliverList(m_categoryRemote, id, code, list);
}

void KoClientHelper::getFileListV2Callback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteFile*>();
    parseFileList(server, answer, code, list);
    deliverList(m_fileListV2, id, code, list);
}

void KoClientHelper::getFileListRemoteCallback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteFile*>();
    parseFileList(server, answer, code, list);
    deliverList(m_fileListRemote, id, code, list);
}

void KoClientHelper::getCollectionV2IosCallback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteFile*>();
    parseCollectionList(server, answer, code, list);
    deliverList(m_fileListV2, id, code, list);
}

void KoClientHelper::getCollectionRemoteIosCallback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteFile*>();
    parseCollectionList(server, answer, code, list);
    deliverList(m_fileListRemote, id, code, list);
}

void KoClientHelper::getFileListV2IosCallback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteFile*>();
    parseCollectionFileList(server, answer, code, list);
    deliverList(m_fileListV2, id, code, list);
}

void KoClientHelper::getFileListRemoteIosCallback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    auto* list = new QList<KoRemoteFile*>();
    parseCollectionFileList(server, answer, code, list);
    deliverList(m_fileListRemote, id, code, list);
}

void KoClientHelper::getSubFileListV2Callback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    qint64 total = 0;
    auto* list = new QList<KoRemoteFile*>();
    parseSubFileList(server, answer, code, list, total);
    const SubFileListCallback cb = m_subFileListV2;
    handOver(list, bool(cb), [&](QList<KoRemoteFile*>* l) { cb(id, code, total, l); });
}

void KoClientHelper::getSubFileListRemoteCallback(int id, QString server, QJsonObject answer)
{
    int code = 1;
    qint64 total = 0;
    auto* list = new QList<KoRemoteFile*>();
    parseSubFileList(server, answer, code, list, total);
    const SubFileListCallback cb = m_subFileListRemote;
    handOver(list, bool(cb), [&](QList<KoRemoteFile*>* l) { cb(id, code, total, l); });
}
