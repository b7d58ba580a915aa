#pragma once

#include "ui/transfer/KoTransferTableModel.h"

// The table of finished downloads and uploads: name, size, when it finished. A record of
// another kind, or whose kind does not match its class, shows an empty row.
class KoFileFinishedInfoTableModel : public KoTransferTableModel
{
    Q_OBJECT
public:
    KoFileFinishedInfoTableModel(QObject* parent, int columnCount);

    QVariant data(const QModelIndex& index, int role) const override;

    // "下载完成 " / "上传完成 " with the time of today or the date of an earlier day.
    static QString finishText(int kind, qint64 finishedMs);
};
