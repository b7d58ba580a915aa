#include "KoFileDownloadInfoTableModel.h"

#include "model/KoRemoteFile.h"
#include "model/KoFileDownloadInfo.h"

KoFileDownloadInfoTableModel::KoFileDownloadInfoTableModel(QObject* parent, int columnCount)
    : KoTransferTableModel(parent, columnCount,
                           {QStringLiteral("       文件名"), QStringLiteral("来自于"), QStringLiteral("状态"),
                            QStringLiteral("操作")})
{
}

QVariant KoFileDownloadInfoTableModel::recordValue(KoFileConvertInfo* info, int column, int role) const
{
    auto* record = qobject_cast<KoFileDownloadInfo*>(info);
    if (!record)
        return QVariant();
    return progressData(column, role, record, record->getRemoteFile());
}
