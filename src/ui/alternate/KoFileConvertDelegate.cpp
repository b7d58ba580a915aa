#include "KoFileConvertDelegate.h"

#include "model/KoFileConvertInfo.h"
#include "ui/alternate/KoAltItemPainter.h"
#include "ui/alternate/KoFileConvertInfoListModel.h"
#include "ui/widgets/KoItemPainter.h"
#include "ui/widgets/KoRowPainter.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
using Model = KoFileConvertInfoListModel;
constexpr int kRowHeight = 56;
constexpr int kBarWidth = 488;
const int kLeftFlags = Qt::AlignLeft | Qt::AlignVCenter;

int h14()
{
    return KoItemPainter::metrics(14).height();
}

int h12()
{
    return KoItemPainter::metrics(12).height();
}

// Top of the name line: transferring rows make room for the bar.
int nameTop(const QRect& row, bool transferring)
{
    const int free = kRowHeight - h14() - h12();
    return row.top() + (transferring ? (free - 12) / 2 : (free - 4) / 2);
}

// An image with its caption in the 14 px font, as the row buttons are drawn.
void drawButton(QPainter* painter, const QRect& row, int x, const QString& image, const QString& caption,
                int captionWidth)
{
    KoItemPainter::drawImage(painter, QRect(row.left() + x, row.top() + 20, 16, 16), image);
    KoItemPainter::drawText(painter,
                            QRect(row.left() + x + 24, row.top() + (kRowHeight - h14()) / 2, captionWidth, h14()),
                            caption, 14, QColor(55, 55, 55), Qt::ElideNone, kLeftFlags);
}

bool hit(const QRect& area, const QMouseEvent* mouse)
{
    return area.contains(mouse->pos());
}
} // namespace

KoFileConvertDelegate::KoFileConvertDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QRect KoFileConvertDelegate::deleteRect(const QRect& row)
{
    return QRect(row.left() + 568, row.top() + 20, 16, 16);
}

QRect KoFileConvertDelegate::retryRect(const QRect& row)
{
    return QRect(row.left() + 458, row.top() + 12, 80, 32);
}

QRect KoFileConvertDelegate::openFileRect(const QRect& row)
{
    return QRect(row.left() + 388, row.top() + 12, 54, 32);
}

QRect KoFileConvertDelegate::openDirRect(const QRect& row)
{
    return QRect(row.left() + 458, row.top() + 12, 94, 32);
}

QRect KoFileConvertDelegate::barRect(const QRect& row)
{
    return QRect(row.left() + 64, nameTop(row, true) + h14() + 4, kBarWidth, 4);
}

void KoFileConvertDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const
{
    const QRect& row = option.rect;
    const bool download = index.data(Model::KindRole).toInt() == KoFileConvertInfo::TypeDownload;
    const int state = index.data(Model::StateRole).toInt();
    const bool transferring = state == KoFileConvertInfo::StateConverting;
    const int top = nameTop(row, transferring);
    const QColor grey(173, 173, 173);

    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (option.state & QStyle::State_Selected)
        painter->fillRect(row, QColor(246, 249, 255));
    // A record without its file has no type: no image, as it has no name.
    const QVariant type = index.data(Model::FileTypeRole);
    if (type.isValid())
        KoItemPainter::drawImage(painter, QRect(row.left() + 16, row.top() + 12, 32, 32),
                                 KoAltItemPainter::fileTypeImage(type.toInt()));
    KoItemPainter::drawText(painter, QRect(row.left() + 64, top, 308, h14()),
                            index.data(Model::FileNameRole).toString(), 14, QColor(51, 51, 51), Qt::ElideMiddle,
                            kLeftFlags);

    const QRect second(row.left() + 64, top + h14() + 4, 84, h12());
    const QString total = index.data(Model::TotalSizeRole).toString();
    switch (state) {
    case KoFileConvertInfo::StateConverting: {
        const QRect bar = barRect(row);
        painter->fillRect(bar, QColor(212, 212, 212));
        painter->fillRect(QRect(bar.left(), bar.top(),
                                KoRowPainter::barFillWidth(bar, index.data(Model::ProgressRole).toInt()),
                                bar.height()),
                          QColor(77, 144, 255));
        KoItemPainter::drawText(painter, QRect(row.left() + 64, top + h14() + 12, 200, h12()),
                                index.data(Model::ConvertedSizeRole).toString() + QLatin1Char('/') + total, 12, grey,
                                Qt::ElideNone, kLeftFlags);
        break;
    }
    case KoFileConvertInfo::StateWaiting:
        KoItemPainter::drawText(painter, second, download ? QStringLiteral("等待下载") : QStringLiteral("等待上传"),
                                12, grey, Qt::ElideNone, kLeftFlags);
        break;
    case KoFileConvertInfo::StateFailed:
        KoItemPainter::drawText(painter, second, download ? QStringLiteral("下载失败") : QStringLiteral("上传失败"),
                                12, QColor(255, 64, 64), Qt::ElideNone, kLeftFlags);
        drawButton(painter, row, 458, QStringLiteral(":/images/icon_file_download_retry"),
                   download ? QStringLiteral("继续下载") : QStringLiteral("重新上传"), 64);
        break;
    case KoFileConvertInfo::StateFinished:
        KoItemPainter::drawText(painter, second, total, 12, grey, Qt::ElideNone, kLeftFlags);
        KoItemPainter::drawText(painter, QRect(row.left() + 164, top + h14() + 4, 84, h12()),
                                download ? QStringLiteral("下载完成") : QStringLiteral("上传完成"), 12,
                                QColor(124, 179, 66), Qt::ElideNone, kLeftFlags);
        if (download) {
            drawButton(painter, row, 388, QStringLiteral(":/images/icon_file_open_file"), QStringLiteral("打开"), 38);
            drawButton(painter, row, 458, QStringLiteral(":/images/icon_file_open_dir"), QStringLiteral("打开文件夹"),
                       78);
        }
        break;
    default: // paused: name only
        break;
    }
    KoItemPainter::drawImage(painter, deleteRect(row), QStringLiteral(":/images/icon_btn_delete"));
    KoAltItemPainter::bottomLine(painter, row);
    painter->restore();
}

QSize KoFileConvertDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(600, kRowHeight);
}

bool KoFileConvertDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                        const QModelIndex& index)
{
    const int state = index.data(Model::StateRole).toInt();
    const bool download = index.data(Model::KindRole).toInt() == KoFileConvertInfo::TypeDownload;
    const int taskId = index.data(Model::TaskIdRole).toInt();
    auto* view = qobject_cast<QWidget*>(parent());
    const QRect& row = option.rect;
    const bool isMouse = event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonPress;
    const auto* mouse = isMouse ? static_cast<QMouseEvent*>(event) : nullptr;
    const bool leftPress = event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton;

    if (leftPress && hit(deleteRect(row), mouse)) {
        emit delButtonClicked(taskId, state);
        return true;
    }

    // The other areas this row offers, by state; waiting and paused rows leave the cursor alone.
    QList<QRect> areas;
    if (state == KoFileConvertInfo::StateFailed)
        areas = {retryRect(row)};
    else if (state == KoFileConvertInfo::StateFinished && download)
        areas = {openFileRect(row), openDirRect(row)};
    else if (state != KoFileConvertInfo::StateConverting && state != KoFileConvertInfo::StateFinished)
        return QStyledItemDelegate::editorEvent(event, model, option, index);

    if (view) {
        bool pointing = false;
        if (event->type() == QEvent::MouseMove) {
            pointing = hit(deleteRect(row), mouse);
            for (const QRect& area : areas)
                pointing = pointing || hit(area, mouse);
        }
        view->setCursor(pointing ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    if (leftPress && state == KoFileConvertInfo::StateFailed && hit(retryRect(row), mouse)) {
        emit retryButtonClicked(taskId);
        return true;
    }
    if (leftPress && state == KoFileConvertInfo::StateFinished && download) {
        const QString localPath = index.data(Model::LocalPathRole).toString();
        if (hit(openFileRect(row), mouse)) {
            emit openFileButtonClicked(localPath);
            return true;
        }
        if (hit(openDirRect(row), mouse)) {
            emit openDirButtonClicked(localPath);
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
