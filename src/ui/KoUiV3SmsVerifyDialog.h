#pragma once

#include "ui/widgets/KoCardDialog.h"

namespace Ui {
class KoUiV3SmsVerifyDialog;
}
class QTimer;

// First step of a password reset, run with exec and no parent: has an SMS code sent to the
// phone (then a 60 s resend count-down) and checks it. An accepted code closes this dialog and
// opens KoUiV3ChangePwdDialog once the check's answer has been handled.
class KoUiV3SmsVerifyDialog : public KoCardDialog
{
    Q_OBJECT
public:
    explicit KoUiV3SmsVerifyDialog(QWidget* parent = nullptr);
    ~KoUiV3SmsVerifyDialog() override;

    static constexpr int kResendSeconds = 60;

private slots:
    void onBtnCloseClicked();
    void onBtnNextClicked();
    void onBtnSendSmsClicked();
    void checkEditInput();
    void onRemainTimerOut();

private:
    void initData();
    void initUi();
    void initConnection();
    void showTips(QString text);
    void hideTips();
    void endCountDown();
    void onCodeSent(int code);
    void onCodeChecked(int code);

    Ui::KoUiV3SmsVerifyDialog* ui;
    int m_remainSeconds = 0;
    QTimer* m_remainTimer = nullptr;
};
