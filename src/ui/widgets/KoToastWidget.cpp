#include "KoToastWidget.h"

#include "app/KoCommonUtil.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStyleOption>
#include <QTimer>

static const int kToastShowMsecs = 3000;

KoToastWidget::KoToastWidget(QWidget* parent)
    : QWidget(parent)
    , messageLabel(new QLabel(this))
{
    setFixedHeight(32);
    setAutoFillBackground(true);
    setObjectName(QStringLiteral("toastWidget"));
    messageLabel->setObjectName(QStringLiteral("messageLabel"));
    messageLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    messageLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    messageLabel->setFont(QApplication::font());
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(5);
    layout->setContentsMargins(16, 5, 16, 5);
    layout->addWidget(messageLabel);
    setStyleSheet(
        QStringLiteral("QWidget#toastWidget {background: rgba(190, 230, 250, 80%);}"
                       "QLabel#messageLabel {color: rgb(0, 100, 255);background: transparent;font-size: 12px;}"));
}

QRect KoToastWidget::hostRect() const
{
    if (const QWidget* parent = parentWidget())
        return QRect(0, 0, parent->width(), parent->height());
    return KoCommonUtil::getScreenGeometry();
}

void KoToastWidget::setText(const QString& text)
{
    hide();
    const int room = hostRect().width() - 42;
    const QString shown = messageLabel->fontMetrics().elidedText(text, Qt::ElideMiddle, qMax(0, room));
    messageLabel->setText(shown);
    adjustSize();
    show();
}

void KoToastWidget::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void KoToastWidget::showEvent(QShowEvent* event)
{
    QTimer::singleShot(kToastShowMsecs, this, &QWidget::hide);
    const QRect host = hostRect();
    move(host.x() + host.width() / 2 - width() / 2, host.y() + host.height() - height());
    QWidget::showEvent(event);
}
