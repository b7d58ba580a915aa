#include "ui/browser/KoDragWidget.h"

KoDragWidget::KoDragWidget(QWidget* parent)
    : QWidget(parent)
{
    hide();
}
