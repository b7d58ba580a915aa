#include "KoFilePathListView.h"

#include "app/KoCommonUtil.h"

#include <QDropEvent>
#include <QMimeData>

KoFilePathListView::KoFilePathListView(QWidget* parent)
    : QListView(parent)
{
    setAcceptDrops(true);
    setAttribute(Qt::WA_MacShowFocusRect, false);
}

void KoFilePathListView::setPathList(QList<KoRemoteFilePath>* list)
{
    m_pathList = list;
}

void KoFilePathListView::setPermissionState(int state)
{
    m_permissionState = state;
    setAcceptDrops(state == 2);
}

QObject* KoFilePathListView::dragSource(QDropEvent* event)
{
    return event->source();
}

bool KoFilePathListView::isInAppMove(QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    return dragSource(event) && data && data->hasFormat(KoCommonUtil::kKoDragMimeType)
        && event->dropAction() == Qt::MoveAction;
}

void KoFilePathListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (isInAppMove(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void KoFilePathListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (isInAppMove(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void KoFilePathListView::dropEvent(QDropEvent* event)
{
    const int row = indexAt(event->pos()).row();
    if (m_permissionState != 2 || !isInAppMove(event) || !m_pathList || row < 0 || row >= m_pathList->size()) {
        event->ignore();
        return;
    }
    const QString target = m_pathList->at(row).getAbsolutePath();
    const QStringList paths = KoCommonUtil::getPathListFromKoDragData(event->mimeData()->data(KoCommonUtil::kKoDragMimeType));
    emit remoteFileDropped(paths, target);
    event->acceptProposedAction();
}
