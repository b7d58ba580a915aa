#include "net/KoUser.h"

#include "app/KoCommonUtil.h"
#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "net/KoNetworkObject.h"
#include "net/KoReplyMap.h"
#include "net/KoReplyType.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QNetworkReply>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

#include <cmath>
#include <memory>

KoUser* KoUser::s_instance = nullptr;
QMutex KoUser::s_mutex;

namespace {

// Reply type codes of the account requests.
const int kTypeLogin = 1001;
const int kTypeLogout = 1002;
const int kTypeNick = 1003;
const int kTypeResetPassword = 1004;
const int kTypeHead = 1005;
const int kTypeUpdatePermission = 1006;
const int kTypeSmsSend = 4001;
const int kTypeSmsCheck = 4002;

// Stages of a head-image request (saved value 0).
const int kHeadStageQuery = 0;
const int kHeadStageImage = 1;

// Larger answers are not a head image we want to keep.
const qint64 kMaxHeadImageBytes = 8LL * 1024 * 1024;

const char* const kKeyId = "id";
const char* const kKeyPhone = "phone";
const char* const kKeyPassword = "password";
const char* const kKeyNick = "nick";
const char* const kKeyHead = "head";
const char* const kKeyState = "state";
const char* const kKeyUpdatePermission = "updatePermission";

// The integer "result"; -1 when missing or not an integer.
int resultOf(const QJsonObject& json)
{
    const QJsonValue v = json.value(QStringLiteral("result"));
    if (!v.isDouble())
        return -1;
    const double d = v.toDouble();
    if (std::floor(d) != d || d < INT_MIN || d > INT_MAX)
        return -1;
    return int(d);
}

} // namespace

KoUser* KoUser::getInstance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new KoUser();
    return s_instance;
}

KoUser::KoUser()
    : KoNetworkHelper(nullptr)
{
    initData();
    initConnection();
}

KoUser::~KoUser()
{
    m_reloginTimer->stop();
    QMutexLocker locker(&s_mutex);
    if (s_instance == this)
        s_instance = nullptr;
}

void KoUser::initData()
{
    m_reloginTimer = new QTimer(this);
    m_reloginTimer->setInterval(kReloginIntervalMs);
    load();
}

void KoUser::initConnection()
{
    connect(m_reloginTimer, &QTimer::timeout, this, &KoUser::onReloginTimeout);
    m_reloginTimer->start();
}

void KoUser::load()
{
    const QVariantMap v = KoSettings::getInstance()->groupValues(QString::fromLatin1(KoSettings::kGroupUser));
    m_id = v.value(QString::fromLatin1(kKeyId)).toInt();
    m_phone = v.value(QString::fromLatin1(kKeyPhone)).toString();
    m_passwordHash = v.value(QString::fromLatin1(kKeyPassword)).toString();
    m_nick = v.value(QString::fromLatin1(kKeyNick)).toString();
    m_headUrl = v.value(QString::fromLatin1(kKeyHead)).toString();
    m_updatePermission = v.value(QString::fromLatin1(kKeyUpdatePermission)).toInt() == 1 ? 1 : 0;
    const int saved = v.value(QString::fromLatin1(kKeyState)).toInt();
    m_state = (saved != kStateSignedOut && m_id != 0) ? kStateRestored : kStateSignedOut;
    if (m_state == kStateSignedOut)
        m_id = 0;
    if (m_nick.isEmpty()) {
        // Keep the guest nick stable from now on.
        m_nick = makeGuestNick();
        save();
    }
}

void KoUser::save()
{
    QVariantMap v;
    v.insert(QString::fromLatin1(kKeyId), m_id);
    v.insert(QString::fromLatin1(kKeyPhone), m_phone);
    v.insert(QString::fromLatin1(kKeyPassword), m_passwordHash);
    v.insert(QString::fromLatin1(kKeyNick), m_nick);
    v.insert(QString::fromLatin1(kKeyHead), m_headUrl);
    v.insert(QString::fromLatin1(kKeyState), m_state == kStateSignedOut ? 0 : 1);
    v.insert(QString::fromLatin1(kKeyUpdatePermission), m_updatePermission);
    KoSettings::getInstance()->setGroupValues(QString::fromLatin1(KoSettings::kGroupUser), v);
}

