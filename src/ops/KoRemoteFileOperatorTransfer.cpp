// Transfer records and their three lists (downloading, uploading, finished): lookups, cancel,
// pause and remove, clearing, the completion checks and the transfer-list file.

#include "ops/KoRemoteFileOperator.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSaveFile>
#include <QSet>
#include <QTimer>

#include "app/KoCommonUtil.h"
#include "client/KoClientHelper.h"
#include "model/KoFileConvertInfo.h"
#include "model/KoFileDownloadInfo.h"
#include "model/KoFileUploadInfo.h"
#include "model/KoRemoteFile.h"

const char* const KoRemoteFileOperator::kConvertListFileName = "fileConvertData.KoInfo";

namespace {

void dropIndexOf(QHash<int, KoFileConvertInfo*>& index, KoFileConvertInfo* info)
{
    const auto it = index.find(info->getTaskId());
    if (it != index.end() && it.value() == info) {
        index.erase(it);
        return;
    }
    for (auto i = index.begin(); i != index.end();) {
        if (i.value() == info)
            i = index.erase(i);
        else
            ++i;
    }
}

bool isActive(const KoFileConvertInfo* info)
{
    const int state = info->getConvertState();
    return state == KoFileConvertInfo::StateWaiting || state == KoFileConvertInfo::StateConverting;
}

// Kept beside the record's own keys: the phone's modification time of a download (ms).
const char* const kLastModifiedKey = "lastModified";

qint64 lastModifiedOf(const QByteArray& line)
{
    const QByteArray key = QByteArray("\"") + kLastModifiedKey + "\":";
    const int at = line.lastIndexOf(key);
    if (at < 0)
        return 0;
    int end = at + key.size();
    while (end < line.size() && line.at(end) >= '0' && line.at(end) <= '9')
        ++end;
    bool ok = false;
    const qint64 value = line.mid(at + key.size(), end - at - key.size()).toLongLong(&ok);
    return ok ? value : 0;
}

} // namespace

KoRemoteFileOperator::ConvertList* KoRemoteFileOperator::convertList(int selector)
{
    ConvertList* list = nullptr;
    switch (selector) {
    case ListDownloading:
        list = &m_downloading;
        break;
    case ListUploading:
        list = &m_uploading;
        break;
    case ListFinished:
        list = &m_finished;
        break;
    default:
        return nullptr;
    }
    return list->list && list->mutex ? list : nullptr;
}

KoFileConvertInfo* KoRemoteFileOperator::findInfoLocked(ConvertList& list, int taskId)
{
    KoFileConvertInfo* info = list.byTaskId.value(taskId, nullptr);
    if (info && info->getTaskId() == taskId)
        return info;
    if (info)
        list.byTaskId.remove(taskId);
    // A record whose id changed behind the index is found by walking the list once.
    for (KoFileConvertInfo* candidate : qAsConst(*list.list)) {
        if (candidate->getTaskId() == taskId) {
            list.byTaskId.insert(taskId, candidate);
            return candidate;
        }
    }
    return nullptr;
}

void KoRemoteFileOperator::indexFilesLocked(ConvertList& list, KoFileConvertInfo* info, int delta)
{
    auto* download = qobject_cast<KoFileDownloadInfo*>(info);
    if (&list != &m_downloading || !download || download->getLocalFilePath().isEmpty())
        return;
    const QString key = localKey(download->getLocalFilePath());
    const int count = list.targets.value(key) + delta;
    if (count > 0)
        list.targets.insert(key, count);
    else
        list.targets.remove(key);
}

void KoRemoteFileOperator::clearIndexLocked(ConvertList& list)
{
    list.byTaskId.clear();
    list.targets.clear();
}

int KoRemoteFileOperator::listedDownloadsOf(const QString& key)
{
    ConvertList* list = convertList(ListDownloading);
    QMutexLocker locker(list->mutex);
    return list->targets.value(key);
}

KoFileConvertInfo* KoRemoteFileOperator::getInfoFromConvertList(int taskId, int selector)
{
    ConvertList* list = convertList(selector);
    if (!list)
        return nullptr;
    QMutexLocker locker(list->mutex);
    return findInfoLocked(*list, taskId);
}

