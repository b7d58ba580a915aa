#pragma once

#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QWidget>

class KoUser;
class Ui_KoWindowTitleBarMac;

// The blue title bar of the alternate frame (KoUiV3Window): window buttons that light up under
// the pointer, the three page buttons, the transfer dot, settings, and the user's head. It drags
// its window, toggles maximised on a double-click, and listens itself to the user's login and
// logout and to the transfer counts. GUI thread; the window is its top-level ancestor.
class KoWindowTitleBar : public QWidget
{
    Q_OBJECT
public:
    explicit KoWindowTitleBar(QWidget* parent = nullptr);
    ~KoWindowTitleBar() override;

signals:
    void btnHomeClicked();
    void btnUDiskClicked();
    void btnTransferListClicked();
    void btnUsrInfoClicked(QPoint pos);

public slots:
    // Each checks its own page button and unchecks the other two; nothing else.
    void onBtnHomeClicked();
    void onBtnUDiskClicked();
    void onBtnTransferListClicked();
    void showSmall();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private slots:
    void showMaxRestore();
    void onUsrLogin(int code);
    void onUsrLogout();
    void onBtnUsrInfoClicked();
    void onBtnSettingClicked();
    void onTransferCountChanged(int download, int upload);

private:
    void initUi();
    void initConnection();
    void updateHeadLabel();
    void checkPage(int page);
    void setWindowButtonIcons(bool hovered);

    Ui_KoWindowTitleBarMac* ui = nullptr;
    QPixmap m_restoreHover;
    QPixmap m_maxHover;
    QPixmap m_close;
    QPixmap m_min;
    QPixmap m_max;
    QPixmap m_closeHover;
    QPixmap m_minHover;
    bool m_maximised = false;
    QPoint m_dragAnchor;
    bool m_dragging = false;
    QPointer<KoUser> m_user;
};
