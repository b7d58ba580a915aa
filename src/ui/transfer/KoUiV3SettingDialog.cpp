#include "KoUiV3SettingDialog.h"

#include "app/KoCommonUtil.h"
#include "app/KoSettings.h"
#include "net/KoAutoUpdateTool.h"
#include "net/KoUserActionRecord.h"
#include "ui/KoUiInit.h"
#include "ui/widgets/KoSurfaceDrag.h"
#include "ui_KoUiV3SettingDialog.h"

#include <QButtonGroup>
#include <QPainter>

const char* const KoUiV3SettingDialog::kSiteUrl = "https://reraze.invalid";

namespace {
QString qss(const char* name)
{
    return QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/") + QLatin1String(name)).constData());
}

QString link(const QString& href, const QString& text)
{
    return QStringLiteral("<a style=\"color: #4d90ff;\" href=\"%1\">%2</a>").arg(href, text.toHtmlEscaped());
}
} // namespace

KoUiV3SettingDialog::KoUiV3SettingDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui_KoUiV3SettingDialog)
{
    koInitUiResources();
    initUi();
    initConnection();
}

KoUiV3SettingDialog::~KoUiV3SettingDialog()
{
    delete ui;
}

QString KoUiV3SettingDialog::versionName()
{
    return QStringLiteral("V3.2.0");
}

void KoUiV3SettingDialog::initUi()
{
    ui->setupUi(this);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::FramelessWindowHint);
    ui->btnClose->setGeometry(16, 13, 12, 12);
    ui->btnClose->setStyleSheet(QStringLiteral(
        "QPushButton {border-style: flat; background: url(:/ui_v3/images/icon_mac_btn_close_window);}"
        "QPushButton:hover {border-style: flat; background: url(:/ui_v3/images/icon_mac_btn_close_window_hover);}"));
    ui->btnClose->raise();
    for (QWidget* w : {static_cast<QWidget*>(ui->label_2), static_cast<QWidget*>(ui->radioClose),
                       static_cast<QWidget*>(ui->radioHide), static_cast<QWidget*>(ui->btnPhoto),
                       static_cast<QWidget*>(ui->btnSuggest)})
        w->hide();
    m_closeGroup = new QButtonGroup(ui->commonWidget);
    m_closeGroup->addButton(ui->radioHide);
    m_closeGroup->addButton(ui->radioClose);
    m_closeGroup->setExclusive(true);

    ui->radioHide->setStyleSheet(qss("KoRadioButton"));
    ui->radioClose->setStyleSheet(qss("KoRadioButton"));
    for (QPushButton* b : {ui->btnCommon, ui->btnPhoto, ui->btnSuggest, ui->btnVersion, ui->btnAbout})
        b->setStyleSheet(qss("KoSettingMenuButton"));
    for (QPushButton* b : {ui->btnCommonConfirm, ui->btnAboutConfirm, ui->btnCheckVersion})
        b->setStyleSheet(qss("KoConfirmButton"));
    ui->btnCommonCancel->setStyleSheet(qss("KoCancelButton"));

    const QString site = QString::fromLatin1(kSiteUrl);
    ui->siteLabel->setText(link(site, site));
    ui->protocolLabel->setText(
        link(site + QStringLiteral("/agreement.htm"), QStringLiteral("查看版权声明与用户协议")));
    ui->label_4->setText(QStringLiteral("保留所有权利"));

    KoSettings* settings = KoSettings::getInstance();
    ui->chbDownload->setChecked(settings->getNotifyDownload());
    ui->chbUpload->setChecked(settings->getNotifyUpload());
    const bool closeApp = settings->getClosePolicy();
    ui->radioClose->setChecked(closeApp);
    ui->radioHide->setChecked(!closeApp);
    ui->versionLabel->setText(QStringLiteral("版本号 ") + versionName());

    // Only the title band moves the dialog; presses below it belong to the pages.
    new KoSurfaceDrag(this, [this](const QPoint& p) {
        return QRect(0, 0, ui->titleWidget->width(), ui->titleWidget->height()).contains(p);
    });
    onBtnCommonClicked();
}

