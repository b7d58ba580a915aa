#include "KoUiV3FileWidget.h"
#include "ui_KoUiV3FileWidget.h"

#include "app/KoCommonUtil.h"
#include "link/KoRemoteConnectManager.h"
#include "model/KoBaseFacility.h"
#include "model/KoFileClipboard.h"
#include "model/KoRemoteCategory.h"
#include "model/KoRemoteFile.h"
#include "ops/KoRemoteFileOperator.h"
#include "ui/browser/KoFileListView.h"
#include "ui/browser/KoFileTableView.h"
#include "ui/browser/KoRemoteCategoryListModel.h"
#include "ui/browser/KoRemoteCategoryTableModel.h"
#include "ui/browser/KoRemoteFileListModel.h"
#include "ui/browser/KoRemoteFilePathHistoryList.h"
#include "ui/browser/KoRemoteFilePathListModel.h"
#include "ui/browser/KoRemoteFileTableModel.h"
#include "ui/browser/KoUiV3CategoryDetailDelegate.h"
#include "ui/browser/KoUiV3CategoryIconDelegate.h"
#include "ui/browser/KoUiV3FileDetailDelegate.h"
#include "ui/browser/KoUiV3FileIconDelegate.h"
#include "ui/browser/KoUiV3FilePathDelegate.h"
#include "ui/widgets/KoProgressWidget.h"
#include "ui/widgets/KoSelectAllHelper.h"
#include "ui/widgets/KoToastWidget.h"
#include "ui/widgets/KoUiV3TipsWidget.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QResizeEvent>

namespace {
QString qssText(const char* path)
{
    return QString::fromUtf8(KoCommonUtil::getQss(QString::fromLatin1(path)).constData());
}
} // namespace

KoUiV3FileWidget::KoUiV3FileWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::KoUiV3FileWidget)
{
    initData();
    initUi();
    initAction();
    initConnection();
}

KoUiV3FileWidget::~KoUiV3FileWidget()
{
    // The models still point at the lists; take the views' models away before freeing them.
    ui->fileListView->setModel(nullptr);
    ui->fileTableView->setModel(nullptr);
    ui->pathListView->setModel(nullptr);
    clearFileList();
    clearCategoryList();
    delete fileList;
    delete categoryList;
    delete pathList;
    delete sortStateMap;
    delete facility;
    delete ui;
}

void KoUiV3FileWidget::initData()
{
    pathList = new QList<KoRemoteFilePath>;
    fileList = new QList<KoRemoteFile*>;
    categoryList = new QList<KoRemoteCategory*>;
    sortStateMap = new QHash<int, int>;
    history = new KoRemoteFilePathHistoryList(this);
    remoteOperator = KoRemoteFileOperator::getInstance();
    clipboard = KoFileClipboard::getInstance();
    fileListEmptyImage = QPixmap(QStringLiteral(":/ui_v3/images/img_file_list_empty"));
    timeoutImage = QPixmap(QStringLiteral(":/ui_v3/images/img_time_out"));
    photoListEmptyImage = QPixmap(QStringLiteral(":/ui_v3/images/img_photo_list_empty"));
    initSortStateMap();
}

