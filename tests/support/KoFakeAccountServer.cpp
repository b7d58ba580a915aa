#include "support/KoFakeAccountServer.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>

const char* const KoFakeAccountServer::kSessionCookie = "DEDIZO_SESSION";

namespace {

const QByteArray kPrefix = "/dedizo/";

QString sha256Hex(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

KoTestResponse result(int code, QJsonObject extra = QJsonObject())
{
    extra.insert(QStringLiteral("result"), code);
    return KoTestResponse::json(extra);
}

bool wellFormedPhone(const QString& phone)
{
    static const QRegularExpression re(QStringLiteral("^1[0-9]{10}$"));
    return re.match(phone).hasMatch();
}

} // namespace

KoFakeAccountServer::KoFakeAccountServer(QObject* parent)
    : QObject(parent)
    , m_http(new KoTestHttpServer(KoTestHttpServer::Https, this))
{
    m_http->setHandler([this](const KoTestRequest& r) { return handle(r); });
}

bool KoFakeAccountServer::start()
{
    return m_http->listen();
}

QString KoFakeAccountServer::baseUrl() const
{
    return m_http->baseUrl() + QString::fromLatin1(kPrefix);
}

void KoFakeAccountServer::addAccount(const QString& phone, const QString& password, int uid, const QString& nick)
{
    Account a;
    a.phone = phone;
    a.passwordHash = sha256Hex(password);
    a.uid = uid;
    a.nick = nick;
    m_accounts.append(a);
}

QString KoFakeAccountServer::passwordHash(const QString& phone) const
{
    for (const Account& a : m_accounts)
        if (a.phone == phone)
            return a.passwordHash;
    return QString();
}

void KoFakeAccountServer::setHeadImage(int uid, const QByteArray& png)
{
    if (Account* a = accountByUid(uid)) {
        a->head = png;
        ++a->headVersion;
    }
}

void KoFakeAccountServer::setUpdatePermission(int uid, int permission)
{
    if (Account* a = accountByUid(uid))
        a->permission = permission;
}

void KoFakeAccountServer::forceResult(const QByteArray& op, int result)
{
    m_forced.insert(op, result);
}

void KoFakeAccountServer::queueAnswer(const QByteArray& op, const KoTestResponse& response)
{
    m_http->queueResponse(kPrefix + op, response);
}

QList<KoTestRequest> KoFakeAccountServer::requestsTo(const QByteArray& op) const
{
    QList<KoTestRequest> out;
    const QByteArray path = kPrefix + op;
    for (const KoTestRequest& r : m_http->requests())
        if (r.pathOnly() == path)
            out.append(r);
    return out;
}

KoFakeAccountServer::Account* KoFakeAccountServer::accountByPhone(const QString& phone)
{
    for (Account& a : m_accounts)
        if (a.phone == phone)
            return &a;
    return nullptr;
}

KoFakeAccountServer::Account* KoFakeAccountServer::accountByUid(int uid)
{
    for (Account& a : m_accounts)
        if (a.uid == uid)
            return &a;
    return nullptr;
}

QByteArray KoFakeAccountServer::sessionToken(const KoTestRequest& request) const
{
    const QByteArray cookies = request.header("cookie");
    for (QByteArray part : cookies.split(';')) {
        part = part.trimmed();
        const int eq = part.indexOf('=');
        if (eq > 0 && part.left(eq) == kSessionCookie)
            return part.mid(eq + 1);
    }
    return QByteArray();
}

int KoFakeAccountServer::sessionUid(const KoTestRequest& request) const
{
    return m_sessions.value(sessionToken(request), 0);
}

QString KoFakeAccountServer::headUrl(const Account& account) const
{
    return baseUrl() + QStringLiteral("head/%1.png?v=%2").arg(account.uid).arg(account.headVersion);
}

KoTestResponse KoFakeAccountServer::handle(const KoTestRequest& request)
{
    const QByteArray path = request.pathOnly();
    if (!path.startsWith(kPrefix))
        return KoTestResponse::raw("not found", 404, "text/plain");
    const QByteArray op = path.mid(kPrefix.size());

    // The head images themselves are plain GETs.
    if (request.method == "GET" && op.startsWith("head/")) {
        const int uid = op.mid(5, op.indexOf('.') - 5).toInt();
        const Account* a = accountByUid(uid);
        if (!a || a->head.isEmpty())
            return KoTestResponse::raw("no such image", 404, "text/plain");
        return KoTestResponse::raw(a->head, 200, "image/png");
    }
    if (request.method != "POST")
        return KoTestResponse::raw("method not allowed", 405, "text/plain");

    const QJsonObject body = QJsonDocument::fromJson(request.bodyBytes()).object();
    const QString cmd = body.value(QStringLiteral("cmd")).toString();
    if (m_forced.contains(op))
        return result(m_forced.value(op));

    if (op == "user/login" && cmd == QLatin1String("LOGIN")) {
        Account* a = accountByPhone(body.value(QStringLiteral("phone")).toString());
        if (!a)
            return result(1020);
        if (body.value(QStringLiteral("password")).toString() != a->passwordHash)
            return result(1021);
        QByteArray token = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
        m_sessions.insert(token, a->uid);
        m_lastToken = token;
        KoTestResponse r = result(0, QJsonObject{{QStringLiteral("uid"), a->uid}, {QStringLiteral("nick"), a->nick}});
        r.headers.append({"Set-Cookie", QByteArray(kSessionCookie) + "=" + token + "; Path=/; Secure; HttpOnly"});
        return r;
    }
    if (op == "user/logout" && cmd == QLatin1String("LOGOUT")) {
        // Ends the session the request carries, no other one of the same user.
        const QByteArray token = sessionToken(request);
        if (!m_sessions.contains(token))
            return result(1030);
        m_sessions.remove(token);
        return result(0);
    }
    if (op == "user/nick" && cmd == QLatin1String("SET_NICK")) {
        Account* a = accountByUid(sessionUid(request));
        if (!a)
            return result(1030);
        a->nick = body.value(QStringLiteral("nick")).toString();
        return result(0);
    }
    if (op == "user/head" && cmd == QLatin1String("GET_HEAD")) {
        const Account* a = accountByUid(sessionUid(request));
        if (!a)
            return result(1030);
        return result(0, QJsonObject{{QStringLiteral("head"), a->head.isEmpty() ? QString() : headUrl(*a)}});
    }
    if (op == "user/updatePermission" && cmd == QLatin1String("UPDATE_PERMISSION")) {
        const Account* a = accountByUid(sessionUid(request));
        if (!a)
            return result(1030);
        return result(0, QJsonObject{{QStringLiteral("permission"), a->permission}});
    }
    if (op == "sms/send" && cmd == QLatin1String("SMS_SEND")) {
        const QString phone = body.value(QStringLiteral("phone")).toString();
        if (!wellFormedPhone(phone))
            return result(1000);
        if (!accountByPhone(phone))
            return result(1020);
        m_sentCodes.insert(phone, m_smsCode);
        return result(0);
    }
    if (op == "sms/check" && cmd == QLatin1String("SMS_CHECK")) {
        const QString phone = body.value(QStringLiteral("phone")).toString();
        const QString code = body.value(QStringLiteral("code")).toString();
        if (!wellFormedPhone(phone))
            return result(1000);
        if (!accountByPhone(phone))
            return result(1020);
        if (!m_sentCodes.contains(phone) || m_sentCodes.value(phone) != code)
            return result(1022);
        m_verified.insert(phone + QLatin1Char('\n') + code);
        return result(0);
    }
    if (op == "user/password" && cmd == QLatin1String("RESET_PASSWORD")) {
        const QString phone = body.value(QStringLiteral("phone")).toString();
        const QString code = body.value(QStringLiteral("code")).toString();
        Account* a = accountByPhone(phone);
        if (!a)
            return result(1020);
        if (!m_verified.remove(phone + QLatin1Char('\n') + code))
            return result(1022);
        const QString hash = body.value(QStringLiteral("password")).toString();
        static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
        if (!hex.match(hash).hasMatch())
            return result(-1);
        a->passwordHash = hash;
        m_sentCodes.remove(phone);
        return result(0);
    }
    if ((op == "log/uar" && cmd == QLatin1String("UPLOAD_UAR"))
        || (op == "log/dump" && cmd == QLatin1String("UPLOAD_DUMP"))) {
        Upload u;
        u.cmd = cmd.toLatin1();
        u.fileName = body.value(QStringLiteral("fileName")).toString();
        u.data = QByteArray::fromBase64(body.value(QStringLiteral("data")).toString().toLatin1());
        u.uid = body.value(QStringLiteral("uid")).toInt();
        u.deviceName = body.value(QStringLiteral("deviceName")).toString();
        if (u.fileName.isEmpty())
            return result(-1);
        m_uploads.append(u);
        return result(0);
    }
    return result(-1);
}

// ---------------------------------------------------------------------------

KoFakeUpdateSite::KoFakeUpdateSite(QObject* parent)
    : QObject(parent)
    , m_http(new KoTestHttpServer(KoTestHttpServer::Https, this))
{
}

bool KoFakeUpdateSite::start()
{
    return m_http->listen();
}

QString KoFakeUpdateSite::baseUrl() const
{
    return m_http->baseUrl() + QStringLiteral("/pc/mac/");
}

void KoFakeUpdateSite::setReleaseFile(const QByteArray& text)
{
    m_http->setResponse(releasePath(), KoTestResponse::raw(text, 200, "text/plain"));
}

void KoFakeUpdateSite::setTestFile(const QByteArray& text)
{
    m_http->setResponse(testPath(), KoTestResponse::raw(text, 200, "text/plain"));
}

QByteArray KoFakeUpdateSite::versionFile(int code, const QString& name)
{
    return "VERSION_CODE=" + QByteArray::number(code) + "\nversionName=" + name.toUtf8() + "\n";
}
