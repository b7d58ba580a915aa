#include "KoUiV3TransferWidget.h"

#include "app/KoCommonUtil.h"
#include "ops/KoRemoteFileOperator.h"
#include "ui/KoUiInit.h"
#include "ui/transfer/KoFileDownloadInfoTableModel.h"
#include "ui/transfer/KoFileFinishedInfoTableModel.h"
#include "ui/transfer/KoFileUploadInfoTableModel.h"
#include "ui/transfer/KoUiV3FileDownloadInfoDelegate.h"
#include "ui/transfer/KoUiV3FileFinishedInfoDelegate.h"
#include "ui/transfer/KoUiV3FileUploadInfoDelegate.h"
#include "ui/widgets/KoSelectAllHelper.h"
#include "ui/widgets/KoTableHeaders.h"
#include "ui/widgets/KoUiV3TipsWidget.h"
#include "ui_KoUiV3TransferWidget.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>

namespace {
const QString kEmptyText = QStringLiteral("传输列表为空哦...");

QString qss(const char* name)
{
    return QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/") + QLatin1String(name)).constData());
}

void setColumns(QTableView* view, const QList<int>& fixedWidths, int minimum)
{
    QHeaderView* header = view->horizontalHeader();
    header->setMinimumSectionSize(minimum);
    header->setSectionsClickable(false);
    // Columns before the fixed ones stretch.
    const int stretched = 4 - fixedWidths.size();
    for (int c = 0; c < 4; ++c) {
        if (c < stretched) {
            header->setSectionResizeMode(c, QHeaderView::Stretch);
        } else {
            header->setSectionResizeMode(c, QHeaderView::Fixed);
            header->resizeSection(c, fixedWidths.at(c - stretched));
        }
    }
    // Fixed heights: a reset of 10,000 rows must not measure each one.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}
} // namespace

KoUiV3TransferWidget::KoUiV3TransferWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_KoUiV3TransferWidget)
{
    koInitUiResources();
    initData();
    initUi();
    initConnection();
}

KoUiV3TransferWidget::~KoUiV3TransferWidget()
{
    delete ui;
}

void KoUiV3TransferWidget::initData()
{
    m_operator = KoRemoteFileOperator::getInstance();
    m_tables[UploadPage].list = m_operator->getUploadingList();
    m_tables[DownloadPage].list = m_operator->getDownLoadingList();
    m_tables[FinishedPage].list = m_operator->getConvertedList();
    emptyPixmap = QPixmap(QStringLiteral(":/ui_v3/images/img_transfer_list_empty"));
    m_flushTimer = new QTimer(this);
    m_flushTimer->setSingleShot(true);
}

void KoUiV3TransferWidget::initUi()
{
    ui->setupUi(this);
    m_tables[UploadPage].view = ui->uploadTableView;
    m_tables[DownloadPage].view = ui->downloadTableView;
    m_tables[FinishedPage].view = ui->finishedTableView;

    chbSelAll = new QCheckBox(ui->tabelWidget);
    chbSelAll->setGeometry(12, 10, 14, 14);
    chbSelAll->setStyleSheet(qss("KoCheckBox"));
    chbSelAll->setCursor(Qt::PointingHandCursor);
    m_selectAll = new KoSelectAllHelper(chbSelAll);

    tipsWidget = new KoUiV3TipsWidget(ui->tabelWidget);
    ui->verticalLayout->addWidget(tipsWidget);
    tipsWidget->hide();
    ui->uploadCountLabel->hide();
    ui->downloadCountLabel->hide();

    for (QPushButton* b : {ui->btnDownload, ui->btnUpload, ui->btnFinished})
        b->setStyleSheet(qss("KoMenuButton"));
    for (QPushButton* b : {ui->btnDelete, ui->btnStart, ui->btnRetry, ui->btnPause, ui->btnClear})
        b->setStyleSheet(qss("KoToolBarButton"));
    const QString listQss = qss("KoTransferList");
    for (const Table& t : m_tables) {
        t.view->setStyleSheet(listQss);
        t.view->verticalScrollBar()->setStyleSheet(listQss);
        t.view->horizontalScrollBar()->setStyleSheet(listQss);
        t.view->horizontalHeader()->setStyleSheet(listQss);
    }

    uploadDelegate = new KoUiV3FileUploadInfoDelegate(ui->uploadTableView);
    downloadDelegate = new KoUiV3FileDownloadInfoDelegate(ui->downloadTableView);
    finishedDelegate = new KoUiV3FileFinishedInfoDelegate(ui->finishedTableView);
    setUpTable(UploadPage, new KoFileUploadInfoTableModel(ui->uploadTableView, 4), uploadDelegate);
    setUpTable(DownloadPage, new KoFileDownloadInfoTableModel(ui->downloadTableView, 4), downloadDelegate);
    setUpTable(FinishedPage, new KoFileFinishedInfoTableModel(ui->finishedTableView, 4), finishedDelegate);
    setColumns(ui->uploadTableView, {160, 90}, 130);
    setColumns(ui->downloadTableView, {160, 90}, 130);
    setColumns(ui->finishedTableView, {90, 150, 120}, 150);

    switchPage(UploadPage);
    ui->horizontalLayout->setSpacing(20);
}

