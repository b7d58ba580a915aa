#include "KoAlertDialog.h"

#include <QPushButton>

namespace {
void prepare(QMessageBox& box, const QString& title, const QString& text)
{
    box.setIcon(QMessageBox::Information);
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::NoButton);
}
} // namespace

int KoAlertDialog::alert(QString title, QString text)
{
    QMessageBox box;
    prepare(box, title, text);
    box.addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole);
    return box.exec();
}

int KoAlertDialog::confirm(QString title, QString text, QString confirmText, QString cancelText)
{
    QMessageBox box;
    prepare(box, title, text);
    QPushButton* confirmButton = box.addButton(confirmText, QMessageBox::AcceptRole);
    box.setDefaultButton(confirmButton);
    QPushButton* cancelButton = box.addButton(cancelText, QMessageBox::RejectRole);
    box.exec();
    if (box.clickedButton() == confirmButton)
        return 0;
    if (box.clickedButton() == cancelButton)
        return 1;
    return -1;
}
