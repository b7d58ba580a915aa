#pragma once

#include "ui/browser/KoFileEditDelegate.h"

// A file tile of the icon view (128 x 128): frame by state, the type image or the photo's or
// video's thumbnail, a faded icon for a cut file, the name elided in the middle. A right press
// reports rightButtonClicked; a left press on the name of the focused item, nameClicked.
class KoUiV3FileIconDelegate : public KoFileEditDelegate
{
    Q_OBJECT
public:
    using KoFileEditDelegate::KoFileEditDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    // The tile's parts, from the item rectangle (also used by the category tiles).
    static QRect frameRect(const QRect& item) { return QRect(item.x() + 1, item.y() + 1, 126, 126); }
    static QRect iconRect(const QRect& item) { return QRect(item.x() + 24, item.y() + 4, 80, 80); }
    static QRect nameRect(const QRect& item) { return QRect(item.x() + 4, item.y() + 93, 120, 20); }
    // The type image of a file-type code (and the folder's size).
    static QString typeImage(int fileType, qint64 size);

signals:
    void rightButtonClicked(QModelIndex modelIndex);
    void nameClicked(QModelIndex modelIndex);

protected:
    KoFileNameEditor* makeEditor(QWidget* parent) const override;
};
