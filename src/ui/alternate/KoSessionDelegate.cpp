#include "KoSessionDelegate.h"

#include "model/KoFacilityListModel.h"
#include "net/KoUser.h"
#include "ui/alternate/KoAltItemPainter.h"
#include "ui/widgets/KoItemPainter.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
bool isOwnDevice(int uid)
{
    KoUser* user = KoUser::getInstance();
    return user->isLogin() && uid == user->getId();
}
} // namespace

KoSessionDelegate::KoSessionDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QRect KoSessionDelegate::deleteRect(const QRect& item)
{
    return QRect(item.right() - 31, item.top() + 22, 20, 20);
}

QString KoSessionDelegate::caption(int uid, int deviceType, const QString& nick)
{
    return isOwnDevice(uid) ? KoAltItemPainter::ownDeviceCaption(deviceType) : nick;
}

void KoSessionDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect& item = option.rect;
    const int uid = index.data(KoFacilityListModel::UidRole).toInt();
    const int type = index.data(KoFacilityListModel::DeviceTypeRole).toInt();
    const int h1 = KoItemPainter::metrics(16).height();
    const int h2 = KoItemPainter::metrics(12).height();
    const int textTop = item.top() + (58 - h1 - h2) / 2;

    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->fillRect(item, (option.state & QStyle::State_Selected) ? QColor(228, 238, 255) : QColor(Qt::white));
    const QString image = isOwnDevice(uid) ? KoAltItemPainter::deviceImage(type, true)
                                           : QStringLiteral(":/images/default_avator_other_middle");
    if (!image.isEmpty())
        KoItemPainter::drawImage(painter, QRect(item.left() + 12, item.top() + 12, 40, 40), image);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter;
    KoItemPainter::drawText(painter, QRect(item.left() + 60, textTop, 174, h1),
                            caption(uid, type, index.data(KoFacilityListModel::NickRole).toString()), 16,
                            QColor(51, 51, 51), Qt::ElideRight, flags);
    KoItemPainter::drawText(painter, QRect(item.left() + 60, textTop + h1 + 6, 174, h2),
                            index.data(KoFacilityListModel::DeviceNameRole).toString(), 12, QColor(153, 153, 153),
                            Qt::ElideRight, flags);
    if (option.state & QStyle::State_MouseOver)
        KoItemPainter::drawImage(painter, deleteRect(item), QStringLiteral(":/images/icon_btn_delete"));
    KoAltItemPainter::bottomLine(painter, item);
    painter->restore();
}

QSize KoSessionDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(274, 64);
}

bool KoSessionDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                    const QModelIndex& index)
{
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (deleteRect(option.rect).contains(static_cast<QMouseEvent*>(event)->pos())) {
            emit buttonClicked(index);
            return true;
        }
        emit itemClicked(index);
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
