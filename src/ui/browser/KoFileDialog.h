#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// The browser's two choosers over the desktop's panel: files and folders to upload, one target
// folder to download into. Both return at once; the callback runs exactly once on the GUI thread
// when the panel ends, also on cancel (an empty answer). The panel shows its own prompt and
// start folder: caption, start folder and filter are accepted for the callers' sake only.
class KoFileDialog
{
public:
    enum FileMode { AnyFile, ExistingFile, Directory, ExistingFiles };

    KoFileDialog() = delete;

    static QStringList getOpenFilePaths(FileMode mode, QWidget* parent, const QString& caption, const QString& dir,
                                        const QString& filter, std::function<void(QStringList)> callback);
    // The callback receives the first chosen folder, or "" when none was chosen.
    static QString getTargetDirectoryPath(QWidget* parent, const QString& caption, const QString& dir,
                                          std::function<void(QString)> callback);
};