KoFileConvertInfo* KoRemoteFileOperator::popInfoFromConvertList(int taskId, int selector)
{
    ConvertList* list = convertList(selector);
    if (!list)
        return nullptr;
    KoFileConvertInfo* info = nullptr;
    {
        QMutexLocker locker(list->mutex);
        info = findInfoLocked(*list, taskId);
        if (info) {
            list->list->removeOne(info);
            dropIndexOf(list->byTaskId, info);
            indexFilesLocked(*list, info, -1);
        }
    }
    if (info)
        scheduleConvertListSave();
    return info;
}

void KoRemoteFileOperator::addInfoToConvertList(KoFileConvertInfo* info, int selector, bool atFront)
{
    ConvertList* list = convertList(selector);
    if (!list || !info)
        return;
    {
        QMutexLocker locker(list->mutex);
        if (atFront)
            list->list->prepend(info);
        else
            list->list->append(info);
        if (!list->byTaskId.contains(info->getTaskId()))
            list->byTaskId.insert(info->getTaskId(), info);
        indexFilesLocked(*list, info, 1);
    }
    scheduleConvertListSave();
}

void KoRemoteFileOperator::setConvertInfoTaskId(KoFileConvertInfo* info, int selector, int taskId)
{
    if (!info)
        return;
    ConvertList* list = convertList(selector);
    if (!list) {
        info->setTaskId(taskId);
        return;
    }
    QMutexLocker locker(list->mutex);
    dropIndexOf(list->byTaskId, info);
    info->setTaskId(taskId);
    list->byTaskId.insert(taskId, info);
}

QList<KoFileConvertInfo*> KoRemoteFileOperator::takeConvertInfos(int selector,
                                                                 const std::function<bool(KoFileConvertInfo*)>& pick)
{
    QList<KoFileConvertInfo*> taken;
    ConvertList* list = convertList(selector);
    if (!list)
        return taken;
    {
        QMutexLocker locker(list->mutex);
        QList<KoFileConvertInfo*> kept;
        kept.reserve(list->list->size());
        for (KoFileConvertInfo* info : qAsConst(*list->list)) {
            if (pick(info)) {
                taken.append(info);
                dropIndexOf(list->byTaskId, info);
                indexFilesLocked(*list, info, -1);
            } else {
                kept.append(info);
            }
        }
        list->list->swap(kept);
    }
    if (!taken.isEmpty())
        scheduleConvertListSave();
    return taken;
}

QList<KoFileConvertInfo*> KoRemoteFileOperator::snapshotConvertList(int selector)
{
    ConvertList* list = convertList(selector);
    if (!list)
        return {};
    QMutexLocker locker(list->mutex);
    return *list->list;
}

void KoRemoteFileOperator::clearConvertList(int selector)
{
    ConvertList* list = convertList(selector);
    if (!list)
        return;
    QList<KoFileConvertInfo*> records;
    {
        QMutexLocker locker(list->mutex);
        records.swap(*list->list);
        clearIndexLocked(*list);
    }
    deleteConvertRecords(records);
}

void KoRemoteFileOperator::takeAllConvertRecords(QSet<QObject*>& into)
{
    for (int selector : {ListDownloading, ListUploading, ListFinished}) {
        ConvertList* list = convertList(selector);
        QMutexLocker locker(list->mutex);
        for (KoFileConvertInfo* info : qAsConst(*list->list))
            into.insert(info);
        list->list->clear();
        clearIndexLocked(*list);
    }
}

void KoRemoteFileOperator::deleteConvertRecords(const QList<KoFileConvertInfo*>& records)
{
    QSet<QObject*> doomed;
    doomed.reserve(records.size());
    for (KoFileConvertInfo* info : records)
        doomed.insert(info);
    deleteInChildOrder(doomed);
}

void KoRemoteFileOperator::deleteInChildOrder(QSet<QObject*> doomed)
{
    // A child leaves its parent through a search from the front of the parent's children.
    // Deleted in list order (newest first, tasks and records interleaved) every search ran
    // over the rest: quadratic. In the parent's own order each one ends at once.
    const QObjectList kids = children();
    for (QObject* kid : kids) {
        if (doomed.remove(kid))
            delete kid;
    }
    qDeleteAll(doomed); // objects of no parent or of another one
}

