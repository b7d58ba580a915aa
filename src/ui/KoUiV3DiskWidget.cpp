#include "KoUiV3DiskWidget.h"

KoUiV3DiskWidget::KoUiV3DiskWidget(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("KoUiV3DiskWidget"));
}

KoUiV3DiskWidget::~KoUiV3DiskWidget() = default;
