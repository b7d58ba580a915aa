#pragma once

#include <QList>
#include <QModelIndexList>
#include <QString>
#include <QStringList>

#include <initializer_list>

class QAbstractItemView;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QMouseEvent;
class QWidget;
class KoDragWidget;
class KoRemoteFile;

// The drag-and-drop rules both file views share; each view only turns the outcome into its own
// signals. GUI thread only.
namespace KoFileViewCommon {

// What a drop comes to.
struct Drop {
    enum Kind { Ignored, Local, Remote } kind = Ignored;
    QStringList paths;
    QString dstDirPath; // Remote only
};

// What both views set up alike: the file-list style sheet on the view and on parts, mouse
// tracking, a custom context menu (none on the vertical scroll bar), no focus rectangle.
void setUpView(QAbstractItemView* view, std::initializer_list<QWidget*> styledParts);

// Drag enter and move: URLs or the in-app format, with a copy or move action.
bool acceptsDrag(const QDropEvent* event);

// A drop onto a view: fromSelf when the drag began in that view; target is the file under the
// drop point or null.
Drop decideDrop(const QDropEvent* event, int permission, bool fromSelf, const KoRemoteFile* target);

// Drag enter and move of a view: accepts or ignores the event by acceptsDrag.
void answerDrag(QDragMoveEvent* event);

// A drop onto view: decides it, accepts or ignores the event, and returns the outcome.
Drop takeDrop(QAbstractItemView* view, QDropEvent* event, int permission, bool fromSelf,
              const QList<KoRemoteFile*>* list);

// The file of a view's row, or null outside the list.
KoRemoteFile* fileAt(const QList<KoRemoteFile*>* list, int row);

// The folder a native drag reported, or empty for nothing to do ("" or "none path").
QString reportedFolder(const char* path);

// Whether a press at pos has moved far enough to start a drag or a drag selection.
bool pastDragDistance(const QPoint& pressPoint, const QPoint& pos);

// True when the index at pos is one of the selected ones.
bool isOnSelectedItem(const QAbstractItemView* view, const QPoint& pos);

// A drag out of view's selection: only at permission 1 or 2, with a file list and something
// selected. The native drag runs first; then the in-app payload of the selected rows (one entry
// per row, in selection order) is returned for the caller to run; null when no drag starts.
QMimeData* beginDragOut(QAbstractItemView* view, KoDragWidget* widget, QMouseEvent* event, int permission,
                        const QList<KoRemoteFile*>* list);

// Connects widget's native report to report, called with a folder that is not empty or "none path".
template <typename Report>
void connectNativeReport(KoDragWidget* widget, QObject* context, Report report);

} // namespace KoFileViewCommon

#include "ui/browser/KoDragWidget.h"

template <typename Report>
void KoFileViewCommon::connectNativeReport(KoDragWidget* widget, QObject* context, Report report)
{
    QObject::connect(widget, &KoDragWidget::notifyPath, context, [report](const char* path) {
        const QString folder = reportedFolder(path);
        if (!folder.isEmpty())
            report(folder);
    });
}
