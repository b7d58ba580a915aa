// Places, history, the listing requests and their answers, sorting.

#include "KoUiV3FileWidget.h"
#include "ui_KoUiV3FileWidget.h"

#include "model/KoBaseFacility.h"
#include "model/KoRemoteCategory.h"
#include "model/KoRemoteFile.h"
#include "model/KoRemoteFileComparator.h"
#include "ops/KoRemoteFileOperator.h"
#include "ops/KoRemoteFileTask.h"
#include "ui/browser/KoFileListView.h"
#include "ui/browser/KoFileTableView.h"
#include "ui/browser/KoRemoteCategoryListModel.h"
#include "ui/browser/KoRemoteCategoryTableModel.h"
#include "ui/browser/KoRemoteFileListModel.h"
#include "ui/browser/KoRemoteFilePathHistoryList.h"
#include "ui/browser/KoRemoteFileTableModel.h"
#include "ui/widgets/KoProgressWidget.h"
#include "ui/widgets/KoUiV3TipsWidget.h"

#include <QHeaderView>
#include <QMetaObject>

#include <algorithm>

namespace {
const QString kLoading = QStringLiteral("正在加载...");
}

// --- moving between places ----------------------------------------------------------------

void KoUiV3FileWidget::showPlace()
{
    clearFileExploreSelection();
    updateExplorerWidget();
    updateStateWidget();
    updateToolWidget();
    updateSelectCheckBox();
}

void KoUiV3FileWidget::refreshFileExplorer()
{
    showPlace();
}

void KoUiV3FileWidget::onBtnRefreshClicked()
{
    refreshFileExplorer();
}

void KoUiV3FileWidget::onBtnHomeClicked()
{
    setCategoryState(0);
    currentPath = KoRemoteFilePath(QStringLiteral("/"), QString());
    clearPathList();
    updatePathHistory();
    showPlace();
}

void KoUiV3FileWidget::onFileItemDoubleClicked(QModelIndex index)
{
    if (!index.isValid())
        return;
    const int row = index.row();
    if (categoryState == 0) {
        if (row >= categoryList->size())
            return;
        KoRemoteCategory* category = categoryList->at(row);
        const int state = stateOfCategoryType(category->getCategoryType());
        // A tile of a category this program does not know leads nowhere.
        if (state < 0)
            return;
        currentPath = *category->getPath();
        pushCurrentToPathList();
        setCategoryState(state);
        updatePathHistory();
        showPlace();
        return;
    }
    if (row >= fileList->size())
        return;
    KoRemoteFile* file = fileList->at(row);
    if (file->isFolder()) {
        currentPath = *file->getPath();
        pushCurrentToPathList();
        if (categoryState == 1)
            setCategoryState(6);
        else if (categoryState == 2)
            setCategoryState(7);
        updatePathHistory();
        showPlace();
        return;
    }
    if (!file->isPhoto() && !file->isDocument()) {
        showToast(QStringLiteral("暂不支持该类型文件的预览, 请下载后在本地打开"));
        return;
    }
    openFile(file);
}

void KoUiV3FileWidget::onPathItemClicked(QModelIndex index)
{
    if (!index.isValid() || index.row() >= pathList->size() - 1)
        return;
    if (index.row() == 0 && categoryState == 6)
        setCategoryState(1);
    else if (index.row() == 0 && categoryState == 7)
        setCategoryState(2);
    leftOfPathList(index.row());
    currentPath = lastOfPathList();
    updatePathHistory();
    showPlace();
}

void KoUiV3FileWidget::onBtnBackwardClicked()
{
    moveInHistory(true);
}

void KoUiV3FileWidget::onBtnForwardClicked()
{
    moveInHistory(false);
}

void KoUiV3FileWidget::moveInHistory(bool backward)
{
    int state = 0;
    const bool moved = backward ? history->getBackwardPath(state, pathList)
                                : history->getForwardPath(state, pathList);
    if (!moved)
        return;
    currentPath = lastOfPathList();
    setCategoryState(state);
    showPlace();
}