void KoUiV3SettingDialog::initConnection()
{
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCommonCancel, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnAboutConfirm, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCommonConfirm, &QPushButton::clicked, this, &KoUiV3SettingDialog::onBtnCommonConfirmClicked);
    connect(ui->btnCheckVersion, &QPushButton::clicked, this, &KoUiV3SettingDialog::onBtnCheckVersionClicked);
    connect(ui->btnCommon, &QPushButton::clicked, this, &KoUiV3SettingDialog::onBtnCommonClicked);
    connect(ui->btnPhoto, &QPushButton::clicked, this, &KoUiV3SettingDialog::onBtnPhotoClicked);
    connect(ui->btnSuggest, &QPushButton::clicked, this, &KoUiV3SettingDialog::onBtnSuggestClicked);
    connect(ui->btnVersion, &QPushButton::clicked, this, &KoUiV3SettingDialog::onBtnVersionClicked);
    connect(ui->btnAbout, &QPushButton::clicked, this, &KoUiV3SettingDialog::onBtnAboutClicked);
}

void KoUiV3SettingDialog::showMenuPage(QPushButton* button, QWidget* page)
{
    const QList<QPair<QPushButton*, QWidget*>> menu = {{ui->btnCommon, ui->commonWidget},
                                                       {ui->btnPhoto, ui->photoWidget},
                                                       {ui->btnSuggest, ui->suggestWidget},
                                                       {ui->btnVersion, ui->versionWidget},
                                                       {ui->btnAbout, ui->aboutWidget}};
    for (const auto& entry : menu) {
        entry.first->setChecked(entry.first == button);
        entry.second->setVisible(entry.second == page);
    }
}

void KoUiV3SettingDialog::onBtnCommonClicked()
{
    showMenuPage(ui->btnCommon, ui->commonWidget);
}
void KoUiV3SettingDialog::onBtnPhotoClicked()
{
    showMenuPage(ui->btnPhoto, ui->photoWidget);
}
void KoUiV3SettingDialog::onBtnSuggestClicked()
{
    showMenuPage(ui->btnSuggest, ui->suggestWidget);
}
void KoUiV3SettingDialog::onBtnVersionClicked()
{
    showMenuPage(ui->btnVersion, ui->versionWidget);
}
void KoUiV3SettingDialog::onBtnAboutClicked()
{
    showMenuPage(ui->btnAbout, ui->aboutWidget);
}

void KoUiV3SettingDialog::onBtnCommonConfirmClicked()
{
    const bool download = ui->chbDownload->checkState() == Qt::Checked;
    const bool upload = ui->chbUpload->checkState() == Qt::Checked;
    const bool closeApp = m_closeGroup->checkedButton() == ui->radioClose;
    KoSettings* settings = KoSettings::getInstance();
    settings->setNotifyDownload(download);
    settings->setNotifyUpload(upload);
    settings->setClosePolicy(closeApp);
    accept();
}

void KoUiV3SettingDialog::onBtnCheckVersionClicked()
{
    KoUserActionRecord::getInstance()->recordCheckUpdate();
    KoAutoUpdateTool::getInstance()->checkIsUpdateManually();
}

void KoUiV3SettingDialog::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setBrush(Qt::white);
        painter.setPen(Qt::gray);
        painter.drawRoundedRect(QRect(0, 0, width() - 2, height()), 4, 4, Qt::AbsoluteSize);
        painter.setBrush(QColor(QStringLiteral("#4d90ff")));
        painter.setPen(Qt::transparent);
        painter.drawRoundedRect(QRect(0, 0, ui->titleWidget->width() - 2, ui->titleWidget->height() - 2), 4, 4,
                                Qt::AbsoluteSize);
    }
    QDialog::paintEvent(event);
}
