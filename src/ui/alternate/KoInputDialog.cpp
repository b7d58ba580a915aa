#include "KoInputDialog.h"

int KoInputDialog::showTextInput(QWidget* parent, const QString& title, const QString& label, const QString& text,
                                 QString* result)
{
    QInputDialog dialog(parent);
    dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    dialog.setWindowTitle(title);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(label);
    dialog.setOkButtonText(QString::fromUtf8("确定"));
    dialog.setCancelButtonText(QString::fromUtf8("取消"));
    dialog.setTextValue(text);
    const int outcome = dialog.exec();
    int answer = -1;
    QString entered;
    if (outcome == QDialog::Accepted) {
        answer = 0;
        entered = dialog.textValue();
    } else if (outcome == QDialog::Rejected) {
        answer = 1;
    }
    if (result)
        *result = entered;
    return answer;
}
