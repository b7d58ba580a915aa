#pragma once

#include <QColor>
#include <QWidget>

class QTimer;

// Busy indicator: a ring of fading lines that turns while spinning.
class KoWaitingSpinnerWidget : public QWidget
{
    Q_OBJECT
public:
    explicit KoWaitingSpinnerWidget(QWidget* parent = nullptr, bool centerOnParent = true,
                                    bool disableParentWhenSpinning = true);
    // A frameless, translucent window of its own with the given modality.
    KoWaitingSpinnerWidget(Qt::WindowModality modality, QWidget* parent = nullptr, bool centerOnParent = true,
                           bool disableParentWhenSpinning = true);

    void setColor(QColor color);
    void setRoundness(double roundness);
    void setMinimumTrailOpacity(double minimumTrailOpacity);
    void setTrailFadePercentage(double trail);
    // Ignored unless above zero: the step interval divides by it.
    void setRevolutionsPerSecond(double revolutionsPerSecond);
    // Ignored unless above zero: the ring needs at least one line.
    void setNumberOfLines(int lines);
    void setLineLength(int length);
    void setLineWidth(int width);
    void setInnerRadius(int radius);

    QColor color();
    double roundness();
    double minimumTrailOpacity();
    double trailFadePercentage();
    double revolutionsPersSecond();
    int numberOfLines();
    int lineLength();
    int lineWidth();
    int innerRadius();
    bool isSpinning() const;

    static int lineCountDistanceFromPrimary(int current, int primary, int totalNrOfLines);
    static QColor currentLineColor(int distance, int totalNrOfLines, double trailFadePerc, double minOpacity,
                                   QColor color);

public slots:
    void start();
    void stop();

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void rotate();

private:
    void initialize();
    void updateSize();
    void updateTimer();
    void updatePosition();

    QColor m_color;
    double m_roundness;
    double m_minimumTrailOpacity;
    double m_trailFadePercentage;
    double m_revolutionsPerSecond;
    int m_numberOfLines;
    int m_lineLength;
    int m_lineWidth;
    int m_innerRadius;
    QTimer* m_timer;
    bool m_centerOnParent;
    bool m_disableParentWhenSpinning;
    int m_currentCounter;
    bool m_isSpinning;
};
