// The message box: what each way of closing it answers, the texts it shows, and dragging by
// the title band only.
#include "ui/KoUiV3AlertDialog.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>

namespace {

// Runs act on the box once its modal loop runs.
void whenShown(std::function<void(KoUiV3AlertDialog*)> act)
{
    QTimer::singleShot(0, [act]() {
        auto* box = qobject_cast<KoUiV3AlertDialog*>(QApplication::activeModalWidget());
        QVERIFY(box);
        act(box);
    });
}

QPushButton* button(QWidget* box, const char* name)
{
    return box->findChild<QPushButton*>(QLatin1String(name));
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class TestAlertDialog : public QObject
{
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<bool>("confirm");  // confirm() with both buttons, or alert()
        QTest::addColumn<QString>("close"); // "confirm", "cancel" or "escape"
        QTest::addColumn<int>("answer");
        QTest::newRow("confirm, confirmed") << true << "confirm" << 1;
        QTest::newRow("confirm, cancelled") << true << "cancel" << 0;
        QTest::newRow("confirm, escape") << true << "escape" << 0;
        QTest::newRow("alert, confirmed") << false << "confirm" << 1;
        QTest::newRow("alert, escape") << false << "escape" << 0;
    }

    void answers()
    {
        QFETCH(bool, confirm);
        QFETCH(QString, close);
        QFETCH(int, answer);
        KoUiV3AlertDialog box;
        QString text, confirmText;
        bool cancelShown = false;
        int cancelX = -1, confirmX = -1;
        whenShown([&](KoUiV3AlertDialog* shown) {
            text = shown->findChild<QLabel*>(QStringLiteral("textLabel"))->text();
            confirmText = button(shown, "btnConfirm")->text();
            cancelShown = button(shown, "btnCancel")->isVisible();
            cancelX = button(shown, "btnCancel")->x();
            confirmX = button(shown, "btnConfirm")->x();
            if (close == QLatin1String("escape"))
                QTest::keyClick(shown, Qt::Key_Escape);
            else
                QTest::mouseClick(button(shown, close == QLatin1String("confirm") ? "btnConfirm" : "btnCancel"),
                                  Qt::LeftButton);
        });
        const QString message = QStringLiteral("确定删除选中的文件吗?");
        const int got = confirm
            ? box.confirm(QStringLiteral("提示"), message, QStringLiteral("删除"), QStringLiteral("不删"))
            : box.alert(QStringLiteral("提示"), message);
        QCOMPARE(got, answer);
        QVERIFY(!box.isVisible());
        QCOMPARE(text, message);
        QCOMPARE(cancelShown, confirm);
        if (confirm) {
            QCOMPARE(confirmText, QStringLiteral("删除"));
            // Cancel on the left, confirm on the right, standing symmetrically.
            QVERIFY(cancelX >= 0 && cancelX < confirmX);
            QVERIFY(qAbs(cancelX - (400 - (confirmX + 100))) <= 2);
        } else {
            QCOMPARE(confirmX, (400 - 100) / 2);
        }
    }

    void dragsOnlyByTheTitleBand()
    {
        KoUiV3AlertDialog box;
        box.move(100, 100);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QPoint start = box.pos();

        // On the text: nothing moves.
        sendMouse(&box, QEvent::MouseButtonPress, QPoint(200, 80), Qt::LeftButton, Qt::LeftButton);
        sendMouse(&box, QEvent::MouseMove, QPoint(230, 100), Qt::NoButton, Qt::LeftButton);
        sendMouse(&box, QEvent::MouseButtonRelease, QPoint(230, 100), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(box.pos(), start);

        // On the band: the pressed point follows the cursor.
        sendMouse(&box, QEvent::MouseButtonPress, QPoint(50, 20), Qt::LeftButton, Qt::LeftButton);
        sendMouse(&box, QEvent::MouseMove, QPoint(80, 45), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(box.pos(), start + QPoint(30, 25));
        sendMouse(&box, QEvent::MouseButtonRelease, QPoint(50, 20), Qt::LeftButton, Qt::NoButton);
    }
};

QTEST_MAIN(TestAlertDialog)
#include "tst_alertdialog.moc"
