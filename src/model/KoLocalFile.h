#pragma once

#include "model/KoAbstractFile.h"

// A file or folder on this computer.
class KoLocalFile : public KoAbstractFile
{
    Q_OBJECT
public:
    // Reads the file system once: name before the last ".", suffix after it, size,
    // modification time and the type code from the suffix's MIME type (0 for a folder).
    explicit KoLocalFile(const QString& path, QObject* parent = nullptr);
    // A record restored from stored values, without touching the file system
    // (the file may be gone). fullName is used only when it disagrees with the path.
    KoLocalFile(const QString& path, const QString& fullName, int fileType, qint64 size, qint64 lastModified = 0,
                QObject* parent = nullptr);
    ~KoLocalFile() override;

    QString getPath() const { return m_path; }

    // Sets the type code from the suffix's MIME type.
    void parseType(const QString& suffix);
    // The file-type code of a MIME type; "other" (0x3C) for an empty or unknown one.
    static int fileTypeOfMimeType(const QString& mimeType);
    static int fileTypeOfSuffix(const QString& suffix);

private:
    void splitName(const QString& fileName);

    QString m_path;
};
