#include "model/KoRemoteFileComparator.h"

#include "model/KoCategoryFolderAlias.h"
#include "model/KoRemoteFile.h"

#include <QCollator>
#include <QLocale>

// One collator for the process: setting one up is far dearer than a comparison.
static const QCollator& chineseCollator()
{
    static const QCollator collator = [] {
        QCollator c(QLocale(QLocale::Chinese, QLocale::China));
        c.compare(QStringLiteral("a"), QStringLiteral("b")); // finish its lazy set-up now
        return c;
    }();
    return collator;
}

KoRemoteFileComparator::KoRemoteFileComparator(int flag)
    : m_flag(flag)
{
    if (m_flag == 1 || m_flag == -1)
        chineseCollator();
}

int KoRemoteFileComparator::compareNames(const QString& a, const QString& b)
{
    const int r = chineseCollator().compare(a, b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool KoRemoteFileComparator::operator()(const KoRemoteFile* a, const KoRemoteFile* b) const
{
    if (!a || !b)
        return a && !b;
    const bool aFolder = a->isFolder();
    const bool bFolder = b->isFolder();
    if (aFolder != bFolder)
        return aFolder;

    switch (m_flag) {
    case -3:
        return a->getSize() > b->getSize();
    case -2:
        return a->getLastModified() > b->getLastModified();
    case -1:
        return compareNames(a->getFullName(), b->getFullName()) > 0;
    case 0: {
        const KoCategoryFolderAlias* aliases = KoCategoryFolderAlias::getInstance();
        return aliases->getFolderOrder(a->getPath()->getAbsolutePath())
            > aliases->getFolderOrder(b->getPath()->getAbsolutePath());
    }
    case 1:
        return compareNames(a->getFullName(), b->getFullName()) < 0;
    case 2:
        return a->getLastModified() < b->getLastModified();
    case 3:
        return a->getSize() < b->getSize();
    default:
        return a->getFullName() < b->getFullName();
    }
}
