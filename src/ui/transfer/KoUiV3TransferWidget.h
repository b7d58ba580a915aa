#pragma once

#include <QElapsedTimer>
#include <QItemSelection>
#include <QList>
#include <QModelIndexList>
#include <QPixmap>
#include <QWidget>

class KoFileConvertInfo;
class KoRemoteFileOperator;
class KoSelectAllHelper;
class KoTransferTableModel;
class KoUiV3FileDownloadInfoDelegate;
class KoUiV3FileFinishedInfoDelegate;
class KoUiV3FileUploadInfoDelegate;
class KoUiV3TipsWidget;
class QAbstractItemDelegate;
class QCheckBox;
class QLabel;
class QTableView;
class QTimer;
class Ui_KoUiV3TransferWidget;

// The transfer page: the operation manager's three transfer lists (uploads, downloads,
// finished) in three tables, one shown at a time, with bulk actions on a bar, row buttons,
// count badges and tray notices when all transfers of a kind have ended.
//
// The lists are borrowed: the page never changes them and sends every action to the operator.
// The page follows the lists a few times a second, not per signal: a membership change (a
// start, cancel, removal, success) rebuilds the shown table and drops the selection; progress,
// pause and failure repaint only the shown rows whose state column changed; what a user action
// changed shows as soon as the action is handled. A table that is not shown catches up when it
// is; a hidden page only keeps the badge counts. The operator's signals may arrive while a
// confirmation or alert runs its own loop, so an action brings the shown table up to date and
// collects its task ids before its first operator call. GUI thread only.
class KoUiV3TransferWidget : public QWidget
{
    Q_OBJECT
public:
    enum PageState { UploadPage = 0, DownloadPage = 1, FinishedPage = 2 };

    explicit KoUiV3TransferWidget(QWidget* parent = nullptr);
    ~KoUiV3TransferWidget() override;

    void setPageState(PageState state);

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void onBtnUploadClicked();
    void onBtnDownloadClicked();
    void onBtnFinishedClicked();
    void onBtnStartClicked();
    void onBtnPauseClicked();
    void onBtnRetryClicked();
    void onBtnDeleteClicked();
    void onBtnClearClicked();
    void onTableSelectionChanged();
    void onChbSelStateChanged(bool checked);
    void onDownloadRetryButtonClicked(int taskId);
    void onDownloadPauseButtonClicked(int taskId);
    void onDownloadDelButtonClicked(int taskId, int state);
    void onUploadRetryButtonClicked(int taskId);
    void onUploadPauseButtonClicked(int taskId);
    void onUploadDelButtonClicked(int taskId, int state);
    void onTransferDelButtonClicked(int taskId);
    void onOpenFileButtonClicked(QString filePath);
    void onOpenDirButtonClicked(QString filePath);
    void refreshUploadTable();
    void refreshDownloadTable();
    void refreshFinishedTable();
    void onFileDownloadError(QString filePath);
    void onFileUploadError(QString dstPath, QString remoteServer);
    void onTransferCountChanged(int download, int upload);
    void onAllDownloadsSuccess(int failed);
    void onAllUploadsSuccess(int failed);

private:
    struct Table {
        QList<KoFileConvertInfo*>* list = nullptr;
        QTableView* view = nullptr;
        KoTransferTableModel* model = nullptr;
        bool rebuildPending = false;
        bool rowsPending = false;
    };

    void initData();
    void initUi();
    void initConnection();
    void setUpTable(PageState page, KoTransferTableModel* model, QAbstractItemDelegate* delegate);
    void switchPage(PageState page);
    void updateTableWidget();
    void updateButtonWidget();
    void updateStateLabel();
    void updateSelectedLabel();
    void updateSelCheckBox();
    void updateMenuWidget();
    void updateStateWidget();
    void clearTableSelection();
    void clearSelections();
    // Shows the current table, or the empty panel when its list is empty.
    void showCurrentTable();
    QModelIndexList getTableSelectionList() const;
    Table& current() { return m_tables[m_pageState]; }

    // Coalescing: rebuilds, row repaints and badges wait for one shot, at most one per
    // kFlushIntervalMs; a hidden page schedules none and catches up when shown.
    static constexpr int kFlushIntervalMs = 250;
    static constexpr int kMaxShownRows = 100;
    void scheduleRebuild(PageState page);
    void scheduleRowRefresh(PageState page);
    void scheduleFlush();
    void onFlushTimer();
    // A user action's outcome: flushed as soon as the action's event is handled, through the
    // posted events, since a loop busy with thousands of transfers' sockets may hold a timer
    // back for seconds.
    void flushSoon();
    // Brings the shown table, the bar, the counter and the badges up to date.
    void flushPending();
    // Runs of rows the shown view covers.
    void refreshShownRows(Table& t, bool announce);

    // Actions (KoUiV3TransferWidgetActions.cpp).
    // The records of the selected rows, or of the whole list when none is selected.
    QList<KoFileConvertInfo*> chosenRecords(const QModelIndexList& selection);
    static QList<int> idsInStates(const QList<KoFileConvertInfo*>& records, std::initializer_list<int> states);
    // Calls the operator for each id, then flushes soon.
    void callEach(const QList<int>& ids, void (KoRemoteFileOperator::*call)(int));
    bool confirm(const QString& text);
    void alert(const QString& text);
    // Alerts missing when path is gone and noApplication when the desktop found nothing to open
    // it with: an intact download is not called damaged.
    void openOrAlert(const QString& path, const QString& missing, const QString& noApplication);
    void notifyAllEnded(bool enabled, const QString& kind, int failed);
    void showBadge(QLabel* badge, int count);

    Ui_KoUiV3TransferWidget* ui;
    QCheckBox* chbSelAll = nullptr;
    KoSelectAllHelper* m_selectAll = nullptr;
    KoUiV3TipsWidget* tipsWidget = nullptr;
    QPixmap emptyPixmap;
    PageState m_pageState = UploadPage;
    KoRemoteFileOperator* m_operator = nullptr;
    Table m_tables[3];
    KoUiV3FileUploadInfoDelegate* uploadDelegate = nullptr;
    KoUiV3FileDownloadInfoDelegate* downloadDelegate = nullptr;
    KoUiV3FileFinishedInfoDelegate* finishedDelegate = nullptr;
    QTimer* m_flushTimer = nullptr;
    QElapsedTimer m_sinceFlush;
    // A list's membership changed since the last flush: the selection goes.
    bool m_membershipChanged = false;
    bool m_flushQueued = false;
    int m_downloadCount = 0;
    int m_uploadCount = 0;
    // What the badges show (-1: not set yet, hidden).
    int m_downloadBadge = -1;
    int m_uploadBadge = -1;
};
