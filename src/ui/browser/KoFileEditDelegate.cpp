#include "ui/browser/KoFileEditDelegate.h"

#include "ui/browser/KoFileModelCommon.h"
#include "ui/browser/KoFileNameEditor.h"

QWidget* KoFileEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const
{
    KoFileNameEditor* editor = makeEditor(parent);
    connect(editor, &KoFileNameEditor::editFinished, this, &KoFileEditDelegate::commitAndCloseEditor);
    return editor;
}

void KoFileEditDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (auto* nameEditor = qobject_cast<KoFileNameEditor*>(editor))
        nameEditor->setEditorData(index.data(KoFileModelRole::FileName).toString());
}

void KoFileEditDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    if (auto* nameEditor = qobject_cast<KoFileNameEditor*>(editor))
        model->setData(index, nameEditor->getFileName(), Qt::EditRole);
}

void KoFileEditDelegate::commitAndCloseEditor()
{
    auto* editor = qobject_cast<QWidget*>(sender());
    if (!editor)
        return;
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void KoFileEditDelegate::setParentCursor(Qt::CursorShape shape) const
{
    if (auto* widget = qobject_cast<QWidget*>(parent()))
        widget->setCursor(shape);
}
