#pragma once

#include <QFrame>
#include <QPoint>

class KoAppLifetime;
class KoBaseFacility;
class KoUiV3DiskWidget;
class KoUiV3HomeWidget;
class KoUiV3TransferWidget;
class KoUiV3UsrInfoWidget;
class Ui_KoUiV3Window;

// A second top-level frame for the three pages, beside KoNativeWindow and not created by the
// program: frameless, moved by its own title bar (KoWindowTitleBar) and resized by its 3 px right
// and bottom bands. Like the main window it creates the services at start and deletes them when
// it goes (KoAppLifetime). The title bar makes the login, logout and transfer-count connections.
class KoUiV3Window : public QFrame
{
    Q_OBJECT
public:
    explicit KoUiV3Window(QWidget* parent = nullptr);
    ~KoUiV3Window() override;

    // Which resize bands a pointer at pos is in, and the cursor that shows it.
    struct EdgeBands {
        bool right = false;
        bool bottom = false;
        Qt::CursorShape cursor = Qt::ArrowCursor;
    };
    static EdgeBands edgeBandsAt(const QPoint& pos, const QSize& size);

public slots:
    void onBindError();
    void onAnotherClient();
    void onMsgVersionNotMatch(int flag);
    void onNewVersion();
    void onNotNewVersion();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void onBtnHomeClicked();
    void onBtnUDiskClicked();
    void onBtnTransferListClicked();
    void onBtnUsrInfoClicked(QPoint pos);

private:
    void initData();
    void initUi();
    void initConnection();
    void showPage(QWidget* page);
    void takeEdgeBands(const QPoint& pos);

    Ui_KoUiV3Window* ui = nullptr;
    KoUiV3HomeWidget* m_homeWidget = nullptr;
    KoUiV3DiskWidget* m_diskWidget = nullptr;
    KoUiV3TransferWidget* m_transferWidget = nullptr;
    KoUiV3UsrInfoWidget* m_usrInfoWidget = nullptr;
    QPoint m_lastPos;
    bool m_leftHeld = false;
    bool m_onRightEdge = false;
    bool m_onBottomEdge = false;
    // The services, the leave and the version alerts, shared with the main window.
    KoAppLifetime* m_lifetime = nullptr;
};
