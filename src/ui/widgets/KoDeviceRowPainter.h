#pragma once

#include <QColor>
#include <QRect>
#include <QString>

class QPainter;

// What the two device-list delegates share: a 60-pixel row with a 40 x 40 icon at the left and a
// title over a subtitle, both elided to the text width. The delegates choose the texts, colours
// and the right margin; nothing here reads a model.
class KoDeviceRowPainter
{
public:
    struct Row {
        QString icon; // image resource; empty: no icon
        QString title;
        QColor titleColour;
        QString subtitle;
        int rightMargin = 72; // from the row's right edge to the text's right edge, plus the left 60
    };

    static const int kRowHeight = 60;

    // The head icon of an Android phone, iPhone or iPad, coloured or grey; empty for another type.
    static QString deviceIcon(int deviceType, bool enabled);
    // "我的Android", "我的iPhone", "我的iPad"; empty for another type.
    static QString ownDeviceTitle(int deviceType);
    static QRect iconRect(const QRect& row);
    static void paint(QPainter* painter, const QRect& row, const Row& content);
};
