#include "KoFileDownloadInfoTableModel.h"

#include "model/KoRemoteFile.h"
#include "model/KoFileDownloadInfo.h"

KoFileDownloadInfoTableModel::KoFileDownloadInfoTableModel(QObject* parent, int columnCount)
    : KoTransferTableModel(parent, columnCount,
                           {QStringLiteral("       文件名"), QStringLiteral("来自于"), QStringLiteral("状态"),
                            QStringLiteral("操作")})
{
}

QVariant KoFileDownloadInfoTableModel::data(const QModelIndex& index, int role) const
{
    auto* record = qobject_cast<KoFileDownloadInfo*>(recordAt(index));
    if (!record)
        return QVariant();
    return progressData(index, role, record, record->getRemoteFile());
}
