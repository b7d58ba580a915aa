// The account object against the loopback account server.

#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "net/KoCookieJar.h"
#include "net/KoNetworkObject.h"
#include "net/KoUser.h"
#include "support/KoFakeAccountServer.h"
#include "support/KoTestCertificates.h"

#include <QCryptographicHash>
#include <QFile>
#include <QNetworkCookie>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString kPhone = QStringLiteral("13800000001");
const QString kPassword = QStringLiteral("Clear-Text-Pa55");
const int kUid = 4711;

QString sha256(const QString& s)
{
    return QString::fromLatin1(QCryptographicHash::hash(s.toUtf8(), QCryptographicHash::Sha256).toHex());
}

// Collects the codes a callback receives.
struct Calls {
    QList<int> codes;
    KoUser::Callback cb()
    {
        return [this](int code) { codes.append(code); };
    }
};

} // namespace

class TestUser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    // Runs first, before the test CA is trusted.
    void untrustedServerGivesNoAnswer();
    void loginStoresAccountAndCarriesCookieToRelay();
    void passwordNeverStoredInClear();
    void wrongPasswordSignsOut();
    void unknownPhoneAndMissingResult();
    void noAnswerReportsTwoAndKeepsState();
    void brokenAnswersReportTwoAndKeepState();
    void restoredAccountStaysRestoredOnNoAnswer();
    void logoutEmitsAtOnceAndKeepsPhone();
    void smsRequestCheckAndReset();
    void smsNoUsableAnswerCallsBackTwo();
    void headImageDownloadedOnce();
    void nickChange();
    void plainHttpIsNeverUsed();

private:
    KoUser* user() { return KoUser::getInstance(); }
    // Signs in with the test account, returns the login code.
    int signIn();
    // Creates the account object anew from the settings.
    void reloadUser();

    KoFakeAccountServer* m_account = nullptr;
    KoTestHttpServer* m_relay = nullptr;
    QString m_relayBase;
};

void TestUser::initTestCase()
{
    // Start from no saved account, whatever an earlier run left in this test's home.
    KoSettings::getInstance()->remove("user");
    QVERIFY(KoTestCertificates::ensure());
    KoServerConfig::setSweepIntervalMs(100);

    m_account = new KoFakeAccountServer(this);
    QVERIFY(m_account->start());
    m_account->addAccount(kPhone, kPassword, kUid, QStringLiteral("小明"));
    m_account->addAccount(QStringLiteral("13800000002"), QStringLiteral("other"), 4712, QString());

    // The relay on another host name than the account server, so that only a copied cookie
    // reaches it.
    m_relay = new KoTestHttpServer(KoTestHttpServer::Https, this);
    QVERIFY(m_relay->listen());
    m_relay->setHandler([](const KoTestRequest&) { return KoTestResponse::json(QJsonObject{{"code", 0}}); });
    m_relayBase = QStringLiteral("https://127.0.0.1:%1/reraze/").arg(m_relay->port());

    KoServerConfig::setAccountBaseUrl(m_account->baseUrl());
    KoServerConfig::setRelayBaseUrl(m_relayBase);
}

void TestUser::init()
{
    KoServerConfig::setAccountBaseUrl(m_account->baseUrl());
    m_account->clearForcedResults();
    m_account->http()->clearRequests();
    m_relay->clearRequests();
}

void TestUser::cleanupTestCase()
{
    delete KoUser::getInstance();
    delete KoNetworkObject::getInstance();
    delete KoSettings::getInstance();
}

int TestUser::signIn()
{
    user()->setPhone(kPhone);
    user()->setPassword(kPassword);
    Calls calls;
    user()->login(calls.cb());
    if (!QTest::qWaitFor([&] { return !calls.codes.isEmpty(); }, 10000))
        return -100;
    return calls.codes.first();
}

void TestUser::reloadUser()
{
    delete KoUser::getInstance();
    KoUser::getInstance();
}

void TestUser::untrustedServerGivesNoAnswer()
{
    // A server of its own: the network layer keeps connections per host and port.
    KoFakeAccountServer untrusted;
    QVERIFY(untrusted.start());
    untrusted.addAccount(kPhone, kPassword, kUid, QStringLiteral("小明"));
    KoServerConfig::setAccountBaseUrl(untrusted.baseUrl());
    QSignalSpy results(user(), &KoUser::loginResult);
    QCOMPARE(signIn(), 2);
    QCOMPARE(results.count(), 1);
    QCOMPARE(untrusted.http()->requests().size(), 0);
    QVERIFY(!user()->isLogin());

    KoServerConfig::setAccountBaseUrl(m_account->baseUrl());
    KoNetworkObject::getInstance()->addCaCertificate(KoTestCertificates::caCertificate());
}

