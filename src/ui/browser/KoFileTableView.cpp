#include "ui/browser/KoFileTableView.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>

#include "app/KoCommonUtil.h"
#include "ui/browser/KoDragWidget.h"
#include "ui/browser/KoFileViewCommon.h"
#include "ui/widgets/KoTableHeaders.h"

KoFileTableView::KoFileTableView(QWidget* parent)
    : QTableView(parent)
    , m_dragWidget(new KoDragWidget(this))
    , m_rowSelection(new QItemSelection)
{
    KoFileViewCommon::setUpView(this, {verticalScrollBar(), horizontalScrollBar(), horizontalHeader()});
    // Fixed row heights: no per-row measuring over 10,000 entries.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setPermissionState(2);
    KoFileViewCommon::connectNativeReport(m_dragWidget, this,
                                          [this](const QString& folder) { emit remoteFileDragLeft(folder); });
}

KoFileTableView::~KoFileTableView()
{
    delete m_rowSelection;
}

void KoFileTableView::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    KoTableHeaders::freeUnusedSelectionModels(this);
}

void KoFileTableView::setPermissionState(int state)
{
    m_permission = state;
    setAcceptDrops(state == 2);
    horizontalHeader()->setSectionsClickable(state != 0);
    horizontalHeader()->setSortIndicatorShown(state != 0);
}

void KoFileTableView::dragEnterEvent(QDragEnterEvent* event)
{
    KoFileViewCommon::answerDrag(event);
}

void KoFileTableView::dragMoveEvent(QDragMoveEvent* event)
{
    KoFileViewCommon::answerDrag(event);
}

void KoFileTableView::dropEvent(QDropEvent* event)
{
    const auto drop = KoFileViewCommon::takeDrop(this, event, m_permission, dragSource(event) == this, m_fileList);
    if (drop.kind == KoFileViewCommon::Drop::Remote)
        emit remoteFileDropped(drop.paths, drop.dstDirPath);
    else if (drop.kind == KoFileViewCommon::Drop::Local)
        emit localFileDropped(drop.paths);
}

QObject* KoFileTableView::dragSource(QDropEvent* event)
{
    return event->source();
}

void KoFileTableView::startInAppDrag(QMimeData* data)
{
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
}

void KoFileTableView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressPoint = event->pos();
        m_pressed = true;
    }
    QTableView::mousePressEvent(event);
}

void KoFileTableView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed) {
        updateRow(indexAt(event->pos()).row());
        QTableView::mouseMoveEvent(event);
        return;
    }
    if (m_dragSelecting) {
        extendRowSelection(event->pos());
    } else if ((event->buttons() & Qt::LeftButton)
               && KoFileViewCommon::pastDragDistance(m_pressPoint, event->pos())) {
        if (isOnSelectedItem(event->pos()))
            draggingStart(event);
        else
            m_dragSelecting = true;
    }
}

void KoFileTableView::extendRowSelection(const QPoint& pos)
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid() || !model() || !selectionModel())
        return;
    if (m_rowSelection->isEmpty())
        m_anchorIndex = index;
    const QItemSelection rows(model()->index(index.row(), 0),
                              model()->index(m_anchorIndex.row(), model()->columnCount() - 1));
    *m_rowSelection = rows;
    selectionModel()->select(*m_rowSelection, QItemSelectionModel::ClearAndSelect);
}

void KoFileTableView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = false;
        if (m_dragSelecting)
            m_rowSelection->clear();
        m_dragSelecting = false;
    }
    QTableView::mouseReleaseEvent(event);
}

void KoFileTableView::leaveEvent(QEvent* event)
{
    if (!m_pressed) {
        emit hoverRow(-1);
        repaintRow(m_hoverRow);
        m_hoverRow = -1;
    }
    QTableView::leaveEvent(event);
}

void KoFileTableView::updateRow(int row)
{
    if (row == m_hoverRow)
        return;
    emit hoverRow(row);
    repaintRow(m_hoverRow);
    repaintRow(row);
    m_hoverRow = row;
}

void KoFileTableView::repaintRow(int row)
{
    if (row < 0 || !model())
        return;
    for (int column = model()->columnCount() - 1; column >= 0; --column)
        update(model()->index(row, column));
}

bool KoFileTableView::isOnSelectedItem(const QPoint& pos) const
{
    return KoFileViewCommon::isOnSelectedItem(this, pos);
}

void KoFileTableView::draggingStart(QMouseEvent* event)
{
    if (QMimeData* data = KoFileViewCommon::beginDragOut(this, m_dragWidget, event, m_permission, m_fileList))
        startInAppDrag(data);
}
