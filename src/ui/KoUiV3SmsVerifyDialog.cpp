#include "KoUiV3SmsVerifyDialog.h"

#include "net/KoUser.h"
#include "ui/KoUiV3ChangePwdDialog.h"
#include "ui_KoUiV3SmsVerifyDialog.h"

#include <QPointer>
#include <QRegularExpressionValidator>
#include <QTimer>

namespace {
const char* const kSendText = "发送验证码";

// What the SMS request and check say alike; empty for any other answer.
QString answerText(int code)
{
    switch (code) {
    case 1020:
        return QStringLiteral("该手机号未注册");
    case 1000:
        return QStringLiteral("手机号格式错误");
    case KoUser::kNoAnswer:
        return KoCardDialog::noAnswerText();
    default:
        return QString();
    }
}
} // namespace

KoUiV3SmsVerifyDialog::KoUiV3SmsVerifyDialog(QWidget* parent)
    : KoCardDialog(parent)
    , ui(new Ui::KoUiV3SmsVerifyDialog)
{
    initData();
    initUi();
    initConnection();
}

KoUiV3SmsVerifyDialog::~KoUiV3SmsVerifyDialog()
{
    delete ui;
}

void KoUiV3SmsVerifyDialog::initData()
{
    m_remainTimer = new QTimer(this);
}

void KoUiV3SmsVerifyDialog::initUi()
{
    ui->setupUi(this);
    initCard(ui->btnClose);
    ui->btnNext->setStyleSheet(confirmButtonStyle());
    ui->btnSendSms->setStyleSheet(confirmButtonStyle());
    ui->btnNext->setEnabled(false);
    ui->phoneEdit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]+$")), this));
    ui->phoneEdit->setText(KoUser::getInstance()->getPhone());
    ui->verifyEdit->setFocus();
    ui->btnSendSms->setEnabled(!ui->phoneEdit->text().isEmpty());
    ui->phoneEdit->setAttribute(Qt::WA_MacShowFocusRect, false);
    ui->verifyEdit->setAttribute(Qt::WA_MacShowFocusRect, false);
    hideTips();
}

void KoUiV3SmsVerifyDialog::initConnection()
{
    connect(ui->btnClose, &QPushButton::clicked, this, &KoUiV3SmsVerifyDialog::onBtnCloseClicked);
    connect(ui->btnNext, &QPushButton::clicked, this, &KoUiV3SmsVerifyDialog::onBtnNextClicked);
    connect(ui->btnSendSms, &QPushButton::clicked, this, &KoUiV3SmsVerifyDialog::onBtnSendSmsClicked);
    connect(m_remainTimer, &QTimer::timeout, this, &KoUiV3SmsVerifyDialog::onRemainTimerOut);
    connect(ui->phoneEdit, &QLineEdit::textEdited, this, &KoUiV3SmsVerifyDialog::checkEditInput);
    connect(ui->verifyEdit, &QLineEdit::textEdited, this, &KoUiV3SmsVerifyDialog::checkEditInput);
}

void KoUiV3SmsVerifyDialog::showTips(QString text)
{
    ui->tipsLabel->setText(text);
    ui->tipsLabel->show();
}

void KoUiV3SmsVerifyDialog::hideTips()
{
    ui->tipsLabel->hide();
}

void KoUiV3SmsVerifyDialog::checkEditInput()
{
    hideTips();
    const bool hasPhone = !ui->phoneEdit->text().isEmpty();
    if (hasPhone && !m_remainTimer->isActive())
        ui->btnSendSms->setEnabled(true);
    if (!hasPhone)
        ui->btnSendSms->setEnabled(false);
    ui->btnNext->setEnabled(hasPhone && !ui->verifyEdit->text().isEmpty());
}

void KoUiV3SmsVerifyDialog::onBtnSendSmsClicked()
{
    ui->btnSendSms->setEnabled(false);
    ui->verifyEdit->setFocus();
    m_remainSeconds = kResendSeconds;
    m_remainTimer->start(1000);
    QPointer<KoUiV3SmsVerifyDialog> self(this);
    KoUser::getInstance()->requestCode(ui->phoneEdit->text(), [self](int code) {
        if (self)
            self->onCodeSent(code);
    });
}

void KoUiV3SmsVerifyDialog::onCodeSent(int code)
{
    if (code == 0)
        return;
    const QString known = answerText(code);
    showTips(known.isEmpty() ? unknownErrorText() : known);
    // No code is coming and the number itself was not refused: waiting out the count-down would
    // only delay the retry.
    if (known.isEmpty() || code == KoUser::kNoAnswer)
        endCountDown();
}

void KoUiV3SmsVerifyDialog::onRemainTimerOut()
{
    if (m_remainSeconds-- < 2) {
        endCountDown();
        return;
    }
    ui->btnSendSms->setText(QString::number(m_remainSeconds) + QLatin1Char('s'));
}

void KoUiV3SmsVerifyDialog::endCountDown()
{
    m_remainTimer->stop();
    ui->btnSendSms->setText(QString::fromUtf8(kSendText));
    // Never a click that asks a code for no number.
    ui->btnSendSms->setEnabled(!ui->phoneEdit->text().isEmpty());
}

void KoUiV3SmsVerifyDialog::onBtnNextClicked()
{
    ui->btnNext->setEnabled(false);
    QPointer<KoUiV3SmsVerifyDialog> self(this);
    KoUser::getInstance()->validatePhone(ui->phoneEdit->text(), ui->verifyEdit->text(), [self](int code) {
        if (self)
            self->onCodeChecked(code);
    });
}

void KoUiV3SmsVerifyDialog::onCodeChecked(int code)
{
    ui->btnNext->setEnabled(true);
    if (code != 0) {
        // Only an answer none of the known ones means a wrong code.
        const QString text = answerText(code);
        showTips(text.isEmpty() ? QStringLiteral("验证码错误") : text);
        return;
    }
    accept();
    // The next dialog runs once this answer has been handled, not inside it; KoUser keeps the
    // verified phone and code the reset needs.
    QTimer::singleShot(0, qApp, [] {
        KoUiV3ChangePwdDialog change(nullptr);
        change.exec();
    });
}

void KoUiV3SmsVerifyDialog::onBtnCloseClicked()
{
    reject();
}
