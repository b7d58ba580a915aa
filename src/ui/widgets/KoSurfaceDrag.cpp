#include "KoSurfaceDrag.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

KoSurfaceDrag::KoSurfaceDrag(QWidget* window, std::function<bool(const QPoint&)> grab)
    : QObject(window)
    , m_window(window)
    , m_grab(std::move(grab))
{
    window->installEventFilter(this);
}

bool KoSurfaceDrag::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::LeftButton || m_window->isMaximized() || m_window->isFullScreen())
            break;
        // Propagated presses carry child coordinates in some paths; the global point never lies.
        const QPoint local = m_window->mapFromGlobal(e->globalPos());
        if (m_grab && !m_grab(local))
            break;
        m_pressed = true;
        m_pressGlobal = e->globalPos();
        m_windowPos = m_window->pos();
        break;
    }
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        // The release can go elsewhere (a modal box opened mid-drag); with mouse tracking on, the
        // window would then follow a cursor whose button is up.
        if (m_pressed && !(e->buttons() & Qt::LeftButton))
            m_pressed = false;
        if (m_pressed)
            m_window->move(m_windowPos + e->globalPos() - m_pressGlobal);
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_pressed = false;
        break;
    case QEvent::Hide:
        m_pressed = false;
        break;
    default:
        break;
    }
    return false;
}
