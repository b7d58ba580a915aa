#pragma once

#include <QListView>

class KoDragWidget;
class KoRemoteFile;
class QMimeData;
class QTimer;

// The icon view of a phone folder. Adds a permission state (drops only at 2, drags out at 1 and
// 2), a drag out of the selected files (native drag first, then the in-app drag), drops (local
// URLs, or its own files onto one of its folders), its own press-and-drag selection, and
// isWheeling while the user scrolls, so the model queues no thumbnails for pages scrolled past.
// Borrows the page's file list (row r is element r). Decides nothing: every outcome is a signal.
class KoFileListView : public QListView
{
    Q_OBJECT
public:
    explicit KoFileListView(QWidget* parent = nullptr);

    void setPermissionState(int state);
    void setFileList(QList<KoRemoteFile*>* list) { m_fileList = list; }

signals:
    void localFileDropped(QStringList pathList);
    void remoteFileDropped(QStringList pathList, QString dstDirPath);
    void remoteFileDragLeft(QString dstDirPath);
    void dragLeave();
    void isWheeling(bool flag);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

    // Seams: where a drop came from, and how the in-app drag runs (takes the data).
    virtual QObject* dragSource(QDropEvent* event);
    virtual void startInAppDrag(QMimeData* data);

private slots:
    void onWheelTimerOut();

private:
    bool isOnSelectedItem(const QPoint& pos) const;
    void draggingStart(QMouseEvent* event);
    void markWheeling();

    int m_permission = 2;
    QList<KoRemoteFile*>* m_fileList = nullptr;
    QPoint m_pressPoint;
    bool m_pressed = false;
    bool m_dragSelecting = false;
    KoDragWidget* m_dragWidget;
    QTimer* m_wheelTimer;
};
