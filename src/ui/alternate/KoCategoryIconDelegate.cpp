#include "KoCategoryIconDelegate.h"

#include "ui/alternate/KoFileIconDelegate.h"
#include "ui/browser/KoFileModelCommon.h"
#include "ui/widgets/KoItemPainter.h"

#include <QPainter>

namespace {
QString categoryImage(int category)
{
    switch (category) {
    case 1:
    case 12:
        return QStringLiteral(":/images/icon_category_reraze");
    case 2:
    case 3:
        return QStringLiteral(":/images/icon_category_photo");
    case 9:
        return QStringLiteral(":/images/icon_category_storage");
    case 11:
        return QStringLiteral(":/images/icon_category_sdcard");
    default:
        return QString();
    }
}
} // namespace

KoCategoryIconDelegate::KoCategoryIconDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

void KoCategoryIconDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const
{
    const QString name = index.data(KoFileModelRole::CategoryName).toString();
    if (name.isEmpty())
        return;
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    KoFileIconDelegate::paintTile(painter, option);
    const QString image = categoryImage(index.data(KoFileModelRole::CategoryType).toInt());
    if (!image.isEmpty())
        KoItemPainter::drawImage(painter, KoFileIconDelegate::imageRect(option.rect), image);
    KoFileIconDelegate::paintName(painter, option.rect, name);
    painter->restore();
}

QSize KoCategoryIconDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(130, 130);
}
