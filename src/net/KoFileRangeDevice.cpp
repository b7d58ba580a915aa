#include "net/KoFileRangeDevice.h"

KoFileRangeDevice::KoFileRangeDevice(const QString& path, qint64 start, qint64 length, QObject* parent)
    : QIODevice(parent)
    , m_file(path)
    , m_start(qMax<qint64>(0, start))
    , m_length(qMax<qint64>(0, length))
{
}

KoFileRangeDevice::~KoFileRangeDevice()
{
    close();
}

bool KoFileRangeDevice::open(OpenMode mode)
{
    if ((mode & ReadWrite) != ReadOnly || isOpen())
        return false;
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    if (!m_file.seek(m_start)) {
        m_file.close();
        return false;
    }
    m_pos = 0;
    m_readAny = false;
    // Unbuffered: the caller buffers already and seek() must stay exact.
    return QIODevice::open(ReadOnly | Unbuffered);
}

void KoFileRangeDevice::close()
{
    if (isOpen())
        QIODevice::close();
    m_file.close();
}

bool KoFileRangeDevice::seek(qint64 pos)
{
    if (!isOpen() || pos < 0 || pos > m_length)
        return false;
    if (!m_file.seek(m_start + pos))
        return false;
    m_pos = pos;
    return QIODevice::seek(pos);
}

bool KoFileRangeDevice::reset()
{
    if (m_readAny)
        return false;
    return seek(0);
}

bool KoFileRangeDevice::atEnd() const
{
    return !isOpen() || m_pos >= m_length;
}

qint64 KoFileRangeDevice::readData(char* data, qint64 maxSize)
{
    const qint64 want = qMin(maxSize, m_length - m_pos);
    if (want <= 0)
        return 0;
    qint64 got = 0;
    while (got < want) {
        const qint64 n = m_file.read(data + got, want - got);
        if (n < 0) {
            setErrorString(m_file.errorString());
            return -1;
        }
        if (n == 0) {
            // The file is shorter than the range now: short data would corrupt the upload.
            setErrorString(QStringLiteral("file ended before the range"));
            return -1;
        }
        got += n;
    }
    m_pos += got;
    m_readAny = true;
    return got;
}

qint64 KoFileRangeDevice::writeData(const char*, qint64)
{
    return -1;
}
