// The small shared widgets where a slip hangs the page, drags the wrong press or divides by zero.
#include "ui/KoUiInit.h"
#include "ui/widgets/KoClickLabel.h"
#include "ui/widgets/KoItemPainter.h"
#include "ui/widgets/KoProgressWidget.h"
#include "ui/widgets/KoRowPainter.h"
#include "ui/widgets/KoSurfaceDrag.h"
#include "ui/widgets/KoWaitingSpinnerWidget.h"

#include <QtTest>
#include <QtWidgets>

#include <limits>

namespace {

void sendMouse(QWidget* to, QEvent::Type type, const QPoint& global, Qt::MouseButtons held)
{
    QMouseEvent event(type, to->mapFromGlobal(global), global, Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(to, &event);
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { koInitUiResources(); }

    // Images are drawn at the device's pixel ratio: an edge half-way through a logical pixel
    // falls on a device-pixel boundary at ratio 2 and stays hard; a 1x image scaled up smears it.
    void imagesAreSharpAtRatioTwo_data()
    {
        QTest::addColumn<QString>("painter");
        QTest::newRow("item image") << "item";
        QTest::newRow("row button") << "row";
    }
    void imagesAreSharpAtRatioTwo()
    {
        QFETCH(QString, painter);
        QTemporaryDir dir;
        const QString svg = dir.filePath("edge.svg");
        QFile file(svg);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16' viewBox='0 0 16 16'>"
                   "<rect x='0' y='0' width='8.5' height='16' fill='#000'/></svg>");
        file.close();
        QImage canvas(80, 80, QImage::Format_ARGB32);
        canvas.setDevicePixelRatio(2);
        canvas.fill(Qt::white);
        QRect target;
        {
            QPainter p(&canvas);
            if (painter == "item") {
                target = QRect(4, 4, 16, 16);
                KoItemPainter::drawImage(&p, target, svg);
            } else {
                const QRect cell(0, 0, 40, 30);
                target = KoRowPainter::buttonRect(cell, 0);
                KoRowPainter::buttons(&p, cell, {svg});
            }
        }
        const int y = target.center().y() * 2;
        const int edge = target.left() * 2 + 17; // the first device pixel right of the edge
        QVERIFY2(qGray(canvas.pixel(edge - 1, y)) < 40,
                 qPrintable(QString::number(qGray(canvas.pixel(edge - 1, y)))));
        QVERIFY2(qGray(canvas.pixel(edge, y)) > 215, qPrintable(QString::number(qGray(canvas.pixel(edge, y)))));
    }

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

    void surfaceDragStartsOnlyOnTheSurface_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("band"); // 0: any press the window receives
        QTest::addColumn<bool>("drags");
        QTest::newRow("bare surface") << "window" << 0 << true;
        QTest::newRow("label lets the press through") << "label" << 0 << true;
        QTest::newRow("button keeps its press") << "button" << 0 << false;
        QTest::newRow("line edit keeps its press") << "edit" << 0 << false;
        QTest::newRow("label below the band") << "label" << 40 << false;
        QTest::newRow("surface inside the band") << "window" << 40 << true;
    }

    void surfaceDragStartsOnlyOnTheSurface()
    {
        QFETCH(QString, target);
        QFETCH(int, band);
        QFETCH(bool, drags);
        QWidget window(nullptr, Qt::FramelessWindowHint);
        window.setMouseTracking(true); // hover moves reach the window
        window.setGeometry(50, 50, 300, 200);
        auto* label = new QLabel(QStringLiteral("label"), &window);
        label->setGeometry(10, 100, 100, 30);
        auto* button = new QPushButton(QStringLiteral("button"), &window);
        button->setGeometry(120, 100, 80, 30);
        auto* edit = new QLineEdit(&window);
        edit->setGeometry(210, 100, 80, 30);
        if (band > 0)
            new KoSurfaceDrag(&window, [band](const QPoint& p) { return p.y() < band; });
        else
            new KoSurfaceDrag(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QWidget* to = target == "label" ? static_cast<QWidget*>(label)
            : target == "button"        ? static_cast<QWidget*>(button)
            : target == "edit"          ? static_cast<QWidget*>(edit)
                                        : &window;
        const QPoint g = to == &window ? window.mapToGlobal(QPoint(150, 10)) : to->mapToGlobal(QPoint(5, 5));
        const QPoint start = window.pos();
        sendMouse(to, QEvent::MouseButtonPress, g, Qt::LeftButton);
        sendMouse(&window, QEvent::MouseMove, g + QPoint(30, 20), Qt::LeftButton);
        QCOMPARE(window.pos(), drags ? start + QPoint(30, 20) : start);

        // A release lost to another window: the next hover ends the drag for good.
        const QPoint moved = window.pos();
        sendMouse(&window, QEvent::MouseMove, g + QPoint(60, 60), Qt::NoButton);
        sendMouse(&window, QEvent::MouseMove, g + QPoint(90, 90), Qt::LeftButton);
        QCOMPARE(window.pos(), moved);
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
