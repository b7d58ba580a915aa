#include "client/KoClientHelper.h"

#include "app/KoServerConfig.h"
#include "app/KoThisMachineInfo.h"
#include "app/KoCommonUtil.h"
#include "net/KoReplyMap.h"
#include "net/KoReplyType.h"
#include "net/KoUser.h"

#include <QFile>
#include <QMutexLocker>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

KoClientHelper* KoClientHelper::s_instance = nullptr;
QMutex KoClientHelper::s_mutex;

const char* const KoClientHelper::kVersionName = "V3.2.0";
const char* const KoClientHelper::kVersionCode = "85";

QString KoClientHelper::partialPathOf(const QString& target)
{
    const QString suffix = QLatin1String(kDownloadSuffix);
    const int slash = target.lastIndexOf(QLatin1Char('/'));
    const QString name = target.mid(slash + 1);
    if (name.toUtf8().size() + suffix.size() <= KoCommonUtil::kMaxFileNameBytes)
        return target + suffix;
    // Two long names that share their start still get two partial files.
    const QString mark = QLatin1Char('~') + KoCommonUtil::getMd5Str(name).left(8);
    const int room = KoCommonUtil::kMaxFileNameBytes - mark.size() - suffix.size();
    return target.left(slash + 1) + KoCommonUtil::leftUtf8(name, room) + mark + suffix;
}

qint64 KoClientHelper::partialSizeOf(const QString& target)
{
    const QFileInfo info(partialPathOf(target));
    return info.isFile() ? info.size() : 0;
}

namespace {

// A value that would end a header line (or the request line) early lets its author
// write headers of their own.
bool isSafeHeaderText(const QString& text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.unicode() == 0)
            return false;
    }
    return true;
}

} // namespace

KoClientHelper* KoClientHelper::getInstance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new KoClientHelper();
    return s_instance;
}

KoClientHelper::KoClientHelper()
    : KoNetworkHelper(nullptr)
{
}

KoClientHelper::~KoClientHelper()
{
    // Aborting finishes each reply at once; nothing of it may reach a callback any more.
    m_closing = true;
    KoReplyMap* map = getReplyMap();
    const QList<QNetworkReply*> pending = map->replies();
    for (QNetworkReply* reply : pending) {
        if (KoReplyType* record = map->getReplyType(reply)) {
            QFile* file = record->getFileValue(0);
            if (file && file->isOpen())
                file->close();
        }
        reply->abort();
        reply->deleteLater();
    }
    QMutexLocker locker(&s_mutex);
    if (s_instance == this)
        s_instance = nullptr;
}

void KoClientHelper::addHeaders(QMap<QString, QString>& headers)
{
    KoThisMachineInfo* machine = KoThisMachineInfo::getInstance();
    headers.insert(QStringLiteral("kouid"), QString::number(KoUser::getInstance()->getId()));
    headers.insert(QStringLiteral("deviceId"), machine->getDeviceName());
    headers.insert(QStringLiteral("deviceType"), QString::number(machine->getDeviceType()));
}

void KoClientHelper::addHeadersRemote(QMap<QString, QString>& headers, int toUid, QString toDeviceId,
                                      int toDeviceType)
{
    addHeaders(headers);
    headers.insert(QStringLiteral("toUid"), QString::number(toUid));
    headers.insert(QStringLiteral("toDeviceId"), toDeviceId);
    headers.insert(QStringLiteral("toDeviceType"), QString::number(toDeviceType));
}

QString KoClientHelper::relayOperationUrl() const
{
    return KoServerConfig::relayBaseUrl() + QStringLiteral("reraze/operation");
}

bool KoClientHelper::isSafeRequest(const QString& url, const QMap<QString, QString>& headers)
{
    if (!isSafeHeaderText(url))
        return false;
    for (auto it = headers.constBegin(); it != headers.constEnd(); ++it) {
        if (!isSafeHeaderText(it.key()) || !isSafeHeaderText(it.value()))
            return false;
    }
    return true;
}

void KoClientHelper::sendJson(QJsonObject& body, const QString& url, KoReplyType* record,
                              QMap<QString, QString>& headers)
{
    if (!isSafeRequest(url, headers)) {
        reportFailureLater(record->getType(), record->getId(), -3, record->getStringValue(1));
        delete record;
        return;
    }
    record->setDdl(KoServerConfig::requestDeadlineMs());
    postHttpData(body, url, record, &headers);
}

void KoClientHelper::sendLan(int type, int id, const QString& baseUrl, const QString& path, QJsonObject body)
{
    QMap<QString, QString> headers;
    addHeaders(headers);
    auto* record = new KoReplyType(type);
    record->setId(id)->addValue(baseUrl);
    sendJson(body, baseUrl + path, record, headers);
}

void KoClientHelper::sendRelay(int type, int id, int toUid, const QString& toDeviceId, int toDeviceType,
                               QJsonObject body)
{
    QMap<QString, QString> headers;
    addHeadersRemote(headers, toUid, toDeviceId, toDeviceType);
    auto* record = new KoReplyType(type);
    record->setId(id)->addValue(KoServerConfig::relayBaseUrl());
    sendJson(body, relayOperationUrl(), record, headers);
}

