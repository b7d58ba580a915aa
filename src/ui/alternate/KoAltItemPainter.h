#pragma once

#include <QRect>
#include <QString>

class QPainter;

// What the older delegates share beyond KoItemPainter: their ":/images/" names by file type and
// device type, the cut of long names, and the grey line under a row. GUI thread only.
namespace KoAltItemPainter {

// The large image of a file-type code; any unknown code gets the "other" image.
QString fileTypeImage(int fileType);
// The image of an Android phone, iPhone or iPad (2, 3, 4), coloured or grey; empty for another type.
QString deviceImage(int deviceType, bool enabled);
// "我的 Android", "我的 iPhone", "我的 iPad"; empty for another type.
QString ownDeviceCaption(int deviceType);
// The first maxChars characters and "..." when text is longer; the text itself otherwise.
QString cut(const QString& text, int maxChars);
// A 1 px rgb(225, 225, 225) line along the item's bottom row.
void bottomLine(QPainter* painter, const QRect& item);

} // namespace KoAltItemPainter
