// The account dialogs against the loopback account server, as the user drives them.

#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "net/KoNetworkObject.h"
#include "net/KoUser.h"
#include "support/KoAlertHelpers.h"
#include "support/KoFakeAccountServer.h"
#include "support/KoTestCertificates.h"
#include "ui/KoUiV3ChangePwdDialog.h"
#include "ui/KoUiV3LoginDialog.h"
#include "ui/KoUiV3SmsVerifyDialog.h"
#include "ui/KoUiV3UsrInfoWidget.h"

#include <QCryptographicHash>
#include <QtTest>
#include <QtWidgets>

namespace {
const QString kPhone = QStringLiteral("13800000001");
const QString kOther = QStringLiteral("13800000002");
const QString kNetwork = QStringLiteral("网络异常, 请检查网络连接后重试");

template <typename T>
T* child(QWidget* w, const char* name)
{
    return w->findChild<T*>(QLatin1String(name));
}
QLineEdit* edit(QWidget* w, const char* name)
{
    return child<QLineEdit>(w, name);
}
QPushButton* button(QWidget* w, const char* name)
{
    return child<QPushButton>(w, name);
}
QLabel* tips(QWidget* w)
{
    return child<QLabel>(w, "tipsLabel");
}
QString sha256(const QString& s)
{
    return QCryptographicHash::hash(s.toUtf8(), QCryptographicHash::Sha256).toHex();
}
using KoModal::saveArtifact;
} // namespace

class TestAccountDialogs : public QObject
{
    Q_OBJECT

    KoFakeAccountServer m_server;
    KoUser* user() { return KoUser::getInstance(); }
    // Types the fields of an SMS dialog shown for `phone` and presses "下一步" once the code went out.
    void requestAndCheck(QWidget* sms, const QString& phone, const QString& code)
    {
        edit(sms, "phoneEdit")->clear();
        QTest::keyClicks(edit(sms, "phoneEdit"), phone);
        button(sms, "btnSendSms")->click();
        QTRY_COMPARE(m_server.requestsTo("sms/send").size(), 1);
        QTest::keyClicks(edit(sms, "verifyEdit"), code);
        button(sms, "btnNext")->click();
    }

private slots:
    void initTestCase()
    {
        KoSettings::getInstance()->remove("user");
        QVERIFY(KoTestCertificates::trust());
        KoServerConfig::setSweepIntervalMs(100);
        QVERIFY(m_server.start());
        m_server.addAccount(kPhone, "secret1", 4711, QStringLiteral("一个很长很长很长很长很长的昵称"));
        m_server.addAccount(kOther, "secret2", 4712, QStringLiteral("二号"));
        KoServerConfig::setAccountBaseUrl(m_server.baseUrl());
        KoServerConfig::setRelayBaseUrl(m_server.baseUrl());
    }

    // Every test starts signed out with nothing stored.
    void init()
    {
        delete KoUser::getInstance();
        KoSettings::getInstance()->remove("user");
        m_server.clearForcedResults();
        m_server.http()->clearRequests();
    }

    void cleanupTestCase() { delete KoUser::getInstance(); }

