#include "KoUiV3FileWidget.h"

#include "model/KoBaseFacility.h"

KoUiV3FileWidget::KoUiV3FileWidget(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("KoUiV3FileWidget"));
}

KoUiV3FileWidget::~KoUiV3FileWidget() = default;

void KoUiV3FileWidget::setFacility(KoBaseFacility* facility)
{
    if (!facility)
        return;
    m_facility.reset(new KoBaseFacility(facility));
}

KoBaseFacility* KoUiV3FileWidget::getFacility() const
{
    return m_facility.get();
}