QString KoUser::makeGuestNick()
{
    return QStringLiteral("游客") + KoCommonUtil::getRandomDigits(6);
}

bool KoUser::isLogin() const
{
    return m_state == kStateRestored || m_state == kStateConfirmed;
}

int KoUser::getId() const
{
    return m_state == kStateSignedOut ? 0 : m_id;
}

QString KoUser::getNick() const
{
    return m_nick.isEmpty() ? makeGuestNick() : m_nick;
}

QString KoUser::getHeadPath() const
{
    const int id = getId();
    if (id == 0)
        return QString();
    return QDir(KoCommonUtil::getAppDataDir()).filePath(QStringLiteral("user/%1/head.png").arg(id));
}

bool KoUser::headImageExists() const
{
    const QString path = getHeadPath();
    return !path.isEmpty() && QFileInfo(path).isFile();
}

void KoUser::setPhone(QString phone)
{
    m_phone = phone;
    save();
}

void KoUser::setPassword(QString password)
{
    m_passwordHash = KoCommonUtil::getSha256Str(password);
    save();
}

// ---- requests ---------------------------------------------------------------

void KoUser::sendJson(const QString& op, QJsonObject body, KoReplyType* record)
{
    const QString url = KoServerConfig::accountBaseUrl() + op;
    if (!isSecureUrl(url)) {
        failRequest(record);
        return;
    }
    postHttpData(body, url, record, nullptr);
}

void KoUser::getSecure(const QString& url, KoReplyType* record)
{
    if (!isSecureUrl(url)) {
        failRequest(record);
        return;
    }
    getHttpData(url, record, nullptr, kMaxHeadImageBytes);
}

void KoUser::failRequest(KoReplyType* record)
{
    failLater(record, [this](KoReplyType* r) { handleAnswer(r, nullptr, nullptr); });
}

void KoUser::login(Callback callback)
{
    auto* record = new KoReplyType(kTypeLogin);
    record->setData(std::move(callback));
    record->setDdl(kRequestDeadlineMs);
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("LOGIN")},
                     {QStringLiteral("phone"), m_phone},
                     {QStringLiteral("password"), m_passwordHash}};
    sendJson(QStringLiteral("user/login"), body, record);
}

void KoUser::logout()
{
    const int uid = m_id;
    m_id = 0;
    m_passwordHash.clear();
    m_headUrl.clear();
    m_updatePermission = 0;
    m_state = kStateSignedOut;
    m_nick = makeGuestNick();
    save();

    auto* record = new KoReplyType(kTypeLogout);
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("LOGOUT")}, {QStringLiteral("uid"), uid}};
    sendJson(QStringLiteral("user/logout"), body, record);
    emit logoutResult();
}

void KoUser::checkHead(Callback callback)
{
    auto* record = new KoReplyType(kTypeHead);
    record->addValue(kHeadStageQuery)->addValue(getId());
    record->setData(std::move(callback));
    record->setDdl(kRequestDeadlineMs);
    if (!isLogin()) {
        failRequest(record);
        return;
    }
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("GET_HEAD")}, {QStringLiteral("uid"), getId()}};
    sendJson(QStringLiteral("user/head"), body, record);
}

void KoUser::requestCode(QString phone, Callback callback)
{
    auto* record = new KoReplyType(kTypeSmsSend);
    record->setData(std::move(callback));
    record->setDdl(kRequestDeadlineMs);
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("SMS_SEND")}, {QStringLiteral("phone"), phone}};
    sendJson(QStringLiteral("sms/send"), body, record);
}

