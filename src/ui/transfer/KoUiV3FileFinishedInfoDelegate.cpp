#include "KoUiV3FileFinishedInfoDelegate.h"

#include "model/KoFileConvertInfo.h"
#include "ui/transfer/KoTransferTableModel.h"
#include "ui/widgets/KoRowPainter.h"

namespace {
// -1 for a blank cell.
int kindOf(const QModelIndex& index)
{
    const QVariant kind = index.data(KoTransferTableModel::KindRole);
    return kind.isValid() && index.data(KoTransferTableModel::TaskIdRole).isValid() ? kind.toInt() : -1;
}

const QString kImages = QStringLiteral(":/ui_v3/images/");
} // namespace

KoUiV3FileFinishedInfoDelegate::KoUiV3FileFinishedInfoDelegate(QObject* parent)
    : KoTransferRowDelegate(parent)
{
}

void KoUiV3FileFinishedInfoDelegate::paintText(QPainter* painter, const QRect& cell, const QModelIndex& index) const
{
    KoRowPainter::text(painter, cell, 12, index.data(Qt::DisplayRole).toString(), KoRowPainter::kGrey);
}

QList<KoTransferRowDelegate::RowButton> KoUiV3FileFinishedInfoDelegate::rowButtons(const QModelIndex& index) const
{
    const RowButton clear{kImages + QStringLiteral("icon_btn_clear_gray"), QStringLiteral("清除记录")};
    switch (kindOf(index)) {
    case KoFileConvertInfo::TypeDownload:
        return {{kImages + QStringLiteral("icon_btn_open_file_gray"), QStringLiteral("打开")},
                {kImages + QStringLiteral("icon_btn_open_dir_gray"), QStringLiteral("查看文件所在位置")},
                clear};
    case KoFileConvertInfo::TypeUpload:
        return {clear};
    default:
        return {};
    }
}

void KoUiV3FileFinishedInfoDelegate::buttonPressed(const QModelIndex& index, int slot)
{
    setViewCursor(Qt::ArrowCursor);
    const int last = rowButtons(index).size() - 1;
    if (slot == last) {
        emit btnDeleteClicked(index.data(KoTransferTableModel::TaskIdRole).toInt());
        return;
    }
    const QString path = index.data(KoTransferTableModel::LocalPathRole).toString();
    if (slot == 0)
        emit btnOpenFileClicked(path);
    else
        emit btnOpenDirClicked(path);
}
