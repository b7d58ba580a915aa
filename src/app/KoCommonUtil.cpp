#include "app/KoCommonUtil.h"

#include "app/KoThisMachineInfo.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <cstdio>

#include <qrcodegen.hpp>

const char* const KoCommonUtil::kKoDragMimeType = "reraze\\drag-data";

// --- network bodies and JSON ---------------------------------------------------

QByteArray KoCommonUtil::readAll(QNetworkReply* reply)
{
    // An aborted answer is no whole answer, whatever part of it arrived.
    if (!reply || reply->error() == QNetworkReply::OperationCanceledError)
        return QByteArray();
    const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
    if (declared.isValid() && declared.toLongLong() > kMaxJsonAnswer)
        return QByteArray();
    // read(n) reserves n bytes first: ask for what is there, not for the cap.
    const qint64 available = reply->bytesAvailable();
    if (available <= 0 || available > kMaxJsonAnswer)
        return QByteArray();
    return reply->read(available);
}

QJsonObject KoCommonUtil::byteArrayToJson(QByteArray bytes)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return QJsonObject();
    return doc.object();
}

QByteArray KoCommonUtil::jsonToByteArray(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString KoCommonUtil::jsonToString(const QJsonObject& object)
{
    return QString::fromUtf8(jsonToByteArray(object));
}

QJsonObject KoCommonUtil::stringToJson(const QString& text)
{
    return byteArrayToJson(text.toUtf8());
}

// --- folders and files ---------------------------------------------------------

QString KoCommonUtil::getAppDataDir()
{
    const QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
    if (!dirs.isEmpty() && !dirs.first().isEmpty())
        return dirs.first();
    return QCoreApplication::applicationDirPath();
}

bool KoCommonUtil::renameKoDownloadSuffixFile(QFile* file, QString targetPath, QString name)
{
    Q_UNUSED(name)
    if (!file || targetPath.isEmpty())
        return false;
    if (file->isOpen())
        file->close();
    const QString source = file->fileName();
    if (source.isEmpty() || !QFileInfo(source).isFile())
        return false;
    // A folder at the target (or a link to one) is the user's data, never ours to replace.
    if (QFileInfo(targetPath).isDir())
        return false;
    if (QFileInfo(source).absoluteFilePath() == QFileInfo(targetPath).absoluteFilePath())
        return true;
    // rename(2) replaces an existing file atomically: no moment without a target,
    // and on failure the old target and the partial file both stay as they were.
    return std::rename(QFile::encodeName(source).constData(), QFile::encodeName(targetPath).constData()) == 0;
}

static void removeDirContent(const QString& dir)
{
    const QFileInfoList entries = QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                          | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink())
            continue;
        if (entry.isDir()) {
            removeDirContent(entry.absoluteFilePath());
            QDir().rmdir(entry.absoluteFilePath());
        } else {
            QFile::remove(entry.absoluteFilePath());
        }
    }
}

void KoCommonUtil::removeAllFilesOfDir(QString dir)
{
    if (dir.isEmpty())
        return;
    const QFileInfo info(dir);
    if (!info.exists() || !info.isDir())
        return;
    removeDirContent(dir);
}

bool KoCommonUtil::setModifiedTime(const QDateTime& dateTime, const QString& path)
{
    if (path.isEmpty() || dateTime.isNull() || !dateTime.isValid())
        return false;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const QDateTime whole = QDateTime::fromSecsSinceEpoch(dateTime.toSecsSinceEpoch());
    const bool ok = file.setFileTime(whole, QFileDevice::FileModificationTime);
    file.close();
    return ok;
}

void KoCommonUtil::deleteFile(QString path)
{
    if (path.isEmpty())
        return;
    if (QFileInfo(path).isDir())
        return;
    QFile::remove(path);
}

void KoCommonUtil::mkdir(QString path)
{
    if (path.isEmpty())
        return;
    QDir().mkpath(path);
}

