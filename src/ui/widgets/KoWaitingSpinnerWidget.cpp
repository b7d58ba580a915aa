#include "KoWaitingSpinnerWidget.h"

#include <QPainter>
#include <QTimer>

#include <climits>
#include <cmath>

KoWaitingSpinnerWidget::KoWaitingSpinnerWidget(QWidget* parent, bool centerOnParent, bool disableParentWhenSpinning)
    : QWidget(parent)
    , m_centerOnParent(centerOnParent)
    , m_disableParentWhenSpinning(disableParentWhenSpinning)
{
    initialize();
}

KoWaitingSpinnerWidget::KoWaitingSpinnerWidget(Qt::WindowModality modality, QWidget* parent, bool centerOnParent,
                                               bool disableParentWhenSpinning)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_centerOnParent(centerOnParent)
    , m_disableParentWhenSpinning(disableParentWhenSpinning)
{
    initialize();
    setWindowModality(modality);
    setAttribute(Qt::WA_TranslucentBackground);
}

void KoWaitingSpinnerWidget::initialize()
{
    m_color = Qt::black;
    m_roundness = 100.0;
    m_minimumTrailOpacity = 3.14159265358979323846;
    m_trailFadePercentage = 80.0;
    m_revolutionsPerSecond = 1.57079632679489661923;
    m_numberOfLines = 20;
    m_lineLength = 10;
    m_lineWidth = 2;
    m_innerRadius = 10;
    m_currentCounter = 0;
    m_isSpinning = false;

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &KoWaitingSpinnerWidget::rotate);
    updateSize();
    updateTimer();
    hide();
}

void KoWaitingSpinnerWidget::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    updatePosition();
    QPainter painter(this);
    painter.fillRect(rect(), Qt::transparent);
    painter.setRenderHint(QPainter::Antialiasing, true);

    if (m_currentCounter >= m_numberOfLines)
        m_currentCounter = 0;

    painter.setPen(Qt::NoPen);
    const int centre = m_innerRadius + m_lineLength;
    for (int i = 0; i < m_numberOfLines; ++i) {
        painter.save();
        painter.translate(centre, centre);
        const qreal rotateAngle = static_cast<qreal>(360 * i) / static_cast<qreal>(m_numberOfLines);
        painter.rotate(rotateAngle);
        painter.translate(m_innerRadius, 0);
        const int distance = lineCountDistanceFromPrimary(i, m_currentCounter, m_numberOfLines);
        const QColor color = currentLineColor(distance, m_numberOfLines, m_trailFadePercentage, m_minimumTrailOpacity,
                                              m_color);
        painter.setBrush(color);
        painter.drawRoundedRect(QRect(0, -(m_lineWidth / 2), m_lineLength, m_lineWidth), m_roundness, m_roundness,
                                Qt::RelativeSize);
        painter.restore();
    }
}

void KoWaitingSpinnerWidget::start()
{
    updatePosition();
    m_isSpinning = true;
    show();

    if (parentWidget() && m_disableParentWhenSpinning)
        parentWidget()->setEnabled(false);

    if (!m_timer->isActive()) {
        m_timer->start();
        m_currentCounter = 0;
    }
}

void KoWaitingSpinnerWidget::stop()
{
    m_isSpinning = false;
    hide();

    if (parentWidget() && m_disableParentWhenSpinning)
        parentWidget()->setEnabled(true);

    if (m_timer->isActive()) {
        m_timer->stop();
        m_currentCounter = 0;
    }
}

void KoWaitingSpinnerWidget::setNumberOfLines(int lines)
{
    if (lines <= 0)
        return;
    m_numberOfLines = lines;
    m_currentCounter = 0;
    updateTimer();
}

void KoWaitingSpinnerWidget::setLineLength(int length)
{
    m_lineLength = length;
    updateSize();
}

void KoWaitingSpinnerWidget::setLineWidth(int width)
{
    m_lineWidth = width;
    updateSize();
}

void KoWaitingSpinnerWidget::setInnerRadius(int radius)
{
    m_innerRadius = radius;
    updateSize();
}

QColor KoWaitingSpinnerWidget::color()
{
    return m_color;
}

