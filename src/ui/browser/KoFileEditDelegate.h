#pragma once

#include <QStyledItemDelegate>

class KoFileNameEditor;

// The rename editing both file delegates share: the editor shows the name without its suffix
// (role 457), its stored name goes back through setData with the edit role, and its
// editFinished commits and closes it.
class KoFileEditDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

public slots:
    void commitAndCloseEditor();

protected:
    virtual KoFileNameEditor* makeEditor(QWidget* parent) const = 0;
    // The cursor is set on the delegate's parent when that is a widget.
    void setParentCursor(Qt::CursorShape shape) const;
};
