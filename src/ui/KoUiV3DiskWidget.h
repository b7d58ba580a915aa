#pragma once

#include <QWidget>

class KoUiV3DiskWidget : public QWidget
{
    Q_OBJECT
public:
    explicit KoUiV3DiskWidget(QWidget* parent = nullptr);
    ~KoUiV3DiskWidget() override;
};
