#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

class QFile;
class QObject;
class QNetworkReply;

// Static helpers shared by every layer. Usable with QtGui alone (no widgets).
class KoCommonUtil
{
public:
    // Largest body readAll accepts. Answers that go through readAll are small JSON
    // objects; anything bigger is treated as a broken answer and read as empty.
    static constexpr qint64 kMaxJsonAnswer = 64LL * 1024 * 1024;

    // MIME type of the in-app drag payload (one backslash).
    static const char* const kKoDragMimeType;

    // --- network bodies and JSON -------------------------------------------------

    // The bytes the reply holds now. Never runs the event loop and never pads:
    // call it on a finished reply to get the whole body. A null reply, a declared
    // Content-Length above kMaxJsonAnswer, or more than kMaxJsonAnswer bytes
    // available all give an empty array.
    static QByteArray readAll(QNetworkReply* reply);
    // The JSON object in bytes; an empty object when they are not a JSON object.
    static QJsonObject byteArrayToJson(QByteArray bytes);
    // Compact JSON text of an object, as UTF-8 bytes and as a string.
    static QByteArray jsonToByteArray(const QJsonObject& object);
    static QString jsonToString(const QJsonObject& object);
    // The JSON object in text; an empty object when it is not a JSON object.
    static QJsonObject stringToJson(const QString& text);

    // --- folders and files -------------------------------------------------------

    // First AppDataLocation, or the program's own folder; neither created nor checked.
    static QString getAppDataDir();
    // Puts the (partial) file in place of targetPath with one atomic rename, so the
    // target holds either its old content or the complete new one. Closes file first
    // when open. Returns false, touching nothing, when file is null or missing, the
    // target path is empty or is a folder, or the rename fails. name is not used.
    static bool renameKoDownloadSuffixFile(QFile* file, QString targetPath, QString name);
    // Empties the folder (hidden entries and subfolders included, symbolic links left
    // alone and never followed); the folder itself stays. Nothing when it is missing.
    static void removeAllFilesOfDir(QString dir);
    // Sets the file's modification time to dateTime, to whole seconds. False for an
    // empty path, an invalid date-time or a failed change. Does not run the event loop.
    static bool setModifiedTime(const QDateTime& dateTime, const QString& path);
    // Removes the file; nothing when it is missing or cannot be removed.
    static void deleteFile(QString path);
    // Creates the folder with all missing parents.
    static void mkdir(QString path);
    // Drops one trailing "/", then creates everything before the last "/".
    static void makeSureParentExist(QString path);
    // The whole content of a file or resource; empty when it cannot be opened.
    static QByteArray getQss(QString path);
    // True for a name a file may carry: not empty, not "." or "..", and none of
    // / : * ? " < > |
    static bool isValidFileName(const QString& name);
    // Longest a name we make up may take in UTF-8: every file system we write to holds it.
    static constexpr int kMaxFileNameBytes = 255;
    // The longest start of text whose UTF-8 form takes at most maxBytes; never splits a
    // character (a surrogate pair stays whole).
    static QString leftUtf8(const QString& text, int maxBytes);

    // --- hashes, random, this computer -------------------------------------------

    // Lower-case hex MD5 / SHA-256 of the UTF-8 bytes of text.
    static QString getMd5Str(QString const& text);
    static QString getSha256Str(QString const& text);
    // count random decimal digits.
    static QString getRandomDigits(int count);
    // Hardware address ("AA:BB:CC:DD:EE:FF") of the first non-loopback interface that
    // has one; empty when none exists.
    static QString getMacAddress();
    // This computer's IPv4 address on the LAN; empty when none is found.
    static QString getLocalIp();

    // --- QR pairing --------------------------------------------------------------

    // Compact JSON pairing text (see docs/protocol.md, "QR pairing text").
    static QString getQrJson(QString ip, int key);
    // size x size pixmap of text as a QR code (medium error correction): white
    // ground, black modules at an integer scale, centred with a quiet margin.
    // A null pixmap for size < 1; a blank white one when text is too long to encode.
    static QPixmap getQrcode(QString text, int size);

    // --- texts -------------------------------------------------------------------

    // "1023B", "1.00KB", "1.00MB", "1.00GB"; empty for a negative count.
    static QString getFileSizeStringFromLong(qint64 bytes);
    // Local time "yyyy.MM.dd HH:mm:ss".
    static QString getDateTimeFromMsec(qint64 msecs);

    // --- GUI helpers (QtGui only) ------------------------------------------------

    // Processes events until msecs have passed.
    static void sleepInLoop(unsigned int msecs);
    // Full geometry of the primary screen; an empty rect when there is none.
    static QRect getScreenGeometry();
    // In place: a transparent square of the shorter side with the image inside a circle.
    static void roundPixmap(QPixmap& pixmap);
    // The pixmap redrawn at opacity alpha (0..255).
    static QPixmap transparentPixmap(const QPixmap& pixmap, int alpha);
    // 25 x 25 red badge with count in white ("999+" above 999), the text always inside the
    // circle; drawn at the application's device pixel ratio.
    static QPixmap getNoticePoint(int count);
    // Opens url in the browser when it begins with "http".
    static void openHttpUrl(QString url);
    // How a request to open a local file or folder ended.
    enum OpenResult : int { Opened, Missing, NoApplication };
    // Long enough for a launcher that finds no application to say so.
    static constexpr int kLauncherSettleMsecs = 3000;
    // Asks the desktop to open the local file or folder at path; GUI thread only. done runs
    // once, on a later turn of the event loop and never after context is destroyed: Missing for
    // an empty path or one that is not there, NoApplication for an intact one the launcher could
    // not start on, crashed on or ended with a non-zero code (xdg-open, when on PATH, ends so when
    // no application takes it), Opened when it ended well or still runs settleMsecs after it
    // started: on a desktop it does not know, xdg-open keeps the application in the foreground
    // until the user closes it. Such a launcher is left running, unwatched, past context and the
    // program, and never answers again. Nothing blocks.
    static void openFileWithSystemApp(QString path, QObject* context, std::function<void(OpenResult)> done,
                                      int settleMsecs = kLauncherSettleMsecs);

    // --- drag payload ------------------------------------------------------------

    // Compact UTF-8 JSON {"path":[...]}.
    static QByteArray getKoDragDataFromPathList(const QStringList& paths);
    // The non-empty "path" strings of such a payload; an empty list for anything else.
    static QStringList getPathListFromKoDragData(const QByteArray& data);
};