void KoUiV3FileWidget::updatePathHistory()
{
    history->pushNewPath(categoryState, pathList);
}

void KoUiV3FileWidget::pushCurrentToPathList()
{
    pathList->append(currentPath);
}

void KoUiV3FileWidget::leftOfPathList(int index)
{
    while (pathList->size() > index + 1)
        pathList->removeLast();
}

KoRemoteFilePath KoUiV3FileWidget::lastOfPathList() const
{
    if (pathList->isEmpty())
        return KoRemoteFilePath(QStringLiteral("/"), QString());
    return pathList->last();
}

void KoUiV3FileWidget::clearPathList()
{
    pathList->clear();
}

// --- requests and answers --------------------------------------------------------------------

void KoUiV3FileWidget::updateExplorerWidget()
{
    tipsWidget->hide();
    if (!facility)
        return;
    const bool lan = facility->isLocal();
    if (categoryState != 0) {
        clearFileList();
        resetFileModels();
        progressWidget->start(kLoading, 0);
        pendingRequestType = KoRemoteFileTask::TypeFileList;
        const QString dir = currentPath.getAbsolutePath();
        if (lan)
            remoteOperator->getFileListStartV2(getCategoryType(), dir, facility->getUrl(), facility->getDeviceId());
        else
            remoteOperator->getFileListStartV3(getCategoryType(), dir, facility);
    } else {
        clearCategoryList();
        resetCategoryModels();
        progressWidget->start(kLoading, 0);
        pendingRequestType = KoRemoteFileTask::TypeCategoryIndex;
        if (lan)
            remoteOperator->getCategoryIndexStart(facility->getUrl(), facility->getDeviceId());
        else
            remoteOperator->getCategoryIndexStartV3(facility);
    }
}

void KoUiV3FileWidget::onGetFilelistSucceed(int category, QString dirPath, QString deviceId,
                                            QList<KoRemoteFile*>* list)
{
    if (!list)
        return;
    if (categoryState == 0 || category != getCategoryType() || dirPath != currentPath.getAbsolutePath()
        || !isSameDevice(deviceId)) {
        // A listing of a place left in the meantime.
        qDeleteAll(*list);
        delete list;
        return;
    }
    clearFileList();
    fileList->append(*list);
    delete list;
    pendingRequestType = 0;
    // Album roots keep the phone's order.
    if (categoryState != 1 && categoryState != 2)
        sortFileList(getCurrentSortFlag());
    progressWidget->stop();
    resetFileModels();
    applySortIndicator();
    if (fileList->isEmpty())
        showEmptyTips();
    else
        tipsWidget->hide();
}

void KoUiV3FileWidget::onGetCategoryListSucceed(QString deviceId, QList<KoRemoteCategory*>* list)
{
    if (!list)
        return;
    if (!isSameDevice(deviceId)) {
        qDeleteAll(*list);
        delete list;
        return;
    }
    clearCategoryList();
    categoryList->append(*list);
    delete list;
    if (pendingRequestType == KoRemoteFileTask::TypeCategoryIndex) {
        pendingRequestType = 0;
        progressWidget->stop();
    }
    resetCategoryModels();
}

void KoUiV3FileWidget::onThumbnailDownloadFinished(QString, QString deviceId)
{
    if (isSameDevice(deviceId))
        ui->fileListView->viewport()->update();
}

void KoUiV3FileWidget::onRemoteOptorTimeout(int type, QString deviceId)
{
    // Only the failure of the page's own pending request: a late thumbnail, rename or copy
    // time-out never turns a loaded (or really empty) folder into a failure.
    if (!isSameDevice(deviceId) || pendingRequestType == 0 || type != pendingRequestType)
        return;
    pendingRequestType = 0;
    progressWidget->stop();
    clearCategoryList();
    clearFileList();
    resetFileModels();
    resetCategoryModels();
    showTimeoutTips();
}

