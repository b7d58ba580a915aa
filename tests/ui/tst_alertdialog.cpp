// The message box: answers, texts, buttons, painting and dragging by the title band.
#include "ui/KoUiV3AlertDialog.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>

namespace {

// Runs check on the box once its modal loop runs, then lets act end it.
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

QLabel* label(QWidget* box, const char* name)
{
    return box->findChild<QLabel*>(QLatin1String(name));
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
    void confirmAnswersOne();
    void cancelAnswersZero();
    void escapeAnswersZero();
    void alertShowsOnlyTheConfirmButton();
    void dragsOnlyByTheTitleBand();
};

void TestAlertDialog::confirmAnswersOne()
{
    KoUiV3AlertDialog box;
    QString seenTitle, seenText, seenConfirm, seenCancel, seenWindowTitle;
    bool cancelVisible = false;
    whenShown([&](KoUiV3AlertDialog* shown) {
        seenWindowTitle = shown->windowTitle();
        seenTitle = label(shown, "titleLabel")->text();
        seenText = label(shown, "textLabel")->text();
        seenConfirm = button(shown, "btnConfirm")->text();
        seenCancel = button(shown, "btnCancel")->text();
        cancelVisible = button(shown, "btnCancel")->isVisible();
        QTest::mouseClick(button(shown, "btnConfirm"), Qt::LeftButton);
    });
    const int result = box.confirm(QStringLiteral("提示"), QStringLiteral("确定删除选中的文件吗?"),
                                   QStringLiteral("删除"), QStringLiteral("不删"));
    QCOMPARE(result, 1);
    QCOMPARE(seenWindowTitle, QStringLiteral("提示"));
    QCOMPARE(seenTitle, QStringLiteral("提示"));
    QCOMPARE(seenText, QStringLiteral("确定删除选中的文件吗?"));
    QCOMPARE(seenConfirm, QStringLiteral("删除"));
    QCOMPARE(seenCancel, QStringLiteral("不删"));
    QVERIFY(cancelVisible);
    QVERIFY(!box.isVisible());
}

void TestAlertDialog::cancelAnswersZero()
{
    KoUiV3AlertDialog box;
    int cancelX = -1, confirmX = -1;
    whenShown([&](KoUiV3AlertDialog* shown) {
        cancelX = button(shown, "btnCancel")->x();
        confirmX = button(shown, "btnConfirm")->x();
        QTest::mouseClick(button(shown, "btnCancel"), Qt::LeftButton);
    });
    QCOMPARE(box.confirm(QStringLiteral("退出"), QStringLiteral("确定退出吗?"), QStringLiteral("确定"),
                         QStringLiteral("取消")),
             0);
    // Cancel on the left, confirm on the right, standing symmetrically.
    QVERIFY(cancelX >= 0 && cancelX < confirmX);
    QVERIFY(qAbs(cancelX - (400 - (confirmX + 100))) <= 2);
}

void TestAlertDialog::escapeAnswersZero()
{
    {
        KoUiV3AlertDialog box;
        whenShown([](KoUiV3AlertDialog* shown) { QTest::keyClick(shown, Qt::Key_Escape); });
        QCOMPARE(box.confirm(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("确定"), QStringLiteral("取消")),
                 0);
    }
    {
        KoUiV3AlertDialog box;
        whenShown([](KoUiV3AlertDialog* shown) { QTest::keyClick(shown, Qt::Key_Escape); });
        QCOMPARE(box.alert(QStringLiteral("a"), QStringLiteral("b")), 0);
    }
}

void TestAlertDialog::alertShowsOnlyTheConfirmButton()
{
    KoUiV3AlertDialog box;
    bool cancelVisible = true;
    QString confirmText, text;
    int confirmX = -1;
    QImage picture;
    whenShown([&](KoUiV3AlertDialog* shown) {
        cancelVisible = button(shown, "btnCancel")->isVisible();
        confirmText = button(shown, "btnConfirm")->text();
        confirmX = button(shown, "btnConfirm")->x();
        text = label(shown, "textLabel")->text();
        picture = shown->grab().toImage();
        QTest::mouseClick(button(shown, "btnConfirm"), Qt::LeftButton);
    });
    QCOMPARE(box.alert(QStringLiteral("提示"), QStringLiteral("手机已断开连接")), 1);
    QVERIFY(!cancelVisible);
    QCOMPARE(confirmText, QStringLiteral("确定"));
    QCOMPARE(text, QStringLiteral("手机已断开连接"));
    QCOMPARE(confirmX, (400 - 100) / 2);
    QVERIFY(!picture.isNull());
    QTemporaryDir dir;
    QVERIFY(picture.save(dir.filePath(QStringLiteral("alert.png"))));
}

void TestAlertDialog::dragsOnlyByTheTitleBand()
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

    // A right press on the band does not start a drag either.
    sendMouse(&box, QEvent::MouseButtonPress, QPoint(50, 20), Qt::RightButton, Qt::RightButton);
    sendMouse(&box, QEvent::MouseMove, QPoint(80, 40), Qt::NoButton, Qt::RightButton);
    QCOMPARE(box.pos(), start);
    sendMouse(&box, QEvent::MouseButtonRelease, QPoint(80, 40), Qt::RightButton, Qt::NoButton);

    // On the band: the pressed point follows the cursor.
    sendMouse(&box, QEvent::MouseButtonPress, QPoint(50, 20), Qt::LeftButton, Qt::LeftButton);
    sendMouse(&box, QEvent::MouseMove, QPoint(80, 45), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(box.pos(), start + QPoint(30, 25));
    sendMouse(&box, QEvent::MouseButtonRelease, QPoint(50, 20), Qt::LeftButton, Qt::NoButton);
    const QPoint after = box.pos();
    sendMouse(&box, QEvent::MouseMove, QPoint(10, 10), Qt::NoButton, Qt::NoButton);
    QCOMPARE(box.pos(), after);
    box.hide();
}

QTEST_MAIN(TestAlertDialog)
#include "tst_alertdialog.moc"
