#pragma once

#include <QHash>
#include <QMutex>
#include <QString>

// Suffix -> MIME type table of the program (process-wide single instance).
// The remote file operator deletes it at exit; a later getInstance builds a new one.
class KoFileMimeType
{
public:
    static KoFileMimeType* getInstance();
    // True while an instance exists (does not create one).
    static bool hasInstance();
    ~KoFileMimeType();
    KoFileMimeType(const KoFileMimeType&) = delete;
    KoFileMimeType& operator=(const KoFileMimeType&) = delete;

    // MIME type of a suffix (without the dot, any case); empty when unknown.
    QString getMimeType(const QString& suffix) const;
    // MIME type of a file name or path by the text after its last "."; empty when none.
    QString getMimeTypeOfFileName(const QString& fileName) const;
    int count() const { return m_table->size(); }
    QList<QString> suffixes() const { return m_table->keys(); }

private:
    KoFileMimeType();
    void initData();

    QHash<QString, QString>* m_table = nullptr;

    static KoFileMimeType* s_instance;
    static QMutex s_mutex;
};
