#pragma once

#include "ui/transfer/KoTransferProgressDelegate.h"

// Rows of the download table.
class KoUiV3FileDownloadInfoDelegate : public KoTransferProgressDelegate
{
    Q_OBJECT
public:
    explicit KoUiV3FileDownloadInfoDelegate(QObject* parent = nullptr);
};