void KoRemoteFileOperator::getConvertingCount(int& download, int& upload)
{
    download = m_activeDownloadCount.loadAcquire();
    upload = m_activeUploadCount.loadAcquire();
}

void KoRemoteFileOperator::incConvertingCount(int selector)
{
    if (selector != ListDownloading && selector != ListUploading)
        return;
    raiseConvertingCount(selector);
    emitConvertCount();
}

void KoRemoteFileOperator::raiseConvertingCount(int selector)
{
    if (selector == ListDownloading)
        m_activeDownloadCount.fetchAndAddOrdered(1);
    else if (selector == ListUploading)
        m_activeUploadCount.fetchAndAddOrdered(1);
    else
        return;
    scheduleConvertListSave();
}

void KoRemoteFileOperator::emitConvertCount()
{
    emit convertCountChanged(m_activeDownloadCount.loadAcquire(), m_activeUploadCount.loadAcquire());
}

void KoRemoteFileOperator::decConvertingCount(int selector)
{
    if (selector == ListDownloading)
        m_activeDownloadCount.fetchAndAddOrdered(-1);
    else if (selector == ListUploading)
        m_activeUploadCount.fetchAndAddOrdered(-1);
    else
        return;
    scheduleConvertListSave();
    emit convertCountChanged(m_activeDownloadCount.loadAcquire(), m_activeUploadCount.loadAcquire());
}

// --- cancel, pause, remove -----------------------------------------------------------------

void KoRemoteFileOperator::stopRecordTask(int taskId, int selector, bool cancel)
{
    KoRemoteFileTask* listed = getTaskFromList(taskId);
    if (!listed)
        return;
    const int type = listed->getTaskType();
    const bool ours = selector == ListDownloading
        ? type == KoRemoteFileTask::TypeDownload
        : (type == KoRemoteFileTask::TypeUpload || type == KoRemoteFileTask::TypeUploadCheckSum);
    if (!ours)
        return;
    KoRemoteFileTask* task = popTaskFromList(taskId);
    if (!task)
        return;
    const bool lan = task->getTaskVersion() == KoRemoteFileTask::VersionLan;
    if (task->getTaskState() == KoRemoteFileTask::StateStarted && m_client) {
        // The task is already off the list: the result of the abort finds nothing.
        if (type == KoRemoteFileTask::TypeDownload) {
            if (cancel)
                lan ? m_client->cancelDownloadFileV2(taskId, {}) : m_client->cancelDownloadFileRemote(taskId, {});
            else
                lan ? m_client->pauseDownloadFileV2(taskId, {}) : m_client->pauseDownloadFileRemote(taskId, {});
        } else if (type == KoRemoteFileTask::TypeUpload) {
            lan ? m_client->cancelUploadFileV2(taskId, {}) : m_client->cancelUploadFileRemote(taskId, {});
        }
    }
    if (task->getTaskState() == KoRemoteFileTask::StateWaiting
        || task->getTaskState() == KoRemoteFileTask::StateStarted)
        decConvertingCount(selector);
    delete task;
}

void KoRemoteFileOperator::cancelFileDownload(int taskId)
{
    KoFileConvertInfo* info = popInfoFromConvertList(taskId, ListDownloading);
    if (!info)
        return;
    emit fileDownloadCancel(taskId);
    stopRecordTask(taskId, ListDownloading, true);
    delete info;
}

void KoRemoteFileOperator::pauseFileDownload(int taskId)
{
    KoFileConvertInfo* info = getInfoFromConvertList(taskId, ListDownloading);
    if (!info)
        return;
    info->setConvertState(KoFileConvertInfo::StatePaused);
    scheduleConvertListSave();
    stopRecordTask(taskId, ListDownloading, false);
    emit fileDownloadPause(taskId);
}

void KoRemoteFileOperator::removeDownloadErrorTask(int taskId)
{
    // A record whose task still runs is stopped first: nothing may write its file afterwards.
    if (getInfoFromConvertList(taskId, ListDownloading))
        stopRecordTask(taskId, ListDownloading, true);
    KoFileConvertInfo* info = popInfoFromConvertList(taskId, ListDownloading);
    dropUnownedPartial(info);
    delete info;
    emit fileDownloadErrorTaskMove(taskId);
}

