#include "model/KoRemoteFile.h"

KoRemoteFile::KoRemoteFile(const QString& remoteServer, QString& path, int type, qint64 size, quint64 lastModified,
                           QString displayName)
{
    init(remoteServer, path, type, size, lastModified, displayName);
}

KoRemoteFile::KoRemoteFile(const QString& remoteServer, const QString& path, int type, qint64 size,
                           quint64 lastModified, const QString& displayName)
{
    QString p = path;
    init(remoteServer, p, type, size, lastModified, displayName);
}

KoRemoteFile::KoRemoteFile(const KoRemoteFile* other)
{
    if (!other)
        return;
    m_remoteServer = other->m_remoteServer;
    m_size = other->m_size;
    m_lastModified = other->m_lastModified;
    setFileType(other->getFileType());
    m_name = other->m_name;
    m_suffix = other->m_suffix;
    m_path = other->m_path;
    m_cut = other->m_cut;
}

KoRemoteFile::~KoRemoteFile() = default;

void KoRemoteFile::init(const QString& remoteServer, QString& path, int type, qint64 size, quint64 lastModified,
                        const QString& displayName)
{
    m_remoteServer = remoteServer;
    m_size = size;
    m_lastModified = static_cast<qint64>(lastModified);
    parseType(type);

    if (path == QLatin1String("/")) {
        m_name = path;
    } else {
        if (path.length() > 1 && path.endsWith(QLatin1Char('/')))
            path.chop(1);
        // Names come from the last component only: a dot in a parent folder says nothing.
        const QString last = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        const int lastDot = last.lastIndexOf(QLatin1Char('.'));
        if (!isFolder() && path.indexOf(QLatin1Char('.')) > 0 && lastDot >= 0) {
            m_name = last.left(lastDot);
            m_suffix = last.mid(lastDot + 1);
        } else if (displayName.contains(QLatin1Char('.'))) {
            const int dot = displayName.lastIndexOf(QLatin1Char('.'));
            m_name = displayName.left(dot);
            m_suffix = displayName.mid(dot + 1);
        } else {
            m_name = displayName.isEmpty() ? last : displayName;
        }
    }
    m_path = KoRemoteFilePath(path, displayName);
    m_cut = false;
}

int KoRemoteFile::fileTypeOfPhoneType(int type)
{
    switch (type) {
    case 100:
        return TypeFolder;
    case 200:
        return TypePhoto;
    case 300:
        return TypeVideo;
    case 400:
        return TypeAudio;
    case 500:
        return TypeTxt;
    case 501:
        return TypeWord;
    case 502:
        return TypePpt;
    case 503:
        return TypeExcel;
    case 504:
        return TypePdf;
    case 600:
        return TypeZip;
    case 601:
        return TypeApk;
    default:
        return TypeUnknown;
    }
}

void KoRemoteFile::parseType(int type)
{
    setFileType(fileTypeOfPhoneType(type));
}
