#include "KoFilePathListView.h"

#include "app/KoCommonUtil.h"

#include <QDropEvent>
#include <QMimeData>

KoFilePathListView::KoFilePathListView(QWidget* parent)
    : QListView(parent)
{
    setPermissionState(m_permissionState);
    setAttribute(Qt::WA_MacShowFocusRect, false);
}

void KoFilePathListView::setPathList(QList<KoRemoteFilePath>* list)
{
    m_pathList = list;
}

void KoFilePathListView::setPermissionState(int state)
{
    m_permissionState = state;
    // Drops reach a view through its viewport.
    setAcceptDrops(state == 2);
    viewport()->setAcceptDrops(state == 2);
}

QObject* KoFilePathListView::dragSource(QDropEvent* event)
{
    return event->source();
}

bool KoFilePathListView::takesDrag(QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    return m_permissionState == 2 && dragSource(event) && data && data->hasFormat(KoCommonUtil::kKoDragMimeType)
        && event->dropAction() == Qt::MoveAction;
}

void KoFilePathListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (takesDrag(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void KoFilePathListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (takesDrag(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void KoFilePathListView::dropEvent(QDropEvent* event)
{
    const int row = indexAt(event->pos()).row();
    if (!takesDrag(event) || !m_pathList || row < 0 || row >= m_pathList->size()) {
        event->ignore();
        return;
    }
    const QString target = m_pathList->at(row).getAbsolutePath();
    const QStringList paths = KoCommonUtil::getPathListFromKoDragData(
        event->mimeData()->data(KoCommonUtil::kKoDragMimeType));
    emit remoteFileDropped(paths, target);
    event->acceptProposedAction();
}
