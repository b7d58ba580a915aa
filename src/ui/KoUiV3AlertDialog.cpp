#include "KoUiV3AlertDialog.h"

#include "app/KoCommonUtil.h"
#include "ui/KoUiInit.h"
#include "ui/widgets/KoSurfaceDrag.h"
#include "ui_KoUiV3AlertDialog.h"

#include <QPainter>

KoUiV3AlertDialog::KoUiV3AlertDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::KoUiV3AlertDialog)
{
    koInitUiResources();
    initUi();
    initConnection();
}

KoUiV3AlertDialog::~KoUiV3AlertDialog()
{
    delete ui;
}

void KoUiV3AlertDialog::initUi()
{
    ui->setupUi(this);
    // Titles and texts carry phone-supplied nicks and names: never rich text.
    ui->titleLabel->setTextFormat(Qt::PlainText);
    ui->textLabel->setTextFormat(Qt::PlainText);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    ui->btnConfirm->setStyleSheet(
        QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoConfirmButton")).constData()));
    ui->btnCancel->setStyleSheet(
        QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoCancelButton")).constData()));
    // Dragged by the title band only (edges included).
    new KoSurfaceDrag(this, [this](const QPoint& p) {
        return p.x() >= 0 && p.y() >= 0 && p.x() <= ui->titleWidget->width() && p.y() <= ui->titleWidget->height();
    });
}

void KoUiV3AlertDialog::initConnection()
{
    connect(ui->btnConfirm, &QPushButton::clicked, this, &KoUiV3AlertDialog::onBtnConfirmClicked);
    connect(ui->btnCancel, &QPushButton::clicked, this, &KoUiV3AlertDialog::onBtnCancelClicked);
}

int KoUiV3AlertDialog::alert(QString title, QString text)
{
    setWindowTitle(title);
    ui->titleLabel->setText(title);
    ui->textLabel->setText(text);
    ui->btnCancel->hide();
    return exec();
}

int KoUiV3AlertDialog::confirm(QString title, QString text, QString confirmText, QString cancelText)
{
    setWindowTitle(title);
    ui->titleLabel->setText(title);
    ui->textLabel->setText(text);
    ui->btnConfirm->setText(confirmText);
    ui->btnCancel->setText(cancelText);
    return exec();
}

void KoUiV3AlertDialog::onBtnConfirmClicked()
{
    accept();
}

void KoUiV3AlertDialog::onBtnCancelClicked()
{
    reject();
}

void KoUiV3AlertDialog::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setBrush(QBrush(Qt::white));
        painter.setPen(QPen(Qt::gray, 1));
        painter.drawRoundedRect(QRect(0, 0, width() - 2, height() - 2), 4, 4, Qt::AbsoluteSize);

        painter.setBrush(QBrush(QColor(QStringLiteral("#4d90ff"))));
        painter.setPen(Qt::transparent);
        painter.drawRoundedRect(QRect(0, 0, ui->titleWidget->width() - 2, ui->titleWidget->height() - 2), 4, 4,
                                Qt::AbsoluteSize);
    }
    QDialog::paintEvent(event);
}
