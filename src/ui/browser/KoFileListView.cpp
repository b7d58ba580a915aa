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
    const QString qss = QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoFileList")));
    setStyleSheet(qss);
    verticalScrollBar()->setStyleSheet(qss);
    setMouseTracking(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    verticalScrollBar()->setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_MacShowFocusRect, false);
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
    connect(m_dragWidget, &KoDragWidget::notifyPath, this, [this](const char* path) {
        const QString folder = KoFileViewCommon::reportedFolder(path);
        if (!folder.isEmpty())
            emit remoteFileDragLeft(folder);
    });
}

void KoFileListView::setPermissionState(int state)
{
    m_permission = state;
    setAcceptDrops(state == 2);
}

void KoFileListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (KoFileViewCommon::acceptsDrag(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void KoFileListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (KoFileViewCommon::acceptsDrag(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void KoFileListView::dropEvent(QDropEvent* event)
{
    const int row = indexAt(event->pos()).row();
    const auto drop = KoFileViewCommon::decideDrop(event, m_permission, dragSource(event) == this,
                                                   KoFileViewCommon::fileAt(m_fileList, row));
    if (drop.kind == KoFileViewCommon::Drop::Ignored) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (drop.kind == KoFileViewCommon::Drop::Remote)
        emit remoteFileDropped(drop.paths, drop.dstDirPath);
    else
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
    const QModelIndexList selected = selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    if (!KoFileViewCommon::beginDragOut(m_dragWidget, event, m_permission, m_fileList, selected))
        return;
    QList<int> rows;
    for (const QModelIndex& index : selected) {
        if (index.isValid())
            rows.append(index.row());
    }
    startInAppDrag(KoFileViewCommon::dragData(KoFileViewCommon::pathsOfRows(m_fileList, rows)));
}