void KoUiV3TransferWidget::setUpTable(PageState page, KoTransferTableModel* model, QAbstractItemDelegate* delegate)
{
    Table& t = m_tables[page];
    t.model = model;
    model->setList(t.list);
    t.view->setModel(model);
    KoTableHeaders::freeUnusedSelectionModels(t.view);
    t.view->setItemDelegate(delegate);
}

void KoUiV3TransferWidget::initConnection()
{
    connect(m_flushTimer, &QTimer::timeout, this, &KoUiV3TransferWidget::onFlushTimer);
    connect(ui->btnUpload, &QPushButton::clicked, this, &KoUiV3TransferWidget::onBtnUploadClicked);
    connect(ui->uploadCountLabel, &KoClickLabel::clicked, this, &KoUiV3TransferWidget::onBtnUploadClicked);
    connect(ui->btnDownload, &QPushButton::clicked, this, &KoUiV3TransferWidget::onBtnDownloadClicked);
    connect(ui->downloadCountLabel, &KoClickLabel::clicked, this, &KoUiV3TransferWidget::onBtnDownloadClicked);
    connect(ui->btnFinished, &QPushButton::clicked, this, &KoUiV3TransferWidget::onBtnFinishedClicked);
    connect(ui->btnStart, &QPushButton::clicked, this, &KoUiV3TransferWidget::onBtnStartClicked);
    connect(ui->btnPause, &QPushButton::clicked, this, &KoUiV3TransferWidget::onBtnPauseClicked);
    connect(ui->btnRetry, &QPushButton::clicked, this, &KoUiV3TransferWidget::onBtnRetryClicked);
    connect(ui->btnDelete, &QPushButton::clicked, this, &KoUiV3TransferWidget::onBtnDeleteClicked);
    connect(ui->btnClear, &QPushButton::clicked, this, &KoUiV3TransferWidget::onBtnClearClicked);
    for (const Table& t : m_tables)
        connect(t.view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &KoUiV3TransferWidget::onTableSelectionChanged);
    connect(m_selectAll, &KoSelectAllHelper::selectAllClicked, this, &KoUiV3TransferWidget::onChbSelStateChanged);

    connect(downloadDelegate, &KoTransferProgressDelegate::btnRetryClicked, this,
            &KoUiV3TransferWidget::onDownloadRetryButtonClicked);
    connect(downloadDelegate, &KoTransferProgressDelegate::btnPauseClicked, this,
            &KoUiV3TransferWidget::onDownloadPauseButtonClicked);
    connect(downloadDelegate, &KoTransferProgressDelegate::btnDeleteClicked, this,
            &KoUiV3TransferWidget::onDownloadDelButtonClicked);
    connect(uploadDelegate, &KoTransferProgressDelegate::btnRetryClicked, this,
            &KoUiV3TransferWidget::onUploadRetryButtonClicked);
    connect(uploadDelegate, &KoTransferProgressDelegate::btnPauseClicked, this,
            &KoUiV3TransferWidget::onUploadPauseButtonClicked);
    connect(uploadDelegate, &KoTransferProgressDelegate::btnDeleteClicked, this,
            &KoUiV3TransferWidget::onUploadDelButtonClicked);
    connect(finishedDelegate, &KoUiV3FileFinishedInfoDelegate::btnDeleteClicked, this,
            &KoUiV3TransferWidget::onTransferDelButtonClicked);
    connect(finishedDelegate, &KoUiV3FileFinishedInfoDelegate::btnOpenFileClicked, this,
            &KoUiV3TransferWidget::onOpenFileButtonClicked);
    connect(finishedDelegate, &KoUiV3FileFinishedInfoDelegate::btnOpenDirClicked, this,
            &KoUiV3TransferWidget::onOpenDirButtonClicked);

    using Op = KoRemoteFileOperator;
    Op* op = m_operator;
    connect(op, &Op::fileUploadStartV2, this, &KoUiV3TransferWidget::refreshUploadTable);
    connect(op, &Op::fileUploadCancel, this, &KoUiV3TransferWidget::refreshUploadTable);
    connect(op, &Op::fileUploadErrorTaskMove, this, &KoUiV3TransferWidget::refreshUploadTable);
    connect(op, &Op::fileUploadSuccessV2, this, [this] {
        refreshUploadTable();
        refreshFinishedTable();
    });
    connect(op, &Op::fileDownloadStartV2, this, &KoUiV3TransferWidget::refreshDownloadTable);
    connect(op, &Op::fileDownloadCancel, this, &KoUiV3TransferWidget::refreshDownloadTable);
    connect(op, &Op::fileDownloadErrorTaskMove, this, &KoUiV3TransferWidget::refreshDownloadTable);
    connect(op, &Op::fileDownloadSuccessV2, this, [this] {
        refreshDownloadTable();
        refreshFinishedTable();
    });
    connect(op, &Op::fileConvertedTaskMove, this, &KoUiV3TransferWidget::refreshFinishedTable);
    connect(op, &Op::uploadTaskProgressV2, this, [this] { scheduleRowRefresh(UploadPage); });
    connect(op, &Op::fileUploadPause, this, [this] { scheduleRowRefresh(UploadPage); });
    connect(op, &Op::downloadTaskProgressV2, this, [this] { scheduleRowRefresh(DownloadPage); });
    connect(op, &Op::fileDownloadPause, this, [this] { scheduleRowRefresh(DownloadPage); });
    connect(op, &Op::fileUploadErrorV2, this, &KoUiV3TransferWidget::onFileUploadError);
    connect(op, &Op::fileDownloadErrorV2, this, &KoUiV3TransferWidget::onFileDownloadError);
    connect(op, &Op::convertCountChanged, this, &KoUiV3TransferWidget::onTransferCountChanged);
    connect(op, &Op::allDownloadsSuccessV2, this, &KoUiV3TransferWidget::onAllDownloadsSuccess);
    connect(op, &Op::allUploadSuccessV2, this, &KoUiV3TransferWidget::onAllUploadsSuccess);
}

