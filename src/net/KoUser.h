#pragma once

#include "net/KoNetworkHelper.h"

#include <QMutex>
#include <QString>

#include <functional>

class QNetworkReply;
class QTimer;
class KoReplyType;

// The signed-in user and the account server's requests (docs/protocol.md, "Account server").
// The account is kept in the settings group "user"; the password only as its SHA-256 hex.
// Runs on the GUI thread; every callback is called exactly once, later than the call that
// started its request.
class KoUser : public KoNetworkHelper
{
    Q_OBJECT
public:
    using Callback = std::function<void(int)>;

    // Account states.
    static constexpr int kStateSignedOut = 0;
    static constexpr int kStateRestored = 1;
    static constexpr int kStateConfirmed = 2;

    // Callback code for a request that got no usable answer (the server never sends it).
    static constexpr int kNoAnswer = 2;
    // checkHead codes.
    static constexpr int kHeadCurrent = 0;
    static constexpr int kHeadFailed = 1;
    static constexpr int kHeadUpdated = 2;

    static constexpr int kRequestDeadlineMs = 5000;
    static constexpr int kReloginIntervalMs = 1800000;

    static KoUser* getInstance();
    ~KoUser() override;

    bool isLogin() const;
    int getState() const { return m_state; }
    // 0 when signed out.
    int getId() const;
    QString getPhone() const { return m_phone; }
    QString getNick() const;
    // <app data>/user/<id>/head.png; empty when signed out.
    QString getHeadPath() const;
    bool headImageExists() const;
    // 0 release channel, 1 test channel.
    int getUpdatePermission() const { return m_updatePermission; }

    void setPhone(QString phone);
    // Keeps only the lower-case hex SHA-256.
    void setPassword(QString password);

    // Callback (and loginResult): the server's result, or kNoAnswer when none came in time.
    void login(Callback callback);
    void logout();
    void checkHead(Callback callback);
    void requestCode(QString phone, Callback callback);
    void validatePhone(QString phone, QString code, Callback callback);
    // On success the verified phone becomes the account's phone, stored with the new hash.
    void resetPassword(QString password, Callback callback);
    void changeNick(QString nick, Callback callback);
    // Asks which update channel the user may use; read back with getUpdatePermission.
    void requestUpdatePermission();

    // "游客" + 6 random digits.
    static QString makeGuestNick();

signals:
    void loginResult(int code);
    void logoutResult();

public slots:
    void onFinished(QNetworkReply* reply) override;
    void onTimeout(QNetworkReply* reply) override;

private slots:
    void onReloginTimeout();

private:
    KoUser();
    void initData();
    void initConnection();
    void load();
    void save();

    // Posts body to the account base + op. A URL that is not https is not requested: the
    // request then fails like a network error, after the caller has returned.
    void sendJson(const QString& op, QJsonObject body, KoReplyType* record);
    void getSecure(const QString& url, KoReplyType* record);
    // Fails record as if no answer came, on the next turn of the event loop.
    void failRequest(KoReplyType* record);
    // One place for every outcome: json is null when no usable answer came.
    void handleAnswer(KoReplyType* record, const QJsonObject* json, QNetworkReply* reply);
    void handleLogin(KoReplyType* record, const QJsonObject* json);
    void handleHead(KoReplyType* record, const QJsonObject* json, QNetworkReply* reply);
    static void call(KoReplyType* record, int code);

    int m_state = kStateSignedOut;
    int m_id = 0;
    QString m_phone;
    QString m_passwordHash;
    QString m_nick;
    QString m_headUrl;
    int m_updatePermission = 0;
    // Phone and code last accepted by the SMS check; a password reset proves itself with them.
    QString m_verifiedPhone;
    QString m_verifiedCode;
    QTimer* m_reloginTimer = nullptr;

    static KoUser* s_instance;
    static QMutex s_mutex;
};
