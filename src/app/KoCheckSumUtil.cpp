#include "app/KoCheckSumUtil.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

// Reads exactly length bytes at offset into the hash; false on any short read.
static bool addRange(QCryptographicHash& hash, QFile& file, qint64 offset, qint64 length)
{
    if (!file.seek(offset))
        return false;
    static const qint64 kChunk = 64 * 1024;
    while (length > 0) {
        const QByteArray chunk = file.read(qMin(kChunk, length));
        if (chunk.isEmpty())
            return false;
        hash.addData(chunk);
        length -= chunk.size();
    }
    return true;
}

static QString fingerprintV1(const QString& filePath)
{
    const QFileInfo info(filePath);
    if (!info.exists() || !info.isFile())
        return QString();
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const qint64 size = file.size();

    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(info.fileName().toUtf8());
    hash.addData(QByteArray(1, '\0'));
    hash.addData(QByteArray::number(size));
    hash.addData(QByteArray(1, '\0'));

    bool ok;
    if (size <= KoCheckSumUtil::kWholeFileLimit) {
        ok = addRange(hash, file, 0, size);
    } else {
        const qint64 block = KoCheckSumUtil::kSampleSize;
        ok = addRange(hash, file, 0, block) && addRange(hash, file, (size - block) / 2, block)
            && addRange(hash, file, size - block, block);
    }
    if (!ok)
        return QString();
    return QString::fromLatin1(hash.result().toHex()).toUpper();
}

QString KoCheckSumUtil::getFileCheckSumWithVersion(QString filePath, int version)
{
    if (version != 1 || filePath.isEmpty())
        return QString();
    return fingerprintV1(filePath);
}

QString KoCheckSumUtil::getCurrentVersionFileCheckSum(QString filePath)
{
    return getFileCheckSumWithVersion(filePath, getCurrentVersion());
}

int KoCheckSumUtil::getCurrentVersion()
{
    return 1;
}
