// The transfer page's actions: the bar's bulk actions, the row buttons, opening finished
// downloads, the badges and the tray notices.

#include "KoUiV3TransferWidget.h"

#include "app/KoCommonUtil.h"
#include "app/KoSettings.h"
#include "model/KoFileConvertInfo.h"
#include "ops/KoRemoteFileOperator.h"
#include "ui/KoSystemTray.h"
#include "ui/KoUiV3AlertDialog.h"
#include "ui/transfer/KoTransferTableModel.h"
#include "ui/transfer/KoUiV3SettingDialog.h"
#include "ui_KoUiV3TransferWidget.h"

#include <QFileInfo>

namespace {
using State = KoFileConvertInfo::ConvertState;
using Op = KoRemoteFileOperator;
const QString kAppTitle = QStringLiteral("柯沃vu");
} // namespace

QList<KoFileConvertInfo*> KoUiV3TransferWidget::chosenRecords(const QModelIndexList& selection)
{
    if (selection.isEmpty())
        return *current().list;
    QList<KoFileConvertInfo*> records;
    for (const QModelIndex& index : selection) {
        if (KoFileConvertInfo* record = current().model->recordAt(index.row()))
            records << record;
    }
    return records;
}

QList<int> KoUiV3TransferWidget::idsInStates(const QList<KoFileConvertInfo*>& records,
                                             std::initializer_list<int> states)
{
    QList<int> ids;
    for (KoFileConvertInfo* record : records) {
        if (std::find(states.begin(), states.end(), record->getConvertState()) != states.end())
            ids << record->getTaskId();
    }
    return ids;
}

void KoUiV3TransferWidget::callEach(const QList<int>& ids, void (KoRemoteFileOperator::*call)(int))
{
    for (int id : ids)
        (m_operator->*call)(id);
    flushSoon();
}

void KoUiV3TransferWidget::onBtnStartClicked()
{
    flushPending();
    if (m_pageState == FinishedPage)
        return;
    callEach(idsInStates(chosenRecords(getTableSelectionList()), {State::StatePaused}),
             m_pageState == UploadPage ? &Op::getFileRetryUploadStart : &Op::getFileRetryDownloadStart);
}

void KoUiV3TransferWidget::onBtnPauseClicked()
{
    flushPending();
    if (m_pageState == FinishedPage)
        return;
    callEach(idsInStates(chosenRecords(getTableSelectionList()), {State::StateWaiting, State::StateConverting}),
             m_pageState == UploadPage ? &Op::pauseFileUpload : &Op::pauseFileDownload);
}

void KoUiV3TransferWidget::onBtnRetryClicked()
{
    flushPending();
    if (m_pageState == FinishedPage)
        return;
    const bool upload = m_pageState == UploadPage;
    const QModelIndexList selection = getTableSelectionList();
    if (selection.isEmpty()) {
        upload ? m_operator->allFailedUploadRetry() : m_operator->allFailedDownloadRetry();
        flushSoon();
    } else {
        callEach(idsInStates(chosenRecords(selection), {State::StateFailed}),
                 upload ? &Op::getFileRetryUploadStart : &Op::getFileRetryDownloadStart);
    }
}

void KoUiV3TransferWidget::onBtnDeleteClicked()
{
    flushPending();
    if (m_pageState == FinishedPage)
        return;
    const bool upload = m_pageState == UploadPage;
    const QModelIndexList selection = getTableSelectionList();
    if (selection.isEmpty()
        && !confirm(upload ? QStringLiteral("确定要删除所有上传任务吗?")
                           : QStringLiteral("确定要删除所有下载任务吗?")))
        return;
    // The list as it is after the answer: records added meanwhile go too.
    flushPending();
    const QList<KoFileConvertInfo*> records = chosenRecords(selection);
    const QList<int> cancel = idsInStates(records, {State::StateWaiting, State::StateConverting});
    const QList<int> remove = idsInStates(records, {State::StateFailed, State::StatePaused});
    callEach(cancel, upload ? &Op::cancelFileUpload : &Op::cancelFileDownload);
    callEach(remove, upload ? &Op::removeUploadErrorTask : &Op::removeDownloadErrorTask);
}

