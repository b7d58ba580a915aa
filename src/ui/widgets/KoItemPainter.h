#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>

class QPainter;
class QStyleOptionViewItem;

// What the painted delegates share: backgrounds, the small icon of a row, elided names and
// resource images, with fonts and metrics made once per pixel size (no per-cell allocation).
// GUI thread only.
namespace KoItemPainter {

// The application's family at a pixel size, made once per size.
const QFont& font(int pixelSize);
const QFontMetrics& metrics(int pixelSize);

// Row background: "#DBE9FF" when selected, "#F6F6F6" when hovered, else left alone.
void fillRowBackground(QPainter* painter, const QRect& rect, bool selected, bool hovered);

// The icon tile frame: selected filled "#DBE9FF" with a "#A6C7FF" outline, hovered filled
// "#DBE9FF", else white.
void fillTile(QPainter* painter, const QRect& rect, bool selected, bool hovered);

// Text in pixelSize px and colour, elided to the rectangle's width by mode (Qt::ElideNone draws
// it whole), aligned by flags.
void drawText(QPainter* painter, const QRect& rect, const QString& text, int pixelSize, const QColor& color,
              Qt::TextElideMode mode, int flags);

// A resource image (rendered once per size) scaled into rect.
void drawImage(QPainter* painter, const QRect& rect, const QString& resource);

// The table cells' standard rectangles: the 18 x 18 icon and the name after it.
QRect rowIconRect(const QRect& cell);
QRect rowTextRect(const QRect& cell, int width, int pixelSize);

// A table row's name cell: background by state and hover, the 18 x 18 icon, and the name in
// 12 px "#313131" elided at the right to textWidth.
void paintNameCell(QPainter* painter, const QStyleOptionViewItem& option, const QPixmap& icon, const QString& name,
                   bool hovered, int textWidth);

} // namespace KoItemPainter
