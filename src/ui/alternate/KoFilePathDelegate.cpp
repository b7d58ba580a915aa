#include "KoFilePathDelegate.h"

#include "ui/alternate/KoAltItemPainter.h"
#include "ui/browser/KoFileModelCommon.h"
#include "ui/widgets/KoItemPainter.h"

#include <QPainter>

namespace {
bool isRoot(const QString& name)
{
    return name == QLatin1String("/");
}
} // namespace

KoFilePathDelegate::KoFilePathDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QString KoFilePathDelegate::shownName(const QString& name)
{
    return KoAltItemPainter::cut(name, 8);
}

void KoFilePathDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect& item = option.rect;
    const bool hovered = option.state & QStyle::State_MouseOver;
    const QString name = index.data(KoFileModelRole::PathName).toString();
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->fillRect(item,
                      hovered                                       ? QColor(246, 249, 255)
                          : (option.state & QStyle::State_Selected) ? QColor(237, 244, 255)
                                                                    : QColor(Qt::white));
    if (isRoot(name)) {
        KoItemPainter::drawImage(painter, QRect(item.left() + 8, item.top() + 6, 16, 16),
                                 QStringLiteral(":/images/icon_file_root"));
    } else {
        const QString shown = shownName(name);
        QFont font = KoItemPainter::font(12);
        font.setUnderline(hovered);
        painter->setFont(font);
        painter->setPen(QColor(102, 102, 102));
        painter->drawText(QRect(item.left() + 8, item.top() + 6, KoItemPainter::metrics(12).horizontalAdvance(shown),
                                16),
                          Qt::AlignLeft | Qt::AlignVCenter, shown);
    }
    if (!index.data(KoFileModelRole::PathIsLast).toBool())
        KoItemPainter::drawImage(painter, QRect(item.right() - 8, item.top() + 10, 8, 8),
                                 QStringLiteral(":/images/icon_file_arrow"));
    painter->restore();
}

QSize KoFilePathDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString name = index.data(KoFileModelRole::PathName).toString();
    int width = isRoot(name) ? 32 : KoItemPainter::metrics(12).horizontalAdvance(shownName(name)) + 16;
    if (!index.data(KoFileModelRole::PathIsLast).toBool())
        width += 8;
    return QSize(width, option.rect.height());
}