void KoUiV3TransferWidget::onBtnClearClicked()
{
    flushPending();
    const QModelIndexList selection = m_pageState == FinishedPage ? getTableSelectionList() : QModelIndexList();
    if (selection.isEmpty()) {
        if (confirm(QStringLiteral("确定要清除所有已完成任务吗?"))) {
            m_operator->clearConvertedList();
            flushSoon();
        }
        return;
    }
    QList<int> ids;
    for (KoFileConvertInfo* record : chosenRecords(selection))
        ids << record->getTaskId();
    callEach(ids, &Op::removeConvertedTask);
}

bool KoUiV3TransferWidget::confirm(const QString& text)
{
    KoUiV3AlertDialog dialog;
    return dialog.confirm(QStringLiteral("提示"), text, QStringLiteral("确定"), QStringLiteral("取消")) == 1;
}

void KoUiV3TransferWidget::alert(const QString& text)
{
    KoUiV3AlertDialog dialog;
    dialog.alert(kAppTitle, text);
}

void KoUiV3TransferWidget::onDownloadRetryButtonClicked(int taskId)
{
    callEach({taskId}, &Op::getFileRetryDownloadStart);
}
void KoUiV3TransferWidget::onDownloadPauseButtonClicked(int taskId)
{
    callEach({taskId}, &Op::pauseFileDownload);
}
void KoUiV3TransferWidget::onUploadRetryButtonClicked(int taskId)
{
    callEach({taskId}, &Op::getFileRetryUploadStart);
}
void KoUiV3TransferWidget::onUploadPauseButtonClicked(int taskId)
{
    callEach({taskId}, &Op::pauseFileUpload);
}
void KoUiV3TransferWidget::onTransferDelButtonClicked(int taskId)
{
    callEach({taskId}, &Op::removeConvertedTask);
}

void KoUiV3TransferWidget::onDownloadDelButtonClicked(int taskId, int state)
{
    if (state == State::StateFailed || state == State::StatePaused)
        callEach({taskId}, &Op::removeDownloadErrorTask);
    else if (state == State::StateWaiting || state == State::StateConverting)
        callEach({taskId}, &Op::cancelFileDownload);
}

void KoUiV3TransferWidget::onUploadDelButtonClicked(int taskId, int state)
{
    if (state == State::StateFailed || state == State::StatePaused)
        callEach({taskId}, &Op::removeUploadErrorTask);
    else if (state == State::StateWaiting || state == State::StateConverting)
        callEach({taskId}, &Op::cancelFileUpload);
}

void KoUiV3TransferWidget::onOpenFileButtonClicked(QString filePath)
{
    openOrAlert(filePath, QStringLiteral("文件已被修改或删除"), QStringLiteral("没有可以打开该文件的应用"));
}

void KoUiV3TransferWidget::onOpenDirButtonClicked(QString filePath)
{
    // The folder of an empty path would be the working directory.
    const QString folder = filePath.isEmpty() ? QString() : QFileInfo(filePath).absolutePath();
    openOrAlert(folder, QStringLiteral("文件所在文件夹已被修改或删除"), QStringLiteral("没有可以打开该文件夹的应用"));
}

void KoUiV3TransferWidget::openOrAlert(const QString& path, const QString& missing, const QString& noApplication)
{
    KoCommonUtil::openFileWithSystemApp(path, this, [this, missing, noApplication](KoCommonUtil::OpenResult result) {
        if (result != KoCommonUtil::Opened)
            alert(result == KoCommonUtil::Missing ? missing : noApplication);
    });
}

void KoUiV3TransferWidget::showBadge(QLabel* label, int count)
{
    if (count < 1) {
        label->hide();
        return;
    }
    label->setPixmap(KoCommonUtil::getNoticePoint(count));
    label->show();
}

void KoUiV3TransferWidget::onAllDownloadsSuccess(int failed)
{
    notifyAllEnded(KoSettings::getInstance()->getNotifyDownload(), QStringLiteral("下载"), failed);
}

void KoUiV3TransferWidget::onAllUploadsSuccess(int failed)
{
    notifyAllEnded(KoSettings::getInstance()->getNotifyUpload(), QStringLiteral("上传"), failed);
}

void KoUiV3TransferWidget::notifyAllEnded(bool enabled, const QString& kind, int failed)
{
    if (!enabled)
        return;
    QString text = kind + QStringLiteral("任务全部结束. ");
    if (failed != 0)
        text += kind + QStringLiteral("列表中剩余%1个失败任务").arg(failed);
    KoSystemTray::getInstance()->showMessage(kAppTitle + QStringLiteral(" ") + KoUiV3SettingDialog::versionName(),
                                             text, 3000);
}
