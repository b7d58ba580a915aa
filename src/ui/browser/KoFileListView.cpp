#include "ui/browser/KoFileListView.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

#include "app/KoCommonUtil.h"
#include "ui/browser/KoDragWidget.h"
#include "ui/browser/KoFileViewCommon.h"

namespace {
constexpr int kWheelQuietMs = 1000;
}

KoFileListView::KoFileListView(QWidget* parent)
    : QListView(parent)
    , m_dragWidget(new KoDragWidget(this))
    , m_wheelTimer(new QTimer(this))
{
    KoFileViewCommon::setUpView(this, {verticalScrollBar()});
    setAcceptDrops(true);
    setSpacing(8);
    // Every item is 128 x 128: no per-item size hint over 10,000 entries.
    setUniformItemSizes(true);

    m_wheelTimer->setSingleShot(true);
    m_wheelTimer->setInterval(kWheelQuietMs);
    connect(m_wheelTimer, &QTimer::timeout, this, &KoFileListView::onWheelTimerOut);
    // Dragging or clicking the scroll bar scrolls past pages as the wheel does.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] {
        if (!m_wheelTimer->isActive())
            emit isWheeling(true);
        m_wheelTimer->start();
    });
    KoFileViewCommon::connectNativeReport(m_dragWidget, this,
                                          [this](const QString& folder) { emit remoteFileDragLeft(folder); });
}

void KoFileListView::setPermissionState(int state)
{
    m_permission = state;
    setAcceptDrops(state == 2);
}

void KoFileListView::dragEnterEvent(QDragEnterEvent* event)
{
    KoFileViewCommon::answerDrag(event);
}

void KoFileListView::dragMoveEvent(QDragMoveEvent* event)
{
    KoFileViewCommon::answerDrag(event);
}

void KoFileListView::dropEvent(QDropEvent* event)
{
    const auto drop = KoFileViewCommon::takeDrop(this, event, m_permission, dragSource(event) == this, m_fileList);
    if (drop.kind == KoFileViewCommon::Drop::Remote)
        emit remoteFileDropped(drop.paths, drop.dstDirPath);
    else if (drop.kind == KoFileViewCommon::Drop::Local)
        emit localFileDropped(drop.paths);
}

QObject* KoFileListView::dragSource(QDropEvent* event)
{
    return event->source();
}

void KoFileListView::startInAppDrag(QMimeData* data)
{
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
}

void KoFileListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressPoint = event->pos();
        m_pressed = true;
    }
    QListView::mousePressEvent(event);
}

void KoFileListView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed || m_dragSelecting) {
        QListView::mouseMoveEvent(event);
        return;
    }
    if (!(event->buttons() & Qt::LeftButton) || !KoFileViewCommon::pastDragDistance(m_pressPoint, event->pos()))
        return;
    if (isOnSelectedItem(event->pos())) {
        draggingStart(event);
        return;
    }
    m_dragSelecting = true;
    setState(QAbstractItemView::DragSelectingState);
    QListView::mouseMoveEvent(event);
}

void KoFileListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = false;
        m_dragSelecting = false;
    }
    QListView::mouseReleaseEvent(event);
}

void KoFileListView::wheelEvent(QWheelEvent* event)
{
    emit isWheeling(true);
    m_wheelTimer->start();
    QListView::wheelEvent(event);
}

void KoFileListView::onWheelTimerOut()
{
    emit isWheeling(false);
    viewport()->update();
}

bool KoFileListView::isOnSelectedItem(const QPoint& pos) const
{
    return KoFileViewCommon::isOnSelectedItem(this, pos);
}

void KoFileListView::draggingStart(QMouseEvent* event)
{
    if (QMimeData* data = KoFileViewCommon::beginDragOut(this, m_dragWidget, event, m_permission, m_fileList))
        startInAppDrag(data);
}