void KoUiV3TransferWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Whatever changed while the page was hidden.
    flushPending();
    updateTableWidget();
    refreshShownRows(current(), false);
}

void KoUiV3TransferWidget::setPageState(PageState state)
{
    m_pageState = state;
}

void KoUiV3TransferWidget::onBtnUploadClicked()
{
    switchPage(UploadPage);
}
void KoUiV3TransferWidget::onBtnDownloadClicked()
{
    switchPage(DownloadPage);
}
void KoUiV3TransferWidget::onBtnFinishedClicked()
{
    switchPage(FinishedPage);
}

void KoUiV3TransferWidget::switchPage(PageState page)
{
    m_pageState = page;
    // The table now shown catches up with its list.
    flushPending();
    clearTableSelection();
    updateMenuWidget();
    updateButtonWidget();
    updateStateWidget();
    updateTableWidget();
    // Painted whole now: later progress repaints only rows that change from here.
    refreshShownRows(current(), false);
}

void KoUiV3TransferWidget::updateTableWidget()
{
    for (const Table& t : m_tables)
        t.view->hide();
    tipsWidget->hide();
    showCurrentTable();
}

void KoUiV3TransferWidget::showCurrentTable()
{
    Table& t = current();
    const bool empty = t.list->isEmpty();
    // Shown as it should be already: touching the widgets again would repaint them.
    if (t.view->isHidden() == empty && tipsWidget->isHidden() == !empty && chbSelAll->isHidden() == empty)
        return;
    if (empty) {
        t.view->hide();
        tipsWidget->showTips(emptyPixmap, kEmptyText, QString());
    } else {
        tipsWidget->hide();
        t.view->show();
    }
    // The box lies on the table's header: without the table it would float over the panel.
    chbSelAll->setVisible(!empty);
    chbSelAll->raise();
}

