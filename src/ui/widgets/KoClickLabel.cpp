#include "KoClickLabel.h"

#include <QMouseEvent>

KoClickLabel::KoClickLabel(QWidget* parent)
    : QLabel(parent)
{
}

void KoClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    // A press on the label that ends outside it still counts, like a link.
    if (event->button() == Qt::LeftButton)
        emit clicked();
}
