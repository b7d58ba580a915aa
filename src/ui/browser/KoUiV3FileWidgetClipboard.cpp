// Cut, copy and paste on the phone, and the copy's progress.

#include "KoUiV3FileWidget.h"

#include "model/KoFileCopyInfo.h"

void KoUiV3FileWidget::onCopyActionTriggled() {}

void KoUiV3FileWidget::onCutActionTriggled() {}

void KoUiV3FileWidget::onPasteActionTriggled() {}

void KoUiV3FileWidget::onFileCopyStart(int, QString, QList<KoFileCopyInfo*>* list)
{
    // The page is the owning receiver of the list.
    if (list)
        qDeleteAll(*list);
    delete list;
}

void KoUiV3FileWidget::onFileCopyError(int, QString) {}
