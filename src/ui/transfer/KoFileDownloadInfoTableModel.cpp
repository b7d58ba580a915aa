#include "KoFileDownloadInfoTableModel.h"

#include "model/KoRemoteFile.h"
#include "model/KoFileDownloadInfo.h"

KoFileDownloadInfoTableModel::KoFileDownloadInfoTableModel(QObject* parent, int columnCount)
    : KoTransferTableModel(parent, columnCount,
                           {QStringLiteral("       文件名"), QStringLiteral("来自于"), QStringLiteral("状态"),
                            QStringLiteral("操作")})
{
}

QString KoFileDownloadInfoTableModel::failReasonText(int reason)
{
    // By FailReason.
    static const char* const texts[] = {
        "", "下载位置所在的磁盘不能保存这个文件名，请在手机上将文件改名，或换一个下载位置",
        "以“.ReRazeDownload”结尾的文件名留给未完成的下载使用，请在手机上将文件改名后再下载",
        "下载位置已有同名文件夹，请移走该文件夹后再下载", "下载列表中已有同一文件的下载，请先删除其中一条"};
    return reason > 0 && reason < int(std::size(texts)) ? QString::fromUtf8(texts[reason]) : QString();
}

QVariant KoFileDownloadInfoTableModel::recordValue(KoFileConvertInfo* info, int column, int role) const
{
    auto* record = qobject_cast<KoFileDownloadInfo*>(info);
    if (!record)
        return QVariant();
    // A refusal the user can act on is named on the failed row; the buttons keep their own tips.
    if (role == Qt::ToolTipRole && column < 3 && record->getConvertState() == KoFileConvertInfo::StateFailed)
        return failReasonText(record->getFailReason());
    return progressData(column, role, record, record->getRemoteFile());
}
