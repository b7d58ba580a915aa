#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QPair>

class KoFileRangeDevice;
class QTcpSocket;

// A streamed multipart POST over plain http, written by this program over its own socket on
// the calling thread: the file goes out in large blocks straight from the file, where the
// network access manager would hand it to its HTTP thread a few KiB at a time, one
// cross-thread round trip each. It sends the same request the network access manager sends
// and behaves as its replies do for the callers of KoNetworkHelper: uploadProgress while the
// body leaves, metaDataChanged and readyRead for the answer, finished once (also after
// abort(), which reports OperationCanceledError at once), HTTP statuses and errors mapped
// the same way. One connection per request, never retried: a cut connection fails the
// request, and the caller asks the phone where to go on.
class KoStreamUploadReply : public QNetworkReply
{
    Q_OBJECT
public:
    // Sends head + the bytes of device + tail to request's url (http only). headers are the
    // raw headers in the order they go out; the device is taken over (and opened here).
    KoStreamUploadReply(const QNetworkRequest& request, const QList<QPair<QByteArray, QByteArray>>& headers,
                        const QByteArray& head, KoFileRangeDevice* device, const QByteArray& tail,
                        QObject* parent = nullptr);
    ~KoStreamUploadReply() override;

    void abort() override;
    void close() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;

private:
    void start();
    void onConnected();
    void fill();
    void onBytesWritten(qint64 written);
    void onReadyRead();
    void onDisconnected();
    void onSocketError();
    bool parseHead();
    void parseBody();
    void fail(NetworkError code, const QString& text);
    void finish();

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
    QByteArray m_in;          // received, not parsed yet
    QByteArray m_body;        // parsed body, read through readData
    bool m_haveHead = false;
    bool m_chunked = false;
    qint64 m_bodyLeft = -1;   // by Content-Length; -1 until the end of the connection
    qint64 m_chunkLeft = -1;  // chunked: bytes left in the current chunk, -1 before its size line
};
