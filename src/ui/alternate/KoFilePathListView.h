#pragma once

#include <QList>
#include <QListView>
#include <QStringList>

#include "model/KoRemoteFilePath.h"

// An older path bar that takes the browser's own drags: a move of phone entries dropped on an
// element reports remoteFileDropped with that element's folder. Drops come only from this
// program, with the in-app format and the move action, and only at permission 2. The path list
// is borrowed from the browser page.
class KoFilePathListView : public QListView
{
    Q_OBJECT
public:
    explicit KoFilePathListView(QWidget* parent = nullptr);

    void setPathList(QList<KoRemoteFilePath>* list);
    // The permission code of the shown category; drops are on exactly at 2.
    void setPermissionState(int state);

signals:
    void remoteFileDropped(QStringList fileList, QString dstDirPath);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The widget the drag began in, null for a drag from another program (a hook for tests).
    virtual QObject* dragSource(QDropEvent* event);

private:
    // This program's move drag with the in-app format, at permission 2.
    bool takesDrag(QDropEvent* event);

    QList<KoRemoteFilePath>* m_pathList = nullptr;
    int m_permissionState = 2;
};
