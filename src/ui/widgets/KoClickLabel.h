#pragma once

#include <QLabel>

// A label that reports a left-button release as a click (links, head images).
class KoClickLabel : public QLabel
{
    Q_OBJECT
public:
    explicit KoClickLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
