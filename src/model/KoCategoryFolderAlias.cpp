#include "model/KoCategoryFolderAlias.h"

#include <QMutexLocker>

KoCategoryFolderAlias* KoCategoryFolderAlias::s_instance = nullptr;
QMutex KoCategoryFolderAlias::s_mutex;

KoCategoryFolderAlias* KoCategoryFolderAlias::getInstance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new KoCategoryFolderAlias();
    return s_instance;
}

bool KoCategoryFolderAlias::hasInstance()
{
    QMutexLocker locker(&s_mutex);
    return s_instance != nullptr;
}

KoCategoryFolderAlias::KoCategoryFolderAlias()
{
    initData();
}

KoCategoryFolderAlias::~KoCategoryFolderAlias()
{
    {
        QMutexLocker locker(&s_mutex);
        if (s_instance == this)
            s_instance = nullptr;
    }
    m_aliases->clear();
    delete m_aliases;
    m_orders->clear();
    delete m_orders;
}

QString KoCategoryFolderAlias::getFolderAlias(const QString& path) const
{
    return m_aliases->value(path);
}

int KoCategoryFolderAlias::getFolderOrder(const QString& path) const
{
    return m_orders->value(path, 0);
}

void KoCategoryFolderAlias::initData()
{
    // See "Folder aliases" in docs/protocol.md. Phones report the shared storage either
    // under its mount point or under the "/sdcard" link, so both spellings are listed.
    struct Entry {
        const char* folder; // below the storage root
        const char* alias;
        int order;
    };
    static const Entry kEntries[] = {
        {"/DCIM/Camera", "相机", 100}, {"/DCIM/Screenshots", "截屏", 90}, {"/Pictures/Screenshots", "截屏", 90},
        {"/DCIM", "相机胶卷", 80},     {"/Pictures", "图片", 70},         {"/Movies", "视频", 60},
        {"/Download", "下载", 50},
    };
    static const char* const kRoots[] = {"/storage/emulated/0", "/sdcard"};

    m_aliases = new QHash<QString, QString>();
    m_orders = new QHash<QString, int>();
    for (const char* root : kRoots) {
        for (const Entry& entry : kEntries) {
            const QString path = QString::fromLatin1(root) + QString::fromLatin1(entry.folder);
            m_aliases->insert(path, QString::fromUtf8(entry.alias));
            m_orders->insert(path, entry.order);
        }
    }
}
