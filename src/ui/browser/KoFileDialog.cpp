#include "KoFileDialog.h"

#include "mac/KoMacBridge.h"

QStringList KoFileDialog::getOpenFilePaths(FileMode, QWidget* parent, const QString&, const QString&, const QString&,
                                           std::function<void(QStringList)> callback)
{
    __chooseFilesOrDirectories(parent, true, true, true, [callback](QStringList paths) {
        if (callback)
            callback(paths);
    });
    return QStringList();
}

QString KoFileDialog::getTargetDirectoryPath(QWidget* parent, const QString&, const QString&,
                                             std::function<void(QString)> callback)
{
    __chooseFilesOrDirectories(parent, false, true, false, [callback](QStringList paths) {
        if (callback)
            callback(paths.value(0));
    });
    return QString();
}