void TestUser::loginStoresAccountAndCarriesCookieToRelay()
{
    m_account->setUpdatePermission(kUid, 1);
    QSignalSpy results(user(), &KoUser::loginResult);
    user()->setPhone(kPhone);
    user()->setPassword(kPassword);
    Calls calls;
    user()->login(calls.cb());
    QVERIFY(calls.codes.isEmpty()); // never answered from inside the call
    QTRY_COMPARE(calls.codes, QList<int>{0});
    QCOMPARE(QList<QVariantList>(results), (QList<QVariantList>{QVariantList{0}}));
    QCOMPARE((QVariantList{user()->getState(), user()->isLogin(), user()->getId(), user()->getNick()}),
             (QVariantList{KoUser::kStateConfirmed, true, kUid, "小明"}));

    // The request carried the phone and the hash.
    const QList<KoTestRequest> logins = m_account->requestsTo("user/login");
    QCOMPARE(logins.size(), 1);
    const QJsonObject body = QJsonDocument::fromJson(logins.first().bodyBytes()).object();
    QCOMPARE((QStringList{body.value("cmd").toString(), body.value("phone").toString(),
                          body.value("password").toString()}),
             (QStringList{"LOGIN", kPhone, sha256(kPassword)}));

    // Saved for the next start.
    const QVariantMap saved = KoSettings::getInstance()->groupValues("user");
    QCOMPARE((QVariantList{saved.value("id").toInt(), saved.value("nick").toString(),
                           saved.value("phone").toString()}),
             (QVariantList{kUid, "小明", kPhone}));

    // The session cookie is in the jar for both servers.
    KoCookieJar* jar = KoNetworkObject::getInstance()->getCookieJar();
    const QByteArray token = m_account->lastSessionToken();
    QVERIFY(!token.isEmpty());
    bool forRelay = false;
    for (const QNetworkCookie& c : jar->cookiesForUrl(QUrl(m_relayBase + "pcPush")))
        forRelay |= c.name() == KoFakeAccountServer::kSessionCookie && c.value() == token;
    QVERIFY(forRelay);

    // A real request to the relay carries it.
    QNetworkReply* reply = KoNetworkObject::getInstance()->postJson(m_relayBase + "pcPush", nullptr, "{}");
    QVERIFY(m_relay->waitForRequests(1));
    QTRY_VERIFY(reply->isFinished());
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    delete reply;
    const QByteArray cookie = m_relay->requests().first().header("cookie");
    QVERIFY2(cookie.contains(QByteArray(KoFakeAccountServer::kSessionCookie) + "=" + token), cookie.constData());

    // The update channel was asked for right after the login.
    QTRY_COMPARE(user()->getUpdatePermission(), 1);
    m_account->setUpdatePermission(kUid, 0);
}

