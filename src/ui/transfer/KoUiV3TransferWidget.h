#pragma once

#include <QWidget>

class KoUiV3TransferWidget : public QWidget
{
    Q_OBJECT
public:
    explicit KoUiV3TransferWidget(QWidget* parent = nullptr);
    ~KoUiV3TransferWidget() override;
};
