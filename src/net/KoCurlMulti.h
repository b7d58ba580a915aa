#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <functional>

#include <curl/curl.h>

class QSocketNotifier;
class QTimer;
class KoCurlReply;

// The one curl multi handle of the program, run by the event loop of the thread it lives on:
// curl names the sockets to watch (a QSocketNotifier each way) and when to wake it (a QTimer),
// and keeps the idle connections to phones for the next request, all but one that holds unread
// bytes when the request is about to go out (KoCurlReply tries again on a fresh one). Curl's
// callbacks only store what they are given; each reply they touched hears of it
// (KoCurlReply::deliver) once curl has returned, so a receiver of the reply's signals may abort
// or delete any reply.
class KoCurlMulti : public QObject
{
    Q_OBJECT
public:
    explicit KoCurlMulti(QObject* parent = nullptr);
    // Takes every transfer still running out of curl; their replies never finish.
    ~KoCurlMulti() override;

    // Starts the reply's easy handle; false when curl refuses it.
    bool add(KoCurlReply* reply);
    // Takes it out again (running or not); nothing more is delivered to it.
    void remove(KoCurlReply* reply);
    // Takes the reply's transfer out of curl but keeps its connection: no more is sent on it,
    // and once the peer has read what was sent and closed its side (or after a bound), then runs.
    // Without a connection, then runs on the next turn of the event loop.
    void removeAndDrain(KoCurlReply* reply, std::function<void()> then);
    // The reply has something to tell: it is delivered once the current turn of curl ends, or
    // on the next turn of the event loop when curl is not running.
    void touch(KoCurlReply* reply);

    // Names a connection by its two ends, as curl tells them.
    static QByteArray connectionKey(const char* peerIp, long peerPort, const char* localIp, long localPort);
    // A transfer is about to send its request on the connection of key: true when that is a
    // kept one on which bytes (or its end) already wait. fresh: the transfer opened it.
    bool takeIdleConnection(const QByteArray& key, bool fresh);

private:
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    static int onSocket(CURL* easy, curl_socket_t socket, int what, void* self, void* socketData);
    static int onTimer(CURLM* multi, long timeoutMs, void* self);
    void watch(curl_socket_t socket, int what);
    void unwatch(curl_socket_t socket);
    void act(curl_socket_t socket, int mask);
    void deliver();
    void noteIdleConnection(CURL* easy);

    CURLM* m_multi = nullptr;
    QTimer* m_timer = nullptr;
    QHash<curl_socket_t, Watch> m_watches;
    // The socket of each connection a finished transfer left to curl's pool, by its key; an entry
    // outlives a connection curl closes until its socket number comes back.
    QHash<curl_socket_t, QByteArray> m_idle;
    QSet<KoCurlReply*> m_running;
    QList<QPointer<KoCurlReply>> m_touched;
    int m_depth = 0; // > 0 while curl runs
    bool m_deliverQueued = false;
};