void KoUser::validatePhone(QString phone, QString code, Callback callback)
{
    auto* record = new KoReplyType(kTypeSmsCheck);
    record->addValue(phone)->addValue(code);
    record->setData(std::move(callback));
    record->setDdl(kRequestDeadlineMs);
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("SMS_CHECK")},
                     {QStringLiteral("phone"), phone},
                     {QStringLiteral("code"), code}};
    sendJson(QStringLiteral("sms/check"), body, record);
}

void KoUser::resetPassword(QString password, Callback callback)
{
    const QString hash = KoCommonUtil::getSha256Str(password);
    const QString phone = m_verifiedPhone.isEmpty() ? m_phone : m_verifiedPhone;
    auto* record = new KoReplyType(kTypeResetPassword);
    record->addValue(hash)->addValue(phone);
    record->setData(std::move(callback));
    record->setDdl(kRequestDeadlineMs);
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("RESET_PASSWORD")},
                     {QStringLiteral("phone"), phone},
                     {QStringLiteral("code"), m_verifiedCode},
                     {QStringLiteral("password"), hash}};
    sendJson(QStringLiteral("user/password"), body, record);
}

void KoUser::changeNick(QString nick, Callback callback)
{
    auto* record = new KoReplyType(kTypeNick);
    record->addValue(nick);
    record->setData(std::move(callback));
    record->setDdl(kRequestDeadlineMs);
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("SET_NICK")},
                     {QStringLiteral("uid"), getId()},
                     {QStringLiteral("nick"), nick}};
    sendJson(QStringLiteral("user/nick"), body, record);
}

void KoUser::requestUpdatePermission()
{
    auto* record = new KoReplyType(kTypeUpdatePermission);
    record->addValue(getId());
    record->setDdl(kRequestDeadlineMs);
    QJsonObject body{{QStringLiteral("cmd"), QStringLiteral("UPDATE_PERMISSION")}, {QStringLiteral("uid"), getId()}};
    sendJson(QStringLiteral("user/updatePermission"), body, record);
}

void KoUser::onReloginTimeout()
{
    if (isLogin())
        login(nullptr);
}

// ---- answers ----------------------------------------------------------------

void KoUser::onFinished(QNetworkReply* reply)
{
    // Out of the map before anything else: a callback may run a nested event loop, during
    // which neither the sweep nor another finished signal may see this request again.
    std::unique_ptr<KoReplyType> record = takeRecord(reply);
    if (!record)
        return;

    if (record->getType() == kTypeHead && record->getIntValue(0) == kHeadStageImage) {
        handleHead(record.get(), nullptr, reply);
        return;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QJsonObject json;
    bool usable = false;
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        const QJsonDocument doc = QJsonDocument::fromJson(KoCommonUtil::readAll(reply));
        if (doc.isObject()) {
            json = doc.object();
            usable = true;
        }
    }
    handleAnswer(record.get(), usable ? &json : nullptr, reply);
}

void KoUser::onTimeout(QNetworkReply* reply)
{
    std::unique_ptr<KoReplyType> record = takeRecord(reply);
    if (!record)
        return;
    handleAnswer(record.get(), nullptr, nullptr);
}

void KoUser::call(KoReplyType* record, int code)
{
    auto* cb = std::any_cast<Callback>(&record->getData());
    if (!cb || !*cb)
        return;
    // The record may go away during the call (nested event loops): call a copy.
    Callback copy = *cb;
    *cb = nullptr;
    copy(code);
}

