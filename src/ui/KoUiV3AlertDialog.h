#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class KoUiV3AlertDialog;
}

// The message box: an alert with one button or a confirmation answering 1
// (confirm) or 0 (cancel, Escape). Created per message as a local object.
class KoUiV3AlertDialog : public QDialog
{
    Q_OBJECT
public:
    explicit KoUiV3AlertDialog(QWidget* parent = nullptr);
    ~KoUiV3AlertDialog() override;

    int alert(QString title, QString text);
    int confirm(QString title, QString text, QString confirmText, QString cancelText);

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void onBtnConfirmClicked();
    void onBtnCancelClicked();

private:
    void initUi();
    void initConnection();

    Ui::KoUiV3AlertDialog* ui;
};
