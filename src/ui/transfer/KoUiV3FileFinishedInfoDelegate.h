#pragma once

#include "ui/transfer/KoTransferRowDelegate.h"

// Rows of the finished table: size, finish text and the buttons: a finished download has open,
// open-folder and clear; a finished upload only clear (in the first slot).
class KoUiV3FileFinishedInfoDelegate : public KoTransferRowDelegate
{
    Q_OBJECT
public:
    explicit KoUiV3FileFinishedInfoDelegate(QObject* parent = nullptr);

signals:
    void btnOpenFileClicked(QString filePath);
    void btnOpenDirClicked(QString filePath);
    void btnDeleteClicked(int taskId);

protected:
    void paintText(QPainter* painter, const QRect& cell, const QModelIndex& index) const override;
    QList<RowButton> rowButtons(const QModelIndex& index) const override;
    void buttonPressed(const QModelIndex& index, int slot) override;
};