void KoUiV3FileWidget::initUi()
{
    ui->setupUi(this);
    toastWidget = new KoToastWidget(ui->exploreWidget);
    toastWidget->hide();
    progressWidget = new KoProgressWidget(ui->exploreWidget);
    tipsWidget = new KoUiV3TipsWidget(ui->exploreWidget);
    tipsWidget->hide();

    const QString toolStyle = qssText(":/ui_v3/qss/KoToolBarButton");
    for (QWidget* button : {ui->btnUpload, ui->btnMkdir, ui->btnDownload, ui->btnDelete, ui->btnMore})
        button->setStyleSheet(toolStyle);
    const QString statusStyle = qssText(":/ui_v3/qss/KoFileStatusButton");
    for (QWidget* button : {ui->btnTable, ui->btnList, ui->btnRefresh})
        button->setStyleSheet(statusStyle);
    const QString listStyle = qssText(":/ui_v3/qss/KoFileList");
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(ui->fileListView), static_cast<QAbstractItemView*>(ui->fileTableView)}) {
        view->setStyleSheet(listStyle);
        view->verticalScrollBar()->setStyleSheet(listStyle);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        view->installEventFilter(this);
    }
    // The nick comes from the phone: never rich text.
    ui->titleLabel->setTextFormat(Qt::PlainText);

    headerCheckBox = new QCheckBox(ui->tableWidget);
    headerCheckBox->setGeometry(12, 10, 14, 14);
    headerCheckBox->setCursor(Qt::PointingHandCursor);
    const QString checkStyle = qssText(":/ui_v3/qss/KoCheckBox");
    ui->chbSelect->setStyleSheet(checkStyle);
    headerCheckBox->setStyleSheet(checkStyle);
    listSelectAll = new KoSelectAllHelper(ui->chbSelect);
    headerSelectAll = new KoSelectAllHelper(headerCheckBox);

    pathModel = new KoRemoteFilePathListModel(ui->pathListView);
    pathDelegate = new KoUiV3FilePathDelegate(ui->pathListView);
    pathModel->setList(pathList);
    ui->pathListView->setModel(pathModel);
    ui->pathListView->setItemDelegate(pathDelegate);

    fileListModel = new KoRemoteFileListModel(ui->fileListView, 0);
    fileIconDelegate = new KoUiV3FileIconDelegate(ui->fileListView);
    categoryListModel = new KoRemoteCategoryListModel(ui->fileListView);
    categoryIconDelegate = new KoUiV3CategoryIconDelegate(ui->fileListView);
    fileTableModel = new KoRemoteFileTableModel(ui->fileTableView, 3);
    fileDetailDelegate = new KoUiV3FileDetailDelegate(ui->fileTableView);
    categoryTableModel = new KoRemoteCategoryTableModel(ui->fileTableView, 3);
    categoryDetailDelegate = new KoUiV3CategoryDetailDelegate(ui->fileTableView);
    resetFileModels();
    resetCategoryModels();
    ui->fileListView->setFileList(fileList);
    ui->fileTableView->setFileList(fileList);

    setCategoryState(0);
    ui->fileTableView->horizontalHeader()->setMinimumSectionSize(150);
    // Set here: the form cannot name this property of a promoted list view.
    ui->fileListView->setWrapping(true);
    showViewMode(0);
    updateStateWidget();
    updateToolWidget();
    updateSelectCheckBox();
    ui->pathWidget->layout()->setSpacing(20);
    ui->toolWidget->layout()->setSpacing(20);
    ui->widget->layout()->setSpacing(16);
}

