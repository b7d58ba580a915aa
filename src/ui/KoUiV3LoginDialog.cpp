#include "KoUiV3LoginDialog.h"

#include "net/KoUser.h"
#include "net/KoUserActionRecord.h"
#include "ui/KoUiV3SmsVerifyDialog.h"
#include "ui/widgets/KoHeadImage.h"
#include "ui_KoUiV3LoginDialog.h"

#include <QPointer>
#include <QRegularExpressionValidator>
#include <QTimer>

KoUiV3LoginDialog::KoUiV3LoginDialog(QWidget* parent)
    : KoCardDialog(parent)
    , ui(new Ui::KoUiV3LoginDialog)
{
    initData();
    initUi();
    initConnection();
}

KoUiV3LoginDialog::~KoUiV3LoginDialog()
{
    delete ui;
}

void KoUiV3LoginDialog::initData()
{
    m_user = KoUser::getInstance();
}

void KoUiV3LoginDialog::initUi()
{
    ui->setupUi(this);
    initCard(ui->btnClose);
    ui->phoneEdit->setAttribute(Qt::WA_MacShowFocusRect, false);
    ui->pwdEdit->setAttribute(Qt::WA_MacShowFocusRect, false);
    ui->btnLogin->setStyleSheet(confirmButtonStyle());
    ui->phoneEdit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]+$")), this));
    const QString phone = m_user->getPhone();
    if (!phone.isEmpty()) {
        ui->phoneEdit->setText(phone);
        ui->pwdEdit->setFocus();
    }
    updateHeadLabel();
    checkEditInput();
    ui->tipsLabel->hide();
}

void KoUiV3LoginDialog::initConnection()
{
    connect(ui->btnClose, &QPushButton::clicked, this, &KoUiV3LoginDialog::onBtnCloseClicked);
    connect(ui->btnLogin, &QPushButton::clicked, this, &KoUiV3LoginDialog::onBtnLoginClicked);
    connect(ui->phoneEdit, &QLineEdit::textEdited, this, &KoUiV3LoginDialog::checkEditInput);
    connect(ui->pwdEdit, &QLineEdit::textEdited, this, &KoUiV3LoginDialog::checkEditInput);
    connect(ui->forgetLabel, &KoClickLabel::clicked, this, &KoUiV3LoginDialog::onLabelForgetClicked);
}

void KoUiV3LoginDialog::updateHeadLabel()
{
    ui->headLabel->setPixmap(koLoadHeadImage(QStringLiteral(":/ui_v3/images/default_avator")));
}

void KoUiV3LoginDialog::checkEditInput()
{
    hideTipsLabel();
    ui->btnLogin->setEnabled(!ui->phoneEdit->text().isEmpty() && !ui->pwdEdit->text().isEmpty());
}

void KoUiV3LoginDialog::showTipsLabel(QString text)
{
    ui->tipsLabel->setText(text);
    ui->tipsLabel->show();
}

void KoUiV3LoginDialog::hideTipsLabel()
{
    ui->tipsLabel->hide();
}

void KoUiV3LoginDialog::onBtnLoginClicked()
{
    m_user->setPhone(ui->phoneEdit->text());
    m_user->setPassword(ui->pwdEdit->text());
    // The answer may come after this dialog is gone (closed, or a second press answered first).
    QPointer<KoUiV3LoginDialog> self(this);
    m_user->login([self](int code) {
        if (self)
            self->onLoginAnswer(code);
    });
}

void KoUiV3LoginDialog::onLoginAnswer(int code)
{
    switch (code) {
    case 0:
        KoUserActionRecord::getInstance()->recordUserLogin();
        accept();
        break;
    case KoUser::kNoAnswer:
        showTipsLabel(noAnswerText());
        break;
    case 1020:
        showTipsLabel(QStringLiteral("该用户不存在"));
        break;
    case 1021:
        showTipsLabel(QStringLiteral("您输入的密码有误"));
        break;
    default:
        showTipsLabel(QStringLiteral("由于未知原因, 登录失败"));
        break;
    }
}

void KoUiV3LoginDialog::onLabelForgetClicked()
{
    KoUserActionRecord::getInstance()->recordBtnForgetPwdClicked();
    reject();
    // Not inside this dialog's run: the next one starts once its exec has returned.
    QTimer::singleShot(0, qApp, [] {
        KoUiV3SmsVerifyDialog sms(nullptr);
        sms.exec();
    });
}

void KoUiV3LoginDialog::onBtnCloseClicked()
{
    reject();
}
