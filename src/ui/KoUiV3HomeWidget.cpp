#include "KoUiV3HomeWidget.h"

KoUiV3HomeWidget::KoUiV3HomeWidget(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("KoUiV3HomeWidget"));
}

KoUiV3HomeWidget::~KoUiV3HomeWidget() = default;
