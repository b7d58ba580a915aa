#pragma once

#include "ui/transfer/KoTransferTableModel.h"

// The table of unfinished downloads; column 1 names the phone it comes from. A record of another class
// answers nothing.
class KoFileDownloadInfoTableModel : public KoTransferTableModel
{
    Q_OBJECT
public:
    KoFileDownloadInfoTableModel(QObject* parent, int columnCount);

    QVariant data(const QModelIndex& index, int role) const override;
};
