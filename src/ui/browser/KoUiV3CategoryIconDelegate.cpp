#include "ui/browser/KoUiV3CategoryIconDelegate.h"

#include <QPainter>

#include "ui/browser/KoFileModelCommon.h"
#include "ui/browser/KoUiV3FileIconDelegate.h"
#include "ui/widgets/KoItemPainter.h"

QString KoUiV3CategoryIconDelegate::categoryImage(int categoryType)
{
    if (categoryType == 1 || categoryType == 12)
        return QStringLiteral(":/ui_v3/images/icon_category_udisk");
    if (categoryType == 2 || categoryType == 3)
        return QStringLiteral(":/ui_v3/images/icon_category_photo");
    if (categoryType == 11)
        return QStringLiteral(":/ui_v3/images/icon_category_sdcard");
    if (categoryType >= 4 && categoryType <= 10)
        return QStringLiteral(":/ui_v3/images/icon_category_storage");
    return QString();
}

void KoUiV3CategoryIconDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const
{
    const QRect& item = option.rect;
    KoItemPainter::fillTile(painter, KoUiV3FileIconDelegate::frameRect(item), option.state & QStyle::State_Selected,
                            option.state & QStyle::State_MouseOver);
    const QString image = categoryImage(index.data(KoFileModelRole::CategoryType).toInt());
    if (!image.isEmpty())
        KoItemPainter::drawImage(painter, KoUiV3FileIconDelegate::iconRect(item), image);
    KoItemPainter::drawText(painter, KoUiV3FileIconDelegate::nameRect(item),
                            index.data(KoFileModelRole::CategoryName).toString(), 12, QColor(0x31, 0x31, 0x31),
                            Qt::ElideNone, Qt::AlignCenter);
}

QSize KoUiV3CategoryIconDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(128, 128);
}