void KoRemoteFileOperator::cancelFileUpload(int taskId)
{
    KoFileConvertInfo* info = popInfoFromConvertList(taskId, ListUploading);
    if (!info)
        return;
    emit fileUploadCancel(taskId);
    stopRecordTask(taskId, ListUploading, true);
    delete info;
}

void KoRemoteFileOperator::pauseFileUpload(int taskId)
{
    KoFileConvertInfo* info = getInfoFromConvertList(taskId, ListUploading);
    if (!info)
        return;
    info->setConvertState(KoFileConvertInfo::StatePaused);
    scheduleConvertListSave();
    stopRecordTask(taskId, ListUploading, false);
    emit fileUploadPause(taskId);
}

void KoRemoteFileOperator::removeUploadErrorTask(int taskId)
{
    if (getInfoFromConvertList(taskId, ListUploading))
        stopRecordTask(taskId, ListUploading, true);
    delete popInfoFromConvertList(taskId, ListUploading);
    emit fileUploadErrorTaskMove(taskId);
}

void KoRemoteFileOperator::removeConvertedTask(int taskId)
{
    delete popInfoFromConvertList(taskId, ListFinished);
    emit fileConvertedTaskMove(taskId);
}

void KoRemoteFileOperator::clearConvertedList()
{
    clearConvertList(ListFinished);
    scheduleConvertListSave();
    emit fileConvertedTaskMove(-1);
}

// The bulk variants take the records out under the lock and act on them after it, so that
// their signals (and the tasks they stop) never run under a list lock.

void KoRemoteFileOperator::clearAllFailedDownload()
{
    const QList<KoFileConvertInfo*> taken = takeConvertInfos(ListDownloading, [](KoFileConvertInfo* info) {
        return info->getConvertState() == KoFileConvertInfo::StateFailed;
    });
    for (KoFileConvertInfo* info : taken) {
        stopRecordTask(info->getTaskId(), ListDownloading, true);
        dropUnownedPartial(info);
    }
    deleteConvertRecords(taken);
    emit fileDownloadCancel(-1);
}

void KoRemoteFileOperator::clearAllFailedUpload()
{
    const QList<KoFileConvertInfo*> taken = takeConvertInfos(ListUploading, [](KoFileConvertInfo* info) {
        return info->getConvertState() == KoFileConvertInfo::StateFailed;
    });
    for (KoFileConvertInfo* info : taken)
        stopRecordTask(info->getTaskId(), ListUploading, true);
    deleteConvertRecords(taken);
    emit fileUploadCancel(-1);
}

void KoRemoteFileOperator::clearDownloadList()
{
    const QList<KoFileConvertInfo*> taken = takeConvertInfos(ListDownloading,
                                                             [](KoFileConvertInfo*) { return true; });
    for (KoFileConvertInfo* info : taken) {
        // Waiting and running ones are cancelled; a paused one keeps its partial file.
        if (isActive(info))
            stopRecordTask(info->getTaskId(), ListDownloading, true);
        else if (info->getConvertState() == KoFileConvertInfo::StateFailed)
            dropUnownedPartial(info);
    }
    deleteConvertRecords(taken);
    emit fileDownloadCancel(-1);
}

void KoRemoteFileOperator::clearUploadList()
{
    const QList<KoFileConvertInfo*> taken = takeConvertInfos(ListUploading, [](KoFileConvertInfo*) { return true; });
    for (KoFileConvertInfo* info : taken) {
        if (isActive(info))
            stopRecordTask(info->getTaskId(), ListUploading, true);
    }
    deleteConvertRecords(taken);
    emit fileUploadCancel(-1);
}

// --- completion checks ------------------------------------------------------------------------

void KoRemoteFileOperator::checkDownloadListComplete()
{
    ConvertList* list = convertList(ListDownloading);
    if (!list)
        return;
    int failed = 0;
    {
        QMutexLocker locker(list->mutex);
        for (KoFileConvertInfo* info : qAsConst(*list->list)) {
            if (isActive(info))
                return;
            if (info->getConvertState() == KoFileConvertInfo::StateFailed)
                ++failed;
        }
    }
    failed += m_unlistedDownloadFailures;
    m_unlistedDownloadFailures = 0;
    emit allDownloadsSuccessV2(failed);
}