void KoCommonUtil::makeSureParentExist(QString path)
{
    if (path.endsWith('/'))
        path.chop(1);
    const int slash = path.lastIndexOf('/');
    if (slash <= 0)
        return;
    QDir().mkpath(path.left(slash));
}

QByteArray KoCommonUtil::getQss(QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool KoCommonUtil::isValidFileName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    static const QString forbidden = QStringLiteral("/:*?\"<>|");
    for (const QChar c : name) {
        if (forbidden.contains(c))
            return false;
    }
    return true;
}

// --- hashes, random, this computer ---------------------------------------------

QString KoCommonUtil::leftUtf8(const QString& text, int maxBytes)
{
    int bytes = 0;
    int i = 0;
    while (i < text.size()) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const ushort u = text.at(i).unicode();
        // A lone surrogate is written as U+FFFD, three bytes.
        const int width = pair ? 4 : (u < 0x80 ? 1 : (u < 0x800 ? 2 : 3));
        if (bytes + width > maxBytes)
            break;
        bytes += width;
        i += pair ? 2 : 1;
    }
    return text.left(i);
}

QString KoCommonUtil::getMd5Str(QString const& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

QString KoCommonUtil::getSha256Str(QString const& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString KoCommonUtil::getRandomDigits(int count)
{
    QString digits;
    if (count <= 0)
        return digits;
    digits.reserve(count);
    for (int i = 0; i < count; ++i)
        digits.append(QChar('0' + int(QRandomGenerator::global()->bounded(10))));
    return digits;
}

QString KoCommonUtil::getMacAddress()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        if (iface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QString mac = iface.hardwareAddress();
        // Tunnels and some virtual links report a blank or all-zero address.
        if (mac.isEmpty() || mac.count(':') != 5 || mac == QLatin1String("00:00:00:00:00:00"))
            continue;
        return mac.toUpper();
    }
    return QString();
}

QString KoCommonUtil::getLocalIp()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        const auto flags = iface.flags();
        if (flags.testFlag(QNetworkInterface::IsLoopBack) || !flags.testFlag(QNetworkInterface::IsUp)
            || !flags.testFlag(QNetworkInterface::IsRunning))
            continue;
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address.protocol() != QAbstractSocket::IPv4Protocol || address.isLoopback())
                continue;
            // 169.254/16 is what a link gets without a DHCP answer: no phone is there.
            if (address.isInSubnet(QHostAddress(QStringLiteral("169.254.0.0")), 16))
                continue;
            return address.toString();
        }
    }
    return QString();
}

// --- QR pairing ----------------------------------------------------------------

QString KoCommonUtil::getQrJson(QString ip, int key)
{
    KoThisMachineInfo* machine = KoThisMachineInfo::getInstance();
    QJsonObject object;
    object.insert(QStringLiteral("ip"), ip);
    object.insert(QStringLiteral("key"), key);
    object.insert(QStringLiteral("deviceId"), machine->getDeviceName());
    object.insert(QStringLiteral("deviceName"), machine->getDeviceNick());
    object.insert(QStringLiteral("deviceType"), machine->getDeviceType());
    return jsonToString(object);
}

QPixmap KoCommonUtil::getQrcode(QString text, int size)
{
    if (size < 1)
        return QPixmap();
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::white);
    try {
        const QByteArray utf8 = text.toUtf8();
        const qrcodegen::QrCode qr = qrcodegen::QrCode::encodeText(utf8.constData(), qrcodegen::QrCode::Ecc::MEDIUM);
        const int modules = qr.getSize();
        // Two modules of quiet margin at least; the rest of the pixels widen it.
        int scale = size / (modules + 4);
        if (scale < 1)
            scale = qMax(1, size / modules);
        const int offset = (size - modules * scale) / 2;
        QPainter painter(&image);
        for (int y = 0; y < modules; ++y) {
            for (int x = 0; x < modules; ++x) {
                if (qr.getModule(x, y))
                    painter.fillRect(offset + x * scale, offset + y * scale, scale, scale, Qt::black);
            }
        }
    } catch (const std::exception&) {
        // Too long to encode: a blank code rather than a crash.
    }
    return QPixmap::fromImage(image);
}