void KoClientHelper::reportFailureLater(int type, int id, int code, const QString& targetDeviceId)
{
    QTimer::singleShot(0, this,
                       [this, type, id, code, targetDeviceId]() { reportFailure(type, id, code, targetDeviceId); });
}

void KoClientHelper::reportFailure(int type, int id, int code, const QString& targetDeviceId)
{
    // Callbacks are called through copies: a callback may start a request of its own kind,
    // which replaces the stored one while it runs.
    switch (type) {
    case TypeCategoryIndexV2:
    case TypeCategoryIndexRemote: {
        const CategoryCallback cb = type == TypeCategoryIndexV2 ? m_categoryV2 : m_categoryRemote;
        if (cb)
            cb(id, code, nullptr);
        break;
    }
    case TypeFileListV2:
    case TypeAlbumListV2:
    case TypeAlbumFolderV2:
    case TypeDeleteV2:
    case TypeAlbumDeleteV2:
    case TypeMoveV2:
    case TypeFileListRemote:
    case TypeAlbumListRemote:
    case TypeAlbumFolderRemote:
    case TypeDeleteRemote:
    case TypeAlbumDeleteRemote:
    case TypeMoveRemote: {
        FileListCallback cb;
        switch (type) {
        case TypeFileListV2:
        case TypeAlbumListV2:
        case TypeAlbumFolderV2:
            cb = m_fileListV2;
            break;
        case TypeFileListRemote:
        case TypeAlbumListRemote:
        case TypeAlbumFolderRemote:
            cb = m_fileListRemote;
            break;
        case TypeDeleteV2:
        case TypeAlbumDeleteV2:
            cb = m_deleteV2;
            break;
        case TypeDeleteRemote:
        case TypeAlbumDeleteRemote:
            cb = m_deleteRemote;
            break;
        case TypeMoveV2:
            cb = m_moveV2;
            break;
        default:
            cb = m_moveRemote;
            break;
        }
        if (cb)
            cb(id, code, nullptr);
        break;
    }
    case TypeSubFileListV2:
    case TypeSubFileListRemote: {
        const SubFileListCallback cb = type == TypeSubFileListV2 ? m_subFileListV2 : m_subFileListRemote;
        if (cb)
            cb(id, code, 0, nullptr);
        break;
    }
    case TypeCopyV2:
    case TypeCopyProgressV2: {
        const CopyListCallback cb = type == TypeCopyV2 ? m_copyV2 : m_copyProgressV2;
        if (cb)
            cb(id, code, nullptr);
        break;
    }
    case TypeNewFolderV2:
        callResult(m_newFolderV2, id, code);
        break;
    case TypeNewFolderRemote:
        callResult(m_newFolderRemote, id, code);
        break;
    case TypeRenameV2:
        callResult(m_renameV2, id, code);
        break;
    case TypeRenameRemote:
        callResult(m_renameRemote, id, code);
        break;
    case TypeCancelCopyV2:
        callResult(m_cancelCopyV2, id, code);
        break;
    case TypeDisconnReRaze:
        callResult(m_disconnReRaze, id, code);
        break;
    case TypeConnectFacility:
        callResult(m_connectFacility, id, code);
        break;
    case TypeDisconnectFacility:
        callResult(m_disconnectFacility, id, code);
        break;
    case TypeConnectFacilityRespond:
        callResult(m_connectFacilityRespond, id, code);
        break;
    case TypeDisconnectFacilityRespond:
        callResult(m_disconnectFacilityRespond, id, code);
        break;
    case TypeUnknownPushRespond:
        callResult(m_unknownPushRespond, id, code);
        break;
    case TypeAskReachable: {
        const ReachableCallback cb = m_askReachable;
        if (cb)
            cb(id, code, targetDeviceId);
        break;
    }
    case TypeDesktopStartConnect: {
        const ConnectStartCallback cb = m_desktopStartConnect;
        if (cb)
            cb(id, code, QString(), -1, QString(), -1);
        break;
    }
    case TypeAskNetworkState: {
        // The device asked about comes back too, so that a caller with several queries in
        // flight can tell which one failed.
        const NetworkStateCallback cb = m_askNetworkState;
        if (cb)
            cb(id, code, targetDeviceId, QString(), -1, -1);
        break;
    }
    default:
        break;
    }
}

void KoClientHelper::callResult(const ResultCallback& callback, int id, int code)
{
    const ResultCallback cb = callback;
    if (cb)
        cb(id, code);
}

