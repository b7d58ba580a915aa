#pragma once

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStringList>

class QPainter;
class QStyleOptionViewItem;

// The pieces that painted table rows share: the selection fill, icon and name, a grey text, a
// thin progress bar with its caption, and a row of small image buttons. Geometry is relative to
// the cell; buttonRect is the one source of both the painted buttons and their hit areas.
// Callers save and restore the painter around each cell.
namespace KoRowPainter {

const QColor kSelected("#DBE9FF");
const QColor kText("#313131");
const QColor kGrey("#999");
const QColor kError("#f75555");
const QColor kTrack("#E5E5E5");
const QColor kFill("#4D90FF");
const QColor kPausedFill("#C3C3C3");
constexpr int kButtonSize = 16;

// The 16 x 16 button slot (0, 1, 2 ...) at L + 10 + 40 * slot, centred vertically.
QRect buttonRect(const QRect& cell, int slot);
// The 5 px track of a bar from L + 10, W - 32 wide, placed above a caption of the given font height.
QRect barRect(const QRect& cell, int captionHeight);
// Fill width for a percent, clamped to 0..100.
int barFillWidth(const QRect& track, int percent);

void fillSelection(QPainter* painter, const QStyleOptionViewItem& option);
// 18 x 18 icon at L + 12 and the name from L + 38 in 12 px #313131.
void iconAndName(QPainter* painter, const QRect& cell, const QPixmap& icon, const QString& name);
// One line at pixel size 12, elided to the cell minus the margins on both sides.
void text(QPainter* painter, const QRect& cell, int margin, const QString& text, const QColor& colour);
// Track, fill and the caption under it (pixel size 10, #999).
void progressBar(QPainter* painter, const QRect& cell, int percent, const QColor& fill, const QString& caption);
// Buttons by slot; an empty name leaves its slot empty.
void buttons(QPainter* painter, const QRect& cell, const QStringList& images);

} // namespace KoRowPainter
