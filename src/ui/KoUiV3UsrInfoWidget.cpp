#include "KoUiV3UsrInfoWidget.h"

#include "link/KoRemoteConnectManager.h"
#include "net/KoUser.h"
#include "net/KoUserActionRecord.h"
#include "ui/KoUiInit.h"
#include "ui/KoUiV3AlertDialog.h"
#include "ui/KoUiV3LoginDialog.h"
#include "ui/widgets/KoHeadImage.h"
#include "ui_KoUiV3UsrInfoWidget.h"

#include <QPainter>

KoUiV3UsrInfoWidget::KoUiV3UsrInfoWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::KoUiV3UsrInfoWidget)
{
    koInitUiResources();
    initData();
    initUi();
    initConnection();
}

KoUiV3UsrInfoWidget::~KoUiV3UsrInfoWidget()
{
    delete ui;
}

void KoUiV3UsrInfoWidget::initData()
{
    m_background = QPixmap(QStringLiteral(":/ui_v3/images/bg_usr_info_widget_mac"));
}

void KoUiV3UsrInfoWidget::initUi()
{
    ui->setupUi(this);
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);
    resize(m_background.size());
    // The nick comes from the account server: never rich text.
    ui->nickLabel->setTextFormat(Qt::PlainText);
}

void KoUiV3UsrInfoWidget::initConnection()
{
    connect(ui->logoutLabel, &KoClickLabel::clicked, this, &KoUiV3UsrInfoWidget::onBtnLogoutClicked);
    connect(ui->logoutArrow, &KoClickLabel::clicked, this, &KoUiV3UsrInfoWidget::onBtnLogoutClicked);
}

void KoUiV3UsrInfoWidget::popup(QPoint globalPos)
{
    updateContent();
    move(globalPos);
    show();
    setFocus();
}

void KoUiV3UsrInfoWidget::updateContent()
{
    KoUser* user = KoUser::getInstance();
    if (!user->isLogin())
        return;
    ui->headLabel->setPixmap(koLoadHeadImage(QStringLiteral(":/ui_v3/images/default_avator_small")));
    ui->accountLabel->setText(user->getPhone());
    ui->idLabel->setText(QString::number(user->getId()));
    // Before the first showing the label has no real width yet.
    ensurePolished();
    layout()->setGeometry(rect());
    const QFontMetrics metrics(ui->nickLabel->font());
    ui->nickLabel->setText(metrics.elidedText(user->getNick(), Qt::ElideRight, ui->nickLabel->width()));
}

void KoUiV3UsrInfoWidget::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.drawPixmap(0, 0, m_background);
    }
    QWidget::paintEvent(event);
}

void KoUiV3UsrInfoWidget::onBtnLogoutClicked()
{
    // A popup keeps the mouse while it shows: out of the way before the question box runs.
    hide();
    KoUiV3AlertDialog question(nullptr);
    const int answer = question.confirm(QStringLiteral("切换用户"),
                                        QStringLiteral(
                                            "是否要退出当前登录的账号?\n退出登录后会与当前已连接的设备断开连接"),
                                        QStringLiteral("确定"), QStringLiteral("取消"));
    if (answer != 1)
        return;
    KoUserActionRecord::getInstance()->recordUserLogout();
    KoRemoteConnectManager::getInstance()->ejectAllDevice();
    KoUser::getInstance()->logout();
    KoUiV3LoginDialog login(nullptr);
    login.exec();
}
