#pragma once

#include <QWidget>

class QLabel;

// One-line message strip on the bottom edge of its page; hides itself after 3 s.
class KoToastWidget : public QWidget
{
    Q_OBJECT
public:
    explicit KoToastWidget(QWidget* parent = nullptr);

    void setText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The area the strip belongs to: its page, or the screen when it has none.
    QRect hostRect() const;

    QLabel* messageLabel;
};
