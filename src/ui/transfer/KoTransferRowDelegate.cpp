#include "KoTransferRowDelegate.h"

#include "ui/widgets/KoRowPainter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWidget>

KoTransferRowDelegate::KoTransferRowDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QRect KoTransferRowDelegate::buttonRect(const QRect& cell, int slot)
{
    return KoRowPainter::buttonRect(cell, slot);
}

void KoTransferRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const
{
    if (index.column() > 3) {
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
        return;
    }
    painter->save();
    KoRowPainter::fillSelection(painter, option);
    if (index.column() == 0) {
        KoRowPainter::iconAndName(painter, option.rect, index.data(Qt::DecorationRole).value<QPixmap>(),
                                  index.data(Qt::DisplayRole).toString());
    } else if (index.column() == 3) {
        QStringList images;
        for (const RowButton& button : rowButtons(index))
            images << button.image;
        KoRowPainter::buttons(painter, option.rect, images);
    } else {
        paintText(painter, option.rect, index);
    }
    painter->restore();
}

bool KoTransferRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                        const QModelIndex& index)
{
    const QEvent::Type type = event->type();
    if (!index.isValid() || index.column() != 3 || (type != QEvent::MouseButtonPress && type != QEvent::MouseMove)) {
        // One step may leave a button for another column: its tip and hand go with it.
        if (type == QEvent::MouseMove && m_onButton)
            leaveButton();
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    m_lastPos = mouse->localPos().toPoint();
    const QList<RowButton> buttons = rowButtons(index);
    int hit = -1;
    for (int slot = 0; slot < buttons.size() && hit < 0; ++slot) {
        if (!buttons.at(slot).image.isEmpty() && buttonRect(option.rect, slot).contains(m_lastPos))
            hit = slot;
    }
    if (type == QEvent::MouseButtonPress) {
        if (mouse->button() != Qt::LeftButton || hit < 0)
            return QStyledItemDelegate::editorEvent(event, model, option, index);
        buttonPressed(index, hit);
        return true;
    }
    if (hit >= 0) {
        m_onButton = true;
        setViewCursor(Qt::PointingHandCursor);
        QToolTip::showText(mouse->globalPos(), buttons.at(hit).tip);
    } else {
        // Also a row without buttons (finished, blank, of another kind).
        leaveButton();
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

void KoTransferRowDelegate::leaveButton()
{
    m_onButton = false;
    QToolTip::showText(QPoint(0, 0), QString());
    setViewCursor(Qt::ArrowCursor);
}

void KoTransferRowDelegate::setViewCursor(Qt::CursorShape shape) const
{
    if (auto* view = qobject_cast<QWidget*>(parent()))
        view->setCursor(shape);
}