// --- texts ---------------------------------------------------------------------

QString KoCommonUtil::getFileSizeStringFromLong(qint64 bytes)
{
    if (bytes < 0)
        return QString();
    if (bytes < 1024)
        return QString::number(bytes) + QStringLiteral("B");
    float value = float(bytes) / 1024.0f;
    if (value < 1024.0f)
        return QString::number(double(value), 'f', 2) + QStringLiteral("KB");
    value /= 1024.0f;
    if (value < 1024.0f)
        return QString::number(double(value), 'f', 2) + QStringLiteral("MB");
    value /= 1024.0f;
    return QString::number(double(value), 'f', 2) + QStringLiteral("GB");
}

QString KoCommonUtil::getDateTimeFromMsec(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).toLocalTime().toString(QStringLiteral("yyyy.MM.dd HH:mm:ss"));
}

// --- GUI helpers ---------------------------------------------------------------

void KoCommonUtil::sleepInLoop(unsigned int msecs)
{
    QEventLoop loop;
    QTimer::singleShot(int(qMin<unsigned int>(msecs, INT_MAX)), &loop, &QEventLoop::quit);
    loop.exec();
}

QRect KoCommonUtil::getScreenGeometry()
{
    if (!qGuiApp)
        return QRect();
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

void KoCommonUtil::roundPixmap(QPixmap& pixmap)
{
    if (pixmap.isNull())
        return;
    const int side = qMin(pixmap.width(), pixmap.height());
    QPixmap round(side, side);
    round.fill(Qt::transparent);
    QPainter painter(&round);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addEllipse(0, 0, side, side);
    painter.setClipPath(clip);
    painter.drawPixmap((side - pixmap.width()) / 2, (side - pixmap.height()) / 2, pixmap);
    painter.end();
    pixmap = round;
}

QPixmap KoCommonUtil::transparentPixmap(const QPixmap& pixmap, int alpha)
{
    if (pixmap.isNull())
        return pixmap;
    QPixmap result(pixmap.size());
    result.setDevicePixelRatio(pixmap.devicePixelRatio());
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setOpacity(qBound(0, alpha, 255) / 255.0);
    painter.drawPixmap(0, 0, pixmap);
    painter.end();
    return result;
}

QPixmap KoCommonUtil::getNoticePoint(int count)
{
    const qreal side = 25;
    const qreal ratio = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? qGuiApp->devicePixelRatio()
                                                                                     : 1;
    QPixmap badge(qRound(side * ratio), qRound(side * ratio));
    badge.setDevicePixelRatio(ratio);
    badge.fill(Qt::transparent);
    QPainter painter(&badge);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 0, 0));
    painter.drawEllipse(QRectF(0, 0, side, side));

    const QString text = count > 999 ? QStringLiteral("999+") : QString::number(count);
    int pixelSize = count > 999 ? 10 : count >= 100 ? 11 : 12;
    QFont font(QStringLiteral("Microsoft YaHei"));
    QRectF ink;
    // The text's ink, centred, keeps a pixel from the rim: smaller type where it would not.
    const qreal room = side / 2 - 1;
    for (;; --pixelSize) {
        font.setPixelSize(pixelSize);
        ink = QFontMetricsF(font).tightBoundingRect(text);
        if (std::hypot(ink.width() / 2, ink.height() / 2) <= room || pixelSize <= 6)
            break;
    }
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QPointF((side - ink.width()) / 2 - ink.left(), (side - ink.height()) / 2 - ink.top()), text);
    painter.end();
    return badge;
}