void KoClientHelper::onFinished(QNetworkReply* reply)
{
    if (m_closing || !reply)
        return;
    KoReplyType* filed = getReplyMap()->getReplyType(reply);
    // Replies of other clients, and answers that come after their request expired.
    if (!filed || filed->getType() < 1 || m_reporting.contains(filed))
        return;
    // Transfers end their own way: files to close and rename, aborts of our own.
    if (isTransferType(filed->getType())) {
        finishTransfer(reply, filed);
        return;
    }

    // Out of the map before anyone hears of it: the request can neither expire nor be
    // reported twice, whatever the callback does.
    const std::unique_ptr<KoReplyType> record = takeRecord(reply);
    if (!record)
        return;
    const int id = record->getId();
    const int type = record->getType();
    const QJsonObject answer = KoCommonUtil::byteArrayToJson(KoCommonUtil::readAll(reply));
    if (answer.isEmpty()) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reportFailure(type, id, (status == 200 || status == 0) ? -1 : -2, record->getStringValue(1));
    } else {
        const bool byTarget = type == TypeAskReachable || type == TypeAskNetworkState;
        dispatchAnswer(type, id, record->getStringValue(byTarget ? 1 : 0), answer);
    }
}

void KoClientHelper::onTimeout(QNetworkReply* reply)
{
    if (!reply)
        return;
    // One that is being reported ends with that report.
    if (m_reporting.contains(getReplyMap()->getReplyType(reply)))
        return;
    // Taken before anyone hears of it: a callback that cancels, pauses or restarts the same
    // request, or waits for events, finds nothing of this one left to report again.
    const std::unique_ptr<KoReplyType> record = takeRecord(reply);
    if (!record || record->getType() < 1)
        return;
    if (isTransferType(record->getType()))
        timeoutTransfer(record.get());
    else
        reportFailure(record->getType(), record->getId(), -1, record->getStringValue(1));
}

void KoClientHelper::uploadProgress(QNetworkReply* reply, qint64 bytesSent, qint64 bytesTotal)
{
    transferUploadProgress(reply, bytesSent, bytesTotal);
}

void KoClientHelper::downloadProgress(QNetworkReply* reply, qint64 bytesReceived, qint64 bytesTotal)
{
    transferDownloadProgress(reply, bytesReceived, bytesTotal);
}

bool KoClientHelper::dispatchAnswer(int type, int id, const QString& server, const QJsonObject& answer)
{
    switch (type) {
    case TypeCategoryIndexV2:
        getCategoryIndexCallback(id, server, answer);
        break;
    case TypeFileListV2:
        getFileListV2Callback(id, server, answer);
        break;
    case TypeAlbumListV2:
        getCollectionV2IosCallback(id, server, answer);
        break;
    case TypeAlbumFolderV2:
        getFileListV2IosCallback(id, server, answer);
        break;
    case TypeSubFileListV2:
        getSubFileListV2Callback(id, server, answer);
        break;
    case TypeDeleteV2:
        deleteFileV2Callback(id, server, answer);
        break;
    case TypeAlbumDeleteV2:
        deleteFileV2IosCallback(id, server, answer);
        break;
    case TypeRenameV2:
        renameFileV2Callback(id, server, answer);
        break;
    case TypeNewFolderV2:
        newFolderV2Callback(id, server, answer);
        break;
    case TypeMoveV2:
        moveFileV2Callback(id, server, answer);
        break;
    case TypeCopyV2:
        copyFileV2Callback(id, server, answer);
        break;
    case TypeCopyProgressV2:
        copyFileProgressV2Callback(id, server, answer);
        break;
    case TypeCancelCopyV2:
        cancelCopyFileV2Callback(id, server, answer);
        break;
    case TypeAskReachable:
        askReachableCallback(id, server, answer);
        break;
    case TypeDesktopStartConnect:
        desktopStartConnectCallback(id, server, answer);
        break;
    case TypeDisconnReRaze:
        disconnReRazeCallback(id, server, answer);
        break;
    case TypeCategoryIndexRemote:
        getCategoryIndexRemoteCallback(id, server, answer);
        break;
    case TypeFileListRemote:
        getFileListRemoteCallback(id, server, answer);
        break;
    case TypeAlbumListRemote:
        getCollectionRemoteIosCallback(id, server, answer);
        break;
    case TypeAlbumFolderRemote:
        getFileListRemoteIosCallback(id, server, answer);
        break;
    case TypeSubFileListRemote:
        getSubFileListRemoteCallback(id, server, answer);
        break;
    case TypeDeleteRemote:
        deleteFileRemoteCallback(id, server, answer);
        break;
    case TypeAlbumDeleteRemote:
        deleteFileRemoteIosCallback(id, server, answer);
        break;
    case TypeRenameRemote:
        renameFileRemoteCallback(id, server, answer);
        break;
    case TypeNewFolderRemote:
        newFolderRemoteCallback(id, server, answer);
        break;
    case TypeMoveRemote:
        moveFileRemoteCallback(id, server, answer);
        break;
    case TypeConnectFacility:
        connectFacilityCallback(id, server, answer);
        break;
    case TypeDisconnectFacility:
        disconnectFacilityCallback(id, server, answer);
        break;
    case TypeConnectFacilityRespond:
        connectFacilityRespondCallback(id, server, answer);
        break;
    case TypeDisconnectFacilityRespond:
        disconnectFacilityRespondCallback(id, server, answer);
        break;
    case TypeUnknownPushRespond:
        unknownPushRespondCallback(id, server, answer);
        break;
    case TypeAskNetworkState:
        askDeviceNetworkStateCallback(id, server, answer);
        break;
    default:
        return false;
    }
    return true;
}
