#pragma once

#include "ui/widgets/KoCardDialog.h"

namespace Ui {
class KoUiV3LoginDialog;
}
class KoUser;

// The modal login dialog (phone number and password), run with exec and no parent. Accepted
// after a successful login; the program learns of any login through KoUser::loginResult.
// Its "忘记密码?" link leaves it for the password-reset dialogs, with no way back.
class KoUiV3LoginDialog : public KoCardDialog
{
    Q_OBJECT
public:
    explicit KoUiV3LoginDialog(QWidget* parent = nullptr);
    ~KoUiV3LoginDialog() override;

private slots:
    void onBtnCloseClicked();
    void onBtnLoginClicked();
    void onLabelForgetClicked();
    void showTipsLabel(QString text);
    void hideTipsLabel();
    void checkEditInput();

private:
    void initData();
    void initUi();
    void initConnection();
    void updateHeadLabel();
    void onLoginAnswer(int code);

    Ui::KoUiV3LoginDialog* ui;
    KoUser* m_user = nullptr;
};