void KoCommonUtil::openHttpUrl(QString url)
{
    if (!url.startsWith(QLatin1String("http")))
        return;
    QDesktopServices::openUrl(QUrl(url));
}

namespace {
using OpenAnswer = std::function<void(KoCommonUtil::OpenResult)>;

void answerLater(QObject* context, OpenAnswer done, KoCommonUtil::OpenResult result)
{
    QMetaObject::invokeMethod(
        context, [done = std::move(done), result] { done(result); }, Qt::QueuedConnection);
}

// The desktop services start the same launcher detached and call that success; run it here to
// learn how it ended.
void runLauncher(const QString& launcher, const QString& path, int settleMsecs, QObject* context, OpenAnswer done)
{
    // Not the caller's child: the launcher may outlive the page that asked.
    auto* process = new QProcess(QCoreApplication::instance());
    // Through a shell that waits on it: QProcess kills what it runs at quit, and killing the shell
    // once the launcher has settled leaves the launcher running, adopted by init.
    process->setProgram(QStringLiteral("/bin/sh"));
    process->setArguments({QStringLiteral("-c"), QStringLiteral("\"$0\" \"$1\" & wait $!"), launcher, path});
    process->setStandardInputFile(QProcess::nullDevice());
    // No pipe of ours that an application left running could write to after we close it.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    auto* settle = new QTimer(process);
    settle->setSingleShot(true);
    const auto answer = [process, settle, context = QPointer<QObject>(context),
                         done](KoCommonUtil::OpenResult result) {
        // A crash brings both an error and the finish; answer the first only.
        settle->stop();
        process->disconnect();
        if (context)
            answerLater(context, done, result);
    };
    QObject::connect(process, &QProcess::errorOccurred, process, [process, answer](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        answer(KoCommonUtil::NoApplication);
        process->deleteLater();
    });
    const auto finished = QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished);
    QObject::connect(process, finished, process, [process, path, answer](int code, QProcess::ExitStatus status) {
        // The file may have gone while the launcher looked for an application.
        answer(status == QProcess::NormalExit && !code ? KoCommonUtil::Opened
                   : QFileInfo::exists(path)           ? KoCommonUtil::NoApplication
                                                       : KoCommonUtil::Missing);
        process->deleteLater();
    });
    QObject::connect(settle, &QTimer::timeout, process, [process, answer, finished] {
        answer(KoCommonUtil::Opened);
        QObject::connect(process, finished, process, &QObject::deleteLater);
        process->kill();
    });
    process->start();
    settle->start(settleMsecs);
}
} // namespace

void KoCommonUtil::openFileWithSystemApp(QString path, QObject* context, std::function<void(OpenResult)> done,
                                         int settleMsecs)
{
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        answerLater(context, std::move(done), Missing);
        return;
    }
    // Absolute: a relative name could read as one of the launcher's options.
    const QString absolute = QFileInfo(path).absoluteFilePath();
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!launcher.isEmpty()) {
        runLauncher(launcher, absolute, settleMsecs, context, std::move(done));
        return;
    }
#endif
    answerLater(context, std::move(done),
                QDesktopServices::openUrl(QUrl::fromLocalFile(absolute)) ? Opened : NoApplication);
}

// --- drag payload --------------------------------------------------------------

QByteArray KoCommonUtil::getKoDragDataFromPathList(const QStringList& paths)
{
    QJsonObject object;
    object.insert(QStringLiteral("path"), QJsonArray::fromStringList(paths));
    return jsonToByteArray(object);
}

QStringList KoCommonUtil::getPathListFromKoDragData(const QByteArray& data)
{
    QStringList paths;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return paths;
    const QJsonArray array = doc.object().value(QStringLiteral("path")).toArray();
    // Anything but a non-empty string is skipped: an empty path would reach a move as the root.
    for (const QJsonValue& value : array) {
        const QString path = value.toString();
        if (!path.isEmpty())
            paths.append(path);
    }
    return paths;
}
