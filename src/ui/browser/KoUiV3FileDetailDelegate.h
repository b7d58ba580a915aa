#pragma once

#include <QPoint>

#include "ui/browser/KoFileEditDelegate.h"

// A file row of the table view. Column 0: background by state, the small icon, the name elided
// at the right and, on the hovered row, the download / delete / more buttons by permission
// (2: all three, 1: download and delete, else none). Other columns are the base class's, without
// a focus frame. buttonRect serves both paint and editorEvent. A mouse move repaints only the
// cell under it.
class KoUiV3FileDetailDelegate : public KoFileEditDelegate
{
    Q_OBJECT
public:
    enum Button { Download, Delete, More };

    using KoFileEditDelegate::KoFileEditDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    // The button's rectangle in a column-0 cell at that permission; null when not shown.
    static QRect buttonRect(const QRect& cell, int permission, Button button);
    // The room left for the name at that permission (and hover).
    static int textWidth(const QRect& cell, int permission, bool hovered);

signals:
    void rightButtonClicked(QModelIndex index);
    void btnDownloadClicked(QModelIndex index);
    void btnDeleteClicked(QModelIndex index);
    void btnMoreClicked(QModelIndex index, QPoint pos);
    void nameClicked(QModelIndex modelIndex);

protected:
    KoFileNameEditor* makeEditor(QWidget* parent) const override;

private:
    QPoint m_lastMousePoint;
    int m_buttonHover = -1;
};
