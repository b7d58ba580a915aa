#pragma once

#include <QItemSelection>
#include <QTableView>

class KoDragWidget;
class KoRemoteFile;
class QMimeData;

// The table view of a phone folder: the same permission state, drag out, drops and own
// press-and-drag selection as KoFileListView (whole rows here), plus hoverRow for the row under
// the mouse; only the old and new hover rows are repainted. Rows have a fixed height. Borrows the
// page's file list (row r is element r).
class KoFileTableView : public QTableView
{
    Q_OBJECT
public:
    explicit KoFileTableView(QWidget* parent = nullptr);
    ~KoFileTableView() override;

    // Also frees the selection models the headers made for the model and never use.
    void setModel(QAbstractItemModel* model) override;
    void setPermissionState(int state);
    void setFileList(QList<KoRemoteFile*>* list) { m_fileList = list; }

signals:
    void localFileDropped(QStringList pathList);
    void remoteFileDropped(QStringList pathList, QString dstDirPath);
    void remoteFileDragLeft(QString dstDirPath);
    void dragLeave();
    void hoverRow(int row);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

    // Seams: where a drop came from, and how the in-app drag runs (takes the data).
    virtual QObject* dragSource(QDropEvent* event);
    virtual void startInAppDrag(QMimeData* data);

private:
    bool isOnSelectedItem(const QPoint& pos) const;
    void draggingStart(QMouseEvent* event);
    void updateRow(int row);
    void repaintRow(int row);
    void extendRowSelection(const QPoint& pos);

    int m_permission = 2;
    QList<KoRemoteFile*>* m_fileList = nullptr;
    QPoint m_pressPoint;
    bool m_pressed = false;
    bool m_dragSelecting = false;
    KoDragWidget* m_dragWidget;
    QItemSelection* m_rowSelection;
    QPersistentModelIndex m_anchorIndex;
    int m_hoverRow = -1;
};
