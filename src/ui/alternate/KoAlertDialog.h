#pragma once

#include <QMessageBox>

// An alert or a two-button confirmation in a platform-styled message box, run modally from a
// static call and destroyed on return; the class itself is never instantiated. The text is
// shown as plain text: it may carry a phone's nick.
//
// Note the answer of confirm: 0 for the confirm button and 1 for cancel (or Escape), the
// inverse of KoUiV3AlertDialog::confirm, which answers 1 for confirm.
class KoAlertDialog : public QMessageBox
{
    Q_OBJECT
public:
    // Closed by "确定" or by Escape: 0.
    static int alert(QString title, QString text);
    // 0 confirm, 1 cancel or Escape, -1 any other outcome.
    static int confirm(QString title, QString text, QString confirmText, QString cancelText);

private:
    KoAlertDialog() = delete;
};
