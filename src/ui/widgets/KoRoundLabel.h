#pragma once

#include "ui/widgets/KoClickLabel.h"

// A clickable label that shows its pixmap inside a circle of its shorter side.
class KoRoundLabel : public KoClickLabel
{
    Q_OBJECT
public:
    explicit KoRoundLabel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
