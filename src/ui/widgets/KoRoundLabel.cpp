#include "KoRoundLabel.h"

#include <QPainter>
#include <QPainterPath>

KoRoundLabel::KoRoundLabel(QWidget* parent)
    : KoClickLabel(parent)
{
    setScaledContents(true);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

void KoRoundLabel::paintEvent(QPaintEvent* event)
{
    const QPixmap pixmap = this->pixmap(Qt::ReturnByValue);
    if (pixmap.isNull()) {
        KoClickLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const int side = qMin(width(), height());
    QPainterPath circle;
    circle.addEllipse(0, 0, side, side);
    painter.setClipPath(circle);
    painter.drawPixmap(QRect(0, 0, width(), height()), pixmap);
}
