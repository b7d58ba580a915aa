#pragma once

#include <QList>
#include <QModelIndexList>
#include <QString>
#include <QStringList>

class QAbstractItemView;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QMouseEvent;
class KoDragWidget;
class KoRemoteFile;

// The drag-and-drop rules both file views share; each view only turns the outcome into its own
// signals. GUI thread only.
namespace KoFileViewCommon {

// What a drop comes to.
struct Drop {
    enum Kind { Ignored, Local, Remote } kind = Ignored;
    QStringList paths;
    QString dstDirPath;   // Remote only
};

// Drag enter and move: URLs or the in-app format, with a copy or move action.
bool acceptsDrag(const QDropEvent* event);

// A drop onto a view: fromSelf when the drag began in that view; target is the file under the
// drop point or null.
Drop decideDrop(const QDropEvent* event, int permission, bool fromSelf, const KoRemoteFile* target);

// The file of a view's row, or null outside the list.
KoRemoteFile* fileAt(const QList<KoRemoteFile*>* list, int row);

// The absolute paths of the files of the given rows, in order.
QStringList pathsOfRows(const QList<KoRemoteFile*>* list, const QList<int>& rows);

// The in-app payload of paths; the caller owns it.
QMimeData* dragData(const QStringList& paths);

// The folder a native drag reported, or empty for nothing to do ("" or "none path").
QString reportedFolder(const char* path);

// Whether a press at pos has moved far enough to start a drag or a drag selection.
bool pastDragDistance(const QPoint& pressPoint, const QPoint& pos);

// True when the index at pos is one of the selected ones.
bool isOnSelectedItem(const QAbstractItemView* view, const QPoint& pos);

// Whether a drag out may start: permission 1 or 2, a file list, and something selected. When
// it may, the native drag runs first.
bool beginDragOut(KoDragWidget* widget, QMouseEvent* event, int permission, const QList<KoRemoteFile*>* list,
                  const QModelIndexList& selected);

} // namespace KoFileViewCommon
