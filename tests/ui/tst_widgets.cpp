// The small shared widgets where a slip hangs the page or divides by zero.
#include "ui/KoUiInit.h"
#include "ui/widgets/KoClickLabel.h"
#include "ui/widgets/KoProgressWidget.h"
#include "ui/widgets/KoWaitingSpinnerWidget.h"

#include <QtTest>
#include <QtWidgets>

#include <limits>

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { koInitUiResources(); }

    void clickLabelClicksOnLeftReleaseOnly()
    {
        KoClickLabel label;
        label.resize(80, 20);
        QSignalSpy spy(&label, &KoClickLabel::clicked);
        QTest::mouseRelease(&label, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(spy.count(), 0);
        // Pressed on the label, released well outside it: still a click.
        QTest::mousePress(&label, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QTest::mouseRelease(&label, Qt::LeftButton, Qt::NoModifier, QPoint(500, 300));
        QCOMPARE(spy.count(), 1);
    }

    // A busy box whose answer never comes must not leave its page disabled.
    void progressBoxTimeoutReleasesThePage()
    {
        QWidget page;
        page.resize(300, 300);
        auto* box = new KoProgressWidget(&page);
        page.show();
        box->start(QStringLiteral("连接中"), 200);
        QVERIFY(!page.isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!box->isVisible(), 5000);
        QVERIFY(page.isEnabled());
    }

    // Zero or negative lines and a non-positive or absurd speed would divide by zero or stop
    // the timer; fewer lines than the counter had reached must not paint out of range.
    void spinnerRefusesValuesThatBreakItsTimerOrPaint()
    {
        QWidget page;
        page.resize(200, 100);
        auto* spinner = new KoWaitingSpinnerWidget(&page, true, true);
        auto* timer = spinner->findChild<QTimer*>();
        spinner->setNumberOfLines(12);
        spinner->setNumberOfLines(0);
        spinner->setNumberOfLines(-3);
        QCOMPARE(spinner->numberOfLines(), 12);
        for (double speed : {0.0, -2.0, std::numeric_limits<double>::quiet_NaN(), 1e9, 1e-12})
            spinner->setRevolutionsPerSecond(speed);
        QVERIFY(timer->interval() > 0);
        QCOMPARE(KoWaitingSpinnerWidget::currentLineColor(19, 20, 80, 250, Qt::blue).alphaF(), 1.0);
        QCOMPARE(KoWaitingSpinnerWidget::currentLineColor(19, 20, 80, -5, Qt::blue).alphaF(), 0.0);

        page.show();
        spinner->start();
        QVERIFY(!page.isEnabled());
        QTRY_VERIFY(spinner->grab().isNull() == false && timer->isActive());
        spinner->setNumberOfLines(1);
        spinner->grab();
        spinner->stop();
        QVERIFY(page.isEnabled());
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
