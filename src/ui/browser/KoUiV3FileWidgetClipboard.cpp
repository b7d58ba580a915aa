// Cut, copy and paste on the phone, and the copy's progress.

#include "KoUiV3FileWidget.h"

#include "model/KoFileClipboard.h"
#include "model/KoFileCopyInfo.h"
#include "model/KoRemoteFile.h"
#include "ops/KoRemoteFileOperator.h"
#include "ui/KoUiV3AlertDialog.h"
#include "ui/browser/KoUiV3FileCopyProgressDialog.h"

#include <QPointer>
#include <QTimer>

namespace {

// The first source the target folder is, or lies beneath; empty when none.
QString firstEnclosingSource(const QStringList& sources, const QString& target)
{
    for (const QString& source : sources) {
        if (target == source || target.startsWith(source + QLatin1Char('/')))
            return source;
    }
    return QString();
}

// Frees a copy list unless someone took it first.
struct CopyListHolder {
    explicit CopyListHolder(QList<KoFileCopyInfo*>* l)
        : list(l)
    {
    }
    ~CopyListHolder()
    {
        if (list)
            qDeleteAll(*list);
        delete list;
    }
    QList<KoFileCopyInfo*>* take()
    {
        QList<KoFileCopyInfo*>* taken = list;
        list = nullptr;
        return taken;
    }
    QList<KoFileCopyInfo*>* list;
};

} // namespace

void KoUiV3FileWidget::onCutActionTriggled()
{
    if (!facility || categoryState == 0)
        return;
    const QModelIndexList selection = getFileSelectionList();
    QList<KoRemoteFile*> files;
    for (const QModelIndex& index : selection) {
        if (index.isValid() && index.row() < fileList->size())
            files << fileList->at(index.row());
    }
    if (files.isEmpty())
        return;
    const int category = getCategoryType();
    const QString key = clipboardKey();
    clipboard->clearCopyList();
    clipboard->clearCutList();
    for (KoRemoteFile* file : qAsConst(files)) {
        clipboard->addFileToCutList(file, category, key);
        file->setCut(true);
    }
    resetFileModels();
}

void KoUiV3FileWidget::onCopyActionTriggled()
{
    if (!facility || !facility->isLocal() || categoryState == 0)
        return;
    const OpTarget target = captureTarget();
    if (target.entries.isEmpty())
        return;
    clipboard->clearCopyList();
    clipboard->clearCutList();
    for (const std::shared_ptr<KoRemoteFile>& entry : target.entries)
        clipboard->addFileToCopyList(entry.get(), target.category, facility->getUrl());
}

void KoUiV3FileWidget::onPasteActionTriggled()
{
    if (!facility || (categoryState != 3 && categoryState != 5 && categoryState != 8))
        return;
    const QString key = clipboardKey();
    const OpTarget target = captureTarget(false);
    if (!clipboard->isCopyListEmpty(key) && facility->isLocal()) {
        const QStringList paths = clipboard->getCopyFilePathList(key);
        const QString refused = firstEnclosingSource(paths, target.folder);
        if (!refused.isEmpty()) {
            KoUiV3AlertDialog box;
            box.alert(QStringLiteral("复制文件"),
                      QStringLiteral("目标文件夹是源文件夹%1的子文件夹, 无法复制").arg(refused));
            return;
        }
        remoteOperator->getFileCopyStartV2(clipboard->getSrcCategory(), paths, target.category, target.folder,
                                           facility->getUrl());
        return;
    }
    if (clipboard->isCutListEmpty(key))
        return;
    const int srcCategory = clipboard->getSrcCategory();
    moveFiles(target, srcCategory, clipboard->getCutFilePathList(key), target.folder);
}

void KoUiV3FileWidget::moveFiles(const OpTarget& target, int srcCategory, const QStringList& paths,
                                 const QString& dstDir)
{
    const QString refused = firstEnclosingSource(paths, dstDir);
    if (!refused.isEmpty()) {
        KoUiV3AlertDialog box;
        box.alert(QStringLiteral("移动文件"),
                  QStringLiteral("目标文件夹是源文件夹%1的子文件夹, 无法移动").arg(refused));
        return;
    }
    KoBaseFacility device = target.device;
    if (device.isLocal())
        remoteOperator->moveFileV2(srcCategory, paths, target.category, dstDir, device.getUrl(),
                                   device.getDeviceId());
    else
        remoteOperator->moveFileV3(srcCategory, paths, target.category, dstDir, &device);
}

void KoUiV3FileWidget::onFileCopyStart(int taskId, QString remoteServer, QList<KoFileCopyInfo*>* list)
{
    // The page is the list's one owner from here on, whatever it does with it.
    auto holder = std::make_shared<CopyListHolder>(list);
    if (!facility || facility->getUrl() != remoteServer)
        return;
    // Not from inside the operator's emission: the dialog runs an event loop of its own.
    QTimer::singleShot(0, this,
                       [this, holder, taskId, remoteServer] { runCopyDialog(taskId, remoteServer, holder->take()); });
}

void KoUiV3FileWidget::runCopyDialog(int taskId, const QString& remoteServer, QList<KoFileCopyInfo*>* list)
{
    if (!facility || facility->getUrl() != remoteServer) {
        CopyListHolder freed(list);
        return;
    }
    QPointer<KoUiV3FileWidget> self(this);
    KoUiV3FileCopyProgressDialog dialog(taskId, remoteServer, list, 2, nullptr);
    dialog.exec();
    if (!self)
        return;
    refreshFileExplorer();
    if (dialog.hasFailed())
        showToast(QStringLiteral("文件复制失败, 请检查与vu的连接后重试"));
}

void KoUiV3FileWidget::onFileCopyError(int, QString remoteServer)
{
    if (facility && facility->getUrl() == remoteServer)
        showToast(QStringLiteral("文件复制失败, 请检查与vu的连接后重试"));
}
