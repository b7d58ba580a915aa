#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

namespace Ui {
class KoUiV3TipsWidget;
}

// Empty-state panel: an image, a hint, an optional clickable line and an extra
// hint, kept in the middle of the page that owns it.
class KoUiV3TipsWidget : public QWidget
{
    Q_OBJECT
public:
    explicit KoUiV3TipsWidget(QWidget* parent = nullptr);
    ~KoUiV3TipsWidget() override;

    // An empty clickText hides the clickable line and the extra hint.
    void showTips(QPixmap image, QString tips, QString clickText);

signals:
    void click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    Ui::KoUiV3TipsWidget* ui;
};
