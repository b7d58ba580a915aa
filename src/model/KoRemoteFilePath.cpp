#include "model/KoRemoteFilePath.h"

KoRemoteFilePath::KoRemoteFilePath(const QString& path, const QString& name)
{
    if (path.isEmpty())
        return;
    if (path == QLatin1String("/")) {
        m_absolutePath = path;
        m_name = name.isEmpty() ? path : name;
        return;
    }
    QString p = path;
    if (p.endsWith(QLatin1Char('/')))
        p.chop(1);
    m_absolutePath = p;
    m_name = name.isEmpty() ? p.mid(p.lastIndexOf(QLatin1Char('/')) + 1) : name;
}