    void loginAnswers_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("phone");
        QTest::addColumn<int>("forced");   // 0: the account book answers
        QTest::addColumn<int>("broken");   // 1 empty body, 2 answer after the deadline
        QTest::addColumn<QString>("text"); // empty: accepted
        QTest::newRow("account book") << "secret1" << kPhone << 0 << 0 << "";
        QTest::newRow("1020") << "secret1"
                              << "13900000000" << 0 << 0 << "该用户不存在";
        QTest::newRow("1021") << "wrong" << kPhone << 0 << 0 << "您输入的密码有误";
        QTest::newRow("99") << "secret1" << kPhone << 99 << 0 << "由于未知原因, 登录失败";
        QTest::newRow("empty body") << "secret1" << kPhone << 0 << 1 << kNetwork;
        QTest::newRow("past the deadline") << "secret1" << kPhone << 0 << 2 << kNetwork;
    }
    void loginAnswers()
    {
        QFETCH(QString, password);
        QFETCH(QString, phone);
        QFETCH(int, forced);
        QFETCH(int, broken);
        QFETCH(QString, text);
        if (forced)
            m_server.forceResult("user/login", forced);
        KoTestResponse late = KoTestResponse::json({{"result", 0}, {"uid", 4711}});
        late.delayMs = KoUser::kRequestDeadlineMs + 1000;
        if (broken)
            m_server.queueAnswer("user/login", broken == 1 ? KoTestResponse::raw("") : late);
        const int logins = KoModal::usageLogText().count("\"UserLogin\"");
        KoUiV3LoginDialog dialog;
        dialog.show();
        saveArtifact(&dialog, "login_dialog.png");
        QTest::keyClicks(edit(&dialog, "phoneEdit"), phone);
        QTest::keyClicks(edit(&dialog, "pwdEdit"), password);
        button(&dialog, "btnLogin")->click();
        if (text.isEmpty()) {
            QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(!dialog.isVisible());
            QCOMPARE(KoModal::usageLogText().count("\"UserLogin\""), logins + 1);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(tips(&dialog)->isVisible(), KoUser::kRequestDeadlineMs + 3000);
        QCOMPARE(tips(&dialog)->text(), text);
        QVERIFY(dialog.isVisible());
        saveArtifact(&dialog, "login_error.png");
        QTest::keyClick(edit(&dialog, "pwdEdit"), Qt::Key_Backspace);
        QVERIFY(!tips(&dialog)->isVisible());
    }

    void typedInput_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("letters and a twelfth digit") << "login"
                                                     << "phoneEdit"
                                                     << "1a3b8000000019"
                                                     << "13800000001";
        QTest::newRow("letters") << "sms"
                                 << "phoneEdit"
                                 << "x1y38"
                                 << "138";
        QTest::newRow("30 characters") << "login"
                                       << "pwdEdit" << QString(35, 'x') << QString(30, 'x');
        QTest::newRow("code of any kind") << "sms"
                                          << "verifyEdit"
                                          << "ab-1234567"
                                          << "ab-123";
        QTest::newRow("no hyphen") << "change"
                                   << "pwdEdit"
                                   << "a-b/c:d.1"
                                   << "ab/c:d.1";
        QTest::newRow("slash colon dot") << "change"
                                         << "reptEdit"
                                         << "a/b:c.1"
                                         << "a/b:c.1";
    }
    void typedInput()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        std::unique_ptr<QDialog> d(dialog == "login"     ? static_cast<QDialog*>(new KoUiV3LoginDialog)
                                       : dialog == "sms" ? static_cast<QDialog*>(new KoUiV3SmsVerifyDialog)
                                                         : new KoUiV3ChangePwdDialog);
        QLineEdit* e = edit(d.get(), field.toLatin1());
        QTest::keyClicks(e, typed);
        QCOMPARE(e->text(), kept);
        if (e->echoMode() == QLineEdit::Password)
            QVERIFY(!e->displayText().contains(kept.left(1)));
    }

    void smsRequestAnswers_data()
    {
        QTest::addColumn<QString>("phone");
        QTest::addColumn<bool>("noAnswer");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("forced"); // 0: the account book answers
        QTest::newRow("1020") << "13900000000" << false << "该手机号未注册" << 0;
        QTest::newRow("1000") << "123" << false << "手机号格式错误" << 0;
        QTest::newRow("no answer") << kPhone << true << kNetwork << 0;
        QTest::newRow("unknown failure") << kPhone << true << "出现未知错误, 请重试" << 1099;
        QTest::newRow("no result") << kPhone << true << "出现未知错误, 请重试" << -1;
    }
    void smsRequestAnswers()
    {
        QFETCH(QString, phone);
        QFETCH(bool, noAnswer);
        QFETCH(QString, text);
        QFETCH(int, forced);
        if (forced > 0)
            m_server.forceResult("sms/send", forced);
        else if (forced < 0)
            m_server.queueAnswer("sms/send", KoTestResponse::json({{"sent", true}}));
        else if (noAnswer)
            m_server.queueAnswer("sms/send", KoTestResponse::raw("not json"));
        KoUiV3SmsVerifyDialog sms;
        sms.show();
        QTest::keyClicks(edit(&sms, "phoneEdit"), phone);
        button(&sms, "btnSendSms")->click();
        QTRY_VERIFY(tips(&sms)->isVisible());
        QCOMPARE(tips(&sms)->text(), text);
        // Whole on its line, not cut off.
        QVERIFY(tips(&sms)->fontMetrics().horizontalAdvance(text) <= tips(&sms)->contentsRect().width());
        // Only a request after which no code is coming ends the count-down early.
        QCOMPARE(button(&sms, "btnSendSms")->isEnabled(), noAnswer);
    }

    void smsCountDownAndWrongCode_data()
    {
        QTest::addColumn<bool>("numberKept");
        QTest::newRow("number kept") << true;
        QTest::newRow("number emptied meanwhile") << false;
    }
    void smsCountDownAndWrongCode()
    {
        QFETCH(bool, numberKept);
        KoUiV3SmsVerifyDialog sms;
        sms.show();
        saveArtifact(&sms, "sms_dialog.png");
        requestAndCheck(&sms, kPhone, "000000");
        QTRY_COMPARE(tips(&sms)->text(), QStringLiteral("验证码错误"));
        QVERIFY(button(&sms, "btnNext")->isEnabled());
        QPushButton* send = button(&sms, "btnSendSms");
        // The ticks are the test's own from here; a slow machine may have seen real ones already.
        for (QTimer* timer : sms.findChildren<QTimer*>())
            timer->stop();
        const QRegularExpressionMatch shown = QRegularExpression("^(\\d+)s$").match(send->text());
        for (int i = shown.hasMatch() ? 61 - shown.captured(1).toInt() : 1; i <= 60; ++i) {
            if (i == 60 && !numberKept)
                edit(&sms, "phoneEdit")->clear(); // emptied meanwhile: no request for no number
            QVERIFY(QMetaObject::invokeMethod(&sms, "onRemainTimerOut"));
            QCOMPARE(send->text(), i < 60 ? QString("%1s").arg(60 - i) : QStringLiteral("发送验证码"));
            QCOMPARE(send->isEnabled(), i == 60 && numberKept);
        }
        if (!numberKept)
            return;
        // The normal end: the button asks again, and the count-down starts over.
        send->click();
        QTRY_COMPARE(m_server.requestsTo("sms/send").size(), 2);
        QVERIFY(!send->isEnabled());
    }

    void resetSignsInWithTheVerifiedPhone_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("first-time user") << QString();
        QTest::newRow("another number") << kPhone;
    }
    void resetSignsInWithTheVerifiedPhone()
    {
        QFETCH(QString, stored);
        user()->setPhone(stored);
        QSignalSpy logins(user(), &KoUser::loginResult);
        bool smsClosedFirst = false;
        KoModal::whenOpen<KoUiV3ChangePwdDialog>([&](KoUiV3ChangePwdDialog* change) {
            smsClosedFirst = KoModal::openWidgets<KoUiV3SmsVerifyDialog>().isEmpty();
            saveArtifact(change, "changepwd_dialog.png");
            QLineEdit* repeat = edit(change, "reptEdit");
            QTest::keyClicks(edit(change, "pwdEdit"), "new.pass/1");
            QTest::keyClicks(repeat, "new.pass/2");
            button(change, "btnConfirm")->click();
            QCOMPARE(tips(change)->text(), QStringLiteral("两次输入的密码不一致"));
            QVERIFY(!button(change, "btnConfirm")->isEnabled());
            QTest::keyClick(repeat, Qt::Key_Backspace);
            QTest::keyClicks(repeat, "1");
            button(change, "btnConfirm")->click();
        });
        KoUiV3SmsVerifyDialog sms;
        sms.show();
        requestAndCheck(&sms, kOther, "123456");
        QTRY_COMPARE(logins.size(), 1);
        QVERIFY(smsClosedFirst);
        QCOMPARE(logins.first().first().toInt(), 0);
        QCOMPARE(user()->getId(), 4712);
        QCOMPARE(user()->getPhone(), kOther);
        QCOMPARE(m_server.passwordHash(kOther), sha256("new.pass/1"));
        QCOMPARE(KoSettings::getInstance()->value("user/phone").toString(), kOther);
    }

    void failedResetSaysSo_data()
    {
        QTest::addColumn<bool>("noAnswer");
        QTest::addColumn<QString>("text");
        QTest::newRow("1022") << false << "出现未知错误, 请重试";
        QTest::newRow("no answer") << true << kNetwork;
    }
    void failedResetSaysSo()
    {
        QFETCH(bool, noAnswer);
        QFETCH(QString, text);
        if (noAnswer)
            m_server.queueAnswer("user/password", KoTestResponse::raw(""));
        KoUiV3ChangePwdDialog change; // no SMS check before: the server refuses the reset
        change.show();
        QTest::keyClicks(edit(&change, "pwdEdit"), "abc");
        QTest::keyClicks(edit(&change, "reptEdit"), "abc");
        button(&change, "btnConfirm")->click();
        QTRY_VERIFY(tips(&change)->isVisible());
        QCOMPARE(tips(&change)->text(), text);
        QVERIFY(button(&change, "btnConfirm")->isEnabled());
        QVERIFY(user()->getPhone().isEmpty());
    }

    void answerAfterTheDialogIsGone_data()
    {
        QTest::addColumn<QByteArray>("op");
        QTest::newRow("login") << QByteArray("user/login");
        QTest::newRow("sms check") << QByteArray("sms/check");
    }
    void answerAfterTheDialogIsGone()
    {
        QFETCH(QByteArray, op);
        const bool login = op == "user/login";
        KoTestResponse slow = KoTestResponse::json({{"result", 1020}});
        slow.delayMs = 300;
        m_server.queueAnswer(op, slow);
        slow.delayMs = 600;
        m_server.queueAnswer(op, slow); // for the request that tells when the first was handled
        {
            std::unique_ptr<QDialog> d(login ? static_cast<QDialog*>(new KoUiV3LoginDialog)
                                             : new KoUiV3SmsVerifyDialog);
            QTest::keyClicks(edit(d.get(), "phoneEdit"), kPhone);
            QTest::keyClicks(edit(d.get(), login ? "pwdEdit" : "verifyEdit"), "123456");
            button(d.get(), login ? "btnLogin" : "btnNext")->click();
        }
        bool later = false;
        if (login)
            user()->login([&](int) { later = true; });
        else
            user()->validatePhone(kPhone, "1", [&](int) { later = true; });
        QTRY_VERIFY(later);
        QCOMPARE(m_server.requestsTo(op).size(), 2);
    }

    void popupAndSwitchAccount()
    {
        user()->setPhone(kPhone);
        user()->setPassword("secret1");
        QSignalSpy logins(user(), &KoUser::loginResult);
        user()->login(nullptr);
        QTRY_COMPARE(logins.size(), 1);
        // A head file that does not load, with a loadable jpg beside it.
        QDir().mkpath(QFileInfo(user()->getHeadPath()).path());
        QFile broken(user()->getHeadPath());
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a png") > 0);
        broken.close();
        QImage red(8, 8, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(user()->getHeadPath().replace(".png", ".jpg"), "JPG"));

        KoUiV3UsrInfoWidget popup;
        popup.popup(QPoint(100, 120));
        QVERIFY(QTest::qWaitForWindowExposed(&popup));
        QCOMPARE(child<QLabel>(&popup, "idLabel")->text(), QStringLiteral("4711"));
        QVERIFY(child<QLabel>(&popup, "nickLabel")->text().endsWith(QChar(0x2026)));
        QCOMPARE(child<QLabel>(&popup, "nickLabel")->textFormat(), Qt::PlainText);
        const QImage head = child<QLabel>(&popup, "headLabel")->pixmap(Qt::ReturnByValue).toImage();
        QVERIFY(qRed(head.pixel(4, 4)) > 200 && qGreen(head.pixel(4, 4)) < 60);
        saveArtifact(&popup, "usrinfo_popup.png");

        const int logouts = KoModal::usageLogText().count("\"UserLogout\"");
        for (bool confirm : {false, true}) {
            bool loginShown = false;
            KoModal::whenAlertOpen([&](KoUiV3AlertDialog* alert) {
                if (confirm)
                    KoModal::whenOpen<KoUiV3LoginDialog>([&](KoUiV3LoginDialog* login) {
                        loginShown = true;
                        login->reject();
                    });
                button(alert, confirm ? "btnConfirm" : "btnCancel")->click();
            });
            popup.show();
            QTest::mouseClick(child<QLabel>(&popup, "logoutLabel"), Qt::LeftButton);
            QCOMPARE(user()->isLogin(), !confirm);
            QCOMPARE(loginShown, confirm);
            QCOMPARE(KoModal::usageLogText().count("\"UserLogout\""), logouts + int(confirm));
            QTRY_COMPARE(m_server.requestsTo("user/logout").size(), confirm ? 1 : 0);
        }
    }
};

QTEST_MAIN(TestAccountDialogs)
#include "tst_accountdialogs.moc"
