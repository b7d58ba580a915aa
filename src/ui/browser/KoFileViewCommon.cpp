#include "ui/browser/KoFileViewCommon.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QScrollBar>
#include <QSet>
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

void setUpView(QAbstractItemView* view, std::initializer_list<QWidget*> styledParts)
{
    const QString qss = QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoFileList")));
    view->setStyleSheet(qss);
    for (QWidget* part : styledParts)
        part->setStyleSheet(qss);
    view->setMouseTracking(true);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->verticalScrollBar()->setContextMenuPolicy(Qt::NoContextMenu);
    view->setAttribute(Qt::WA_MacShowFocusRect, false);
}

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

void answerDrag(QDragMoveEvent* event)
{
    if (acceptsDrag(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

Drop takeDrop(QAbstractItemView* view, QDropEvent* event, int permission, bool fromSelf,
              const QList<KoRemoteFile*>* list)
{
    const Drop drop = decideDrop(event, permission, fromSelf, fileAt(list, view->indexAt(event->pos()).row()));
    if (drop.kind == Drop::Ignored)
        event->ignore();
    else
        event->acceptProposedAction();
    return drop;
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

QMimeData* beginDragOut(QAbstractItemView* view, KoDragWidget* widget, QMouseEvent* event, int permission,
                        const QList<KoRemoteFile*>* list)
{
    const QModelIndexList selected = view->selectionModel() ? view->selectionModel()->selectedIndexes()
                                                            : QModelIndexList();
    if ((permission != 1 && permission != 2) || !list || selected.isEmpty())
        return nullptr;
    __forQtDrag(widget, event);
    // The cells of one table row give one entry.
    QStringList paths;
    QSet<int> seen;
    for (const QModelIndex& index : selected) {
        const KoRemoteFile* file = fileAt(list, index.row());
        if (file && !seen.contains(index.row())) {
            seen.insert(index.row());
            paths.append(file->getPath()->getAbsolutePath());
        }
    }
    auto* data = new QMimeData;
    data->setData(KoCommonUtil::kKoDragMimeType, KoCommonUtil::getKoDragDataFromPathList(paths));
    return data;
}

} // namespace KoFileViewCommon
