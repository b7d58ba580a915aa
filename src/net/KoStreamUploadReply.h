#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMultiHash>
#include <QPointer>
#include <QList>
#include <QNetworkReply>
#include <QPair>

class KoFileRangeDevice;
class QTcpSocket;

// Idle keep-alive connections of KoStreamUploadReply, by host and port: a run of small
// requests to one phone goes over a few connections instead of one each.
class KoHttpConnectionPool : public QObject
{
    Q_OBJECT
public:
    explicit KoHttpConnectionPool(QObject* parent = nullptr)
        : QObject(parent)
    {
    }
    // An idle connection that is still open, handed over to the caller; null when none.
    QTcpSocket* take(const QString& host, quint16 port);
    // Keeps a connection whose last answer was read whole; dropped when the peer closes it.
    void put(const QString& host, quint16 port, QTcpSocket* socket);

private:
    void drop(QTcpSocket* socket);
    QMultiHash<QString, QTcpSocket*> m_idle;
};

// A streamed multipart POST over plain http, written by this program over its own socket on
// the calling thread: the file goes out in large blocks straight from the file, where the
// network access manager would hand it to its HTTP thread a few KiB at a time, one
// cross-thread round trip each; a small body goes out with the request's head in one write
// (the manager writes it apart, and the peer's delayed acknowledgement then holds it back for
// tens of milliseconds). It sends the same request the network access manager sends
// and behaves as its replies do for the callers of KoNetworkHelper: uploadProgress while the
// body leaves, metaDataChanged and readyRead for the answer, finished once (also after
// abort(), which reports OperationCanceledError at once), HTTP statuses and errors mapped
// the same way. A body streamed from a file gets a connection of its own and is never sent
// twice: a cut connection fails the request, and the caller asks the phone where to go on.
// A body in memory may reuse a pooled connection, and is sent once more on a new one when the
// reused one turns out closed before any answer came.
class KoStreamUploadReply : public QNetworkReply
{
    Q_OBJECT
public:
    // Sends head + the bytes of device + tail to request's url (http only). headers are the
    // raw headers in the order they go out; the device is taken over (and opened here).
    // Without a device the body is head + tail, sent from memory.
    KoStreamUploadReply(const QNetworkRequest& request, const QList<QPair<QByteArray, QByteArray>>& headers,
                        const QByteArray& head, KoFileRangeDevice* device, const QByteArray& tail,
                        KoHttpConnectionPool* pool, QObject* parent = nullptr);
    ~KoStreamUploadReply() override;

    void abort() override;
    void close() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;

private:
    void start();
    void connectSocket(QTcpSocket* socket);
    bool retry();
    void onConnected();
    void fill();
    void onBytesWritten(qint64 written);
    void onReadyRead();
    void onDisconnected();
    void onSocketError();
    bool parseHead();
    void parseBody();
    void fail(NetworkError code, const QString& text);
    void finish(bool reusable = false);

    QPointer<KoHttpConnectionPool> m_pool;
    bool m_reused = false;
    bool m_retried = false;
    bool m_keepAlive = true;
    QTcpSocket* m_socket = nullptr;
    KoFileRangeDevice* m_device = nullptr;
    QByteArray m_requestHead; // request line and headers
    QByteArray m_partHead;    // multipart framing before the file's bytes
    QByteArray m_partTail;    // and after them
    qint64 m_bodyTotal = 0;   // what uploadProgress counts: the whole multipart body
    qint64 m_queued = 0;      // bytes handed to the socket, request head included
    qint64 m_written = 0;     // bytes the socket wrote
    qint64 m_fileLeft = 0;
    bool m_tailQueued = false;
    bool m_done = false;

    // The answer.
    QByteArray m_in;   // received, not parsed yet
    QByteArray m_body; // parsed body, read through readData from m_bodyPos on
    int m_bodyPos = 0;
    QElapsedTimer m_progressClock;
    qint64 m_received = 0; // body bytes so far, for downloadProgress
    bool m_haveLength = false;
    qint64 m_length = 0;
    bool m_haveHead = false;
    bool m_chunked = false;
    qint64 m_bodyLeft = -1;  // by Content-Length; -1 until the end of the connection
    qint64 m_chunkLeft = -1; // chunked: bytes left in the current chunk, -1 before its size line
};