void KoUiV3TransferWidget::updateMenuWidget()
{
    ui->btnUpload->setChecked(m_pageState == UploadPage);
    ui->btnDownload->setChecked(m_pageState == DownloadPage);
    ui->btnFinished->setChecked(m_pageState == FinishedPage);
}

void KoUiV3TransferWidget::updateButtonWidget()
{
    // Only what differs is touched (setText and setVisible ignore an unchanged value): hiding
    // and showing again would lay the bar out and repaint it.
    const bool any = !current().list->isEmpty();
    const bool finished = m_pageState == FinishedPage;
    const bool some = any && !getTableSelectionList().isEmpty();
    if (any && finished)
        ui->btnClear->setText(some ? QStringLiteral("清除记录") : QStringLiteral("清除全部记录"));
    if (any && !finished) {
        ui->btnStart->setText(some ? QStringLiteral("开始") : QStringLiteral("开始全部"));
        ui->btnPause->setText(some ? QStringLiteral("暂停") : QStringLiteral("暂停全部"));
        ui->btnDelete->setText(some ? QStringLiteral("删除") : QStringLiteral("删除全部"));
        ui->btnRetry->setText(some ? QStringLiteral("重试失败任务") : QStringLiteral("重试全部失败任务"));
    }
    ui->btnClear->setVisible(any && finished);
    for (QPushButton* b : {ui->btnStart, ui->btnPause, ui->btnRetry, ui->btnDelete})
        b->setVisible(any && !finished);
}

void KoUiV3TransferWidget::updateStateLabel()
{
    static const char* const texts[] = {"正在上传", "正在下载", "传输完成"};
    ui->stateLabel->setText(QString::fromUtf8(texts[m_pageState]));
}

void KoUiV3TransferWidget::updateSelectedLabel()
{
    ui->selectedLabel->setText(
        QStringLiteral("共%1个项目, 已选中%2个项目").arg(current().list->size()).arg(getTableSelectionList().size()));
}

void KoUiV3TransferWidget::updateSelCheckBox()
{
    m_selectAll->setCounts(getTableSelectionList().size(), current().list->size());
}

void KoUiV3TransferWidget::updateStateWidget()
{
    updateStateLabel();
    updateSelectedLabel();
}

void KoUiV3TransferWidget::clearSelections()
{
    for (int page : {DownloadPage, UploadPage, FinishedPage}) {
        QItemSelectionModel* selection = m_tables[page].view->selectionModel();
        if (selection && selection->hasSelection())
            m_tables[page].view->clearSelection();
    }
}

void KoUiV3TransferWidget::clearTableSelection()
{
    clearSelections();
    updateButtonWidget();
    updateSelectedLabel();
    updateSelCheckBox();
}

QModelIndexList KoUiV3TransferWidget::getTableSelectionList() const
{
    const QTableView* view = m_tables[m_pageState].view;
    return view->selectionModel() ? view->selectionModel()->selectedRows() : QModelIndexList();
}

void KoUiV3TransferWidget::onTableSelectionChanged()
{
    updateButtonWidget();
    updateSelectedLabel();
    updateSelCheckBox();
}

