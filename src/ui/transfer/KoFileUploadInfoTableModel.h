#pragma once

#include "ui/transfer/KoTransferTableModel.h"

// The table of unfinished uploads; column 1 names the phone it goes to. A record of another class
// answers nothing.
class KoFileUploadInfoTableModel : public KoTransferTableModel
{
    Q_OBJECT
public:
    KoFileUploadInfoTableModel(QObject* parent, int columnCount);

protected:
    QVariant recordValue(KoFileConvertInfo* info, int column, int role) const override;
};
