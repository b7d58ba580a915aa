#include "model/KoFileClipboard.h"

#include "model/KoRemoteFile.h"

#include <QMutexLocker>

KoFileClipboard* KoFileClipboard::s_instance = nullptr;
QMutex KoFileClipboard::s_mutex;

KoFileClipboard* KoFileClipboard::getInstance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new KoFileClipboard();
    return s_instance;
}

bool KoFileClipboard::hasInstance()
{
    QMutexLocker locker(&s_mutex);
    return s_instance != nullptr;
}

KoFileClipboard::KoFileClipboard() = default;

KoFileClipboard::~KoFileClipboard()
{
    QMutexLocker locker(&s_mutex);
    if (s_instance == this)
        s_instance = nullptr;
}

void KoFileClipboard::add(QStringList& list, KoRemoteFile* file, int category, const QString& key)
{
    if (!file)
        return;
    m_key = key;
    m_srcCategory = category;
    const QString path = file->getPath()->getAbsolutePath();
    if (!list.contains(path))
        list.append(path);
}

void KoFileClipboard::addFileToCopyList(KoRemoteFile* file, int category, const QString& key)
{
    add(m_copyList, file, category, key);
}

void KoFileClipboard::addFileToCutList(KoRemoteFile* file, int category, const QString& key)
{
    add(m_cutList, file, category, key);
}

bool KoFileClipboard::isCopyListEmpty(const QString& key) const
{
    return key != m_key || m_copyList.isEmpty();
}

bool KoFileClipboard::isCutListEmpty(const QString& key) const
{
    return key != m_key || m_cutList.isEmpty();
}

QStringList KoFileClipboard::getCopyFilePathList(const QString& key) const
{
    return key == m_key ? m_copyList : QStringList();
}

QStringList KoFileClipboard::getCutFilePathList(const QString& key)
{
    if (key != m_key)
        return QStringList();
    QStringList list;
    list.swap(m_cutList);
    return list;
}

void KoFileClipboard::clearCopyList()
{
    m_copyList.clear();
}

void KoFileClipboard::clearCutList()
{
    m_cutList.clear();
}
