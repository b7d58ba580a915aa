#pragma once

#include <QHash>
#include <QMutex>
#include <QString>

// Display aliases and sort order of well-known folders of the phone-album category.
// Lookups match the whole absolute path exactly (case-sensitive, no trimming).
// The remote file operator deletes the table at exit; a later getInstance builds a new one.
class KoCategoryFolderAlias
{
public:
    static KoCategoryFolderAlias* getInstance();
    // True while an instance exists (does not create one).
    static bool hasInstance();
    ~KoCategoryFolderAlias();
    KoCategoryFolderAlias(const KoCategoryFolderAlias&) = delete;
    KoCategoryFolderAlias& operator=(const KoCategoryFolderAlias&) = delete;

    // Alias of exactly this path, or an empty text.
    QString getFolderAlias(const QString& path) const;
    // Sort weight of exactly this path (larger sorts first), 0 when unknown.
    int getFolderOrder(const QString& path) const;

private:
    KoCategoryFolderAlias();
    void initData();

    QHash<QString, QString>* m_aliases = nullptr;
    QHash<QString, int>* m_orders = nullptr;

    static KoCategoryFolderAlias* s_instance;
    static QMutex s_mutex;
};
