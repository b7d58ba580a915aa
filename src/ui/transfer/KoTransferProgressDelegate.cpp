#include "KoTransferProgressDelegate.h"

#include "model/KoFileConvertInfo.h"
#include "ui/transfer/KoTransferTableModel.h"
#include "ui/widgets/KoRowPainter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWidget>

namespace {
const QString kImages = QStringLiteral(":/ui_v3/images/");
const QString kDeleteImage = kImages + QStringLiteral("icon_btn_delete_gray");

bool hasButtons(int state)
{
    return state == KoFileConvertInfo::StateWaiting || state == KoFileConvertInfo::StateConverting
        || state == KoFileConvertInfo::StateFailed || state == KoFileConvertInfo::StatePaused;
}

QString firstImage(int state)
{
    switch (state) {
    case KoFileConvertInfo::StateFailed: return kImages + QStringLiteral("icon_btn_refresh_red");
    case KoFileConvertInfo::StatePaused: return kImages + QStringLiteral("icon_btn_start_gray");
    default: return kImages + QStringLiteral("icon_btn_pause_gray");
    }
}
} // namespace

KoTransferProgressDelegate::KoTransferProgressDelegate(QObject* parent, const Texts& texts)
    : QStyledItemDelegate(parent)
    , m_texts(texts)
{
}

QRect KoTransferProgressDelegate::buttonRect(const QRect& cell, Button button)
{
    return KoRowPainter::buttonRect(cell, int(button));
}

void KoTransferProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const
{
    if (index.column() > 3) {
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
        return;
    }
    const QRect& cell = option.rect;
    painter->save();
    KoRowPainter::fillSelection(painter, option);
    const QVariant stateValue = index.data(KoTransferTableModel::StateRole);
    const int state = stateValue.isValid() ? stateValue.toInt() : -1;
    switch (index.column()) {
    case 0:
        KoRowPainter::iconAndName(painter, cell, index.data(Qt::DecorationRole).value<QPixmap>(),
                                  index.data(Qt::DisplayRole).toString());
        break;
    case 1:
        KoRowPainter::text(painter, cell, 12, index.data(Qt::DisplayRole).toString(), KoRowPainter::kGrey);
        break;
    case 2: {
        const int progress = index.data(KoTransferTableModel::ProgressRole).toInt();
        if (state == KoFileConvertInfo::StateWaiting)
            KoRowPainter::text(painter, cell, 10, m_texts.waiting, KoRowPainter::kGrey);
        else if (state == KoFileConvertInfo::StateFailed)
            KoRowPainter::text(painter, cell, 10, m_texts.failed, KoRowPainter::kError);
        else if (state == KoFileConvertInfo::StateConverting)
            KoRowPainter::progressBar(painter, cell, progress, KoRowPainter::kFill,
                                      index.data(KoTransferTableModel::ConvertedSizeRole).toString()
                                          + QLatin1Char('/')
                                          + index.data(KoTransferTableModel::TotalSizeRole).toString());
        else if (state == KoFileConvertInfo::StatePaused)
            KoRowPainter::progressBar(painter, cell, progress, KoRowPainter::kPausedFill, m_texts.paused);
        break;
    }
    case 3:
        if (hasButtons(state))
            KoRowPainter::buttons(painter, cell, {firstImage(state), kDeleteImage});
        break;
    }
    painter->restore();
}

bool KoTransferProgressDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                             const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const QEvent::Type type = event->type();
    if (!index.isValid() || index.column() != 3
        || (type != QEvent::MouseButtonPress && type != QEvent::MouseMove))
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    auto* mouse = static_cast<QMouseEvent*>(event);
    m_lastPos = mouse->localPos().toPoint();
    // A blank cell (no record, a finished or unknown state) has no buttons.
    const QVariant stateValue = index.data(KoTransferTableModel::StateRole);
    const QVariant idValue = index.data(KoTransferTableModel::TaskIdRole);
    const int state = stateValue.toInt();
    if (!stateValue.isValid() || !idValue.isValid() || !hasButtons(state))
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    const int taskId = idValue.toInt();
    const bool onDelete = buttonRect(option.rect, DeleteButton).contains(m_lastPos);
    const bool onFirst = buttonRect(option.rect, FirstButton).contains(m_lastPos);
    const bool running = state == KoFileConvertInfo::StateWaiting || state == KoFileConvertInfo::StateConverting;

    if (type == QEvent::MouseButtonPress) {
        if (mouse->button() != Qt::LeftButton || (!onDelete && !onFirst))
            return QStyledItemDelegate::editorEvent(event, model, option, index);
        if (onDelete) {
            setViewCursor(Qt::ArrowCursor);
            emit btnDeleteClicked(taskId, state);
        } else if (running) {
            emit btnPauseClicked(taskId);
        } else {
            if (m_texts.arrowOnRetry)
                setViewCursor(Qt::ArrowCursor);
            emit btnRetryClicked(taskId);
        }
        return true;
    }

    if (onDelete || onFirst) {
        setViewCursor(Qt::PointingHandCursor);
        const QString tip = onDelete ? QStringLiteral("删除")
            : running                ? QStringLiteral("暂停")
            : state == KoFileConvertInfo::StateFailed ? m_texts.retryTip
                                                      : QStringLiteral("开始");
        QToolTip::showText(mouse->globalPos(), tip);
    } else {
        QToolTip::showText(QPoint(0, 0), QString());
        setViewCursor(Qt::ArrowCursor);
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

void KoTransferProgressDelegate::setViewCursor(Qt::CursorShape shape) const
{
    if (auto* view = qobject_cast<QWidget*>(parent()))
        view->setCursor(shape);
}
