#pragma once

#include <QWidget>

class KoUiV3HomeWidget : public QWidget
{
    Q_OBJECT
public:
    explicit KoUiV3HomeWidget(QWidget* parent = nullptr);
    ~KoUiV3HomeWidget() override;
};
