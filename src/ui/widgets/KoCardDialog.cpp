#include "KoCardDialog.h"

#include "app/KoCommonUtil.h"
#include "ui/KoUiInit.h"
#include "ui/widgets/KoSurfaceDrag.h"

#include <QPainter>
#include <QPushButton>

KoCardDialog::KoCardDialog(QWidget* parent)
    : QDialog(parent)
{
    koInitUiResources();
    new KoSurfaceDrag(this);
}

QString KoCardDialog::confirmButtonStyle()
{
    return QString::fromUtf8(KoCommonUtil::getQss(QStringLiteral(":/ui_v3/qss/KoConfirmButton")).constData());
}

QString KoCardDialog::noAnswerText()
{
    return QStringLiteral("网络异常, 请检查网络连接后重试");
}

QString KoCardDialog::unknownErrorText()
{
    return QStringLiteral("出现未知错误, 请重试");
}

void KoCardDialog::initCard(QPushButton* btnClose)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::FramelessWindowHint);
    btnClose->setGeometry(8, 8, 12, 12);
    btnClose->setStyleSheet(QStringLiteral(
        "QPushButton {border-style: flat; background: url(:/ui_v3/images/icon_mac_btn_close_window);}"
        "QPushButton:hover {border-style: flat; background: url(:/ui_v3/images/icon_mac_btn_close_window_hover);}"));
}

void KoCardDialog::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setBrush(QBrush(Qt::white));
        painter.setPen(QPen(Qt::gray, 1));
        painter.drawRoundedRect(QRect(0, 0, width() - 2, height() - 2), 4, 4, Qt::AbsoluteSize);
    }
    QDialog::paintEvent(event);
}
