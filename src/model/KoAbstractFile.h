#pragma once

#include <QObject>
#include <QString>

// Base of every file entry (phone files, local files, categories).
// Flags word: bits 0-1 edit status (1 = selected), bits 2-8 the file-type code,
// bit 9 secret.
class KoAbstractFile : public QObject
{
    Q_OBJECT
public:
    // File-type codes (flags & 0x1FC).
    enum FileType {
        TypeFolder = 0x0,
        TypeUnknown = 0x4, // a phone file of no known kind
        TypeZip = 0x1C,
        TypeApk = 0x24,
        TypeOther = 0x3C,
        TypePhoto = 0x4C,
        TypeWord = 0x54,
        TypeAudio = 0x8C,
        TypePpt = 0x94,
        TypeVideo = 0xCC,
        TypeExcel = 0xD4,
        TypePdf = 0x114,
        TypeTxt = 0x154,
    };
    static constexpr int kEditStatusMask = 0x3;
    static constexpr int kFileTypeMask = 0x1FC;
    static constexpr int kSecretBit = 0x200;

    explicit KoAbstractFile(QObject* parent = nullptr);
    ~KoAbstractFile() override;

    QString getName() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    QString getSuffix() const { return m_suffix; }
    void setSuffix(const QString& suffix) { m_suffix = suffix; }
    // name + "." + suffix, or the name alone when the suffix is empty.
    QString getFullName() const;
    qint64 getSize() const { return m_size; }
    void setSize(qint64 size) { m_size = size; }
    qint64 getLastModified() const { return m_lastModified; }
    void setLastModified(qint64 ms) { m_lastModified = ms; }

    int getFlags() const { return m_flags; }
    int getFileType() const { return m_flags & kFileTypeMask; }
    // Stores code & 0x1FC, keeping the other bits.
    void setFileType(int code);
    int getEditStatus() const { return m_flags & kEditStatusMask; }
    void setEditStatus(int status);
    bool isSelected() const { return getEditStatus() == 1; }
    bool isSecret() const { return (m_flags & kSecretBit) != 0; }
    void setSecret(bool secret);

    bool isFolder() const { return getFileType() == TypeFolder; }
    bool isFile() const { return (m_flags & 0x4) != 0; }
    bool isPhoto() const { return getFileType() == TypePhoto; }
    // Word, PowerPoint, Excel, PDF and text share the low bits 0x14.
    bool isDocument() const { return (m_flags & 0x3C) == 0x14; }

protected:
    QString m_name;
    QString m_suffix;
    qint64 m_size = 0;
    qint64 m_lastModified = 0;
    int m_flags = 0;
};
