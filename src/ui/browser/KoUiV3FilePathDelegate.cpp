#include "ui/browser/KoUiV3FilePathDelegate.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/browser/KoFileModelCommon.h"
#include "ui/widgets/KoItemPainter.h"

namespace {
constexpr int kFontPx = 14;
constexpr int kMaxChars = 8;
} // namespace

QString KoUiV3FilePathDelegate::displayText(const QString& name)
{
    const QVector<uint> codePoints = name.toUcs4();
    if (codePoints.size() <= kMaxChars)
        return name;
    return QString::fromUcs4(codePoints.constData(), kMaxChars) + QStringLiteral("...");
}

QRect KoUiV3FilePathDelegate::textRect(const QRect& item, const QString& shown)
{
    const QFontMetrics& metrics = KoItemPainter::metrics(kFontPx);
    return QRect(item.x() + 8, item.y() + (item.height() - metrics.height()) / 2, metrics.horizontalAdvance(shown),
                 metrics.height());
}

void KoUiV3FilePathDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const
{
    const QString shown = displayText(index.data(KoFileModelRole::PathName).toString());
    QColor color(0xBE, 0xBE, 0xBE);
    if (option.state & QStyle::State_Selected)
        color = QColor(0x31, 0x31, 0x31);
    else if (option.state & QStyle::State_MouseOver)
        color = QColor(0x4D, 0x90, 0xFF);
    KoItemPainter::drawText(painter, textRect(option.rect, shown), shown, kFontPx, color, Qt::ElideNone,
                            Qt::AlignLeft | Qt::AlignVCenter);
    if (!index.data(KoFileModelRole::PathIsLast).toBool()) {
        const QRect& r = option.rect;
        KoItemPainter::drawImage(painter, QRect(r.right() - 8, r.y() + (r.bottom() - r.y() - 7) / 2, 7, 11),
                                 QStringLiteral(":/ui_v3/images/icon_path_next"));
    }
}

QSize KoUiV3FilePathDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QString shown = displayText(index.data(KoFileModelRole::PathName).toString());
    const int extra = index.data(KoFileModelRole::PathIsLast).toBool() ? 0 : 8;
    return QSize(KoItemPainter::metrics(kFontPx).horizontalAdvance(shown) + 14 + extra, option.rect.height());
}

bool KoUiV3FilePathDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                         const QModelIndex& index)
{
    if (event->type() == QEvent::MouseMove) {
        if (auto* widget = qobject_cast<QWidget*>(parent())) {
            const QString shown = displayText(index.data(KoFileModelRole::PathName).toString());
            const bool overText = textRect(option.rect, shown).contains(static_cast<QMouseEvent*>(event)->pos());
            widget->setCursor(overText ? Qt::PointingHandCursor : Qt::ArrowCursor);
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
