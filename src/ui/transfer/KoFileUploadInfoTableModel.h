#pragma once

#include "ui/transfer/KoTransferTableModel.h"

// The table of unfinished uploads; column 1 names the phone it goes to. A record of another class
// answers nothing.
class KoFileUploadInfoTableModel : public KoTransferTableModel
{
    Q_OBJECT
public:
    KoFileUploadInfoTableModel(QObject* parent, int columnCount);

    QVariant data(const QModelIndex& index, int role) const override;
};
