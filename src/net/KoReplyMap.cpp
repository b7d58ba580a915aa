#include "net/KoReplyMap.h"

#include "net/KoReplyType.h"

#include <QMutexLocker>
#include <QNetworkReply>

KoReplyMap::~KoReplyMap()
{
    clear();
}

void KoReplyMap::add(QNetworkReply* reply, KoReplyType* record)
{
    if (!reply || !record)
        return;
    KoReplyType* old = nullptr;
    {
        QMutexLocker locker(&m_mutex);
        auto it = m_entries.find(reply);
        if (it != m_entries.end()) {
            if (it->record != record)
                old = it->record;
            // The key may be the address of a reply that died unseen: watch the one given now.
            it->reply = reply;
            it->record = record;
            it->serial = m_nextSerial++;
        } else {
            Entry e;
            e.reply = reply;
            e.record = record;
            e.serial = m_nextSerial++;
            m_entries.insert(reply, e);
        }
    }
    // Records are deleted outside the lock: whatever they carry may call back into the map.
    delete old;
}

void KoReplyMap::remove(QNetworkReply* reply)
{
    delete take(reply);
}

bool KoReplyMap::removeIf(QNetworkReply* reply, const KoReplyType* record)
{
    KoReplyType* found = nullptr;
    {
        QMutexLocker locker(&m_mutex);
        auto it = m_entries.find(reply);
        if (it == m_entries.end() || it->record != record)
            return false;
        found = it->record;
        m_entries.erase(it);
    }
    delete found;
    return true;
}

KoReplyType* KoReplyMap::take(QNetworkReply* reply)
{
    QMutexLocker locker(&m_mutex);
    auto it = m_entries.find(reply);
    if (it == m_entries.end())
        return nullptr;
    KoReplyType* record = it->record;
    m_entries.erase(it);
    return record;
}

KoReplyType* KoReplyMap::getReplyType(QNetworkReply* reply) const
{
    QMutexLocker locker(&m_mutex);
    auto it = m_entries.constFind(reply);
    return it == m_entries.constEnd() ? nullptr : it->record;
}

KoReplyType* KoReplyMap::getReplyTypeOf(int id) const
{
    QMutexLocker locker(&m_mutex);
    const Entry* best = nullptr;
    for (auto it = m_entries.constBegin(); it != m_entries.constEnd(); ++it) {
        if (it->record->getId() == id && (!best || it->serial > best->serial))
            best = &it.value();
    }
    return best ? best->record : nullptr;
}

QNetworkReply* KoReplyMap::getReplyOf(int id) const
{
    QMutexLocker locker(&m_mutex);
    const Entry* best = nullptr;
    for (auto it = m_entries.constBegin(); it != m_entries.constEnd(); ++it) {
        if (it->reply && it->record->getId() == id && (!best || it->serial > best->serial))
            best = &it.value();
    }
    return best ? best->reply.data() : nullptr;
}

bool KoReplyMap::earliestDeadline(QNetworkReply** reply, KoReplyType** record, bool* alive) const
{
    QMutexLocker locker(&m_mutex);
    QNetworkReply* bestReply = nullptr;
    const Entry* best = nullptr;
    for (auto it = m_entries.constBegin(); it != m_entries.constEnd(); ++it) {
        const qint64 ddl = it->record->getDdl();
        if (ddl < 0)
            continue;
        if (!best || ddl < best->record->getDdl() || (ddl == best->record->getDdl() && it->serial < best->serial)) {
            best = &it.value();
            bestReply = it.key();
        }
    }
    if (!best)
        return false;
    if (reply)
        *reply = bestReply;
    if (record)
        *record = best->record;
    if (alive)
        *alive = !best->reply.isNull();
    return true;
}

bool KoReplyMap::isEmpty() const
{
    QMutexLocker locker(&m_mutex);
    return m_entries.isEmpty();
}

int KoReplyMap::count() const
{
    QMutexLocker locker(&m_mutex);
    return m_entries.size();
}

QList<QNetworkReply*> KoReplyMap::replies() const
{
    QMutexLocker locker(&m_mutex);
    return m_entries.keys();
}

QList<KoReplyMap::Entry> KoReplyMap::takeAll()
{
    QMutexLocker locker(&m_mutex);
    QList<Entry> all = m_entries.values();
    m_entries.clear();
    return all;
}

void KoReplyMap::abortAll(QObject* receiver)
{
    // Taken out first: an abort finishes the reply at once, and whoever handles that must
    // find nothing left to remove.
    const QList<Entry> all = takeAll();
    if (receiver) {
        for (const Entry& e : all) {
            if (e.reply)
                QObject::disconnect(e.reply, nullptr, receiver, nullptr);
        }
    }
    for (const Entry& e : all) {
        if (e.reply) {
            e.reply->abort();
            if (e.reply)
                e.reply->deleteLater();
        }
    }
    for (const Entry& e : all)
        delete e.record;
}

void KoReplyMap::clear()
{
    const QList<Entry> all = takeAll();
    for (const Entry& e : all)
        delete e.record;
}
