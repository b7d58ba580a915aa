// Upload, download, new folder, rename, delete, opening a file, the row buttons and drops.

#include "KoUiV3FileWidget.h"
#include "ui_KoUiV3FileWidget.h"

#include <QItemSelectionModel>

void KoUiV3FileWidget::onBtnUploadClicked() {}

void KoUiV3FileWidget::onBtnMkdirClicked() {}

void KoUiV3FileWidget::onBtnDownloadClicked() {}

void KoUiV3FileWidget::onBtnDeleteClicked() {}

void KoUiV3FileWidget::onRenameActionTriggled() {}

void KoUiV3FileWidget::onModelRenameFile(KoRemoteFile*, QString) {}

void KoUiV3FileWidget::openFile(KoRemoteFile*) {}

void KoUiV3FileWidget::onTmpfileDownloadFinished(QString) {}

void KoUiV3FileWidget::onTmpfileDownloadError(QString) {}

void KoUiV3FileWidget::onFileGroupDownloadQuery(int, int, QString) {}

void KoUiV3FileWidget::onRenameFileFailed(int, QString) {}

void KoUiV3FileWidget::onMkDirFailed(int, QString) {}

void KoUiV3FileWidget::onRemoteNoPermission(int, QString) {}

void KoUiV3FileWidget::onFileItemRightClicked(QModelIndex index)
{
    QAbstractItemView* view = shownView();
    // A right click inside a multiple selection keeps it.
    if (index.isValid() && !view->selectionModel()->isSelected(index)) {
        view->clearSelection();
        view->setCurrentIndex(index);
    }
    showFileMenu();
}

void KoUiV3FileWidget::onFileBtnMoreClicked(QModelIndex, QPoint) {}

void KoUiV3FileWidget::onFileBtnDeleteClicked(QModelIndex) {}

void KoUiV3FileWidget::onFileBtnDownloadClicked(QModelIndex) {}

void KoUiV3FileWidget::onLocalFileDropped(QStringList) {}

void KoUiV3FileWidget::onRemoteFileDropped(QStringList, QString) {}

void KoUiV3FileWidget::onRemoteFileDragLeft(QString) {}
