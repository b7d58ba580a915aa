#include "KoUiV3TransferWidget.h"

KoUiV3TransferWidget::KoUiV3TransferWidget(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("KoUiV3TransferWidget"));
}

KoUiV3TransferWidget::~KoUiV3TransferWidget() = default;