void KoRemoteFileOperator::checkUploadListComplete()
{
    ConvertList* list = convertList(ListUploading);
    if (!list)
        return;
    int failed = 0;
    {
        QMutexLocker locker(list->mutex);
        for (KoFileConvertInfo* info : qAsConst(*list->list)) {
            if (isActive(info))
                return;
            if (info->getConvertState() == KoFileConvertInfo::StateFailed)
                ++failed;
        }
    }
    emit allUploadSuccessV2(failed);
}

// --- the transfer-list file ---------------------------------------------------------------------

QString KoRemoteFileOperator::getConvertListPath() const
{
    return KoCommonUtil::getAppDataDir() + QLatin1Char('/') + QLatin1String(kConvertListFileName);
}

void KoRemoteFileOperator::loadConvertList()
{
    QFile file(getConvertListPath());
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.exists())
            m_listUnreadable = true;
    } else {
        const QByteArray content = file.readAll();
        if (file.error() == QFileDevice::NoError) {
            file.close();
            loadConvertLines(content);
            return;
        }
        m_listUnreadable = true;
    }
    if (m_listUnreadable)
        qWarning() << "Transfer list" << file.fileName() << "cannot be read (" << file.errorString()
                   << "): it is left as it is and not saved in this run";
}

void KoRemoteFileOperator::loadConvertLines(const QByteArray& content)
{
    QList<QByteArray> lines = content.split('\n');
    // The last line ends with "\n": what follows it is no line.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        const int id = getFileTaskId();
        KoFileConvertInfo* info = KoFileConvertInfo::getConvertInfoFromJson(id, QString::fromUtf8(line), this);
        if (!info)
            continue;
        // Nothing runs at start: what was under way (a file written by a crashed run) waits
        // for the user, paused.
        if (isActive(info))
            info->setConvertState(KoFileConvertInfo::StatePaused);
        if (auto* upload = qobject_cast<KoFileUploadInfo*>(info))
            m_uploadFids.insert(upload->getUploadFid());
        if (auto* download = qobject_cast<KoFileDownloadInfo*>(info)) {
            const qint64 lastModified = lastModifiedOf(line);
            if (download->getRemoteFile() && lastModified > 0)
                download->getRemoteFile()->setLastModified(lastModified);
        }
        if (info->getConvertState() == KoFileConvertInfo::StateFinished)
            addInfoToConvertList(info, ListFinished, false);
        else if (info->getConvertType() == KoFileConvertInfo::TypeDownload)
            addInfoToConvertList(info, ListDownloading, false);
        else
            addInfoToConvertList(info, ListUploading, false);
    }
}

void KoRemoteFileOperator::saveConvertList()
{
    writeConvertList(true);
}

bool KoRemoteFileOperator::StoredLine::sameSource(const StoredLine& o) const
{
    return taskId == o.taskId && state == o.state && progress == o.progress && csVersion == o.csVersion
        && totalSize == o.totalSize && convertedSize == o.convertedSize && haveRead == o.haveRead
        && finishedTime == o.finishedTime && lastModified == o.lastModified && reached == o.reached
        && checksum == o.checksum && uploadFid == o.uploadFid && deviceName == o.deviceName && usrNick == o.usrNick;
}

KoRemoteFileOperator::StoredLine KoRemoteFileOperator::storedSourceOf(KoFileConvertInfo* info)
{
    StoredLine source;
    source.taskId = info->getTaskId();
    source.state = info->getConvertState();
    source.progress = info->getProgress();
    source.totalSize = info->getTotalSize();
    source.convertedSize = info->getConvertedSize();
    source.haveRead = info->getHaveRead();
    source.finishedTime = info->getFinishedTime();
    source.deviceName = info->getDeviceName();
    source.usrNick = info->getUsrNick();
    if (auto* download = qobject_cast<KoFileDownloadInfo*>(info)) {
        source.csVersion = download->getCsVersion();
        source.checksum = download->getChecksum();
        if (const KoRemoteFile* file = download->getRemoteFile())
            source.lastModified = file->getLastModified();
    } else if (auto* upload = qobject_cast<KoFileUploadInfo*>(info)) {
        source.uploadFid = upload->getUploadFid();
    }
    return source;
}

