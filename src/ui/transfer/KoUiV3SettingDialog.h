#pragma once

#include <QDialog>

class QButtonGroup;
class QPushButton;
class Ui_KoUiV3SettingDialog;

// The settings and about dialog: the two transfer notices, a manual update check and the
// program's version. Run modally (exec) without a parent and destroyed by its caller; only
// "确定" on the basic page stores anything. Frameless: it paints its own card and moves by its
// 40 px title band.
class KoUiV3SettingDialog : public QDialog
{
    Q_OBJECT
public:
    // The product site shown on the version page; the agreement lies below it.
    static const char* const kSiteUrl;

    explicit KoUiV3SettingDialog(QWidget* parent = nullptr);
    ~KoUiV3SettingDialog() override;

    // "V3.2.0", shown on the about page and in the tray notices' title.
    static QString versionName();

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void onBtnCommonClicked();
    void onBtnPhotoClicked();
    void onBtnSuggestClicked();
    void onBtnVersionClicked();
    void onBtnAboutClicked();
    void onBtnCommonConfirmClicked();
    void onBtnCheckVersionClicked();

private:
    void initUi();
    void initConnection();
    void showMenuPage(QPushButton* button, QWidget* page);

    Ui_KoUiV3SettingDialog* ui;
    QButtonGroup* m_closeGroup = nullptr;
};
