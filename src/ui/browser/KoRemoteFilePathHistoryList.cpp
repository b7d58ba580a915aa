#include "KoRemoteFilePathHistoryList.h"

KoRemoteFilePathHistoryList::KoRemoteFilePathHistoryList(QObject* parent)
    : QObject(parent)
{
}

KoRemoteFilePathHistoryList::~KoRemoteFilePathHistoryList()
{
    clear();
}

void KoRemoteFilePathHistoryList::pushNewPath(int state, const QList<KoRemoteFilePath>* paths)
{
    m_backward.append(Entry{state, paths ? *paths : QList<KoRemoteFilePath>()});
    m_forward.clear();
}

bool KoRemoteFilePathHistoryList::getBackwardPath(int& state, QList<KoRemoteFilePath>* paths)
{
    if (m_backward.size() < 2 || !paths)
        return false;
    m_forward.prepend(m_backward.takeLast());
    state = m_backward.last().state;
    *paths = m_backward.last().paths;
    return true;
}

bool KoRemoteFilePathHistoryList::getForwardPath(int& state, QList<KoRemoteFilePath>* paths)
{
    if (m_forward.isEmpty() || !paths)
        return false;
    state = m_forward.first().state;
    *paths = m_forward.first().paths;
    m_backward.append(m_forward.takeFirst());
    return true;
}

void KoRemoteFilePathHistoryList::clear()
{
    m_backward.clear();
    m_forward.clear();
}
