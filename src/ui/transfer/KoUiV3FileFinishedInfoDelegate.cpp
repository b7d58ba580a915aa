#include "KoUiV3FileFinishedInfoDelegate.h"

#include "model/KoFileConvertInfo.h"
#include "ui/transfer/KoTransferTableModel.h"
#include "ui/widgets/KoRowPainter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWidget>

namespace {
enum Action { OpenFile, OpenDir, Clear };

// The actions by slot for a kind: a download has three, an upload only clear.
QList<Action> actionsOf(int kind)
{
    if (kind == KoFileConvertInfo::TypeDownload)
        return {OpenFile, OpenDir, Clear};
    if (kind == KoFileConvertInfo::TypeUpload)
        return {Clear};
    return {};
}

QString imageOf(Action action)
{
    static const char* const names[] = {"icon_btn_open_file_gray", "icon_btn_open_dir_gray", "icon_btn_clear_gray"};
    return QStringLiteral(":/ui_v3/images/") + QLatin1String(names[action]);
}

QString tipOf(Action action)
{
    switch (action) {
    case OpenFile: return QStringLiteral("打开");
    case OpenDir: return QStringLiteral("查看文件所在位置");
    default: return QStringLiteral("清除记录");
    }
}
} // namespace

KoUiV3FileFinishedInfoDelegate::KoUiV3FileFinishedInfoDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QRect KoUiV3FileFinishedInfoDelegate::buttonRect(const QRect& cell, int slot)
{
    return KoRowPainter::buttonRect(cell, slot);
}

void KoUiV3FileFinishedInfoDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
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
    switch (index.column()) {
    case 0:
        KoRowPainter::iconAndName(painter, cell, index.data(Qt::DecorationRole).value<QPixmap>(),
                                  index.data(Qt::DisplayRole).toString());
        break;
    case 1:
    case 2:
        KoRowPainter::text(painter, cell, 12, index.data(Qt::DisplayRole).toString(), KoRowPainter::kGrey);
        break;
    case 3: {
        const QVariant kind = index.data(KoTransferTableModel::KindRole);
        QStringList images;
        for (Action action : actionsOf(kind.isValid() ? kind.toInt() : -1))
            images << imageOf(action);
        KoRowPainter::buttons(painter, cell, images);
        break;
    }
    }
    painter->restore();
}

bool KoUiV3FileFinishedInfoDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                                 const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const QEvent::Type type = event->type();
    if (!index.isValid() || index.column() != 3
        || (type != QEvent::MouseButtonPress && type != QEvent::MouseMove))
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    auto* mouse = static_cast<QMouseEvent*>(event);
    m_lastPos = mouse->localPos().toPoint();
    const QVariant kind = index.data(KoTransferTableModel::KindRole);
    const QVariant taskId = index.data(KoTransferTableModel::TaskIdRole);
    const QList<Action> actions = actionsOf(kind.isValid() && taskId.isValid() ? kind.toInt() : -1);
    if (actions.isEmpty())
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    int hit = -1;
    for (int slot = 0; slot < actions.size() && hit < 0; ++slot) {
        if (buttonRect(option.rect, slot).contains(m_lastPos))
            hit = slot;
    }

    if (type == QEvent::MouseButtonPress) {
        if (mouse->button() != Qt::LeftButton || hit < 0)
            return QStyledItemDelegate::editorEvent(event, model, option, index);
        setViewCursor(Qt::ArrowCursor);
        const QString path = index.data(KoTransferTableModel::LocalPathRole).toString();
        switch (actions.at(hit)) {
        case OpenFile: emit btnOpenFileClicked(path); break;
        case OpenDir: emit btnOpenDirClicked(path); break;
        case Clear: emit btnDeleteClicked(taskId.toInt()); break;
        }
        return true;
    }

    if (hit >= 0) {
        setViewCursor(Qt::PointingHandCursor);
        QToolTip::showText(mouse->globalPos(), tipOf(actions.at(hit)));
    } else {
        QToolTip::showText(QPoint(0, 0), QString());
        setViewCursor(Qt::ArrowCursor);
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

void KoUiV3FileFinishedInfoDelegate::setViewCursor(Qt::CursorShape shape) const
{
    if (auto* view = qobject_cast<QWidget*>(parent()))
        view->setCursor(shape);
}
