#pragma once

#include <QPixmap>
#include <QPoint>
#include <QWidget>

namespace Ui {
class KoUiV3UsrInfoWidget;
}

// The signed-in user's popup under the title bar's head button: head, nick, id and phone, and
// "切换账号". The main window owns one, hidden until asked; it closes on a click outside it.
class KoUiV3UsrInfoWidget : public QWidget
{
    Q_OBJECT
public:
    explicit KoUiV3UsrInfoWidget(QWidget* parent = nullptr);
    ~KoUiV3UsrInfoWidget() override;

    // Refreshes the contents and shows the popup with its top-left corner at globalPos.
    void popup(QPoint globalPos);
    // Signed out: leaves the labels as they are.
    void updateContent();

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    // Asks first; then signs out, ejects the phones and runs the login dialog.
    void onBtnLogoutClicked();

private:
    void initData();
    void initUi();
    void initConnection();

    Ui::KoUiV3UsrInfoWidget* ui;
    QPixmap m_background;
};
