#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>

class KoRemoteFile;

// The in-app clipboard of phone paths for cut, copy and paste inside one phone.
// It keeps one key naming the phone, the source category, a copy list and a cut list;
// reading with another key yields nothing.
class KoFileClipboard
{
public:
    static KoFileClipboard* getInstance();
    static bool hasInstance();
    ~KoFileClipboard();
    KoFileClipboard(const KoFileClipboard&) = delete;
    KoFileClipboard& operator=(const KoFileClipboard&) = delete;

    // Store key and category and add the file's absolute path unless already listed.
    void addFileToCopyList(KoRemoteFile* file, int category, const QString& key);
    void addFileToCutList(KoRemoteFile* file, int category, const QString& key);

    // True when the key is not the stored one or the list is empty.
    bool isCopyListEmpty(const QString& key) const;
    bool isCutListEmpty(const QString& key) const;

    // The copy list for a matching key (it stays), else an empty list.
    QStringList getCopyFilePathList(const QString& key) const;
    // The cut list for a matching key, which is then emptied; else an empty list.
    QStringList getCutFilePathList(const QString& key);

    // Empty one list; key and category stay.
    void clearCopyList();
    void clearCutList();

    // Category of the last add (1 before any).
    int getSrcCategory() const { return m_srcCategory; }
    QString getKey() const { return m_key; }

private:
    KoFileClipboard();
    void add(QStringList& list, KoRemoteFile* file, int category, const QString& key);

    QString m_key;
    int m_srcCategory = 1;
    QStringList m_copyList;
    QStringList m_cutList;

    static KoFileClipboard* s_instance;
    static QMutex s_mutex;
};
