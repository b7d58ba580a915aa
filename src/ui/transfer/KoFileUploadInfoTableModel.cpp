#include "KoFileUploadInfoTableModel.h"

#include "model/KoLocalFile.h"
#include "model/KoFileUploadInfo.h"

KoFileUploadInfoTableModel::KoFileUploadInfoTableModel(QObject* parent, int columnCount)
    : KoTransferTableModel(parent, columnCount,
                           {QStringLiteral("       文件名"), QStringLiteral("上传至"), QStringLiteral("状态"),
                            QStringLiteral("操作")})
{
}

QVariant KoFileUploadInfoTableModel::recordValue(KoFileConvertInfo* info, int column, int role) const
{
    auto* record = qobject_cast<KoFileUploadInfo*>(info);
    if (!record)
        return QVariant();
    return progressData(column, role, record, record->getLocalFile());
}
