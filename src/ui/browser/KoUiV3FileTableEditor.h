#pragma once

#include "ui/browser/KoFileNameEditor.h"

namespace Ui {
class KoUiV3FileTableEditor;
}

// The in-place rename editor of the table view (one row high); see KoFileNameEditor.
class KoUiV3FileTableEditor : public KoFileNameEditor
{
    Q_OBJECT
public:
    explicit KoUiV3FileTableEditor(QWidget* parent = nullptr);
    ~KoUiV3FileTableEditor() override;

private:
    Ui::KoUiV3FileTableEditor* ui;
};
