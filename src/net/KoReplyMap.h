#pragma once

#include <QHash>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QPointer>

class QNetworkReply;
class KoReplyType;

// One client's pending requests: each network reply with the record it owns.
// Every operation takes the map's mutex. Replies are watched, not owned: a reply deleted
// behind the map's back is never touched again through it.
class KoReplyMap
{
public:
    KoReplyMap() = default;
    ~KoReplyMap();
    KoReplyMap(const KoReplyMap&) = delete;
    KoReplyMap& operator=(const KoReplyMap&) = delete;

    // Files reply with record; the map owns the record from now on. A record already filed
    // under the same reply is deleted.
    void add(QNetworkReply* reply, KoReplyType* record);
    // Deletes the reply's record and forgets the reply (which is left alone).
    void remove(QNetworkReply* reply);
    // Same, but only while reply still holds exactly this record; true when it did.
    bool removeIf(QNetworkReply* reply, const KoReplyType* record);
    // Forgets the reply and hands its record to the caller.
    KoReplyType* take(QNetworkReply* reply);

    KoReplyType* getReplyType(QNetworkReply* reply) const;
    // With several pending requests of one id, the one filed last.
    KoReplyType* getReplyTypeOf(int id) const;
    QNetworkReply* getReplyOf(int id) const;

    // The pending request with the earliest deadline; records without a deadline never count.
    // alive tells whether the reply object still exists.
    bool earliestDeadline(QNetworkReply** reply, KoReplyType** record, bool* alive = nullptr) const;

    bool isEmpty() const;
    int count() const;
    QList<QNetworkReply*> replies() const;

    // Empties the map: every reply still alive is aborted and scheduled for deletion, every
    // record deleted. Used when a client goes away with requests in flight; the replies are
    // first disconnected from `receiver` (when given) so it hears nothing of the aborts.
    void abortAll(QObject* receiver = nullptr);
    // Empties the map, deleting every record; replies are left alone.
    void clear();

private:
    struct Entry {
        QPointer<QNetworkReply> reply;
        KoReplyType* record = nullptr;
        quint64 serial = 0;
    };
    QList<Entry> takeAll();

    mutable QMutex m_mutex;
    QHash<QNetworkReply*, Entry> m_entries;
    quint64 m_nextSerial = 1;
};