void TestUser::passwordNeverStoredInClear()
{
    QCOMPARE(signIn(), 0);
    KoSettings::getInstance()->sync();
    QFile file(KoSettings::getInstance()->fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY(!content.isEmpty());
    QVERIFY(!content.contains(kPassword.toUtf8()));
    QVERIFY(content.contains(sha256(kPassword).toLatin1()));
    QCOMPARE(KoSettings::getInstance()->value("user/password").toString(), sha256(kPassword));
}

void TestUser::wrongPasswordSignsOut()
{
    QCOMPARE(signIn(), 0);
    QSignalSpy results(user(), &KoUser::loginResult);
    user()->setPassword(QStringLiteral("wrong"));
    Calls calls;
    user()->login(calls.cb());
    QTRY_COMPARE(calls.codes, QList<int>{1021});
    QCOMPARE(QList<QVariantList>(results), (QList<QVariantList>{QVariantList{1021}}));
    QCOMPARE((QVariantList{user()->isLogin(), user()->getState(), user()->getId(), user()->getPhone()}),
             (QVariantList{false, KoUser::kStateSignedOut, 0, kPhone}));

    // Signed out for the next start as well.
    reloadUser();
    QVERIFY(!user()->isLogin());
}

void TestUser::unknownPhoneAndMissingResult()
{
    user()->setPhone(QStringLiteral("13999999999"));
    Calls calls;
    user()->login(calls.cb());
    QTRY_COMPARE(calls.codes, QList<int>{1020});

    // A JSON answer without a number in "result" counts as -1 and signs out.
    QCOMPARE(signIn(), 0);
    m_account->queueAnswer("user/login", KoTestResponse::json(QJsonObject{{"result", "ok"}}));
    Calls second;
    user()->login(second.cb());
    QTRY_COMPARE(second.codes, QList<int>{-1});
    QVERIFY(!user()->isLogin());
}

void TestUser::noAnswerReportsTwoAndKeepsState()
{
    QCOMPARE(signIn(), 0);
    QSignalSpy results(user(), &KoUser::loginResult);
    KoTestResponse silent;
    silent.noAnswer = true;
    m_account->queueAnswer("user/login", silent);
    Calls calls;
    user()->login(calls.cb());
    QTest::qWait(3000);
    QVERIFY(calls.codes.isEmpty()); // not before the 5000 ms deadline
    QTRY_COMPARE_WITH_TIMEOUT(calls.codes, QList<int>{2}, 8000);
    QCOMPARE(QList<QVariantList>(results), (QList<QVariantList>{QVariantList{2}}));
    QCOMPARE((QVariantList{user()->getState(), user()->getId()}), (QVariantList{KoUser::kStateConfirmed, kUid}));
    // Exactly once.
    QTest::qWait(500);
    QCOMPARE(calls.codes.size(), 1);
}

void TestUser::brokenAnswersReportTwoAndKeepState()
{
    QCOMPARE(signIn(), 0);
    const QList<KoTestResponse> broken{
        KoTestResponse::raw(QByteArray(), 200, "application/json"),
        KoTestResponse::raw("<html>busy</html>", 200, "text/html"),
        KoTestResponse::raw("[1,2,3]", 200, "application/json"),
        KoTestResponse::json(QJsonObject{{"result", 0}, {"uid", kUid}}, 500),
    };
    for (const KoTestResponse& answer : broken) {
        m_account->queueAnswer("user/login", answer);
        QSignalSpy results(user(), &KoUser::loginResult);
        Calls calls;
        user()->login(calls.cb());
        QTRY_COMPARE_WITH_TIMEOUT(calls.codes, QList<int>{2}, 3000);
        QCOMPARE(results.count(), 1);
        QCOMPARE(user()->getState(), KoUser::kStateConfirmed);
    }
    // The connection dropped in the middle of the answer.
    KoTestResponse cut = KoTestResponse::json(QJsonObject{{"result", 0}, {"uid", kUid}, {"nick", "x"}});
    cut.resetAfter = 5;
    m_account->queueAnswer("user/login", cut);
    Calls calls;
    user()->login(calls.cb());
    QTRY_COMPARE_WITH_TIMEOUT(calls.codes, QList<int>{2}, 3000);
    QCOMPARE(user()->getNick(), QStringLiteral("小明"));
}

void TestUser::restoredAccountStaysRestoredOnNoAnswer()
{
    QCOMPARE(signIn(), 0);
    reloadUser();
    QCOMPARE((QVariantList{user()->getState(), user()->isLogin(), user()->getId(), user()->getNick()}),
             (QVariantList{KoUser::kStateRestored, true, kUid, "小明"}));

    m_account->queueAnswer("user/login", KoTestResponse::raw("not json", 200, "text/plain"));
    Calls calls;
    user()->login(calls.cb());
    QTRY_COMPARE(calls.codes, QList<int>{2});
    QCOMPARE(user()->getState(), KoUser::kStateRestored);

    // The restored account logs in with the saved hash.
    Calls again;
    user()->login(again.cb());
    QTRY_COMPARE(again.codes, QList<int>{0});
    QCOMPARE(user()->getState(), KoUser::kStateConfirmed);
}

void TestUser::logoutEmitsAtOnceAndKeepsPhone()
{
    QCOMPARE(signIn(), 0);
    m_account->http()->clearRequests();
    QSignalSpy out(user(), &KoUser::logoutResult);
    user()->logout();
    QCOMPARE(out.count(), 1);
    QCOMPARE((QVariantList{user()->isLogin(), user()->getId(), user()->getPhone(), user()->getHeadPath()}),
             (QVariantList{false, 0, kPhone, QString()}));
    QVERIFY(user()->getNick().startsWith(QStringLiteral("游客")));

    const QVariantMap saved = KoSettings::getInstance()->groupValues("user");
    QCOMPARE((QVariantList{saved.value("password").toString(), saved.value("id").toInt(),
                           saved.value("phone").toString()}),
             (QVariantList{QString(), 0, kPhone}));

    // The server hears of it, with the session, and ends it.
    QTRY_COMPARE(m_account->requestsTo("user/logout").size(), 1);
    const KoTestRequest r = m_account->requestsTo("user/logout").first();
    QCOMPARE(QJsonDocument::fromJson(r.bodyBytes()).object().value("uid").toInt(), kUid);
    QVERIFY(r.header("cookie").contains(KoFakeAccountServer::kSessionCookie));

    reloadUser();
    QVERIFY(!user()->isLogin());
    QCOMPARE(user()->getPhone(), kPhone);
}

void TestUser::smsRequestCheckAndReset()
{
    QCOMPARE(signIn(), 0);
    Calls send;
    user()->requestCode(QStringLiteral("123"), send.cb());
    user()->requestCode(QStringLiteral("13900000000"), send.cb());
    user()->requestCode(kPhone, send.cb());
    QTRY_COMPARE(send.codes.size(), 3);
    QCOMPARE(QSet<int>(send.codes.begin(), send.codes.end()), (QSet<int>{1000, 1020, 0}));

    Calls check;
    user()->validatePhone(kPhone, QStringLiteral("000000"), check.cb());
    QTRY_COMPARE(check.codes, QList<int>{1022});
    user()->validatePhone(kPhone, QStringLiteral("123456"), check.cb());
    QTRY_COMPARE(check.codes, (QList<int>{1022, 0}));
    // The check never changes the account's phone.
    QCOMPARE(user()->getPhone(), kPhone);

    Calls reset;
    user()->resetPassword(QStringLiteral("brand.new/pass"), reset.cb());
    QTRY_COMPARE(reset.codes, QList<int>{0});
    QCOMPARE(m_account->passwordHash(kPhone), sha256("brand.new/pass"));
    QCOMPARE(KoSettings::getInstance()->value("user/password").toString(), sha256("brand.new/pass"));
    const QJsonObject body =
        QJsonDocument::fromJson(m_account->requestsTo("user/password").first().bodyBytes()).object();
    QCOMPARE(body.value("cmd").toString(), QStringLiteral("RESET_PASSWORD"));
    QCOMPARE(body.value("code").toString(), QStringLiteral("123456"));

    // The stored hash now logs in.
    Calls login;
    user()->login(login.cb());
    QTRY_COMPARE(login.codes, QList<int>{0});

    // A second reset without a new check is refused.
    Calls again;
    user()->resetPassword(QStringLiteral("other"), again.cb());
    QTRY_COMPARE(again.codes, QList<int>{1022});
    QCOMPARE(KoSettings::getInstance()->value("user/password").toString(), sha256("brand.new/pass"));

    // Back to the password the other tests use.
    user()->requestCode(kPhone, send.cb());
    QTRY_COMPARE(send.codes.size(), 4);
    user()->validatePhone(kPhone, QStringLiteral("123456"), check.cb());
    QTRY_COMPARE(check.codes, (QList<int>{1022, 0, 0}));
    user()->resetPassword(kPassword, reset.cb());
    QTRY_COMPARE(reset.codes, (QList<int>{0, 0}));
}

void TestUser::smsNoUsableAnswerCallsBackTwo()
{
    m_account->queueAnswer("sms/send", KoTestResponse::raw(QByteArray(), 200, "application/json"));
    m_account->queueAnswer("sms/check", KoTestResponse::raw("oops", 200, "text/plain"));
    m_account->queueAnswer("user/password", KoTestResponse::raw("oops", 502, "text/plain"));
    Calls calls;
    user()->requestCode(kPhone, calls.cb());
    user()->validatePhone(kPhone, QStringLiteral("123456"), calls.cb());
    user()->resetPassword(QStringLiteral("x"), calls.cb());
    QTRY_COMPARE(calls.codes, (QList<int>{2, 2, 2}));

    // Missed deadlines.
    KoTestResponse silent;
    silent.noAnswer = true;
    for (const char* path : {"sms/send", "sms/check", "user/password"})
        m_account->queueAnswer(path, silent);
    Calls send2, check2, reset2;
    const QString hashBefore = KoSettings::getInstance()->value("user/password").toString();
    user()->requestCode(kPhone, send2.cb());
    user()->validatePhone(kPhone, QStringLiteral("123456"), check2.cb());
    user()->resetPassword(QStringLiteral("y"), reset2.cb());
    // One expiry per sweep tick, all shortly after the 5000 ms deadline.
    QTRY_COMPARE_WITH_TIMEOUT(send2.codes, QList<int>{2}, 8000);
    QTRY_COMPARE_WITH_TIMEOUT(check2.codes, QList<int>{2}, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(reset2.codes, QList<int>{2}, 3000);
    QCOMPARE(KoSettings::getInstance()->value("user/password").toString(), hashBefore);

    // Forced server results reach the callback unchanged.
    m_account->forceResult("user/password", -1);
    Calls reset3;
    user()->resetPassword(QStringLiteral("z"), reset3.cb());
    QTRY_COMPARE(reset3.codes, QList<int>{-1});
}

void TestUser::headImageDownloadedOnce()
{
    QCOMPARE(signIn(), 0);
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(300, 'a');
    m_account->setHeadImage(kUid, png);
    QFile::remove(user()->getHeadPath());

    Calls head;
    user()->checkHead(head.cb());
    QTRY_COMPARE(head.codes, QList<int>{2});
    QVERIFY(user()->headImageExists());
    QVERIFY(user()->getHeadPath().endsWith(QStringLiteral("user/%1/head.png").arg(kUid)));
    QFile f(user()->getHeadPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), png);
    f.close();

    user()->checkHead(head.cb());
    QTRY_COMPARE(head.codes, (QList<int>{2, 0}));

    // A failed download keeps the image we had.
    const QByteArray png2 = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(300, 'b');
    m_account->setHeadImage(kUid, png2);
    const QByteArray imagePath = QStringLiteral("/dedizo/head/%1.png").arg(kUid).toLatin1();
    m_account->http()->queueResponse(imagePath, KoTestResponse::raw("gone", 500, "text/plain"));
    user()->checkHead(head.cb());
    QTRY_COMPARE(head.codes, (QList<int>{2, 0, 1}));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), png);
    f.close();

    // The next check fetches the new one.
    user()->checkHead(head.cb());
    QTRY_COMPARE(head.codes, (QList<int>{2, 0, 1, 2}));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), png2);
    f.close();

    // Signed out: no head path, and a check fails without asking.
    user()->logout();
    QVERIFY(!user()->headImageExists());
    m_account->http()->clearRequests();
    user()->checkHead(head.cb());
    QTRY_COMPARE(head.codes.size(), 5);
    QCOMPARE(head.codes.last(), 1);
    QCOMPARE(m_account->requestsTo("user/head").size(), 0);
}

