#pragma once

#include <QList>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

class QAction;
class QMenu;
class QWidget;
class KoToastWidget;

// The application's tray icon: a way back to the window, a way to quit, and the
// short notices of the pages. One per process.
class KoSystemTray : public QSystemTrayIcon
{
    Q_OBJECT
public:
    struct Notice {
        QString title;
        QString text;
    };
    // How many notices are kept when the platform cannot show them.
    static const int kKeptNotices = 20;

    // Creates the icon and makes it visible on first use.
    static KoSystemTray* getInstance();
    ~KoSystemTray() override;

    // Balloon for msecs ms. Where the platform has no tray or no tray messages the
    // notice is kept (recentNotices), logged, and shown as a toast on the notice
    // widget when one is set, so it is not lost.
    void showMessage(const QString& title, const QString& text, int msecs);

    // Widget (normally the main window) that shows notices the tray cannot show.
    void setNoticeWidget(QWidget* widget);
    // Notices the tray could not show, oldest first.
    QList<Notice> recentNotices() const;

signals:
    void showApplication();
    void closeApplication();

private slots:
    void onOpenActionTriggle();
    void onCloseActionTriggle();
    void onTrayIconActived(QSystemTrayIcon::ActivationReason reason);

private:
    KoSystemTray();
    void initUi();
    void initConnection();
    void keepNotice(const QString& title, const QString& text);

    QMenu* m_menu;
    QAction* m_quitAction;
    QAction* m_openAction;
    QList<Notice> m_notices;
    QPointer<QWidget> m_noticeWidget;
    QPointer<KoToastWidget> m_toast;

    static KoSystemTray* s_instance;
    static QMutex s_mutex;
};