void KoUiV3FileWidget::initAction()
{
    auto make = [this](const QString& text, void (KoUiV3FileWidget::*slot)()) {
        auto* action = new QAction(text, this);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    refreshAction = make(QStringLiteral("刷新"), &KoUiV3FileWidget::refreshFileExplorer);
    mkdirAction = make(QStringLiteral("新建文件夹"), &KoUiV3FileWidget::onBtnMkdirClicked);
    pasteAction = make(QStringLiteral("粘贴"), &KoUiV3FileWidget::onPasteActionTriggled);
    renameAction = make(QStringLiteral("重命名"), &KoUiV3FileWidget::onRenameActionTriggled);
    deleteAction = make(QStringLiteral("删除"), &KoUiV3FileWidget::onBtnDeleteClicked);
    downloadAction = make(QStringLiteral("下载"), &KoUiV3FileWidget::onBtnDownloadClicked);
    copyAction = make(QStringLiteral("复制"), &KoUiV3FileWidget::onCopyActionTriggled);
    cutAction = make(QStringLiteral("剪切"), &KoUiV3FileWidget::onCutActionTriggled);
    uploadAction = make(QStringLiteral("上传"), &KoUiV3FileWidget::onBtnUploadClicked);

    sortGroup = new QActionGroup(this);
    sortGroup->setExclusive(true);
    sortNameAction = make(QStringLiteral("名称"), &KoUiV3FileWidget::onHeaderNameClicked);
    sortSizeAction = make(QStringLiteral("大小"), &KoUiV3FileWidget::onHeaderSizeClicked);
    sortTimeAction = make(QStringLiteral("修改时间"), &KoUiV3FileWidget::onHeaderTimeClicked);
    for (QAction* action : {sortNameAction, sortSizeAction, sortTimeAction}) {
        action->setCheckable(true);
        sortGroup->addAction(action);
    }
    viewGroup = new QActionGroup(this);
    viewGroup->setExclusive(true);
    listViewAction = make(QStringLiteral("列表"), &KoUiV3FileWidget::onBtnTableClicked);
    thumbnailViewAction = make(QStringLiteral("缩略图"), &KoUiV3FileWidget::onBtnListClicked);
    for (QAction* action : {listViewAction, thumbnailViewAction}) {
        action->setCheckable(true);
        viewGroup->addAction(action);
    }

    moreMenu = new QMenu(ui->btnMore);
    moreMenu->setStyleSheet(qssText(":/ui_v3/qss/KoFileExplorerMenu"));
    moreMenu->addAction(copyAction);
    moreMenu->addAction(cutAction);
    moreMenu->addAction(renameAction);
    ui->btnMore->setMenu(moreMenu);
    // A checkable button with a menu stays checked after the menu closes unless told.
    connect(moreMenu, &QMenu::aboutToHide, ui->btnMore, [this] { ui->btnMore->setChecked(false); });
    updateToolWidget();
}

void KoUiV3FileWidget::initConnection()
{
    connect(ui->btnTable, &QPushButton::clicked, this, &KoUiV3FileWidget::onBtnTableClicked);
    connect(ui->btnList, &QPushButton::clicked, this, &KoUiV3FileWidget::onBtnListClicked);
    connect(ui->btnRefresh, &QPushButton::clicked, this, &KoUiV3FileWidget::onBtnRefreshClicked);
    connect(tipsWidget, &KoUiV3TipsWidget::click, this, &KoUiV3FileWidget::onBtnRefreshClicked);
    connect(ui->btnUpload, &QPushButton::clicked, this, &KoUiV3FileWidget::onBtnUploadClicked);
    connect(ui->btnMkdir, &QPushButton::clicked, this, &KoUiV3FileWidget::onBtnMkdirClicked);
    connect(ui->btnDownload, &QPushButton::clicked, this, &KoUiV3FileWidget::onBtnDownloadClicked);
    connect(ui->btnDelete, &QPushButton::clicked, this, &KoUiV3FileWidget::onBtnDeleteClicked);
    connect(ui->btnBackward, &QPushButton::clicked, this, &KoUiV3FileWidget::onBtnBackwardClicked);
    connect(ui->btnForward, &QPushButton::clicked, this, &KoUiV3FileWidget::onBtnForwardClicked);
    connect(ui->btnHome, &QPushButton::clicked, this, &KoUiV3FileWidget::onBtnHomeClicked);
    // Only a click selects or clears everything; the page's own updates never come back here.
    for (KoSelectAllHelper* helper : {listSelectAll, headerSelectAll})
        connect(helper, &KoSelectAllHelper::selectAllClicked, this,
                [this](bool checked) { onChbSelectStateChanged(checked ? Qt::Checked : Qt::Unchecked); });
    connect(ui->pathListView, &QListView::clicked, this, &KoUiV3FileWidget::onPathItemClicked);

    KoFileListView* listView = ui->fileListView;
    KoFileTableView* tableView = ui->fileTableView;
    connect(listView, &KoFileListView::doubleClicked, this, &KoUiV3FileWidget::onFileItemDoubleClicked);
    connect(tableView, &KoFileTableView::doubleClicked, this, &KoUiV3FileWidget::onFileItemDoubleClicked);
    connect(listView, &KoFileListView::isWheeling, fileListModel, &KoRemoteFileListModel::setWheeling);
    connect(listView, &KoFileListView::customContextMenuRequested, this,
            &KoUiV3FileWidget::onFileExplorerRightClicked);
    connect(tableView, &KoFileTableView::customContextMenuRequested, this,
            &KoUiV3FileWidget::onFileExplorerRightClicked);
    connect(listView, &KoFileListView::remoteFileDropped, this, &KoUiV3FileWidget::onRemoteFileDropped);
    connect(tableView, &KoFileTableView::remoteFileDropped, this, &KoUiV3FileWidget::onRemoteFileDropped);
    connect(listView, &KoFileListView::remoteFileDragLeft, this, &KoUiV3FileWidget::onRemoteFileDragLeft);
    connect(tableView, &KoFileTableView::remoteFileDragLeft, this, &KoUiV3FileWidget::onRemoteFileDragLeft);
    connect(listView, &KoFileListView::localFileDropped, this, &KoUiV3FileWidget::onLocalFileDropped);
    connect(tableView, &KoFileTableView::localFileDropped, this, &KoUiV3FileWidget::onLocalFileDropped);
    connect(tableView, &KoFileTableView::hoverRow, fileTableModel, &KoRemoteFileTableModel::onHoverRow);
    connect(tableView, &KoFileTableView::hoverRow, categoryTableModel, &KoRemoteCategoryTableModel::onHoverRow);
    connect(tableView->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &KoUiV3FileWidget::onFileTableHeaderClicked);

    connect(fileIconDelegate, &KoUiV3FileIconDelegate::nameClicked, this, &KoUiV3FileWidget::onFileItemNameClicked);
    connect(fileDetailDelegate, &KoUiV3FileDetailDelegate::nameClicked, this,
            &KoUiV3FileWidget::onFileItemNameClicked);
    connect(fileIconDelegate, &KoUiV3FileIconDelegate::rightButtonClicked, this,
            &KoUiV3FileWidget::onFileItemRightClicked);
    connect(fileDetailDelegate, &KoUiV3FileDetailDelegate::rightButtonClicked, this,
            &KoUiV3FileWidget::onFileItemRightClicked);
    connect(fileDetailDelegate, &KoUiV3FileDetailDelegate::btnMoreClicked, this,
            &KoUiV3FileWidget::onFileBtnMoreClicked);
    connect(fileDetailDelegate, &KoUiV3FileDetailDelegate::btnDeleteClicked, this,
            &KoUiV3FileWidget::onFileBtnDeleteClicked);
    connect(fileDetailDelegate, &KoUiV3FileDetailDelegate::btnDownloadClicked, this,
            &KoUiV3FileWidget::onFileBtnDownloadClicked);
    connect(fileListModel, &KoRemoteFileListModel::renameFile, this, &KoUiV3FileWidget::onModelRenameFile);
    connect(fileTableModel, &KoRemoteFileTableModel::renameFile, this, &KoUiV3FileWidget::onModelRenameFile);

    KoRemoteFileOperator* op = remoteOperator;
    connect(op, &KoRemoteFileOperator::getFileListSuccessV2, this, &KoUiV3FileWidget::onGetFilelistSucceed);
    connect(op, &KoRemoteFileOperator::getCategoryListSuccess, this, &KoUiV3FileWidget::onGetCategoryListSucceed);
    connect(op, &KoRemoteFileOperator::thumbnailDownloadFinishedV2, this,
            &KoUiV3FileWidget::onThumbnailDownloadFinished);
    connect(op, &KoRemoteFileOperator::tmpFileDownloadFinishedV2, this, &KoUiV3FileWidget::onTmpfileDownloadFinished);
    connect(op, &KoRemoteFileOperator::tmpFileDownloadErrorV2, this, &KoUiV3FileWidget::onTmpfileDownloadError);
    connect(op, &KoRemoteFileOperator::fileGroupDownloadQuery, this, &KoUiV3FileWidget::onFileGroupDownloadQuery);
    connect(op, &KoRemoteFileOperator::deleteFileFinishedV2, this,
            [this](QString, QString deviceId) { scheduleReload(deviceId); });
    connect(op, &KoRemoteFileOperator::moveFileFinishedV2, this,
            [this](QString, QString, QString deviceId) { scheduleReload(deviceId); });
    connect(op, &KoRemoteFileOperator::renameFileFinishedV2, this,
            [this](QString, QString deviceId) { scheduleReload(deviceId); });
    // The batch end names no phone: reload when an upload of the shown phone ended in it.
    connect(op, &KoRemoteFileOperator::fileUploadSuccessV2, this, [this](QString, QString deviceId) {
        if (isSameDevice(deviceId))
            shownUploadEnded = true;
    });
    connect(op, &KoRemoteFileOperator::allUploadSuccessV2, this, [this](int) {
        if (shownUploadEnded && facility)
            scheduleReload(facility->getDeviceId());
        shownUploadEnded = false;
    });
    connect(op, &KoRemoteFileOperator::makeDirectoryFailedV2, this, &KoUiV3FileWidget::onMkDirFailed);
    connect(op, &KoRemoteFileOperator::renameFileFailedV2, this, &KoUiV3FileWidget::onRenameFileFailed);
    connect(op, &KoRemoteFileOperator::fileCopyStartV2, this, &KoUiV3FileWidget::onFileCopyStart);
    connect(op, &KoRemoteFileOperator::fileCopyErrorV2, this, &KoUiV3FileWidget::onFileCopyError);
    connect(op, &KoRemoteFileOperator::taskExecuteTimeoutV2, this, &KoUiV3FileWidget::onRemoteOptorTimeout);
    connect(op, &KoRemoteFileOperator::taskExecuteNoPermission, this, &KoUiV3FileWidget::onRemoteNoPermission);
    connect(KoRemoteConnectManager::getInstance(), &KoRemoteConnectManager::deviceLocalChanged, this,
            &KoUiV3FileWidget::onDeviceLocalChanged);
    initFileOpsConnection();
}

void KoUiV3FileWidget::setFacility(KoBaseFacility* device)
{
    if (!device)
        return;
    clearFileList();
    clearCategoryList();
    initSortStateMap();
    history->clear();
    resetFileModels();
    resetCategoryModels();
    pendingRequestType = 0;
    shownUploadEnded = false;
    // Copied before the old record goes: the caller may hand in the page's own copy.
    auto* copy = new KoBaseFacility(device);
    delete facility;
    facility = copy;
    ++pageGeneration;
    fileListModel->setFacility(facility);
    onBtnHomeClicked();
}

// --- view modes and select-all -------------------------------------------------------------

void KoUiV3FileWidget::onBtnListClicked()
{
    showViewMode(0);
}

void KoUiV3FileWidget::onBtnTableClicked()
{
    showViewMode(1);
    QHeaderView* header = ui->fileTableView->horizontalHeader();
    header->resizeSection(0, ui->fileTableView->width() - 324);
    header->resizeSection(1, 150);
    header->resizeSection(2, 150);
}

void KoUiV3FileWidget::showViewMode(int mode)
{
    viewMode = mode;
    ui->btnTable->setChecked(mode == 1);
    ui->btnList->setChecked(mode == 0);
    ui->tableWidget->setVisible(mode == 1);
    ui->listWidget->setVisible(mode == 0);
    clearFileExploreSelection();
}

void KoUiV3FileWidget::onChbSelectStateChanged(int state)
{
    if (state == Qt::Unchecked) {
        clearFileExploreSelection();
    } else if (state == Qt::Checked) {
        ui->fileListView->selectAll();
        ui->fileTableView->selectAll();
    }
}

void KoUiV3FileWidget::onFileSelectionChanged()
{
    updateStateLabel();
    updateToolWidget();
    updateSelectCheckBox();
}

void KoUiV3FileWidget::updateSelectCheckBox()
{
    const int selected = getFileSelectionList().size();
    const int total = shownListSize();
    listSelectAll->setCounts(selected, total);
    headerSelectAll->setCounts(selected, total);
    ui->chbSelect->setText(selected != 0 && selected == total ? QStringLiteral("全不选") : QStringLiteral("全选"));
}

// --- events ----------------------------------------------------------------------------------

bool KoUiV3FileWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || (watched != ui->fileListView && watched != ui->fileTableView))
        return QWidget::eventFilter(watched, event);
    // A key that reaches the view from an open rename editor edits the name, never the files.
    QWidget* focus = QApplication::focusWidget();
    if (focus && focus != watched && static_cast<QWidget*>(watched)->isAncestorOf(focus))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    switch (keyCommand(key->key(), key->modifiers())) {
    case KeyNone:
        return false;
    case KeyCut:
        onCutActionTriggled();
        break;
    case KeyCopy:
        onCopyActionTriggled();
        break;
    case KeyPaste:
        onPasteActionTriggled();
        break;
    case KeyReload:
        refreshFileExplorer();
        break;
    case KeyRename:
        onRenameActionTriggled();
        break;
    case KeyDelete:
        onBtnDeleteClicked();
        break;
    }
    return true;
}

