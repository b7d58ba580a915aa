#include "KoProgressWidget.h"

#include "ui/widgets/KoWaitingSpinnerWidget.h"

#include <QFrame>
#include <QLabel>
#include <QTimer>

KoProgressWidget::KoProgressWidget(QWidget* parent)
    : QWidget(parent)
    , m_frame(new QFrame(this))
    , m_label(nullptr)
    , m_timer(new QTimer(this))
    , m_spinner(nullptr)
{
    setFixedSize(100, 100);
    m_frame->setGeometry(0, 0, 100, 100);
    m_frame->setStyleSheet(QStringLiteral("background: rgba(190, 230, 250, 80%);border-radius:10px;"));

    m_spinner = new KoWaitingSpinnerWidget(m_frame, false, true);
    m_spinner->setColor(QColor(0, 100, 255, 255));
    m_spinner->setGeometry(30, 15, 40, 40);

    m_label = new QLabel(m_frame);
    m_label->setStyleSheet(QStringLiteral(
        "color: rgb(0, 100, 255);background: transparent;font-size: 14px;font-family: Microsoft Yahei;"));

    connect(m_timer, &QTimer::timeout, this, &KoProgressWidget::stop);
    hide();
}

KoProgressWidget::~KoProgressWidget()
{
    m_spinner->stop();
}

void KoProgressWidget::start(QString title, int timeout)
{
    m_label->setText(title);
    m_label->adjustSize();
    m_label->move((100 - m_label->width()) / 2, 70);
    if (timeout > 0) {
        m_timer->setSingleShot(true);
        m_timer->start(timeout);
    }
    if (parentWidget())
        parentWidget()->setEnabled(false);
    show();
    m_spinner->start();
}

void KoProgressWidget::start(QString title)
{
    start(title, 0);
}

void KoProgressWidget::stop()
{
    if (m_timer->isActive())
        m_timer->stop();
    m_spinner->stop();
    hide();
    if (parentWidget())
        parentWidget()->setEnabled(true);
}

void KoProgressWidget::showEvent(QShowEvent* event)
{
    if (QWidget* parent = parentWidget())
        move(parent->width() / 2 - 50, parent->height() / 2 - 50);
    QWidget::showEvent(event);
}