bool KoRemoteFileOperator::writeConvertList(bool final)
{
    if (m_listUnreadable)
        return false;
    auto lineOf = [](KoFileConvertInfo* info) {
        QByteArray line = KoFileConvertInfo::getJsonFromConvertInfo(info).toUtf8();
        if (line.isEmpty())
            return line;
        // The phone's time of a download, so that a resumed one gets it too.
        if (auto* download = qobject_cast<KoFileDownloadInfo*>(info)) {
            const KoRemoteFile* file = download->getRemoteFile();
            if (file && file->getLastModified() > 0 && line.endsWith('}')) {
                line.chop(1);
                line += ",\"" + QByteArray(kLastModifiedKey) + "\":" + QByteArray::number(file->getLastModified())
                    + '}';
            }
        }
        return line;
    };
    // A transfer under way is stored as paused at the point it has reached; during the run
    // the record itself is left as it is.
    // A download's sizes are stored as its files show them: the listed size and the partial's
    // bytes, so that the list reads true after a restart.
    auto activeLineOf = [&lineOf, final](KoFileConvertInfo* info, qint64 reached, bool download) {
        const int state = info->getConvertState();
        const qint64 haveRead = info->getHaveRead();
        const qint64 converted = info->getConvertedSize();
        const qint64 total = info->getTotalSize();
        const int percent = info->getProgress();
        info->setConvertState(KoFileConvertInfo::StatePaused);
        info->setHaveRead(reached);
        if (download) {
            info->setConvertedSize(reached);
            info->setTotalSize(qMax(total, reached));
            info->setProgress(KoFileConvertInfo::percentOf(reached, info->getTotalSize()));
        }
        const QByteArray line = lineOf(info);
        if (!final) {
            info->setConvertState(state);
            info->setHaveRead(haveRead);
            info->setConvertedSize(converted);
            info->setTotalSize(total);
            info->setProgress(percent);
        }
        return line;
    };
    QByteArray out;
    QHash<const KoFileConvertInfo*, StoredLine> stored;
    // selector: which list the record is in, for how a transfer under way is stored.
    auto append = [&](KoFileConvertInfo* info, int selector) {
        const bool active = selector != ListFinished && isActive(info);
        auto* download = selector == ListDownloading ? qobject_cast<KoFileDownloadInfo*>(info) : nullptr;
        StoredLine source = storedSourceOf(info);
        const auto before = m_storedLines.constFind(info);
        const bool known = !final && before != m_storedLines.constEnd();
        if (active && download) {
            // Nothing writes the partial of a download that has not started: not looked at again.
            const bool unstarted = known && source.state == KoFileConvertInfo::StateWaiting
                && before->state == source.state && before->taskId == source.taskId;
            source.reached = unstarted ? before->reached
                                       : KoClientHelper::partialSizeOf(download->getLocalFilePath());
        } else if (active) {
            source.reached = selector == ListUploading ? info->getConvertedSize() : 0;
        }
        if (known && before->sameSource(source))
            source.line = before->line;
        else
            source.line = active ? activeLineOf(info, source.reached, download != nullptr) : lineOf(info);
        if (!source.line.isEmpty()) {
            out += source.line;
            out += '\n';
        }
        if (!final)
            stored.insert(info, source);
    };
    for (int selector : {ListDownloading, ListUploading, ListFinished}) {
        if (ConvertList* list = convertList(selector)) {
            QMutexLocker locker(list->mutex);
            stored.reserve(stored.size() + list->list->size());
            for (KoFileConvertInfo* info : qAsConst(*list->list))
                append(info, selector);
        }
    }
    m_storedLines.swap(stored);

    // Written beside and put in place at once: a failed write leaves the old file whole.
    const QString path = getConvertListPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // A write that fails may show only when the buffer goes out: flushed before the commit.
    if (file.write(out) != out.size() || !file.flush()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

void KoRemoteFileOperator::scheduleConvertListSave()
{
    if (m_loading || !m_saveTimer || m_saveTimer->isActive())
        return;
    m_saveTimer->start(m_saveDelayMs);
}

void KoRemoteFileOperator::onSaveTimer()
{
    QElapsedTimer timer;
    timer.start();
    writeConvertList(false);
    // Long lists are written less often, so that saving never takes more than a tenth of
    // the time.
    m_saveDelayMs = qMax<int>(kSaveDelayMs, int(qMin<qint64>(timer.elapsed() * 10, 60000)));
}
