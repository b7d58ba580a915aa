#pragma once

#include <QMainWindow>

class QPushButton;
class QWidget;

// Frame of the main window. Without a native title bar to borrow, the window is frameless and
// carries its own three window buttons at its top-left corner; the user drags it by a strip at
// its top.
class CFramelessWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit CFramelessWindow(QWidget* parent = nullptr);
    ~CFramelessWindow() override;

    // Height of the strip at the top that drags the window; 0 means the whole window.
    void setDraggableAreaHeight(int height = 0);
    int draggableAreaHeight() const { return m_draggableAreaHeight; }

    void setCloseBtnEnabled(bool enabled);
    void setMinBtnEnabled(bool enabled);
    void setZoomBtnEnabled(bool enabled);
    // false: the close button hides the application instead of closing the window.
    void setCloseBtnQuit(bool quit);
    void setTitlebarVisible(bool visible);
    // Moves the window buttons 10 px down and enables all three.
    void setButtonOffset();

    // The strip holding the window buttons (close, minimise, zoom).
    QWidget* windowButtons() const { return m_buttons; }

signals:
    void restoreFromFullScreen();

public slots:
    void onRestoreFromFullScreen();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void childEvent(QChildEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void initUI();
    void setButtonImages(bool hover);
    void onCloseButton();
    void onZoomButton();

    int m_draggableAreaHeight = 0;
    bool m_bTitleBarButtons = false; // our own buttons stand in for the native title bar
    bool m_bCloseBtnEnabled = true;
    bool m_bMinBtnEnabled = true;
    bool m_bZoomBtnEnabled = true;
    bool m_bTitlebarVisible = false;
    bool m_bCloseBtnQuit = true;

    QWidget* m_buttons = nullptr;
    QPushButton* m_btnClose = nullptr;
    QPushButton* m_btnMin = nullptr;
    QPushButton* m_btnZoom = nullptr;
};
