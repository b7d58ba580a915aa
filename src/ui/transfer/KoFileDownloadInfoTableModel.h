#pragma once

#include "ui/transfer/KoTransferTableModel.h"

// The table of unfinished downloads; column 1 names the phone it comes from, and a failed row's
// tooltip why it was refused where the user can do something about it. A record of another class
// answers nothing.
class KoFileDownloadInfoTableModel : public KoTransferTableModel
{
    Q_OBJECT
public:
    KoFileDownloadInfoTableModel(QObject* parent, int columnCount);

protected:
    QVariant recordValue(KoFileConvertInfo* info, int column, int role) const override;

private:
    // Empty for a failure without a reason the user can act on.
    static QString failReasonText(int reason);
};
