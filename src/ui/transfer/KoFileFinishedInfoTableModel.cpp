#include "KoFileFinishedInfoTableModel.h"

#include "app/KoCommonUtil.h"
#include "model/KoFileDownloadInfo.h"
#include "model/KoFileUploadInfo.h"
#include "model/KoLocalFile.h"
#include "model/KoRemoteFile.h"

#include <QDateTime>

KoFileFinishedInfoTableModel::KoFileFinishedInfoTableModel(QObject* parent, int columnCount)
    : KoTransferTableModel(parent, columnCount,
                           {QStringLiteral("       文件名"), QStringLiteral("大小"), QStringLiteral("状态"),
                            QStringLiteral("操作")})
{
}

QString KoFileFinishedInfoTableModel::finishText(int kind, qint64 finishedMs)
{
    QString text = kind == KoFileConvertInfo::TypeDownload ? QStringLiteral("下载完成 ")
                                                           : QStringLiteral("上传完成 ");
    if (finishedMs > 0) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(finishedMs);
        text += at.daysTo(QDateTime::currentDateTime()) < 1 ? at.toString(QStringLiteral("hh:mm:ss"))
                                                            : at.toString(QStringLiteral("yyyy-MM-dd"));
    }
    return text;
}

QVariant KoFileFinishedInfoTableModel::recordValue(KoFileConvertInfo* record, int column, int role) const
{
    const int kind = record->getConvertType();
    const KoAbstractFile* file = nullptr;
    QString localPath;
    if (kind == KoFileConvertInfo::TypeDownload) {
        if (auto* download = qobject_cast<KoFileDownloadInfo*>(record)) {
            file = download->getRemoteFile();
            localPath = download->getLocalFilePath();
        }
    } else if (kind == KoFileConvertInfo::TypeUpload) {
        if (auto* upload = qobject_cast<KoFileUploadInfo*>(record))
            file = upload->getLocalFile();
    } else {
        return QVariant();
    }

    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case 0:
            return file ? QVariant(file->getFullName()) : QVariant();
        case 1:
            return KoCommonUtil::getFileSizeStringFromLong(record->getTotalSize());
        case 2:
            return finishText(kind, record->getFinishedTime());
        default:
            return QVariant();
        }
    case Qt::DecorationRole:
        if (column == 0 && file)
            return fileTypeIcon(file->getFileType());
        return QVariant();
    case LocalPathRole:
        return kind == KoFileConvertInfo::TypeDownload ? QVariant(localPath) : QVariant();
    case KindRole:
        return kind;
    case TaskIdRole:
        return record->getTaskId();
    default:
        return QVariant();
    }
}