void KoUser::handleAnswer(KoReplyType* record, const QJsonObject* json, QNetworkReply* reply)
{
    switch (record->getType()) {
    case kTypeLogin:
        handleLogin(record, json);
        break;
    case kTypeHead:
        handleHead(record, json, reply);
        break;
    case kTypeNick:
        if (json && resultOf(*json) == 0) {
            m_nick = record->getStringValue(0);
            save();
        }
        call(record, json ? resultOf(*json) : kNoAnswer);
        break;
    case kTypeResetPassword:
        if (json && resultOf(*json) == 0) {
            // The new password belongs to the number that was verified, which need not be
            // the one stored: both go together, so the next login uses a matching pair.
            m_passwordHash = record->getStringValue(0);
            m_phone = record->getStringValue(1);
            m_verifiedPhone.clear();
            m_verifiedCode.clear();
            save();
        }
        call(record, json ? resultOf(*json) : kNoAnswer);
        break;
    case kTypeSmsCheck:
        if (json && resultOf(*json) == 0) {
            m_verifiedPhone = record->getStringValue(0);
            m_verifiedCode = record->getStringValue(1);
        }
        call(record, json ? resultOf(*json) : kNoAnswer);
        break;
    case kTypeSmsSend:
        call(record, json ? resultOf(*json) : kNoAnswer);
        break;
    case kTypeUpdatePermission:
        // Only for the user it was asked for; a failed request leaves the channel as it was.
        if (json && resultOf(*json) == 0 && record->getIntValue(0) == getId() && getId() != 0) {
            m_updatePermission = json->value(QStringLiteral("permission")).toInt() == 1 ? 1 : 0;
            save();
        }
        break;
    case kTypeLogout:
    default:
        break;
    }
}

void KoUser::handleLogin(KoReplyType* record, const QJsonObject* json)
{
    if (!json) {
        // No usable answer: like a missed deadline, the account stays as it was so that the
        // periodic re-login tries again.
        call(record, kNoAnswer);
        emit loginResult(kNoAnswer);
        return;
    }
    int code = resultOf(*json);
    const int uid = json->value(QStringLiteral("uid")).toInt();
    if (code == 0 && uid <= 0)
        code = -1;
    if (code == 0) {
        if (uid != m_id)
            m_headUrl.clear();
        m_id = uid;
        const QString nick = json->value(QStringLiteral("nick")).toString();
        m_nick = nick.isEmpty() ? makeGuestNick() : nick;
        m_state = kStateConfirmed;
        save();
        // Relay requests carry the login from now on.
        if (m_network)
            m_network->copyCookies(QUrl(KoServerConfig::accountBaseUrl()), QUrl(KoServerConfig::relayBaseUrl()));
        requestUpdatePermission();
    } else {
        m_state = kStateSignedOut;
        m_id = 0;
        save();
    }
    call(record, code);
    emit loginResult(code);
}

void KoUser::handleHead(KoReplyType* record, const QJsonObject* json, QNetworkReply* reply)
{
    const int uid = record->getIntValue(1);
    if (record->getIntValue(0) == kHeadStageQuery) {
        if (!json || resultOf(*json) != 0 || uid == 0 || uid != getId()) {
            call(record, kHeadFailed);
            return;
        }
        const QString head = json->value(QStringLiteral("head")).toString();
        if (head.isEmpty()) {
            call(record, kHeadFailed);
            return;
        }
        if (head == m_headUrl && headImageExists()) {
            call(record, kHeadCurrent);
            return;
        }
        auto* next = new KoReplyType(kTypeHead);
        next->addValue(kHeadStageImage)->addValue(uid)->addValue(head);
        next->setData(record->getData());
        record->setData(Callback());
        next->setDdl(kRequestDeadlineMs);
        getSecure(head, next);
        return;
    }

    // The image itself.
    bool stored = false;
    if (reply && reply->error() == QNetworkReply::NoError
        && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200
        && reply->bytesAvailable() <= kMaxHeadImageBytes && uid != 0 && uid == getId()) {
        const QByteArray image = reply->readAll();
        const QString path = getHeadPath();
        if (!image.isEmpty() && !path.isEmpty()) {
            KoCommonUtil::makeSureParentExist(path);
            // Whole or not at all: a broken download never replaces a good image.
            QSaveFile file(path);
            if (file.open(QIODevice::WriteOnly) && file.write(image) == image.size() && file.commit()) {
                m_headUrl = record->getStringValue(2);
                save();
                stored = true;
            }
        }
    }
    call(record, stored ? kHeadUpdated : kHeadFailed);
}
