#include "KoUiV3FileUploadInfoDelegate.h"

KoUiV3FileUploadInfoDelegate::KoUiV3FileUploadInfoDelegate(QObject* parent)
    : KoTransferProgressDelegate(parent,
                                 {QStringLiteral("等待上传..."), QStringLiteral("上传失败"),
                                  QStringLiteral("上传已暂停"), QStringLiteral("重新上传"), false})
{
}