void KoUiV3TransferWidget::onChbSelStateChanged(bool checked)
{
    if (checked) {
        for (int page : {UploadPage, DownloadPage, FinishedPage})
            m_tables[page].view->selectAll();
    } else {
        clearTableSelection();
    }
}

void KoUiV3TransferWidget::refreshUploadTable()
{
    scheduleRebuild(UploadPage);
}
void KoUiV3TransferWidget::refreshDownloadTable()
{
    scheduleRebuild(DownloadPage);
}
void KoUiV3TransferWidget::refreshFinishedTable()
{
    scheduleRebuild(FinishedPage);
}

void KoUiV3TransferWidget::scheduleRebuild(PageState page)
{
    m_tables[page].rebuildPending = true;
    m_membershipChanged = true;
    scheduleFlush();
}

void KoUiV3TransferWidget::scheduleRowRefresh(PageState page)
{
    m_tables[page].rowsPending = true;
    scheduleFlush();
}

void KoUiV3TransferWidget::scheduleFlush()
{
    if (!isVisible() || m_flushTimer->isActive())
        return;
    const qint64 since = m_sinceFlush.isValid() ? m_sinceFlush.elapsed() : kFlushIntervalMs;
    m_flushTimer->start(int(qBound<qint64>(0, kFlushIntervalMs - since, kFlushIntervalMs)));
}

void KoUiV3TransferWidget::flushSoon()
{
    if (m_flushQueued)
        return;
    m_flushQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_flushQueued = false;
            if (isVisible())
                flushPending();
        },
        Qt::QueuedConnection);
}

void KoUiV3TransferWidget::onFlushTimer()
{
    if (isVisible())
        flushPending();
}

void KoUiV3TransferWidget::flushPending()
{
    m_flushTimer->stop();
    m_sinceFlush.restart();
    for (int page : {UploadPage, DownloadPage, FinishedPage}) {
        Table& t = m_tables[page];
        // A record that entered without a start signal (a download that failed at once)
        // gets its row through a rebuild too.
        if (!t.rebuildPending && t.model->isStale()) {
            t.rebuildPending = true;
            m_membershipChanged = true;
        }
        // A table not shown waits until it is.
        if (page != m_pageState)
            continue;
        if (t.rebuildPending) {
            t.rebuildPending = false;
            t.rowsPending = false;
            t.model->setList(t.list);
            showCurrentTable();
            refreshShownRows(t, false);
        } else if (t.rowsPending) {
            t.rowsPending = false;
            refreshShownRows(t, true);
        }
    }
    // Every membership change drops the selection, as the rows it named may have moved.
    if (m_membershipChanged) {
        m_membershipChanged = false;
        clearTableSelection();
    }
    if (m_downloadBadge != m_downloadCount) {
        m_downloadBadge = m_downloadCount;
        showBadge(ui->downloadCountLabel, m_downloadCount);
    }
    if (m_uploadBadge != m_uploadCount) {
        m_uploadBadge = m_uploadCount;
        showBadge(ui->uploadCountLabel, m_uploadCount);
    }
}

void KoUiV3TransferWidget::refreshShownRows(Table& t, bool announce)
{
    if (!t.view->isVisible() || t.model->rowCount() == 0)
        return;
    const int first = qMax(0, t.view->rowAt(0));
    const int last = t.view->rowAt(t.view->viewport()->height() - 1);
    // Below the last row (or before the first layout): up to a screenful.
    t.model->refreshRows(first, last < 0 ? first + kMaxShownRows : last, announce);
}

void KoUiV3TransferWidget::onFileDownloadError(QString filePath)
{
    Q_UNUSED(filePath);
    scheduleRowRefresh(DownloadPage);
}

void KoUiV3TransferWidget::onFileUploadError(QString dstPath, QString remoteServer)
{
    Q_UNUSED(dstPath);
    Q_UNUSED(remoteServer);
    scheduleRowRefresh(UploadPage);
}

void KoUiV3TransferWidget::onTransferCountChanged(int download, int upload)
{
    m_downloadCount = download;
    m_uploadCount = upload;
    scheduleFlush();
}
