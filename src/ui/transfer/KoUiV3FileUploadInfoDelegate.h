#pragma once

#include "ui/transfer/KoTransferProgressDelegate.h"

// Rows of the upload table.
class KoUiV3FileUploadInfoDelegate : public KoTransferProgressDelegate
{
    Q_OBJECT
public:
    explicit KoUiV3FileUploadInfoDelegate(QObject* parent = nullptr);
};
