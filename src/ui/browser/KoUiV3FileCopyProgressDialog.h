#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QString>

class KoFileCopyInfo;
class KoRemoteFileOperator;
class QTimer;

namespace Ui {
class KoUiV3FileCopyProgressDialog;
}

// Follows a copy the phone makes inside its own storage (LAN route only, version 2): asks the
// operator for the copy's progress every 500 ms, one question at a time, and ends by itself
// when every file is finished or failed (accept), or on Cancel (reject, after the cancel
// request). Three questions in a row left unanswered past the request deadline also end it, as
// failed; a late answer is no lost one.
//
// Ownership: takes the start list and its records at once, and every progress list the
// operator hands it (it is then their one owning receiver); lists of other copies or arriving
// after it ended are freed. GUI thread only.
class KoUiV3FileCopyProgressDialog : public QDialog
{
    Q_OBJECT
public:
    // The poll period, and the polls lost in a row that end the dialog.
    static constexpr int kPollIntervalMs = 500;
    static constexpr int kLostPollsLimit = 3;

    KoUiV3FileCopyProgressDialog(int taskId, QString remoteServer, QList<KoFileCopyInfo*>* list, int version,
                                 QWidget* parent = nullptr);
    ~KoUiV3FileCopyProgressDialog() override;

    // Whether a file failed or the phone stopped answering; the caller tells the user.
    bool hasFailed() const { return failed; }
    // Percent of the bytes copied, 64-bit safe; 100 when nothing is left to copy.
    static int percentOf(qint64 copied, qint64 total);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void onBtnCancelClicked();
    void onCopyProgressCallback(int taskId, QList<KoFileCopyInfo*>* list);
    void onCheckProgressTimer();

private:
    void initData(QList<KoFileCopyInfo*>* list);
    void initUi();
    void initConnection();
    void setCopyList(QList<KoFileCopyInfo*>* list);
    void clearCopyList();
    void refreshDialog();
    void cancelCopy();
    void finish(int result);

    Ui::KoUiV3FileCopyProgressDialog* ui;
    int taskId;
    QString remoteServer;
    int version;
    QList<KoFileCopyInfo*>* copyList = nullptr;
    QTimer* timer = nullptr;
    KoRemoteFileOperator* remoteOperator = nullptr;
    bool shown = false;
    bool ended = false;
    bool failed = false;
    // Since the poll that is out was sent (invalid: none out), and polls lost in a row.
    QElapsedTimer pollClock;
    int lostPolls = 0;
};
