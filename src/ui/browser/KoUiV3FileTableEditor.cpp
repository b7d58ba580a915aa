#include "ui/browser/KoUiV3FileTableEditor.h"

#include "ui_KoUiV3FileTableEditor.h"

KoUiV3FileTableEditor::KoUiV3FileTableEditor(QWidget* parent)
    : KoFileNameEditor(parent)
    , ui(new Ui::KoUiV3FileTableEditor)
{
    ui->setupUi(this);
    init(ui->nameEdit);
}

KoUiV3FileTableEditor::~KoUiV3FileTableEditor()
{
    delete ui;
}