void TestUser::nickChange()
{
    QCOMPARE(signIn(), 0);
    Calls nick;
    user()->changeNick(QStringLiteral("新昵称"), nick.cb());
    QTRY_COMPARE(nick.codes, QList<int>{0});
    QCOMPARE(user()->getNick(), QStringLiteral("新昵称"));
    QCOMPARE(KoSettings::getInstance()->value("user/nick").toString(), QStringLiteral("新昵称"));

    m_account->forceResult("user/nick", -1);
    user()->changeNick(QStringLiteral("坏"), nick.cb());
    QTRY_COMPARE(nick.codes, (QList<int>{0, -1}));
    QCOMPARE(user()->getNick(), QStringLiteral("新昵称"));
    m_account->clearForcedResults();
    user()->changeNick(QStringLiteral("小明"), nick.cb());
    QTRY_COMPARE(nick.codes.size(), 3);
}

void TestUser::plainHttpIsNeverUsed()
{
    KoTestHttpServer plain(KoTestHttpServer::Http);
    QVERIFY(plain.listen());
    plain.setHandler([](const KoTestRequest&) {
        return KoTestResponse::json(QJsonObject{{"result", 0}, {"uid", 1}, {"nick", "plain"}});
    });
    KoServerConfig::setAccountBaseUrl(plain.baseUrl() + "/dedizo/");
    QCOMPARE(signIn(), 2);
    Calls sms;
    user()->requestCode(kPhone, sms.cb());
    QTRY_COMPARE(sms.codes, QList<int>{2});
    QTest::qWait(300);
    QCOMPARE(plain.requests().size(), 0);
}

QTEST_GUILESS_MAIN(TestUser)
#include "tst_user.moc"
