#include "KoRowPainter.h"

#include "ui/widgets/KoImageCache.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionViewItem>

namespace {

QFont pixelFont(int px)
{
    QFont font;
    font.setPixelSize(px);
    return font;
}

void elidedLine(QPainter* painter, const QRect& cell, int left, int width, const QString& text, int px,
                const QColor& colour)
{
    painter->setFont(pixelFont(px));
    painter->setPen(colour);
    const QFontMetrics fm(painter->font());
    const QRect box(left, cell.top() + (cell.height() - fm.height()) / 2, width, fm.height());
    painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter, fm.elidedText(text, Qt::ElideRight, width));
}

} // namespace

namespace KoRowPainter {

QRect buttonRect(const QRect& cell, int slot)
{
    return QRect(cell.left() + 10 + 40 * slot, cell.top() + (cell.height() - kButtonSize) / 2, kButtonSize,
                 kButtonSize);
}

QRect barRect(const QRect& cell, int captionHeight)
{
    return QRect(cell.left() + 10, cell.top() + (cell.height() - 9 - captionHeight) / 2, cell.width() - 32, 5);
}

int barFillWidth(const QRect& track, int percent)
{
    return int(qBound(0, percent, 100) * (track.width() / 100.0));
}

void fillSelection(QPainter* painter, const QStyleOptionViewItem& option)
{
    if (option.state & QStyle::State_Selected)
        painter->fillRect(option.rect, kSelected);
}

void iconAndName(QPainter* painter, const QRect& cell, const QPixmap& icon, const QString& name)
{
    if (!icon.isNull())
        painter->drawPixmap(QRect(cell.left() + 12, cell.top() + (cell.height() - 18) / 2, 18, 18), icon);
    elidedLine(painter, cell, cell.left() + 38, cell.width() - 50, name, 12, kText);
}

void text(QPainter* painter, const QRect& cell, int margin, const QString& line, const QColor& colour)
{
    elidedLine(painter, cell, cell.left() + margin, cell.width() - 2 * margin, line, 12, colour);
}

void progressBar(QPainter* painter, const QRect& cell, int percent, const QColor& fill, const QString& caption)
{
    painter->setFont(pixelFont(10));
    const QFontMetrics fm(painter->font());
    const QRect track = barRect(cell, fm.height());
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::transparent);
    painter->setBrush(kTrack);
    painter->drawRoundedRect(track, 2, 2, Qt::AbsoluteSize);
    const int filled = barFillWidth(track, percent);
    if (filled > 0) {
        painter->setBrush(fill);
        painter->drawRoundedRect(QRect(track.left(), track.top(), filled, track.height()), 2, 2, Qt::AbsoluteSize);
    }
    painter->setPen(kGrey);
    const int width = cell.width() - 20;
    painter->drawText(QRect(track.left(), track.top() + 9, width, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      fm.elidedText(caption, Qt::ElideRight, width));
}

void buttons(QPainter* painter, const QRect& cell, const QStringList& images)
{
    for (int slot = 0; slot < images.size(); ++slot) {
        if (images.at(slot).isEmpty())
            continue;
        const QRect box = buttonRect(cell, slot);
        painter->drawPixmap(box, KoImageCache::forPainter(painter, images.at(slot), box.size()));
    }
}

} // namespace KoRowPainter
