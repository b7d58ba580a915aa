#include "KoTransferProgressDelegate.h"

#include "model/KoFileConvertInfo.h"
#include "ui/transfer/KoTransferTableModel.h"
#include "ui/widgets/KoRowPainter.h"

namespace {
using State = KoFileConvertInfo::ConvertState;

const QString kImages = QStringLiteral(":/ui_v3/images/");

// -1 for a blank cell (no record, or a record of another class). Buttons also need a task id.
int stateOf(const QModelIndex& index, bool forButtons)
{
    const QVariant state = index.data(KoTransferTableModel::StateRole);
    const bool valid = state.isValid() && (!forButtons || index.data(KoTransferTableModel::TaskIdRole).isValid());
    return valid ? state.toInt() : -1;
}

bool isRunning(int state)
{
    return state == State::StateWaiting || state == State::StateConverting;
}
} // namespace

KoTransferProgressDelegate::KoTransferProgressDelegate(QObject* parent, const Texts& texts)
    : KoTransferRowDelegate(parent)
    , m_texts(texts)
{
}

void KoTransferProgressDelegate::paintText(QPainter* painter, const QRect& cell, const QModelIndex& index) const
{
    if (index.column() == 1) {
        KoRowPainter::text(painter, cell, 12, index.data(Qt::DisplayRole).toString(), KoRowPainter::kGrey);
        return;
    }
    const int progress = index.data(KoTransferTableModel::ProgressRole).toInt();
    switch (stateOf(index, false)) {
    case State::StateWaiting:
        KoRowPainter::text(painter, cell, 10, m_texts.waiting, KoRowPainter::kGrey);
        break;
    case State::StateFailed:
        KoRowPainter::text(painter, cell, 10, m_texts.failed, KoRowPainter::kError);
        break;
    case State::StateConverting:
        KoRowPainter::progressBar(painter, cell, progress, KoRowPainter::kFill,
                                  index.data(KoTransferTableModel::ConvertedSizeRole).toString() + QLatin1Char('/')
                                      + index.data(KoTransferTableModel::TotalSizeRole).toString());
        break;
    case State::StatePaused:
        KoRowPainter::progressBar(painter, cell, progress, KoRowPainter::kPausedFill, m_texts.paused);
        break;
    default:
        break;
    }
}

QList<KoTransferRowDelegate::RowButton> KoTransferProgressDelegate::rowButtons(const QModelIndex& index) const
{
    const RowButton remove{kImages + QStringLiteral("icon_btn_delete_gray"), QStringLiteral("删除")};
    switch (stateOf(index, true)) {
    case State::StateWaiting:
    case State::StateConverting:
        return {{kImages + QStringLiteral("icon_btn_pause_gray"), QStringLiteral("暂停")}, remove};
    case State::StateFailed:
        return {{kImages + QStringLiteral("icon_btn_refresh_red"), m_texts.retryTip}, remove};
    case State::StatePaused:
        return {{kImages + QStringLiteral("icon_btn_start_gray"), QStringLiteral("开始")}, remove};
    default:
        return {};
    }
}

void KoTransferProgressDelegate::buttonPressed(const QModelIndex& index, int slot)
{
    const int state = stateOf(index, true);
    const int taskId = index.data(KoTransferTableModel::TaskIdRole).toInt();
    if (slot == DeleteButton) {
        setViewCursor(Qt::ArrowCursor);
        emit btnDeleteClicked(taskId, state);
    } else if (isRunning(state)) {
        emit btnPauseClicked(taskId);
    } else {
        if (m_texts.arrowOnRetry)
            setViewCursor(Qt::ArrowCursor);
        emit btnRetryClicked(taskId);
    }
}
