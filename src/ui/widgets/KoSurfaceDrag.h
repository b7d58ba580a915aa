#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QWidget;

// Lets a frameless top-level window be dragged by presses on its own surface (or part of it).
// Owned by the window (its QObject child); lives on the GUI thread. It only watches the window's
// events and never consumes them, so the window's own mouse handlers still run.
class KoSurfaceDrag : public QObject
{
    Q_OBJECT
public:
    // grab: which window-local points start a drag; empty = any press the window itself receives
    // (presses taken by child widgets such as buttons and line edits never start one).
    explicit KoSurfaceDrag(QWidget* window, std::function<bool(const QPoint&)> grab = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    std::function<bool(const QPoint&)> m_grab;
    bool m_pressed = false;
    QPoint m_pressGlobal;
    QPoint m_windowPos;
};
