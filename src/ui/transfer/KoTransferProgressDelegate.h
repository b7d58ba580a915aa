#pragma once

#include "ui/transfer/KoTransferRowDelegate.h"

// Rows of an unfinished transfer table: the phone, the state with its bar, and the buttons
// pause / retry / start (by state) and delete. The upload and download delegates differ only
// by their texts.
class KoTransferProgressDelegate : public KoTransferRowDelegate
{
    Q_OBJECT
public:
    enum Button { FirstButton = 0, DeleteButton = 1 };

signals:
    void btnRetryClicked(int taskId);
    void btnDeleteClicked(int taskId, int state);
    void btnPauseClicked(int taskId);

protected:
    struct Texts {
        QString waiting;
        QString failed;
        QString paused;
        QString retryTip;
        bool arrowOnRetry;
    };
    KoTransferProgressDelegate(QObject* parent, const Texts& texts);

    void paintText(QPainter* painter, const QRect& cell, const QModelIndex& index) const override;
    QList<RowButton> rowButtons(const QModelIndex& index) const override;
    void buttonPressed(const QModelIndex& index, int slot) override;

private:
    Texts m_texts;
};
