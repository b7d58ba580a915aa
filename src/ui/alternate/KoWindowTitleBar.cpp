#include "KoWindowTitleBar.h"

#include "app/KoCommonUtil.h"
#include "net/KoUser.h"
#include "ops/KoRemoteFileOperator.h"
#include "ui/transfer/KoUiV3SettingDialog.h"
#include "ui/widgets/KoHeadImage.h"
#include "ui_KoWindowTitleBarMac.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
const char* const kDefaultHead = ":/ui_v3/images/default_avator_small";

QPixmap windowButtonImage(const char* name)
{
    return QPixmap(QStringLiteral(":/ui_v3/images/") + QLatin1String(name));
}

QPixmap redDot()
{
    QPixmap dot(7, 7);
    dot.fill(Qt::transparent);
    QPainter painter(&dot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(Qt::red, Qt::SolidPattern));
    painter.drawRoundedRect(QRectF(0, 0, 7, 7), 3.5, 3.5);
    return dot;
}
} // namespace

KoWindowTitleBar::KoWindowTitleBar(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_KoWindowTitleBarMac)
    , m_maximised(parent && parent->window()->isFullScreen())
    , m_user(KoUser::getInstance())
{
    m_dragging = false;
    initUi();
    initConnection();
}

KoWindowTitleBar::~KoWindowTitleBar()
{
    delete ui;
}

void KoWindowTitleBar::initUi()
{
    ui->setupUi(this);
    setAutoFillBackground(true);
    ui->transferPoint->hide();
    ui->transferPoint->setPixmap(redDot());
    ui->titleHLayout->insertStretch(2);

    m_restoreHover = windowButtonImage("icon_mac_btn_restore_window_hover");
    m_maxHover = windowButtonImage("icon_mac_btn_max_window_hover");
    m_close = windowButtonImage("icon_mac_btn_close_window");
    m_min = windowButtonImage("icon_mac_btn_min_window");
    m_max = windowButtonImage("icon_mac_btn_max_window");
    m_closeHover = windowButtonImage("icon_mac_btn_close_window_hover");
    m_minHover = windowButtonImage("icon_mac_btn_min_window_hover");
    setWindowButtonIcons(false);

    const QString style = QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoTitleBarButton")));
    ui->menuWidget->setStyleSheet(style);
    ui->toolWidget->setStyleSheet(style);
    ui->macWidget->installEventFilter(this);
    updateHeadLabel();
}

void KoWindowTitleBar::initConnection()
{
    connect(ui->btnMinimize, &QPushButton::clicked, this, &KoWindowTitleBar::showSmall);
    connect(ui->btnMaximise, &QPushButton::clicked, this, &KoWindowTitleBar::showMaxRestore);
    connect(ui->btnClose, &QPushButton::clicked, this, [this] { window()->close(); });
    connect(ui->btnHome, &QPushButton::clicked, this, [this] {
        onBtnHomeClicked();
        emit btnHomeClicked();
    });
    connect(ui->btnUDisk, &QPushButton::clicked, this, [this] {
        onBtnUDiskClicked();
        emit btnUDiskClicked();
    });
    const auto showTransfers = [this] {
        onBtnTransferListClicked();
        emit btnTransferListClicked();
    };
    connect(ui->btnTransferList, &QPushButton::clicked, this, showTransfers);
    connect(ui->transferPoint, &KoClickLabel::clicked, this, showTransfers);
    connect(ui->btnUsrInfo, &QPushButton::clicked, this, &KoWindowTitleBar::onBtnUsrInfoClicked);
    connect(ui->headLabel, &KoClickLabel::clicked, this, &KoWindowTitleBar::onBtnUsrInfoClicked);
    connect(ui->btnSetting, &QPushButton::clicked, this, &KoWindowTitleBar::onBtnSettingClicked);

    connect(m_user, &KoUser::loginResult, this, &KoWindowTitleBar::onUsrLogin);
    connect(m_user, &KoUser::logoutResult, this, &KoWindowTitleBar::onUsrLogout);
    connect(KoRemoteFileOperator::getInstance(), &KoRemoteFileOperator::convertCountChanged, this,
            &KoWindowTitleBar::onTransferCountChanged);
}

void KoWindowTitleBar::checkPage(int page)
{
    ui->btnHome->setChecked(page == 0);
    ui->btnUDisk->setChecked(page == 1);
    ui->btnTransferList->setChecked(page == 2);
}

void KoWindowTitleBar::onBtnHomeClicked()
{
    checkPage(0);
}

void KoWindowTitleBar::onBtnUDiskClicked()
{
    checkPage(1);
}

void KoWindowTitleBar::onBtnTransferListClicked()
{
    checkPage(2);
}

void KoWindowTitleBar::showSmall()
{
    window()->showMinimized();
}

void KoWindowTitleBar::showMaxRestore()
{
    if (m_maximised)
        window()->showNormal();
    else
        window()->showMaximized();
    m_maximised = !m_maximised;
}

void KoWindowTitleBar::onBtnUsrInfoClicked()
{
    // The popup is a top-level window: it is placed in screen coordinates.
    const QPoint head = ui->toolWidget->mapToGlobal(ui->headLabel->pos());
    emit btnUsrInfoClicked(QPoint(head.x() - 190, head.y() + 28));
}

void KoWindowTitleBar::onBtnSettingClicked()
{
    KoUiV3SettingDialog dialog;
    dialog.exec();
}

void KoWindowTitleBar::onUsrLogin(int code)
{
    koFollowLoginHead(this, code, [this] { updateHeadLabel(); });
}

void KoWindowTitleBar::onUsrLogout()
{
    updateHeadLabel();
}

void KoWindowTitleBar::onTransferCountChanged(int download, int upload)
{
    ui->transferPoint->setVisible(download + upload > 0);
}

void KoWindowTitleBar::updateHeadLabel()
{
    const QString fallback = QString::fromLatin1(kDefaultHead);
    // The round label clips the head itself.
    ui->headLabel->setPixmap(m_user && m_user->isLogin() ? koLoadHeadImage(fallback) : QPixmap(fallback));
}

void KoWindowTitleBar::setWindowButtonIcons(bool hovered)
{
    ui->btnClose->setIcon(QIcon(hovered ? m_closeHover : m_close));
    ui->btnMinimize->setIcon(QIcon(hovered ? m_minHover : m_min));
    ui->btnMaximise->setIcon(QIcon(!hovered ? m_max : m_maximised ? m_restoreHover : m_maxHover));
}

bool KoWindowTitleBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->macWidget && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        setWindowButtonIcons(event->type() == QEvent::Enter);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void KoWindowTitleBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_dragAnchor = mapTo(window(), event->pos());
}

void KoWindowTitleBar::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_maximised && m_dragging)
        window()->move(event->globalPos() - m_dragAnchor);
}

void KoWindowTitleBar::mouseReleaseEvent(QMouseEvent*)
{
    m_dragging = false;
}

void KoWindowTitleBar::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        showMaxRestore();
}

void KoWindowTitleBar::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(QStringLiteral("#4d90ff")));
    painter.end();
    QWidget::paintEvent(event);
}
