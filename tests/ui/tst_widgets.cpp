// The small shared widgets: clicks, round clipping, empty-state panel, toast,
// busy box and spinner, each also rendered to a picture.
#include "ui/KoUiInit.h"
#include "ui/widgets/KoClickLabel.h"
#include "ui/widgets/KoProgressWidget.h"
#include "ui/widgets/KoRoundLabel.h"
#include "ui/widgets/KoSurfaceDrag.h"
#include "ui/widgets/KoToastWidget.h"
#include "ui/widgets/KoUiV3TipsWidget.h"
#include "ui/widgets/KoWaitingSpinnerWidget.h"

#include <QtTest>
#include <QtWidgets>

#include <cmath>
#include <limits>

namespace {

bool isBlank(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb first = argb.pixel(0, 0);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (argb.pixel(x, y) != first)
                return false;
    return true;
}

bool isRed(QRgb p)
{
    return qRed(p) > 220 && qGreen(p) < 40 && qBlue(p) < 40;
}

QPixmap solidRed(int w, int h)
{
    QPixmap pixmap(w, h);
    pixmap.fill(Qt::red);
    return pixmap;
}

void sendMouse(QWidget* to, QEvent::Type type, const QPoint& global, Qt::MouseButtons held)
{
    QMouseEvent event(type, to->mapFromGlobal(global), global, Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(to, &event);
}

QTimer* spinnerTimer(KoWaitingSpinnerWidget& spinner)
{
    return spinner.findChild<QTimer*>();
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void clickLabelLeftReleaseOnly();
    void roundLabelClipsToCircleOfShorterSide();
    void roundLabelWithoutPixmapPaintsText();

    void tipsPanelFormAndClickableLine();
    void tipsPanelCentresOnItsPage();

    void toastElidesAndSitsOnBottomEdge();
    void toastHidesItself();
    void toastWithoutParentUsesTheScreen();

    void progressBoxBusyAndIdle();
    void progressBoxTimeoutReleasesThePage();

    void surfaceDragStartsOnlyOnTheSurface_data();
    void surfaceDragStartsOnlyOnTheSurface();

    void spinnerDefaults();
    void spinnerSettersAndGuards();
    void spinnerLineColours();
    void spinnerStartStopAndPaint();

private:
    QTemporaryDir m_dir;
    void savePicture(QWidget& widget, const QString& name);
};

void TestWidgets::surfaceDragStartsOnlyOnTheSurface_data()
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

void TestWidgets::surfaceDragStartsOnlyOnTheSurface()
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

void TestWidgets::initTestCase()
{
    koInitUiResources();
    QVERIFY(m_dir.isValid());
}

void TestWidgets::savePicture(QWidget& widget, const QString& name)
{
    const QPixmap picture = widget.grab();
    QVERIFY2(!picture.isNull(), qPrintable(name));
    QVERIFY2(!isBlank(picture.toImage()), qPrintable(name + " rendered blank"));
    QVERIFY(picture.save(m_dir.filePath(name + QStringLiteral(".png"))));
}

void TestWidgets::clickLabelLeftReleaseOnly()
{
    KoClickLabel label;
    label.setText(QStringLiteral("忘记密码?"));
    label.resize(80, 20);
    QSignalSpy spy(&label, &KoClickLabel::clicked);

    QTest::mouseRelease(&label, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(spy.count(), 0);
    QTest::mouseRelease(&label, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(spy.count(), 1);
    // Pressed on the label, released well outside it: still a click.
    QTest::mousePress(&label, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseRelease(&label, Qt::LeftButton, Qt::NoModifier, QPoint(500, 300));
    QCOMPARE(spy.count(), 2);
}

void TestWidgets::roundLabelClipsToCircleOfShorterSide()
{
    KoRoundLabel square;
    square.resize(28, 28);
    square.setPixmap(solidRed(10, 10));
    QVERIFY(square.hasScaledContents());
    QCOMPARE(square.sizePolicy().horizontalPolicy(), QSizePolicy::Ignored);
    const QImage a = square.grab().toImage();
    QVERIFY(isRed(a.pixel(14, 14)));
    QVERIFY(isRed(a.pixel(14, 2)));
    QVERIFY(!isRed(a.pixel(0, 0)));
    QVERIFY(!isRed(a.pixel(27, 27)));
    savePicture(square, QStringLiteral("round_square"));

    KoRoundLabel wide;
    wide.resize(40, 20);
    wide.setPixmap(solidRed(10, 10));
    const QImage b = wide.grab().toImage();
    QVERIFY(isRed(b.pixel(10, 10)));  // inside the 20 px circle at the left end
    QVERIFY(!isRed(b.pixel(30, 10))); // the stretched image is cut off here
    QVERIFY(!isRed(b.pixel(0, 0)));
}

void TestWidgets::roundLabelWithoutPixmapPaintsText()
{
    KoRoundLabel label;
    label.resize(60, 20);
    label.setText(QStringLiteral("vu"));
    savePicture(label, QStringLiteral("round_text"));
}

void TestWidgets::tipsPanelFormAndClickableLine()
{
    QWidget page;
    page.resize(800, 500);
    auto* tips = new KoUiV3TipsWidget(&page);
    QCOMPARE(tips->objectName(), QStringLiteral("KoUiV3TipsWidget"));
    auto* img = tips->findChild<QLabel*>(QStringLiteral("imgLabel"));
    auto* tipsLabel = tips->findChild<QLabel*>(QStringLiteral("tipsLabel"));
    auto* click = tips->findChild<KoClickLabel*>(QStringLiteral("clickLabel"));
    auto* extra = tips->findChild<QLabel*>(QStringLiteral("extraLabel"));
    QVERIFY(img && tipsLabel && click && extra);
    QVERIFY(tips->findChild<QWidget*>(QStringLiteral("widget")));
    QVERIFY(tips->findChild<QWidget*>(QStringLiteral("widget_2")));
    QVERIFY(!img->pixmap(Qt::ReturnByValue).isNull()); // the form's default picture loads
    QCOMPARE(extra->text(), QStringLiteral("提示：手机端锁屏也可能导致数据获取失败哦~"));
    QCOMPARE(click->cursor().shape(), Qt::PointingHandCursor);
    page.show();

    const QPixmap timeOut(QStringLiteral(":/ui_v3/images/img_time_out"));
    tips->showTips(timeOut, QStringLiteral("数据获取失败, "), QStringLiteral("点击重试"));
    QVERIFY(tips->isVisible());
    QVERIFY(click->isVisible());
    QVERIFY(extra->isVisible());
    QCOMPARE(tipsLabel->text(), QStringLiteral("数据获取失败, "));
    QCOMPARE(click->text(), QStringLiteral("点击重试"));
    QCOMPARE(img->pixmap(Qt::ReturnByValue).toImage(), timeOut.toImage());
    savePicture(*tips, QStringLiteral("tips_retry"));

    QSignalSpy spy(tips, &KoUiV3TipsWidget::click);
    QTest::mouseRelease(click, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QCOMPARE(spy.count(), 1);

    tips->showTips(QPixmap(QStringLiteral(":/ui_v3/images/img_file_list_empty")), QStringLiteral("暂无文件或文件夹"),
                   QString());
    QVERIFY(tips->isVisible());
    QVERIFY(!click->isVisible());
    QVERIFY(!extra->isVisible());
    savePicture(*tips, QStringLiteral("tips_empty"));

    tips->showTips(timeOut, QStringLiteral("数据获取失败, "), QStringLiteral("点击重试"));
    QVERIFY(click->isVisible());
    QVERIFY(extra->isVisible());
}

void TestWidgets::tipsPanelCentresOnItsPage()
{
    QWidget page;
    page.resize(804, 504);
    auto* tips = new KoUiV3TipsWidget(&page);
    tips->resize(400, 200);
    tips->hide();
    page.show();
    tips->showTips(QPixmap(), QStringLiteral("暂无"), QString());
    QCOMPARE(tips->pos(), QPoint((804 - 4) / 2 - 200, (504 - 4) / 2 - 100));
}

void TestWidgets::toastElidesAndSitsOnBottomEdge()
{
    QWidget page;
    page.resize(300, 200);
    auto* toast = new KoToastWidget(&page);
    toast->hide();
    page.show();
    QCOMPARE(toast->objectName(), QStringLiteral("toastWidget"));
    auto* label = toast->findChild<QLabel*>(QStringLiteral("messageLabel"));
    QVERIFY(label);

    toast->setText(QStringLiteral("短消息"));
    QVERIFY(toast->isVisible());
    QCOMPARE(label->text(), QStringLiteral("短消息"));
    QCOMPARE(toast->height(), 32);
    QCOMPARE(toast->pos(), QPoint(300 / 2 - toast->width() / 2, 200 - 32));
    savePicture(*toast, QStringLiteral("toast_short"));

    const QString longText = QStringLiteral("文件") + QString(200, QLatin1Char('x')) + QStringLiteral("结尾");
    toast->setText(longText);
    QVERIFY(label->text().contains(QChar(0x2026)));
    QVERIFY(label->text().startsWith(QStringLiteral("文件")));
    QVERIFY(label->text().endsWith(QStringLiteral("结尾")));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= 300 - 42);
    QCOMPARE(toast->pos(), QPoint(300 / 2 - toast->width() / 2, 200 - 32));
}

void TestWidgets::toastHidesItself()
{
    QWidget page;
    page.resize(300, 200);
    auto* toast = new KoToastWidget(&page);
    toast->hide();
    page.show();
    toast->setText(QStringLiteral("已复制"));
    QVERIFY(toast->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!toast->isVisible(), 6000);
}

void TestWidgets::toastWithoutParentUsesTheScreen()
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    KoToastWidget toast;
    toast.setText(QString(2000, QLatin1Char('m')));
    auto* label = toast.findChild<QLabel*>(QStringLiteral("messageLabel"));
    QVERIFY(label->text().contains(QChar(0x2026)));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= screen.width() - 42);
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) > screen.width() / 2);
    QCOMPARE(toast.y(), screen.y() + screen.height() - toast.height());
    toast.hide();
}

void TestWidgets::progressBoxBusyAndIdle()
{
    QWidget page;
    page.resize(600, 400);
    auto* box = new KoProgressWidget(&page);
    page.show();
    QVERIFY(!box->isVisible());
    QCOMPARE(box->size(), QSize(100, 100));
    auto* spinner = box->findChild<KoWaitingSpinnerWidget*>();
    QVERIFY(spinner);

    // Idle stop: the page is enabled and nothing else changes.
    page.setEnabled(false);
    box->stop();
    QVERIFY(page.isEnabled());
    QVERIFY(!box->isVisible());

    box->start(QStringLiteral("加载中..."));
    QVERIFY(box->isVisible());
    QVERIFY(!page.isEnabled());
    QVERIFY(spinner->isSpinning());
    QCOMPARE(box->pos(), QPoint(600 / 2 - 50, 400 / 2 - 50));
    QCOMPARE(spinner->geometry(), QRect(30, 15, 40, 40));
    auto* caption = box->findChild<QLabel*>();
    QVERIFY(caption);
    QCOMPARE(caption->text(), QStringLiteral("加载中..."));
    QCOMPARE(caption->y(), 70);
    QCOMPARE(caption->x(), (100 - caption->width()) / 2);
    savePicture(*box, QStringLiteral("progress"));

    // A second start only changes the caption.
    box->start(QStringLiteral("删除中..."));
    QVERIFY(box->isVisible());
    QCOMPARE(caption->text(), QStringLiteral("删除中..."));

    box->stop();
    QVERIFY(!box->isVisible());
    QVERIFY(page.isEnabled());
    QVERIFY(!spinner->isSpinning());
}

void TestWidgets::progressBoxTimeoutReleasesThePage()
{
    QWidget page;
    page.resize(300, 300);
    auto* box = new KoProgressWidget(&page);
    page.show();
    box->start(QStringLiteral("连接中"), 200);
    QVERIFY(box->isVisible());
    QVERIFY(!page.isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!box->isVisible(), 5000);
    QVERIFY(page.isEnabled());
}

void TestWidgets::spinnerDefaults()
{
    KoWaitingSpinnerWidget spinner;
    QCOMPARE(spinner.size(), QSize(40, 40));
    QCOMPARE(spinner.numberOfLines(), 20);
    QCOMPARE(spinner.lineLength(), 10);
    QCOMPARE(spinner.lineWidth(), 2);
    QCOMPARE(spinner.innerRadius(), 10);
    QCOMPARE(spinner.roundness(), 100.0);
    QCOMPARE(spinner.trailFadePercentage(), 80.0);
    QVERIFY(qAbs(spinner.minimumTrailOpacity() - 3.14159) < 1e-5);
    QVERIFY(qAbs(spinner.revolutionsPersSecond() - 1.5708) < 1e-4);
    QCOMPARE(spinner.color(), QColor(Qt::black));
    QVERIFY(!spinner.isSpinning());
    QVERIFY(!spinner.isVisible());
    QCOMPARE(spinnerTimer(spinner)->interval(), 31);
    QVERIFY(!spinnerTimer(spinner)->isActive());
}

void TestWidgets::spinnerSettersAndGuards()
{
    KoWaitingSpinnerWidget spinner;
    spinner.setRoundness(150);
    QCOMPARE(spinner.roundness(), 100.0);
    spinner.setRoundness(-1);
    QCOMPARE(spinner.roundness(), 0.0);

    spinner.setNumberOfLines(12);
    QCOMPARE(spinner.numberOfLines(), 12);
    QCOMPARE(spinnerTimer(spinner)->interval(), 53);

    // Zero or negative lines and a non-positive speed would divide by zero.
    spinner.setNumberOfLines(0);
    QCOMPARE(spinner.numberOfLines(), 12);
    spinner.setNumberOfLines(-3);
    QCOMPARE(spinner.numberOfLines(), 12);
    spinner.setRevolutionsPerSecond(0.0);
    spinner.setRevolutionsPerSecond(-2.0);
    spinner.setRevolutionsPerSecond(std::numeric_limits<double>::quiet_NaN());
    QVERIFY(qAbs(spinner.revolutionsPersSecond() - 1.5708) < 1e-4);
    QCOMPARE(spinnerTimer(spinner)->interval(), 53);

    // Extreme speeds keep a usable timer.
    spinner.setRevolutionsPerSecond(1e9);
    QCOMPARE(spinnerTimer(spinner)->interval(), 1);
    spinner.setRevolutionsPerSecond(1e-12);
    QVERIFY(spinnerTimer(spinner)->interval() > 0);
    spinner.setRevolutionsPerSecond(1.0);
    QCOMPARE(spinnerTimer(spinner)->interval(), 1000 / 12);

    spinner.setLineLength(20);
    QCOMPARE(spinner.size(), QSize(60, 60));
    spinner.setInnerRadius(5);
    QCOMPARE(spinner.size(), QSize(50, 50));
    spinner.setLineWidth(6);
    QCOMPARE(spinner.lineWidth(), 6);
    QCOMPARE(spinner.size(), QSize(50, 50));
    spinner.setInnerRadius(-100);
    QCOMPARE(spinner.size(), QSize(0, 0));
}

void TestWidgets::spinnerLineColours()
{
    QCOMPARE(KoWaitingSpinnerWidget::lineCountDistanceFromPrimary(5, 5, 20), 0);
    QCOMPARE(KoWaitingSpinnerWidget::lineCountDistanceFromPrimary(4, 5, 20), 1);
    QCOMPARE(KoWaitingSpinnerWidget::lineCountDistanceFromPrimary(6, 5, 20), 19);

    const QColor blue(0, 100, 255);
    const double minOpacity = 3.14159265358979;
    QCOMPARE(KoWaitingSpinnerWidget::currentLineColor(0, 20, 80, minOpacity, blue), blue);
    const double step = (1.0 - minOpacity / 100) / 17;
    const QColor d1 = KoWaitingSpinnerWidget::currentLineColor(1, 20, 80, minOpacity, blue);
    QVERIFY(qAbs(d1.alphaF() - (1.0 - step)) < 0.005);
    QCOMPARE(d1.rgb(), blue.rgb());
    const QColor d16 = KoWaitingSpinnerWidget::currentLineColor(16, 20, 80, minOpacity, blue);
    QVERIFY(qAbs(d16.alphaF() - (1.0 - 16 * step)) < 0.005);
    for (int d = 17; d < 20; ++d) {
        const QColor faint = KoWaitingSpinnerWidget::currentLineColor(d, 20, 80, minOpacity, blue);
        QVERIFY(qAbs(faint.alphaF() - 0.0314) < 0.005);
    }
    // Out-of-range opacity percentages give a valid, bounded alpha.
    QCOMPARE(KoWaitingSpinnerWidget::currentLineColor(19, 20, 80, 250, blue).alphaF(), 1.0);
    QCOMPARE(KoWaitingSpinnerWidget::currentLineColor(19, 20, 80, -5, blue).alphaF(), 0.0);
}

void TestWidgets::spinnerStartStopAndPaint()
{
    QWidget page;
    page.resize(200, 100);
    auto* spinner = new KoWaitingSpinnerWidget(&page, true, true);
    spinner->setColor(QColor(0, 100, 255));
    page.show();

    spinner->start();
    QVERIFY(spinner->isSpinning());
    QVERIFY(spinner->isVisible());
    QVERIFY(!page.isEnabled());
    QVERIFY(spinnerTimer(*spinner)->isActive());
    QCOMPARE(spinner->pos(), QPoint(100 - 20, 50 - 20));
    savePicture(*spinner, QStringLiteral("spinner"));
    // Let it turn a few steps and paint on the way.
    QTest::qWait(150);

    spinner->stop();
    QVERIFY(!spinner->isSpinning());
    QVERIFY(!spinner->isVisible());
    QVERIFY(page.isEnabled());
    QVERIFY(!spinnerTimer(*spinner)->isActive());

    // Fewer lines than the counter had reached: painting restarts the ring.
    spinner->start();
    QTest::qWait(100);
    spinner->setNumberOfLines(1);
    spinner->grab();
    spinner->setNumberOfLines(0);
    QCOMPARE(spinner->numberOfLines(), 1);
    spinner->grab();
    spinner->stop();

    KoWaitingSpinnerWidget window(Qt::ApplicationModal, nullptr, false, false);
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(window.testAttribute(Qt::WA_TranslucentBackground));
    QCOMPARE(window.windowModality(), Qt::ApplicationModal);
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