void KoUiV3FileWidget::onDeviceLocalChanged(QString deviceId, bool isLocal, QString url)
{
    if (!facility || facility->getDeviceId().compare(deviceId, Qt::CaseInsensitive) != 0)
        return;
    facility->setLocal(isLocal);
    facility->setUrl(url);
    // Entries carry the server key of the route they were listed on: list them again.
    refreshFileExplorer();
}

void KoUiV3FileWidget::scheduleReload(const QString& deviceId)
{
    if (!isSameDevice(deviceId) || reloadScheduled)
        return;
    reloadScheduled = true;
    QMetaObject::invokeMethod(
        this, [this] { runScheduledReload(); }, Qt::QueuedConnection);
}

void KoUiV3FileWidget::runScheduledReload()
{
    reloadScheduled = false;
    refreshFileExplorer();
}

// --- panels ------------------------------------------------------------------------------------

void KoUiV3FileWidget::showEmptyTips()
{
    if (categoryState == 6 || categoryState == 7)
        tipsWidget->showTips(photoListEmptyImage, QStringLiteral("暂无图片或视频"), QString());
    else
        tipsWidget->showTips(fileListEmptyImage, QStringLiteral("暂无文件或文件夹"), QString());
}

void KoUiV3FileWidget::showTimeoutTips()
{
    tipsWidget->showTips(timeoutImage, QStringLiteral("数据获取失败, "), QStringLiteral("点击重试"));
}

void KoUiV3FileWidget::resetFileModels()
{
    fileListModel->setList(fileList);
    fileTableModel->setList(fileList);
    // A reset empties the selection without telling.
    onFileSelectionChanged();
}

void KoUiV3FileWidget::resetCategoryModels()
{
    categoryListModel->setList(categoryList);
    categoryTableModel->setList(categoryList);
    onFileSelectionChanged();
}

// --- sorting -----------------------------------------------------------------------------------

void KoUiV3FileWidget::initSortStateMap()
{
    *sortStateMap = {{1, 1}, {2, -2}, {3, -2}, {9, 1}, {11, 1}, {12, 1}};
}

int KoUiV3FileWidget::getCurrentSortFlag() const
{
    return sortStateMap->value(getCategoryType(), 0);
}

void KoUiV3FileWidget::setCurrentSortFlag(int flag)
{
    sortStateMap->insert(getCategoryType(), flag);
}

void KoUiV3FileWidget::sortFileList(int flag)
{
    // Stable, with the name as tie-break, so equal sizes or times keep one order across reloads.
    const KoRemoteFileComparator before(flag);
    std::stable_sort(fileList->begin(), fileList->end(), [&before](const KoRemoteFile* a, const KoRemoteFile* b) {
        if (before(a, b))
            return true;
        if (before(b, a))
            return false;
        return KoRemoteFileComparator::compareNames(a->getFullName(), b->getFullName()) < 0;
    });
}

void KoUiV3FileWidget::applySortIndicator()
{
    const int flag = getCurrentSortFlag();
    const int section = qAbs(flag) == 1 ? 0 : qAbs(flag) == 3 ? 1 : qAbs(flag) == 2 ? 2 : -1;
    ui->fileTableView->horizontalHeader()->setSortIndicator(section,
                                                            flag < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void KoUiV3FileWidget::applySort(int flag)
{
    setCurrentSortFlag(flag);
    applySortIndicator();
    sortFileList(flag);
    resetFileModels();
}

void KoUiV3FileWidget::onFileTableHeaderClicked(int index)
{
    if (index == 0)
        onHeaderNameClicked();
    else if (index == 1)
        onHeaderSizeClicked();
    else if (index == 2)
        onHeaderTimeClicked();
}

void KoUiV3FileWidget::onHeaderNameClicked()
{
    applySort(getCurrentSortFlag() == 1 ? -1 : 1);
}

void KoUiV3FileWidget::onHeaderSizeClicked()
{
    if (categoryState == 6) {
        applySortIndicator();
        return;
    }
    applySort(getCurrentSortFlag() == -3 ? 3 : -3);
}

void KoUiV3FileWidget::onHeaderTimeClicked()
{
    applySort(getCurrentSortFlag() == -2 ? 2 : -2);
}
