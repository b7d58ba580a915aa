#include "ui/browser/KoUiV3FileListEditor.h"

#include "ui_KoUiV3FileListEditor.h"

KoUiV3FileListEditor::KoUiV3FileListEditor(QWidget* parent)
    : KoFileNameEditor(parent)
    , ui(new Ui::KoUiV3FileListEditor)
{
    ui->setupUi(this);
    init(ui->nameEdit);
}

KoUiV3FileListEditor::~KoUiV3FileListEditor()
{
    delete ui;
}
