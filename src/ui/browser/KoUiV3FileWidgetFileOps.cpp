// Upload, download, new folder, rename, delete, opening a file, the row buttons and drops.

#include "KoUiV3FileWidget.h"
#include "ui_KoUiV3FileWidget.h"

#include "app/KoCommonUtil.h"
#include "app/KoThisMachineInfo.h"
#include "link/KoRemoteConnectManager.h"
#include "model/KoRemoteFile.h"
#include "net/KoUserActionRecord.h"
#include "ops/KoRemoteFileOperator.h"
#include "ops/KoRemoteFileTask.h"
#include "ui/KoUiV3AlertDialog.h"
#include "ui/browser/KoFileDialog.h"
#include "ui/browser/KoFileModelCommon.h"
#include "ui/browser/KoRemoteFileListModel.h"
#include "ui/browser/KoRemoteFileTableModel.h"
#include "ui/widgets/KoProgressWidget.h"
#include "ui/widgets/KoUiV3TipsWidget.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QTimer>

namespace {

constexpr int kFolderType = 100;
constexpr int kAlbumFolderState = 6;
constexpr int kAndroidType = 2;

const QString kNewFolderName = QStringLiteral("新建文件夹");
const QString kUnsupportedText = QStringLiteral("暂不支持该类型文件的预览, 请下载后在本地打开");
const QString kNoApplicationText = QStringLiteral("没有可以打开该文件的应用");

// What may be opened from a temporary copy: a copy with another suffix could be a program.
const QStringList kPhotoSuffixes{QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("png"),
                                 QStringLiteral("gif"),  QStringLiteral("bmp"),  QStringLiteral("webp"),
                                 QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("tif"),
                                 QStringLiteral("tiff")};
const QStringList kDocumentSuffixes{QStringLiteral("doc"),  QStringLiteral("docx"), QStringLiteral("xls"),
                                    QStringLiteral("xlsx"), QStringLiteral("ppt"),  QStringLiteral("pptx"),
                                    QStringLiteral("pdf"),  QStringLiteral("txt")};

QString uniqueFolderName(const QList<KoRemoteFile*>& files)
{
    // A file without suffix takes the name as well as a folder does.
    QSet<QString> taken;
    for (const KoRemoteFile* file : files)
        taken.insert(file->getFullName());
    QString name = kNewFolderName;
    for (int n = 1; taken.contains(name); ++n)
        name = kNewFolderName + QStringLiteral("(%1)").arg(n);
    return name;
}

QString childPath(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

// --- what an operation acts on ---------------------------------------------------------------

KoUiV3FileWidget::OpTarget KoUiV3FileWidget::captureTarget(bool withSelection) const
{
    OpTarget target;
    target.generation = pageGeneration;
    if (facility)
        target.device = *facility;
    target.state = categoryState;
    target.category = getCategoryType();
    target.folder = currentPath.getAbsolutePath();
    if (!withSelection || categoryState == 0)
        return target;
    for (const QModelIndex& index : getFileSelectionList()) {
        if (!index.isValid() || index.row() >= fileList->size())
            continue;
        const KoRemoteFile* file = fileList->at(index.row());
        target.paths << file->getPath()->getAbsolutePath();
        target.entries << std::make_shared<KoRemoteFile>(file);
    }
    return target;
}

bool KoUiV3FileWidget::stillShows(const OpTarget& target) const
{
    return facility && target.generation == pageGeneration && facility->getDeviceId() == target.device.getDeviceId()
        && facility->isLocal() == target.device.isLocal() && categoryState == target.state
        && currentPath.getAbsolutePath() == target.folder;
}

void KoUiV3FileWidget::initFileOpsConnection()
{
    KoRemoteFileOperator* op = remoteOperator;
    connect(op, &KoRemoteFileOperator::makeDiretoryFinishedV2, this, &KoUiV3FileWidget::onMkDirFinished);
    connect(op, &KoRemoteFileOperator::deleteFileFailedV2, this, [this](int, QString deviceId) {
        onFileOpFailed(deviceId, QStringLiteral("文件删除失败, 请检查与vu的连接后重试"));
    });
    connect(op, &KoRemoteFileOperator::moveFileFailedV2, this, [this](int, QString deviceId) {
        onFileOpFailed(deviceId, QStringLiteral("文件移动失败, 请检查与vu的连接后重试"));
    });
    // A rename or new folder that timed out may or may not have happened: list again.
    connect(op, &KoRemoteFileOperator::taskExecuteTimeoutV2, this, [this](int type, QString deviceId) {
        if (type == KoRemoteFileTask::TypeMkdir)
            endPendingFolder(deviceId, true);
        if ((type == KoRemoteFileTask::TypeRename || type == KoRemoteFileTask::TypeMkdir) && isSameDevice(deviceId))
            refreshFileExplorer();
    });
}

void KoUiV3FileWidget::onFileOpFailed(const QString& deviceId, const QString& text)
{
    if (!isSameDevice(deviceId))
        return;
    refreshFileExplorer();
    showToast(text);
}

// --- upload ----------------------------------------------------------------------------------

void KoUiV3FileWidget::onBtnUploadClicked()
{
    KoUserActionRecord::getInstance()->recordBtnFileUploadClicked();
    if (!facility)
        return;
    const OpTarget target = captureTarget(false);
    QPointer<KoUiV3FileWidget> self(this);
    KoFileDialog::getOpenFilePaths(KoFileDialog::ExistingFiles, this, QStringLiteral("请选择要上传的文件"),
                                   QStringLiteral("/"), QStringLiteral("*.*"), [self, target](QStringList paths) {
                                       if (self && self->stillShows(target))
                                           self->uploadPaths(target, paths);
                                   });
}

void KoUiV3FileWidget::uploadPaths(const OpTarget& target, const QStringList& localPaths)
{
    using Start = void (KoRemoteFileOperator::*)(QString, int, QString, int, int, QString, QString);
    using StartV3 = void (KoRemoteFileOperator::*)(QString, int, QString, int, int, QString);
    const KoBaseFacility& d = target.device;
    for (const QString& path : localPaths) {
        // Anything else (a path gone meanwhile) is passed over.
        const QFileInfo info(path);
        if (!info.isDir() && !info.isFile())
            continue;
        if (d.isLocal()) {
            const Start start = info.isDir() ? &KoRemoteFileOperator::getDirUploadStartV2
                                             : &KoRemoteFileOperator::getFileUploadStartV2;
            (remoteOperator->*start)(path, target.category, target.folder, d.getUid(), d.getDeviceType(),
                                     d.getDeviceId(), d.getUrl());
        } else {
            const StartV3 start = info.isDir() ? &KoRemoteFileOperator::getDirUploadStartV3
                                               : &KoRemoteFileOperator::getFileUploadStartV3;
            (remoteOperator->*start)(path, target.category, target.folder, d.getUid(), d.getDeviceType(),
                                     d.getDeviceId());
        }
    }
}

// --- download --------------------------------------------------------------------------------

void KoUiV3FileWidget::onBtnDownloadClicked()
{
    const OpTarget target = captureTarget();
    if (!facility || target.entries.isEmpty())
        return;
    QPointer<KoUiV3FileWidget> self(this);
    KoFileDialog::getTargetDirectoryPath(this, QStringLiteral("选择下载目的文件夹"),
                                         KoThisMachineInfo::getInstance()->getLastDownloadDir(),
                                         [self, target](QString dir) {
                                             if (dir.isEmpty() || !self || !self->stillShows(target))
                                                 return;
                                             KoThisMachineInfo::getInstance()->setLastDownloadDir(dir);
                                             self->downloadFiles(target, dir);
                                         });
}

void KoUiV3FileWidget::downloadFiles(const OpTarget& target, const QString& localDir)
{
    QList<KoRemoteFile*> files;
    for (const std::shared_ptr<KoRemoteFile>& entry : target.entries)
        files << entry.get();
    if (files.isEmpty())
        return;
    KoBaseFacility device = target.device;
    if (device.isLocal())
        remoteOperator->getFileGroupDownloadStartV2(target.category, files, localDir, &device);
    else
        remoteOperator->getFileGroupDownloadStartV3(target.category, files, localDir, &device);
}

void KoUiV3FileWidget::onFileGroupDownloadQuery(int taskId, int fileCount, QString deviceId)
{
    // Not from inside the operator's emission: the box runs an event loop of its own.
    QTimer::singleShot(0, this, [this, taskId, fileCount, deviceId] { askOverwrite(taskId, fileCount, deviceId); });
}

void KoUiV3FileWidget::askOverwrite(int taskId, int fileCount, const QString& deviceId)
{
    QString text = QStringLiteral("本地包含%1个同名文件, 对于这些文件您要").arg(fileCount);
    // Every download waits for its answer, also one of a phone the page does not show.
    if (!isSameDevice(deviceId)) {
        for (const KoBaseFacility* device : *KoRemoteConnectManager::getInstance()->getConnectedList()) {
            if (device->getDeviceId() == deviceId) {
                text = device->getNick() + QStringLiteral(": ") + text;
                break;
            }
        }
    }
    KoUiV3AlertDialog box;
    const int answer = box.confirm(QStringLiteral("下载文件"), text, QStringLiteral("覆盖这些文件"),
                                   QStringLiteral("跳过这些文件"));
    if (KoRemoteFileOperator::hasInstance())
        KoRemoteFileOperator::getInstance()->fileGroupDownloadRespond(taskId, answer == 1 ? 0 : 1);
}

// --- new folder and rename -------------------------------------------------------------------

void KoUiV3FileWidget::onBtnMkdirClicked()
{
    if (!facility || categoryState == 0)
        return;
    const OpTarget target = captureTarget(false);
    const QString path = childPath(target.folder, uniqueFolderName(*fileList));
    if (pendingFolder)
        endPendingFolder(pendingFolder->deviceId, true);
    makeDir(target, path);
    pendingFolder.reset(new PendingFolder{target.device.getDeviceId(), path, QString(), target});

    fileList->prepend(new KoRemoteFile(facility->getUrl(), path, kFolderType, 0,
                                       quint64(QDateTime::currentMSecsSinceEpoch()), QString()));
    tipsWidget->hide();
    resetFileModels();
    QAbstractItemView* view = shownView();
    const QModelIndex index = view->model()->index(0, 0);
    view->setCurrentIndex(index);
    view->edit(index);
}

void KoUiV3FileWidget::makeDir(const OpTarget& target, const QString& path)
{
    KoBaseFacility device = target.device;
    if (device.isLocal())
        remoteOperator->makeDiretoryV2(target.category, path, device.getUrl(), device.getDeviceId());
    else
        remoteOperator->makeDiretoryV3(target.category, path, &device);
}

void KoUiV3FileWidget::onMkDirFinished(const QString& path, const QString& deviceId)
{
    if (!pendingFolder || pendingFolder->deviceId != deviceId || pendingFolder->path != path)
        return;
    const std::unique_ptr<PendingFolder> made = std::move(pendingFolder);
    if (!made->typedName.isEmpty())
        renameFile(made->target, made->path, made->typedName);
}

void KoUiV3FileWidget::endPendingFolder(const QString& deviceId, bool mayExist)
{
    if (!pendingFolder || pendingFolder->deviceId != deviceId)
        return;
    const std::unique_ptr<PendingFolder> ended = std::move(pendingFolder);
    // The folder may be there after all: the typed name goes out, and a failure is told.
    if (mayExist && !ended->typedName.isEmpty())
        renameFile(ended->target, ended->path, ended->typedName);
}

void KoUiV3FileWidget::onMkDirFailed(int, QString deviceId)
{
    endPendingFolder(deviceId, false);
    if (isSameDevice(deviceId))
        refreshFileExplorer();
}

void KoUiV3FileWidget::onRenameActionTriggled()
{
    const QModelIndexList selection = getFileSelectionList();
    if (selection.isEmpty())
        return;
    shownView()->edit(selection.first());
}

void KoUiV3FileWidget::onModelRenameFile(KoRemoteFile* file, QString newName)
{
    // The model has renamed the record already; its path still names the phone's entry.
    if (!file || !facility || !KoFileModelCommon::isAcceptableName(newName))
        return;
    const QString fullName = file->getSuffix().isEmpty() ? newName : newName + QLatin1Char('.') + file->getSuffix();
    const QString path = file->getPath()->getAbsolutePath();
    if (!KoFileModelCommon::isAcceptableName(fullName) || fullName == QFileInfo(path).fileName())
        return;
    // The phone has not made the folder yet: the name goes out once it has.
    if (pendingFolder && pendingFolder->path == path && pendingFolder->deviceId == facility->getDeviceId()) {
        pendingFolder->typedName = fullName;
        return;
    }
    renameFile(captureTarget(false), path, fullName);
}

void KoUiV3FileWidget::renameFile(const OpTarget& target, const QString& path, const QString& newFullName)
{
    // The operator reads only the entry's server and path.
    KoRemoteFile entry(target.device.getUrl(), path, 0, 0, 0, QString());
    KoBaseFacility device = target.device;
    if (device.isLocal())
        remoteOperator->renameFileV2(device.getDeviceId(), target.category, &entry, newFullName);
    else
        remoteOperator->renameFileV3(target.category, &entry, newFullName, &device);
}

void KoUiV3FileWidget::onRenameFileFailed(int, QString deviceId)
{
    if (!isSameDevice(deviceId))
        return;
    refreshFileExplorer();
    showToast(QStringLiteral("此位置已包含同名文件, 重命名失败"));
}

// --- delete ----------------------------------------------------------------------------------

void KoUiV3FileWidget::onBtnDeleteClicked()
{
    const OpTarget target = captureTarget();
    if (!facility || target.paths.isEmpty())
        return;
    const QString title = QStringLiteral("删除文件");
    // The phone of an iPhone or iPad asks its own user; an Android phone deletes at once.
    if (target.state == kAlbumFolderState && target.device.getDeviceType() != kAndroidType) {
        deleteFile(target);
        KoUiV3AlertDialog box;
        box.alert(title, QStringLiteral("由于iOS系统权限限制, 请在iOS端手动确认删除"));
        return;
    }
    QPointer<KoUiV3FileWidget> self(this);
    KoUiV3AlertDialog box;
    const int answer = box.confirm(title, QStringLiteral("确定要删除这%1个项目吗?").arg(target.paths.size()),
                                   QStringLiteral("确定"), QStringLiteral("取消"));
    if (answer == 1 && self && self->stillShows(target))
        self->deleteFile(target);
}

void KoUiV3FileWidget::deleteFile(const OpTarget& target)
{
    KoBaseFacility device = target.device;
    if (device.isLocal())
        remoteOperator->deleteFileV2(target.category, target.paths, device.getUrl(), device.getDeviceId());
    else
        remoteOperator->deleteFileV3(target.category, target.paths, &device);
}

// --- opening a file --------------------------------------------------------------------------

void KoUiV3FileWidget::openFile(KoRemoteFile* file)
{
    if (!file || !facility)
        return;
    const bool photo = file->isPhoto();
    const int category = getCategoryType();
    const QString path = facility->isLocal()
        ? remoteOperator->getTmpFilePathV2(category, file, facility->getDeviceId())
        : remoteOperator->getTmpFilePathV3(category, file, facility);
    if (!path.isEmpty()) {
        openLocalCopy(path, photo);
        return;
    }
    // The operator names the copy by its local target, whose base name is this key.
    const QString key = KoRemoteFileOperator::cacheKey(file->getPath()->getAbsolutePath(), facility->getDeviceId());
    pendingOpen.reset(new PendingOpen{facility->getDeviceId(), key, photo});
    progressWidget->start(QStringLiteral("打开文件..."), 0);
}

bool KoUiV3FileWidget::isPendingOpen(const QString& localPath) const
{
    return pendingOpen && QFileInfo(localPath).baseName() == pendingOpen->cacheKey;
}

void KoUiV3FileWidget::openLocalCopy(const QString& localPath, bool photo)
{
    const QFileInfo info(localPath);
    const QString dir = QFileInfo(remoteOperator->getTmpFileDir()).canonicalFilePath();
    const QString canonical = info.canonicalFilePath();
    const QStringList& allowed = photo ? kPhotoSuffixes : kDocumentSuffixes;
    // The phone chose the name and the type: open only a known kind, only from our own folder.
    if (dir.isEmpty() || canonical.isEmpty() || !canonical.startsWith(dir + QLatin1Char('/')) || !info.isFile()
        || !allowed.contains(info.suffix().toLower())) {
        showToast(kUnsupportedText);
        return;
    }
    // A copy gone from the cache meanwhile gets the advice to download it.
    KoCommonUtil::openFileWithSystemApp(canonical, this, [this](KoCommonUtil::OpenResult result) {
        if (result != KoCommonUtil::Opened)
            showToast(result == KoCommonUtil::NoApplication ? kNoApplicationText : kUnsupportedText);
    });
}

void KoUiV3FileWidget::onTmpfileDownloadFinished(QString localPath)
{
    // Another copy (an earlier open, a page that moved on) does not take this one's place.
    if (!isPendingOpen(localPath))
        return;
    const std::unique_ptr<PendingOpen> open = std::move(pendingOpen);
    progressWidget->stop();
    if (isSameDevice(open->deviceId))
        openLocalCopy(localPath, open->photo);
}

void KoUiV3FileWidget::onTmpfileDownloadError(QString localPath)
{
    // Named like a finished copy, by its local target.
    if (!isPendingOpen(localPath))
        return;
    pendingOpen.reset();
    progressWidget->stop();
    showToast(QStringLiteral("文件打开失败, 请检查与vu的连接是否断开"));
}

void KoUiV3FileWidget::onRemoteNoPermission(int type, QString deviceId)
{
    if (!isSameDevice(deviceId))
        return;
    if (type == KoRemoteFileTask::TypeTmpFile)
        pendingOpen.reset();
    if (type == KoRemoteFileTask::TypeMkdir)
        endPendingFolder(deviceId, false);
    progressWidget->stop();
    showToast(QStringLiteral("您没有权限进行此操作, 请用手机再次进行扫码连接"));
    if (type == KoRemoteFileTask::TypeRename || type == KoRemoteFileTask::TypeMkdir)
        refreshFileExplorer();
}

// --- right click and row buttons -------------------------------------------------------------

void KoUiV3FileWidget::onFileItemRightClicked(QModelIndex index)
{
    QAbstractItemView* view = shownView();
    // A right click inside a multiple selection keeps it.
    if (index.isValid() && !view->selectionModel()->isSelected(index)) {
        view->clearSelection();
        view->setCurrentIndex(index);
    }
    showFileMenu();
}

void KoUiV3FileWidget::selectTableRow(const QModelIndex& index)
{
    ui->fileTableView->selectRow(index.row());
}

void KoUiV3FileWidget::onFileBtnMoreClicked(QModelIndex index, QPoint pos)
{
    if (!index.isValid())
        return;
    selectTableRow(index);
    QMenu menu(this);
    menu.setStyleSheet(QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoFileExplorerMenu"))));
    menu.addAction(copyAction);
    menu.addAction(cutAction);
    menu.addAction(renameAction);
    menu.exec(ui->fileTableView->viewport()->mapToGlobal(pos));
}

void KoUiV3FileWidget::onFileBtnDeleteClicked(QModelIndex index)
{
    if (!index.isValid())
        return;
    selectTableRow(index);
    onBtnDeleteClicked();
}

void KoUiV3FileWidget::onFileBtnDownloadClicked(QModelIndex index)
{
    KoUserActionRecord::getInstance()->recordBtnFileDownloadClicked();
    if (!index.isValid())
        return;
    selectTableRow(index);
    onBtnDownloadClicked();
}

// --- drops -----------------------------------------------------------------------------------

void KoUiV3FileWidget::onLocalFileDropped(QStringList pathList)
{
    KoUserActionRecord::getInstance()->recordFileDragIn();
    if (!facility || (categoryState != 3 && categoryState != 5 && categoryState != 8))
        return;
    uploadPaths(captureTarget(false), pathList);
}

void KoUiV3FileWidget::onRemoteFileDropped(QStringList pathList, QString dstDirPath)
{
    // Dropped back onto one of the dragged folders: nowhere to go.
    if (!facility || pathList.isEmpty() || pathList.contains(dstDirPath))
        return;
    const OpTarget target = captureTarget(false);
    moveFiles(target, target.category, pathList, dstDirPath);
}

void KoUiV3FileWidget::onRemoteFileDragLeft(QString dstDirPath)
{
    KoUserActionRecord::getInstance()->recordFileDragOut();
    if (!facility || dstDirPath.isEmpty())
        return;
    downloadFiles(captureTarget(), dstDirPath);
}
