#pragma once

#include "model/KoAbstractFile.h"
#include "model/KoRemoteFilePath.h"

// A file or folder on a phone.
class KoRemoteFile : public KoAbstractFile
{
    Q_OBJECT
public:
    // Phone type codes: 100 folder, 200 photo, 300 video, 400 audio, 500 text, 501 Word,
    // 502 PowerPoint, 503 Excel, 504 PDF, 600 archive, 601 APK; anything else a plain file.
    // One trailing "/" is removed from the caller's path string itself.
    KoRemoteFile(const QString& remoteServer, QString& path, int type, qint64 size, quint64 lastModified,
                 QString displayName);
    // The same, leaving the caller's string alone.
    KoRemoteFile(const QString& remoteServer, const QString& path, int type, qint64 size, quint64 lastModified,
                 const QString& displayName);
    // Copy of another record; selection, edit state and secret bits start cleared.
    explicit KoRemoteFile(const KoRemoteFile* other);
    ~KoRemoteFile() override;

    // Sets the file-type code from the phone's type code.
    void parseType(int type);
    // The file-type code of a phone type code.
    static int fileTypeOfPhoneType(int type);

    QString getRemoteServer() const { return m_remoteServer; }
    KoRemoteFilePath* getPath() { return &m_path; }
    const KoRemoteFilePath* getPath() const { return &m_path; }
    bool isCut() const { return m_cut; }
    void setCut(bool cut) { m_cut = cut; }
    // A name that is all suffix, as for ".nomedia".
    bool isHiddenFile() const { return m_name.isEmpty(); }

private:
    void init(const QString& remoteServer, QString& path, int type, qint64 size, quint64 lastModified,
              const QString& displayName);

    QString m_remoteServer;
    KoRemoteFilePath m_path;
    bool m_cut = false;
};
