#pragma once

// Small file helpers shared by the tests.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

namespace KoTestFiles {

// Deterministic bytes for a seed, so a test can compare what arrived with what it sent.
inline QByteArray patternBytes(qint64 size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(int(size), Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

// The whole file; empty when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes (replacing) the file, creating missing parent folders.
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Every entry below dir, hidden ones too, sorted and joined by spaces: "path/" for a folder,
// "path=content" for a file.
inline QString treeOf(const QString& dir)
{
    QStringList entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(dir).relativeFilePath(path);
        entries << (it.fileInfo().isDir() ? rel + '/' : rel + '=' + QString::fromUtf8(readFile(path)));
    }
    entries.sort();
    return entries.join(' ');
}

// Lower-case hex SHA-256 of the file, read in pieces; empty when it cannot be read.
inline QByteArray sha256Of(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

} // namespace KoTestFiles
