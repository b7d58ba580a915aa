#pragma once

#include "ui/transfer/KoTransferTableModel.h"

// The table of unfinished downloads; column 1 names the phone it comes from. A record of another class
// answers nothing.
class KoFileDownloadInfoTableModel : public KoTransferTableModel
{
    Q_OBJECT
public:
    KoFileDownloadInfoTableModel(QObject* parent, int columnCount);

protected:
    QVariant recordValue(KoFileConvertInfo* info, int column, int role) const override;
};
