#pragma once

#include "ui/widgets/KoCardDialog.h"

namespace Ui {
class KoUiV3ChangePwdDialog;
}

// Last step of a password reset, run with exec and no parent once the SMS code was accepted:
// the new password twice. A successful reset closes it and signs the verified phone in again;
// the program learns the outcome through KoUser::loginResult.
class KoUiV3ChangePwdDialog : public KoCardDialog
{
    Q_OBJECT
public:
    explicit KoUiV3ChangePwdDialog(QWidget* parent = nullptr);
    ~KoUiV3ChangePwdDialog() override;

private slots:
    void onBtnCloseClicked();
    void onBtnConfirmClicked();
    void checkPwdInput();

private:
    void initUi();
    void initConnection();
    void showTips(QString text);
    void hideTips();
    void onResetAnswer(int code);

    Ui::KoUiV3ChangePwdDialog* ui;
};
