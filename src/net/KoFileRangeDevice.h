#pragma once

#include <QFile>
#include <QIODevice>

// Read-only view of the bytes [start, start + length) of a file, as a device of exactly
// `length` bytes whose position 0 is `start`. Upload bodies read from it, so a request can
// start mid-file and still send exactly the bytes its Content-Length promises. When the file
// ends before the range does (it shrank while being sent), reading fails instead of
// returning short data, so the request fails rather than going out truncated.
// Once bytes have been read it refuses to go back to the start: the network layer would
// otherwise send the whole body again on a new connection, unseen by the caller, while the
// peer may already hold part of it and must be asked where to go on.
class KoFileRangeDevice : public QIODevice
{
    Q_OBJECT
public:
    KoFileRangeDevice(const QString& path, qint64 start, qint64 length, QObject* parent = nullptr);
    ~KoFileRangeDevice() override;

    // Only ReadOnly is supported; fails when the file cannot be opened or positioned.
    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_length; }
    bool seek(qint64 pos) override;
    bool reset() override;
    bool atEnd() const override;

    qint64 start() const { return m_start; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    QFile m_file;
    qint64 m_start;
    qint64 m_length;
    qint64 m_pos = 0;
    bool m_readAny = false;
};
