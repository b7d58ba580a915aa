#pragma once

// Loopback stand-in for the account server (HTTPS, paths under "/dedizo/") and for the
// update site that serves the version files. Both speak docs/protocol.md, "Account server"
// and "Update check". Tests drive every answer the dialogs tell apart: real results from
// the fake's own account book, forced result codes per operation, and broken answers
// (no answer, empty or non-JSON bodies) queued on the underlying KoTestHttpServer.

#include "support/KoTestHttpServer.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class KoFakeAccountServer : public QObject
{
    Q_OBJECT
public:
    struct Upload {
        QByteArray cmd; // "UPLOAD_UAR" or "UPLOAD_DUMP"
        QString fileName;
        QByteArray data; // decoded
        int uid = 0;
        QString deviceName;
    };

    static const char* const kSessionCookie; // "DEDIZO_SESSION"

    explicit KoFakeAccountServer(QObject* parent = nullptr);
    bool start();
    // "https://localhost:<port>/dedizo/"
    QString baseUrl() const;
    KoTestHttpServer* http() { return m_http; }

    void addAccount(const QString& phone, const QString& password, int uid, const QString& nick);
    // SHA-256 hex the server holds for the phone; empty when unknown.
    QString passwordHash(const QString& phone) const;
    // The head image of a user; every call gives it a new address.
    void setHeadImage(int uid, const QByteArray& png);
    void setUpdatePermission(int uid, int permission);
    // Code every SMS request "sends" (default "123456").
    void setSmsCode(const QString& code) { m_smsCode = code; }

    // Forces the "result" of an operation (path below "/dedizo/", e.g. "user/login") until cleared.
    void forceResult(const QByteArray& op, int result);
    void clearForcedResults() { m_forced.clear(); }
    // Answers the next request of op with response instead of the account book.
    void queueAnswer(const QByteArray& op, const KoTestResponse& response);

    // Requests that reached op, in order.
    QList<KoTestRequest> requestsTo(const QByteArray& op) const;
    QList<Upload> uploads() const { return m_uploads; }
    void clearUploads() { m_uploads.clear(); }
    // Session token the last successful login handed out.
    QByteArray lastSessionToken() const { return m_lastToken; }

private:
    struct Account {
        QString phone;
        QString passwordHash;
        int uid = 0;
        QString nick;
        QByteArray head;
        int headVersion = 0;
        int permission = 0;
    };

    KoTestResponse handle(const KoTestRequest& request);
    Account* accountByPhone(const QString& phone);
    Account* accountByUid(int uid);
    QByteArray sessionToken(const KoTestRequest& request) const;
    // The uid of the request's valid session cookie, 0 when none.
    int sessionUid(const KoTestRequest& request) const;
    QString headUrl(const Account& account) const;

    KoTestHttpServer* m_http = nullptr;
    QList<Account> m_accounts;
    QHash<QByteArray, int> m_sessions;   // token -> uid
    QHash<QByteArray, int> m_forced;     // op -> result
    QHash<QString, QString> m_sentCodes; // phone -> code sent
    QSet<QString> m_verified;            // "phone\ncode" accepted by the SMS check
    QString m_smsCode = QStringLiteral("123456");
    QByteArray m_lastToken;
    QList<Upload> m_uploads;
};

// The download site: "version.txt" / "version_test.txt" under "/pc/mac/".
class KoFakeUpdateSite : public QObject
{
    Q_OBJECT
public:
    explicit KoFakeUpdateSite(QObject* parent = nullptr);
    bool start();
    // "https://localhost:<port>/pc/mac/"
    QString baseUrl() const;
    KoTestHttpServer* http() { return m_http; }

    void setReleaseFile(const QByteArray& text);
    void setTestFile(const QByteArray& text);
    // "VERSION_CODE=<code>\nversionName=<name>\n"
    static QByteArray versionFile(int code, const QString& name);
    QByteArray releasePath() const { return "/pc/mac/version.txt"; }
    QByteArray testPath() const { return "/pc/mac/version_test.txt"; }

private:
    KoTestHttpServer* m_http = nullptr;
};
