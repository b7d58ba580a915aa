#pragma once

#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QTimer;
class KoWaitingSpinnerWidget;

// 100 x 100 busy box (spinner and caption) in the middle of its page; the page
// is disabled while the box shows.
class KoProgressWidget : public QWidget
{
    Q_OBJECT
public:
    explicit KoProgressWidget(QWidget* parent = nullptr);
    ~KoProgressWidget() override;

public slots:
    // timeout > 0 (ms) stops the box by itself after that time.
    void start(QString title, int timeout);
    void start(QString title);
    void stop();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QFrame* m_frame;
    QLabel* m_label;
    QTimer* m_timer;
    KoWaitingSpinnerWidget* m_spinner;
};
