#include "model/KoFileMimeType.h"

#include <QMutexLocker>

KoFileMimeType* KoFileMimeType::s_instance = nullptr;
QMutex KoFileMimeType::s_mutex;

KoFileMimeType* KoFileMimeType::getInstance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new KoFileMimeType();
    return s_instance;
}

bool KoFileMimeType::hasInstance()
{
    QMutexLocker locker(&s_mutex);
    return s_instance != nullptr;
}

KoFileMimeType::KoFileMimeType()
{
    initData();
}

KoFileMimeType::~KoFileMimeType()
{
    {
        QMutexLocker locker(&s_mutex);
        if (s_instance == this)
            s_instance = nullptr;
    }
    m_table->clear();
    delete m_table;
}

QString KoFileMimeType::getMimeType(const QString& suffix) const
{
    return m_table->value(suffix.toLower());
}

QString KoFileMimeType::getMimeTypeOfFileName(const QString& fileName) const
{
    const QString last = fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
    const int dot = last.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : getMimeType(last.mid(dot + 1));
}

void KoFileMimeType::initData()
{
    // Covers every file-type code; see "MIME table" in docs/protocol.md.
    static const char* const kPairs[][2] = {
        // photo
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"jpe", "image/jpeg"},
        {"png", "image/png"},
        {"gif", "image/gif"},
        {"bmp", "image/bmp"},
        {"webp", "image/webp"},
        {"heic", "image/heic"},
        {"heif", "image/heif"},
        {"tif", "image/tiff"},
        {"tiff", "image/tiff"},
        {"ico", "image/x-icon"},
        {"icns", "image/x-icns"},
        {"svg", "image/svg+xml"},
        {"psd", "image/vnd.adobe.photoshop"},
        {"raw", "image/x-raw"},
        {"dng", "image/x-adobe-dng"},
        {"cr2", "image/x-canon-cr2"},
        {"nef", "image/x-nikon-nef"},
        // audio
        {"mp3", "audio/mpeg"},
        {"wav", "audio/wav"},
        {"aac", "audio/aac"},
        {"m4a", "audio/mp4"},
        {"flac", "audio/flac"},
        {"ogg", "audio/ogg"},
        {"oga", "audio/ogg"},
        {"opus", "audio/opus"},
        {"wma", "audio/x-ms-wma"},
        {"amr", "audio/amr"},
        {"ape", "audio/x-ape"},
        {"mid", "audio/midi"},
        {"midi", "audio/midi"},
        {"aif", "audio/aiff"},
        {"aiff", "audio/aiff"},
        {"caf", "audio/x-caf"},
        // video
        {"mp4", "video/mp4"},
        {"m4v", "video/x-m4v"},
        {"mov", "video/quicktime"},
        {"avi", "video/x-msvideo"},
        {"mkv", "video/x-matroska"},
        {"wmv", "video/x-ms-wmv"},
        {"flv", "video/x-flv"},
        {"3gp", "video/3gpp"},
        {"3g2", "video/3gpp2"},
        {"mpg", "video/mpeg"},
        {"mpeg", "video/mpeg"},
        {"webm", "video/webm"},
        {"rm", "application/vnd.rn-realmedia"},
        {"rmvb", "application/vnd.rn-realmedia-vbr"},
        {"ts", "video/mp2t"},
        {"mts", "video/mp2t"},
        {"vob", "video/dvd"},
        // word
        {"doc", "application/msword"},
        {"dot", "application/msword"},
        {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {"dotx", "application/vnd.openxmlformats-officedocument.wordprocessingml.template"},
        {"rtf", "application/rtf"},
        {"odt", "application/vnd.oasis.opendocument.text"},
        {"pages", "application/vnd.apple.pages"},
        {"wps", "application/vnd.ms-works"},
        // ppt
        {"ppt", "application/vnd.ms-powerpoint"},
        {"pps", "application/vnd.ms-powerpoint"},
        {"pot", "application/vnd.ms-powerpoint"},
        {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
        {"ppsx", "application/vnd.openxmlformats-officedocument.presentationml.slideshow"},
        {"potx", "application/vnd.openxmlformats-officedocument.presentationml.template"},
        {"odp", "application/vnd.oasis.opendocument.presentation"},
        {"key", "application/vnd.apple.keynote"},
        // excel
        {"xls", "application/vnd.ms-excel"},
        {"xlt", "application/vnd.ms-excel"},
        {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {"xltx", "application/vnd.openxmlformats-officedocument.spreadsheetml.template"},
        {"csv", "text/csv"},
        {"ods", "application/vnd.oasis.opendocument.spreadsheet"},
        {"numbers", "application/vnd.apple.numbers"},
        // pdf
        {"pdf", "application/pdf"},
        // text
        {"txt", "text/plain"},
        {"text", "text/plain"},
        {"log", "text/plain"},
        {"ini", "text/plain"},
        {"conf", "text/plain"},
        {"md", "text/markdown"},
        {"xml", "text/xml"},
        {"htm", "text/html"},
        {"html", "text/html"},
        {"css", "text/css"},
        {"lrc", "text/plain"},
        // archives
        {"zip", "application/zip"},
        {"rar", "application/vnd.rar"},
        {"7z", "application/x-7z-compressed"},
        {"tar", "application/x-tar"},
        {"gz", "application/gzip"},
        {"tgz", "application/gzip"},
        {"bz2", "application/x-bzip2"},
        {"xz", "application/x-xz"},
        {"iso", "application/x-iso9660-image"},
        // apk
        {"apk", "application/vnd.android.package-archive"},
        // other known kinds
        {"json", "application/json"},
        {"js", "application/javascript"},
        {"exe", "application/x-msdownload"},
        {"dmg", "application/x-apple-diskimage"},
        {"ipa", "application/octet-stream"},
        {"bin", "application/octet-stream"},
        {"epub", "application/epub+zip"},
        {"ttf", "font/ttf"},
        {"otf", "font/otf"},
    };
    m_table = new QHash<QString, QString>();
    m_table->reserve(int(sizeof(kPairs) / sizeof(kPairs[0])));
    for (const auto& pair : kPairs)
        m_table->insert(QString::fromLatin1(pair[0]), QString::fromLatin1(pair[1]));
}
