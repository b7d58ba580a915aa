#include "ui/browser/KoUiV3FileDetailDelegate.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QPainter>

#include "ui/browser/KoFileModelCommon.h"
#include "ui/browser/KoUiV3FileTableEditor.h"
#include "ui/widgets/KoItemPainter.h"

namespace {
constexpr int kFontPx = 12;
// Gray at rest, blue under the mouse, by Button.
const char* const kButtonImages[][2] = {
    {":/ui_v3/images/icon_btn_download_gray", ":/ui_v3/images/icon_btn_download_blue"},
    {":/ui_v3/images/icon_btn_delete_gray", ":/ui_v3/images/icon_btn_delete_blue"},
    {":/ui_v3/images/icon_btn_more_gray", ":/ui_v3/images/icon_btn_more_blue"}};
} // namespace

QRect KoUiV3FileDetailDelegate::buttonRect(const QRect& cell, int permission, Button button)
{
    // Offsets from the right edge; the buttons fill the rightmost slots.
    int offset = 0;
    if (permission == 2)
        offset = button == Download ? 84 : button == Delete ? 56 : 28;
    else if (permission == 1 && button != More)
        offset = button == Download ? 56 : 28;
    if (offset == 0)
        return QRect();
    return QRect(cell.right() - offset, cell.y() + (cell.bottom() - cell.y() - 15) / 2, 16, 16);
}

int KoUiV3FileDetailDelegate::textWidth(const QRect& cell, int permission, bool hovered)
{
    if (hovered && permission == 2)
        return cell.width() - 134;
    if (hovered && permission == 1)
        return cell.width() - 106;
    return cell.width() - 50;
}

void KoUiV3FileDetailDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const
{
    QStyleOptionViewItem plain(option);
    plain.state &= ~QStyle::State_HasFocus;
    if (index.column() != 0) {
        QStyledItemDelegate::paint(painter, plain, index);
        return;
    }
    const QRect& cell = option.rect;
    const bool hovered = index.data(KoFileModelRole::Hover).toBool();
    const int permission = index.data(KoFileModelRole::Permission).toInt();
    KoItemPainter::paintNameCell(painter, option, index.data(Qt::DecorationRole).value<QPixmap>(),
                                 index.data().toString(), hovered, textWidth(cell, permission, hovered));
    if (!hovered)
        return;
    for (const Button button : {Download, Delete, More}) {
        const QRect rect = buttonRect(cell, permission, button);
        const bool hot = m_buttonHover == 0 && rect.contains(m_lastMousePoint);
        if (!rect.isNull())
            KoItemPainter::drawImage(painter, rect, QLatin1String(kButtonImages[button][hot ? 1 : 0]));
    }
}

bool KoUiV3FileDetailDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                           const QStyleOptionViewItem& option, const QModelIndex& index)
{
    m_buttonHover = -1;
    const bool press = event->type() == QEvent::MouseButtonPress;
    const bool move = event->type() == QEvent::MouseMove;
    if (!press && !move)
        return KoFileEditDelegate::editorEvent(event, model, option, index);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    m_lastMousePoint = mouse->pos();
    if (press && mouse->button() == Qt::RightButton) {
        emit rightButtonClicked(index);
        return true;
    }
    const int permission = index.data(KoFileModelRole::Permission).toInt();
    if (index.column() != 0 || (permission != 1 && permission != 2))
        return KoFileEditDelegate::editorEvent(event, model, option, index);

    const QRect& cell = option.rect;
    const QRect download = buttonRect(cell, permission, Download);
    const QRect remove = buttonRect(cell, permission, Delete);
    const QRect more = buttonRect(cell, permission, More);
    if (press && mouse->button() == Qt::LeftButton) {
        if (download.contains(mouse->pos())) {
            setParentCursor(Qt::ArrowCursor);
            emit btnDownloadClicked(index);
            return true;
        }
        if (remove.contains(mouse->pos())) {
            setParentCursor(Qt::ArrowCursor);
            emit btnDeleteClicked(index);
            return true;
        }
        if (more.contains(mouse->pos())) {
            setParentCursor(Qt::ArrowCursor);
            emit btnMoreClicked(index, more.bottomLeft());
            return true;
        }
        const int nameWidth = qMin(KoItemPainter::metrics(kFontPx).horizontalAdvance(index.data().toString()),
                                   textWidth(cell, permission, true));
        if ((option.state & QStyle::State_HasFocus)
            && KoItemPainter::rowTextRect(cell, nameWidth, kFontPx).contains(mouse->pos())) {
            emit nameClicked(index);
            return true;
        }
    } else if (move) {
        const bool overButton = download.contains(mouse->pos()) || remove.contains(mouse->pos())
            || more.contains(mouse->pos());
        m_buttonHover = overButton ? 0 : -1;
        setParentCursor(overButton ? Qt::PointingHandCursor : Qt::ArrowCursor);
        // Only this cell changes with the mouse: no size-hint change for the whole view.
        if (auto* view = qobject_cast<QAbstractItemView*>(parent()))
            view->viewport()->update(cell);
    }
    return KoFileEditDelegate::editorEvent(event, model, option, index);
}

KoFileNameEditor* KoUiV3FileDetailDelegate::makeEditor(QWidget* parent) const
{
    return new KoUiV3FileTableEditor(parent);
}
