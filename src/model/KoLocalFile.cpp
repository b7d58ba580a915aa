#include "model/KoLocalFile.h"

#include "model/KoFileMimeType.h"

#include <QDateTime>
#include <QFileInfo>

// A folder picked with a trailing "/" still has its own name.
static QString lastComponent(const QString& path)
{
    QString p = path;
    while (p.length() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

KoLocalFile::KoLocalFile(const QString& path, QObject* parent)
    : KoAbstractFile(parent)
    , m_path(path)
{
    const QFileInfo info(path);
    splitName(lastComponent(path));
    m_size = info.size();
    const QDateTime modified = info.lastModified();
    m_lastModified = modified.isValid() ? modified.toMSecsSinceEpoch() : 0;
    if (info.isDir())
        setFileType(TypeFolder);
    else
        parseType(m_suffix);
}

KoLocalFile::KoLocalFile(const QString& path, const QString& fullName, int fileType, qint64 size, qint64 lastModified,
                         QObject* parent)
    : KoAbstractFile(parent)
    , m_path(path)
{
    splitName(lastComponent(path));
    if (!fullName.isEmpty() && getFullName() != fullName)
        splitName(fullName);
    m_size = size;
    m_lastModified = lastModified;
    setFileType(fileType);
}

KoLocalFile::~KoLocalFile() = default;

void KoLocalFile::splitName(const QString& fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        m_name = fileName;
        m_suffix.clear();
    } else {
        m_name = fileName.left(dot);
        m_suffix = fileName.mid(dot + 1);
    }
}

void KoLocalFile::parseType(const QString& suffix)
{
    setFileType(fileTypeOfSuffix(suffix));
}

int KoLocalFile::fileTypeOfSuffix(const QString& suffix)
{
    if (suffix.isEmpty())
        return TypeOther;
    return fileTypeOfMimeType(KoFileMimeType::getInstance()->getMimeType(suffix));
}

int KoLocalFile::fileTypeOfMimeType(const QString& mimeType)
{
    const QString mime = mimeType.trimmed().toLower();
    if (mime.isEmpty())
        return TypeOther;
    if (mime.startsWith(QLatin1String("image/")))
        return TypePhoto;
    if (mime.startsWith(QLatin1String("audio/")))
        return TypeAudio;
    if (mime.startsWith(QLatin1String("video/")) || mime.startsWith(QLatin1String("application/vnd.rn-realmedia")))
        return TypeVideo;
    if (mime == QLatin1String("application/msword") || mime == QLatin1String("application/rtf")
        || mime.startsWith(QLatin1String("application/vnd.openxmlformats-officedocument.wordprocessingml"))
        || mime == QLatin1String("application/vnd.oasis.opendocument.text")
        || mime == QLatin1String("application/vnd.apple.pages") || mime == QLatin1String("application/vnd.ms-works"))
        return TypeWord;
    if (mime == QLatin1String("application/vnd.ms-powerpoint")
        || mime.startsWith(QLatin1String("application/vnd.openxmlformats-officedocument.presentationml"))
        || mime == QLatin1String("application/vnd.oasis.opendocument.presentation")
        || mime == QLatin1String("application/vnd.apple.keynote"))
        return TypePpt;
    if (mime == QLatin1String("application/vnd.ms-excel") || mime == QLatin1String("text/csv")
        || mime.startsWith(QLatin1String("application/vnd.openxmlformats-officedocument.spreadsheetml"))
        || mime == QLatin1String("application/vnd.oasis.opendocument.spreadsheet")
        || mime == QLatin1String("application/vnd.apple.numbers"))
        return TypeExcel;
    if (mime == QLatin1String("application/pdf"))
        return TypePdf;
    if (mime.startsWith(QLatin1String("text/")))
        return TypeTxt;
    if (mime == QLatin1String("application/zip") || mime == QLatin1String("application/vnd.rar")
        || mime == QLatin1String("application/x-rar-compressed")
        || mime == QLatin1String("application/x-7z-compressed") || mime == QLatin1String("application/x-tar")
        || mime == QLatin1String("application/gzip") || mime == QLatin1String("application/x-bzip2")
        || mime == QLatin1String("application/x-xz"))
        return TypeZip;
    if (mime == QLatin1String("application/vnd.android.package-archive"))
        return TypeApk;
    return TypeOther;
}
