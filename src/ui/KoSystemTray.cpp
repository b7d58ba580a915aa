#include "KoSystemTray.h"

#include "app/KoCommonUtil.h"
#include "ui/KoUiInit.h"
#include "ui/widgets/KoToastWidget.h"

#include <QAction>
#include <QDebug>
#include <QIcon>
#include <QMenu>
#include <QMutexLocker>

KoSystemTray* KoSystemTray::s_instance = nullptr;
QMutex KoSystemTray::s_mutex;

KoSystemTray* KoSystemTray::getInstance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new KoSystemTray();
    return s_instance;
}

KoSystemTray::KoSystemTray()
    : QSystemTrayIcon(nullptr)
    , m_menu(nullptr)
    , m_quitAction(nullptr)
    , m_openAction(nullptr)
{
    koInitUiResources();
    initUi();
    initConnection();
}

KoSystemTray::~KoSystemTray()
{
    delete m_menu;
    m_menu = nullptr;
    QMutexLocker locker(&s_mutex);
    if (s_instance == this)
        s_instance = nullptr;
}

void KoSystemTray::initUi()
{
    m_menu = new QMenu();
    m_quitAction = m_menu->addAction(QStringLiteral("退出"));
    m_menu->addSeparator();
    m_openAction = m_menu->addAction(QStringLiteral("打开"));
    m_menu->setStyleSheet(
        QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoFileExplorerMenu")).constData()));
    setIcon(QIcon(QStringLiteral(":/ui_v3/images/icon_mac")));
    setContextMenu(m_menu);
    setToolTip(QStringLiteral("柯沃vu客户端"));
    setVisible(true);
}

void KoSystemTray::initConnection()
{
    connect(m_quitAction, &QAction::triggered, this, &KoSystemTray::onCloseActionTriggle);
    connect(m_openAction, &QAction::triggered, this, &KoSystemTray::onOpenActionTriggle);
    connect(this, &QSystemTrayIcon::activated, this, &KoSystemTray::onTrayIconActived);
}

void KoSystemTray::onOpenActionTriggle()
{
    emit showApplication();
}

void KoSystemTray::onCloseActionTriggle()
{
    emit closeApplication();
}

void KoSystemTray::onTrayIconActived(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
        emit showApplication();
}

void KoSystemTray::showMessage(const QString& title, const QString& text, int msecs)
{
    if (QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages()) {
        QSystemTrayIcon::showMessage(title, text, QSystemTrayIcon::Information, msecs);
        return;
    }
    keepNotice(title, text);
}

void KoSystemTray::keepNotice(const QString& title, const QString& text)
{
    m_notices.append(Notice{title, text});
    while (m_notices.size() > kKeptNotices)
        m_notices.removeFirst();
    qInfo().noquote() << "notice:" << title << "-" << text;

    if (!m_noticeWidget)
        return;
    if (!m_toast || m_toast->parentWidget() != m_noticeWidget.data())
        m_toast = new KoToastWidget(m_noticeWidget.data());
    // The title tells notices of different kinds apart.
    if (title.isEmpty() || text.isEmpty())
        m_toast->setText(text.isEmpty() ? title : text);
    else
        m_toast->setText(title + QStringLiteral(": ") + text);
    m_toast->raise();
}

void KoSystemTray::setNoticeWidget(QWidget* widget)
{
    m_noticeWidget = widget;
}

QList<KoSystemTray::Notice> KoSystemTray::recentNotices() const
{
    return m_notices;
}
