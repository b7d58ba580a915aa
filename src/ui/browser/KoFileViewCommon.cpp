#include "ui/browser/KoFileViewCommon.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QUrl>

#include "app/KoCommonUtil.h"
#include "mac/KoMacBridge.h"
#include "model/KoRemoteFile.h"

namespace KoFileViewCommon {

namespace {
bool isCopyOrMove(Qt::DropAction action)
{
    return action == Qt::CopyAction || action == Qt::MoveAction;
}
} // namespace

bool acceptsDrag(const QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    return data && (data->hasUrls() || data->hasFormat(KoCommonUtil::kKoDragMimeType))
        && isCopyOrMove(event->dropAction());
}

Drop decideDrop(const QDropEvent* event, int permission, bool fromSelf, const KoRemoteFile* target)
{
    Drop drop;
    const QMimeData* data = event->mimeData();
    if (permission != 2 || !data)
        return drop;
    if (fromSelf) {
        if (!target || !target->isFolder() || !data->hasFormat(KoCommonUtil::kKoDragMimeType))
            return drop;
        drop.kind = Drop::Remote;
        drop.dstDirPath = target->getPath()->getAbsolutePath();
        drop.paths = KoCommonUtil::getPathListFromKoDragData(data->data(KoCommonUtil::kKoDragMimeType));
        return drop;
    }
    if (!data->hasUrls() || !isCopyOrMove(event->dropAction()))
        return drop;
    drop.kind = Drop::Local;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            drop.paths.append(url.toLocalFile());
    }
    return drop;
}

KoRemoteFile* fileAt(const QList<KoRemoteFile*>* list, int row)
{
    return list && row >= 0 && row < list->size() ? list->at(row) : nullptr;
}

QStringList pathsOfRows(const QList<KoRemoteFile*>* list, const QList<int>& rows)
{
    QStringList paths;
    for (const int row : rows) {
        if (const KoRemoteFile* file = fileAt(list, row))
            paths.append(file->getPath()->getAbsolutePath());
    }
    return paths;
}

QMimeData* dragData(const QStringList& paths)
{
    auto* data = new QMimeData;
    data->setData(KoCommonUtil::kKoDragMimeType, KoCommonUtil::getKoDragDataFromPathList(paths));
    return data;
}

QString reportedFolder(const char* path)
{
    const QString text = path ? QString::fromUtf8(path) : QString();
    return text == QLatin1String("none path") ? QString() : text;
}

bool pastDragDistance(const QPoint& pressPoint, const QPoint& pos)
{
    return (pos - pressPoint).manhattanLength() >= QApplication::startDragDistance();
}

bool isOnSelectedItem(const QAbstractItemView* view, const QPoint& pos)
{
    const QModelIndex index = view->indexAt(pos);
    return index.isValid() && view->selectionModel() && view->selectionModel()->isSelected(index);
}

bool beginDragOut(KoDragWidget* widget, QMouseEvent* event, int permission, const QList<KoRemoteFile*>* list,
                  const QModelIndexList& selected)
{
    if ((permission != 1 && permission != 2) || !list || selected.isEmpty())
        return false;
    __forQtDrag(widget, event);
    return true;
}

} // namespace KoFileViewCommon
