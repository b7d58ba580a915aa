#include "model/KoFileConvertInfo.h"

#include "model/KoFileDownloadInfo.h"
#include "model/KoFileUploadInfo.h"
#include "model/KoLocalFile.h"
#include "model/KoRemoteFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QVariant>

#include <cmath>
#include <limits>

KoFileConvertInfo::KoFileConvertInfo(int taskId, int uid, int deviceType, const QString& deviceId,
                                     const QString& remoteServer, int convertType, int version, QObject* parent)
    : QObject(parent)
    , m_taskId(taskId)
    , m_convertType(convertType)
    , m_version(version)
    , m_uid(uid)
    , m_deviceType(deviceType)
    , m_remoteServer(remoteServer)
    , m_deviceId(deviceId)
{
}

KoFileConvertInfo::~KoFileConvertInfo() = default;

int KoFileConvertInfo::percentOf(qint64 done, qint64 total)
{
    if (total <= 0 || done <= 0)
        return 0;
    if (done >= total)
        return 100;
    // done * 100 can pass 64 bits long before done reaches total.
    return done <= std::numeric_limits<qint64>::max() / 100 ? int(done * 100 / total)
                                                            : int(static_cast<long double>(done) * 100 / total);
}

qint64 KoFileConvertInfo::saturatedSum(qint64 a, qint64 b)
{
    qint64 sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    return sum;
}

void KoFileConvertInfo::setProgress(int percent)
{
    m_progress = qBound(0, percent, 100);
}

namespace {

// Keys of the transfer-list line (see "Transfer records" in docs/protocol.md).
const QLatin1String kVersion("version");
const QLatin1String kType("type");
const QLatin1String kState("state");
const QLatin1String kProgress("progress");
const QLatin1String kTotalSize("totalSize");
const QLatin1String kConvertedSize("convertedSize");
const QLatin1String kUid("uid");
const QLatin1String kDeviceType("deviceType");
const QLatin1String kDeviceId("deviceId");
const QLatin1String kRemoteServer("remoteServer");
const QLatin1String kHaveRead("haveRead");
const QLatin1String kDeviceName("deviceName");
const QLatin1String kUnick("unick");
const QLatin1String kFinishedTime("finishedTime");
const QLatin1String kLocalPath("localPath");
const QLatin1String kCategory("category");
const QLatin1String kRemotePath("remotePath");
const QLatin1String kFileType("fileType");
const QLatin1String kFileName("fileName");
const QLatin1String kChecksum("checksum");
const QLatin1String kCsVersion("csVersion");
const QLatin1String kUploadFid("uploadFid");

// Whole numbers only: a stored 3.5 or "3" means the line is not ours.
bool readInt64(const QJsonObject& object, QLatin1String key, qint64& out)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return false;
    const QVariant variant = value.toVariant();
    if (variant.type() == QVariant::LongLong || variant.type() == QVariant::Int) {
        out = variant.toLongLong();
        return true;
    }
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
        return false;
    out = static_cast<qint64>(d);
    return true;
}