double KoWaitingSpinnerWidget::roundness()
{
    return m_roundness;
}

double KoWaitingSpinnerWidget::minimumTrailOpacity()
{
    return m_minimumTrailOpacity;
}

double KoWaitingSpinnerWidget::trailFadePercentage()
{
    return m_trailFadePercentage;
}

double KoWaitingSpinnerWidget::revolutionsPersSecond()
{
    return m_revolutionsPerSecond;
}

int KoWaitingSpinnerWidget::numberOfLines()
{
    return m_numberOfLines;
}

int KoWaitingSpinnerWidget::lineLength()
{
    return m_lineLength;
}

int KoWaitingSpinnerWidget::lineWidth()
{
    return m_lineWidth;
}

int KoWaitingSpinnerWidget::innerRadius()
{
    return m_innerRadius;
}

bool KoWaitingSpinnerWidget::isSpinning() const
{
    return m_isSpinning;
}

void KoWaitingSpinnerWidget::setRoundness(double roundness)
{
    m_roundness = qBound(0.0, roundness, 100.0);
}

void KoWaitingSpinnerWidget::setColor(QColor color)
{
    m_color = color;
}

void KoWaitingSpinnerWidget::setRevolutionsPerSecond(double revolutionsPerSecond)
{
    // "!(x > 0)" also turns NaN away.
    if (!(revolutionsPerSecond > 0.0))
        return;
    m_revolutionsPerSecond = revolutionsPerSecond;
    updateTimer();
}

void KoWaitingSpinnerWidget::setTrailFadePercentage(double trail)
{
    m_trailFadePercentage = trail;
}

void KoWaitingSpinnerWidget::setMinimumTrailOpacity(double minimumTrailOpacity)
{
    m_minimumTrailOpacity = minimumTrailOpacity;
}

void KoWaitingSpinnerWidget::rotate()
{
    ++m_currentCounter;
    if (m_currentCounter >= m_numberOfLines)
        m_currentCounter = 0;
    update();
}

void KoWaitingSpinnerWidget::updateSize()
{
    const int size = qMax(0, (m_innerRadius + m_lineLength) * 2);
    setFixedSize(size, size);
}

void KoWaitingSpinnerWidget::updateTimer()
{
    // The setters keep both factors positive; bound the result so that a huge
    // speed never turns into a busy 0 ms timer and a tiny one never overflows.
    const double interval = 1000.0 / (m_numberOfLines * m_revolutionsPerSecond);
    int msecs = 1;
    if (interval >= static_cast<double>(INT_MAX))
        msecs = INT_MAX;
    else if (interval >= 1.0)
        msecs = static_cast<int>(interval);
    m_timer->setInterval(msecs);
}

void KoWaitingSpinnerWidget::updatePosition()
{
    if (parentWidget() && m_centerOnParent)
        move(parentWidget()->width() / 2 - width() / 2, parentWidget()->height() / 2 - height() / 2);
}

int KoWaitingSpinnerWidget::lineCountDistanceFromPrimary(int current, int primary, int totalNrOfLines)
{
    int distance = primary - current;
    if (distance < 0)
        distance += totalNrOfLines;
    return distance;
}

QColor KoWaitingSpinnerWidget::currentLineColor(int countDistance, int totalNrOfLines, double trailFadePerc,
                                                double minOpacity, QColor color)
{
    if (countDistance == 0)
        return color;
    // QColor warns on alphas outside 0..1; an odd stored percentage is bounded here.
    const double minAlphaF = qBound(0.0, minOpacity / 100.0, 1.0);
    const int distanceThreshold = static_cast<int>(std::ceil((totalNrOfLines - 1) * trailFadePerc / 100.0));
    if (countDistance > distanceThreshold) {
        color.setAlphaF(minAlphaF);
    } else {
        const double alphaDiff = color.alphaF() - minAlphaF;
        const double gradient = alphaDiff / static_cast<double>(distanceThreshold + 1);
        double resultAlpha = color.alphaF() - gradient * countDistance;
        resultAlpha = qBound(0.0, resultAlpha, 1.0);
        color.setAlphaF(resultAlpha);
    }
    return color;
}
