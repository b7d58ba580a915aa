#pragma once

#include "ui/browser/KoFileNameEditor.h"

namespace Ui {
class KoUiV3FileListEditor;
}

// The in-place rename editor of the icon view (128 x 128, over the tile's name); see KoFileNameEditor.
class KoUiV3FileListEditor : public KoFileNameEditor
{
    Q_OBJECT
public:
    explicit KoUiV3FileListEditor(QWidget* parent = nullptr);
    ~KoUiV3FileListEditor() override;

private:
    Ui::KoUiV3FileListEditor* ui;
};
