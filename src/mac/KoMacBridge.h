#pragma once

#include <QStringList>
#include <functional>

class KoDragWidget;
class QMouseEvent;
class QWidget;

// What the file views and panels ask of the desktop that Qt alone does not give.

// Starts dragging the selected phone files out to a desktop folder. No file manager here
// accepts promised files, so it returns at once and reports nothing; the in-app drag that the
// caller starts next works as usual.
void __forQtDrag(KoDragWidget* widget, QMouseEvent* event);

// Opens a chooser on parent's window (window-modal, like a sheet) and returns at once. done is
// called once when the chooser ends: the chosen paths in the chooser's order, or an empty list
// when the user cancelled. files/dirs: what may be chosen; multi: more than one item. It opens
// in the folder where the same kind of chooser was last left during this run, else in the
// home folder.
void __chooseFilesOrDirectories(QWidget* parent, bool files, bool dirs, bool multi,
                                std::function<void(QStringList)> done);

// Minimises the widget's window.
void __forQtMinimized(QWidget* widget);

// Hides every visible top-level window of the application (the tray brings it back).
void __forQtHideApplication();
