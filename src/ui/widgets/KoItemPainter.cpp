#include "KoItemPainter.h"

#include <QApplication>
#include <QCoreApplication>
#include <QHash>
#include <QPainter>
#include <QStyleOptionViewItem>

#include "KoImageCache.h"

namespace KoItemPainter {

namespace {
struct FontEntry {
    QFont font;
    QFontMetrics metrics;
};

QHash<int, FontEntry*>& fonts()
{
    static QHash<int, FontEntry*> entries;
    return entries;
}

// Fonts must go while the application still lives.
void dropFonts()
{
    qDeleteAll(fonts());
    fonts().clear();
}

const FontEntry& entry(int pixelSize)
{
    if (fonts().isEmpty())
        qAddPostRoutine(dropFonts);
    FontEntry*& found = fonts()[pixelSize];
    if (!found) {
        QFont f = QApplication::font();
        f.setPixelSize(pixelSize);
        found = new FontEntry{f, QFontMetrics(f)};
    }
    return *found;
}
} // namespace

const QFont& font(int pixelSize)
{
    return entry(pixelSize).font;
}

const QFontMetrics& metrics(int pixelSize)
{
    return entry(pixelSize).metrics;
}

void fillRowBackground(QPainter* painter, const QRect& rect, bool selected, bool hovered)
{
    if (selected)
        painter->fillRect(rect, QColor(0xDB, 0xE9, 0xFF));
    else if (hovered)
        painter->fillRect(rect, QColor(0xF6, 0xF6, 0xF6));
}

void fillTile(QPainter* painter, const QRect& rect, bool selected, bool hovered)
{
    const QColor blue(0xDB, 0xE9, 0xFF);
    painter->save();
    if (selected) {
        painter->setPen(QPen(QColor(0xA6, 0xC7, 0xFF), 1));
        painter->setBrush(blue);
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
    } else {
        painter->fillRect(rect, hovered ? blue : QColor(Qt::white));
    }
    painter->restore();
}

void drawText(QPainter* painter, const QRect& rect, const QString& text, int pixelSize, const QColor& color,
              Qt::TextElideMode mode, int flags)
{
    const QString shown = mode == Qt::ElideNone ? text : metrics(pixelSize).elidedText(text, mode, rect.width());
    painter->save();
    painter->setFont(font(pixelSize));
    painter->setPen(color);
    painter->drawText(rect, flags, shown);
    painter->restore();
}

void drawImage(QPainter* painter, const QRect& rect, const QString& resource)
{
    painter->drawPixmap(rect, KoImageCache::forPainter(painter, resource, rect.size()));
}

QRect rowIconRect(const QRect& cell)
{
    return QRect(cell.x() + 12, cell.y() + (cell.bottom() - cell.y() - 17) / 2, 18, 18);
}

QRect rowTextRect(const QRect& cell, int width, int pixelSize)
{
    const int height = metrics(pixelSize).height();
    return QRect(cell.x() + 38, cell.y() + (cell.height() - height) / 2, width, height);
}

void paintNameCell(QPainter* painter, const QStyleOptionViewItem& option, const QPixmap& icon, const QString& name,
                   bool hovered, int textWidth)
{
    const QRect& cell = option.rect;
    fillRowBackground(painter, cell, option.state & QStyle::State_Selected, hovered);
    painter->drawPixmap(rowIconRect(cell), icon);
    drawText(painter, rowTextRect(cell, textWidth, 12), name, 12, QColor(0x31, 0x31, 0x31), Qt::ElideRight,
             Qt::AlignLeft | Qt::AlignVCenter);
}

} // namespace KoItemPainter
