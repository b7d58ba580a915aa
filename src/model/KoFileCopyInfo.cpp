#include "model/KoFileCopyInfo.h"

#include "model/KoRemoteFile.h"

KoFileCopyInfo::KoFileCopyInfo(int taskId, KoRemoteFile* file, const QString& remoteServer, qint64 copiedSize,
                               QObject* parent)
    : KoFileConvertInfo(taskId, -1, -1, QString(), remoteServer, TypeCopy, 1, parent)
    , m_remoteFile(file)
{
    if (m_remoteFile)
        m_remoteFile->setParent(nullptr);
    const qint64 size = m_remoteFile ? m_remoteFile->getSize() : 0;
    m_convertedSize = copiedSize;
    m_totalSize = size;

    if (size <= 0) {
        // Nothing to copy is a finished copy, and no division by zero.
        setProgress(100);
        m_convertState = StateFinished;
        return;
    }
    setProgress(percentOf(copiedSize, size));

    if (copiedSize == 0)
        m_convertState = StateWaiting;
    else if (size > copiedSize)
        m_convertState = StateConverting;
    else
        m_convertState = StateFinished;
}

KoFileCopyInfo::~KoFileCopyInfo()
{
    delete m_remoteFile;
}
