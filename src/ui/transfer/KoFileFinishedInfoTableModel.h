#pragma once

#include "ui/transfer/KoTransferTableModel.h"

// The table of finished downloads and uploads: name, size, when it finished. A record of
// another kind, or whose kind does not match its class, shows an empty row.
class KoFileFinishedInfoTableModel : public KoTransferTableModel
{
    Q_OBJECT
public:
    KoFileFinishedInfoTableModel(QObject* parent, int columnCount);

    // "下载完成 " / "上传完成 " with the time of today or the date of an earlier day.
    static QString finishText(int kind, qint64 finishedMs);

protected:
    QVariant recordValue(KoFileConvertInfo* record, int column, int role) const override;
};
