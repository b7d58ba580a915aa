#include "KoUiV3FileDownloadInfoDelegate.h"

KoUiV3FileDownloadInfoDelegate::KoUiV3FileDownloadInfoDelegate(QObject* parent)
    : KoTransferProgressDelegate(parent,
                                 {QStringLiteral("等待下载..."), QStringLiteral("下载失败"),
                                  QStringLiteral("下载已暂停"), QStringLiteral("继续下载"), true})
{
}