void KoUiV3FileWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QSize area = ui->exploreWidget->size();
    if (tipsWidget->isVisible())
        tipsWidget->move((area.width() - 4) / 2 - tipsWidget->width() / 2,
                         (area.height() - 4) / 2 - tipsWidget->height() / 2);
    if (progressWidget->isVisible())
        progressWidget->move(area.width() / 2 - progressWidget->width() / 2,
                             area.height() / 2 - progressWidget->height() / 2);
}

// --- shared helpers ----------------------------------------------------------------------------

QAbstractItemView* KoUiV3FileWidget::shownView() const
{
    if (viewMode == 1)
        return ui->fileTableView;
    return ui->fileListView;
}

QModelIndexList KoUiV3FileWidget::getFileSelectionList() const
{
    QItemSelectionModel* selection = shownView()->selectionModel();
    if (!selection)
        return {};
    return viewMode == 1 ? selection->selectedRows(0) : selection->selectedIndexes();
}

int KoUiV3FileWidget::selectedCount() const
{
    const int size = shownListSize();
    int count = 0;
    for (const QModelIndex& index : getFileSelectionList()) {
        if (index.isValid() && index.row() < size)
            ++count;
    }
    return count;
}

int KoUiV3FileWidget::shownListSize() const
{
    return categoryState == 0 ? categoryList->size() : fileList->size();
}

void KoUiV3FileWidget::clearFileExploreSelection()
{
    ui->fileListView->clearSelection();
    ui->fileTableView->clearSelection();
}

void KoUiV3FileWidget::showToast(QString text)
{
    toastWidget->setText(text);
}

void KoUiV3FileWidget::clearFileList()
{
    qDeleteAll(*fileList);
    fileList->clear();
}

void KoUiV3FileWidget::clearCategoryList()
{
    qDeleteAll(*categoryList);
    categoryList->clear();
}

bool KoUiV3FileWidget::isSameDevice(const QString& deviceId) const
{
    return facility && facility->getDeviceId() == deviceId;
}