bool readInt(const QJsonObject& object, QLatin1String key, int& out)
{
    qint64 v = 0;
    if (!readInt64(object, key, v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return false;
    out = static_cast<int>(v);
    return true;
}

bool readString(const QJsonObject& object, QLatin1String key, QString& out)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

void splitFullName(KoAbstractFile* file, const QString& fullName)
{
    const int dot = fullName.lastIndexOf(QLatin1Char('.'));
    file->setName(dot < 0 ? fullName : fullName.left(dot));
    file->setSuffix(dot < 0 ? QString() : fullName.mid(dot + 1));
}

} // namespace

QString KoFileConvertInfo::getJsonFromConvertInfo(KoFileConvertInfo* record)
{
    if (!record || record->m_version != 1)
        return QString();

    QJsonObject object;
    if (record->m_convertType == TypeDownload) {
        auto* download = qobject_cast<KoFileDownloadInfo*>(record);
        if (!download)
            return QString();
        const KoRemoteFile* file = download->getRemoteFile();
        object.insert(kLocalPath, download->getLocalFilePath());
        object.insert(kCategory, download->getCategory());
        object.insert(kRemotePath, file ? file->getPath()->getAbsolutePath() : QString());
        object.insert(kFileType, file ? file->getFileType() : int(KoAbstractFile::TypeUnknown));
        object.insert(kFileName, file ? file->getFullName() : QString());
        object.insert(kChecksum, download->getChecksum());
        object.insert(kCsVersion, download->getCsVersion());
    } else if (record->m_convertType == TypeUpload) {
        auto* upload = qobject_cast<KoFileUploadInfo*>(record);
        if (!upload)
            return QString();
        const KoLocalFile* file = upload->getLocalFile();
        object.insert(kRemotePath, upload->getDstDirPath());
        object.insert(kLocalPath, file ? file->getPath() : QString());
        object.insert(kCategory, upload->getCategory());
        object.insert(kFileName, file ? file->getFullName() : QString());
        object.insert(kFileType, file ? file->getFileType() : int(KoAbstractFile::TypeOther));
        object.insert(kUploadFid, upload->getUploadFid());
    } else {
        return QString();
    }

    object.insert(kVersion, record->m_version);
    object.insert(kType, record->m_convertType);
    object.insert(kState, record->m_convertState);
    object.insert(kProgress, record->m_progress);
    object.insert(kTotalSize, record->m_totalSize);
    object.insert(kConvertedSize, record->m_convertedSize);
    object.insert(kUid, record->m_uid);
    object.insert(kDeviceType, record->m_deviceType);
    object.insert(kDeviceId, record->m_deviceId);
    object.insert(kRemoteServer, record->m_remoteServer);
    object.insert(kHaveRead, record->m_haveRead);
    object.insert(kDeviceName, record->m_deviceName);
    object.insert(kUnick, record->m_usrNick);
    object.insert(kFinishedTime, record->m_finishedTime);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

KoFileConvertInfo* KoFileConvertInfo::getConvertInfoFromJson(int taskId, const QString& json, QObject* parent)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return nullptr;
    const QJsonObject object = document.object();

    // Every stored key must be there with its type before anything is built.
    int version = 0, type = 0, state = 0, progress = 0, uid = 0, deviceType = 0;
    qint64 totalSize = 0, convertedSize = 0, haveRead = 0, finishedTime = 0;
    QString deviceId, remoteServer, deviceName, unick;
    if (!readInt(object, kVersion, version) || version != 1)
        return nullptr;
    if (!readInt(object, kType, type) || (type != TypeDownload && type != TypeUpload))
        return nullptr;
    if (!readInt(object, kState, state) || state < StateWaiting || state > StatePaused)
        return nullptr;
    if (!readInt(object, kProgress, progress) || !readInt64(object, kTotalSize, totalSize)
        || !readInt64(object, kConvertedSize, convertedSize) || !readInt(object, kUid, uid)
        || !readInt(object, kDeviceType, deviceType) || !readString(object, kDeviceId, deviceId)
        || !readString(object, kRemoteServer, remoteServer) || !readInt64(object, kHaveRead, haveRead)
        || !readString(object, kDeviceName, deviceName) || !readString(object, kUnick, unick)
        || !readInt64(object, kFinishedTime, finishedTime))
        return nullptr;

    QString localPath, remotePath, fileName;
    int category = 0, fileType = 0;
    if (!readString(object, kLocalPath, localPath) || !readInt(object, kCategory, category)
        || !readString(object, kRemotePath, remotePath) || !readString(object, kFileName, fileName)
        || !readInt(object, kFileType, fileType))
        return nullptr;

    KoFileConvertInfo* record = nullptr;
    if (type == TypeDownload) {
        QString checksum;
        int csVersion = 0;
        if (!readString(object, kChecksum, checksum) || !readInt(object, kCsVersion, csVersion))
            return nullptr;
        // Not stored: the file's own size (the record's total stands in) and its time.
        auto* file = new KoRemoteFile(remoteServer, remotePath, 0, totalSize, 0, fileName);
        file->setFileType(fileType);
        if (file->getFullName() != fileName)
            splitFullName(file, fileName);
        auto* download = new KoFileDownloadInfo(taskId, uid, deviceType, deviceId, category, file, localPath, parent);
        download->setChecksum(checksum);
        download->setCsVersion(csVersion);
        record = download;
    } else {
        QString uploadFid;
        if (!readString(object, kUploadFid, uploadFid))
            return nullptr;
        auto* file = new KoLocalFile(localPath, fileName, fileType, totalSize);
        auto* upload = new KoFileUploadInfo(taskId, file, category, remotePath, uid, deviceType, deviceId, parent);
        upload->setUploadFid(uploadFid);
        record = upload;
    }

    record->m_remoteServer = remoteServer;
    record->m_convertState = state;
    record->setProgress(progress);
    record->m_totalSize = totalSize;
    record->m_convertedSize = convertedSize;
    record->m_haveRead = haveRead;
    record->m_deviceName = deviceName;
    record->m_usrNick = unick;
    record->m_finishedTime = finishedTime;
    record->m_retryTimes = kDefaultRetryTimes;
    return record;
}
