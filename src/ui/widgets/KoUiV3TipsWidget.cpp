#include "KoUiV3TipsWidget.h"

#include "ui/KoUiInit.h"
#include "ui_KoUiV3TipsWidget.h"

KoUiV3TipsWidget::KoUiV3TipsWidget(QWidget* parent)
    : QWidget(parent)
    , ui(nullptr)
{
    koInitUiResources();
    ui = new Ui::KoUiV3TipsWidget;
    ui->setupUi(this);
    connect(ui->clickLabel, &KoClickLabel::clicked, this, &KoUiV3TipsWidget::click);
}

KoUiV3TipsWidget::~KoUiV3TipsWidget()
{
    delete ui;
}

void KoUiV3TipsWidget::showTips(QPixmap image, QString tips, QString clickText)
{
    ui->imgLabel->setPixmap(image);
    ui->tipsLabel->setText(tips);
    ui->clickLabel->setText(clickText);
    const bool clickable = !clickText.isEmpty();
    ui->clickLabel->setVisible(clickable);
    ui->extraLabel->setVisible(clickable);
    show();
}

void KoUiV3TipsWidget::showEvent(QShowEvent* event)
{
    if (QWidget* parent = parentWidget())
        move((parent->width() - 4) / 2 - width() / 2, (parent->height() - 4) / 2 - height() / 2);
    QWidget::showEvent(event);
}
