#include "KoTransferTableModel.h"

#include "app/KoCommonUtil.h"
#include "model/KoAbstractFile.h"
#include "model/KoFileConvertInfo.h"
#include "ui/widgets/KoImageCache.h"

#include <QFont>

KoTransferTableModel::KoTransferTableModel(QObject* parent, int columnCount, const QStringList& headers)
    : QAbstractTableModel(parent)
    , m_columnCount(columnCount)
    , m_headers(headers)
{
}

void KoTransferTableModel::setList(QList<KoFileConvertInfo*>* list)
{
    beginResetModel();
    m_list = list;
    m_rows = list ? QVector<KoFileConvertInfo*>(list->begin(), list->end()) : QVector<KoFileConvertInfo*>();
    m_shown.clear();
    endResetModel();
}

KoTransferTableModel::Shown KoTransferTableModel::shownOf(const KoFileConvertInfo* record)
{
    Shown shown;
    shown.state = record->getConvertState();
    shown.progress = record->getProgress();
    shown.converted = KoCommonUtil::getFileSizeStringFromLong(record->getConvertedSize());
    shown.total = KoCommonUtil::getFileSizeStringFromLong(record->getTotalSize());
    return shown;
}

void KoTransferTableModel::refreshRows(int first, int last, bool announce)
{
    QHash<const KoFileConvertInfo*, Shown> shown;
    first = qMax(0, first);
    last = qMin(last, m_rows.size() - 1);
    for (int row = first; row <= last; ++row) {
        const KoFileConvertInfo* record = recordAt(row);
        if (!record)
            continue;
        const Shown now = shownOf(record);
        const auto before = m_shown.constFind(record);
        const bool changed = before == m_shown.constEnd() || !(*before == now);
        shown.insert(record, now);
        if (!announce || !changed)
            continue;
        // One cell at a time: a view repaints a single changed cell, but the whole viewport
        // for a range. Names and phones never change; state and buttons do.
        for (int column = 2; column < qMin(m_columnCount, 4); ++column)
            emit dataChanged(index(row, column), index(row, column));
    }
    m_shown.swap(shown);
}

KoFileConvertInfo* KoTransferTableModel::recordAt(int row) const
{
    if (!m_list || row < 0 || row >= m_rows.size() || row >= m_list->size())
        return nullptr;
    KoFileConvertInfo* record = m_list->at(row);
    return record == m_rows.at(row) ? record : nullptr;
}

KoFileConvertInfo* KoTransferTableModel::recordAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this || index.column() >= m_columnCount)
        return nullptr;
    return recordAt(index.row());
}

bool KoTransferTableModel::isStale() const
{
    return m_list && m_list->size() != m_rows.size();
}

int KoTransferTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int KoTransferTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant KoTransferTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        if (orientation == Qt::Horizontal && section >= 0 && section < m_headers.size())
            return m_headers.at(section);
        return QVariant();
    case Qt::FontRole:
        return QFont(QStringLiteral("Microsoft YaHei"));
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QPixmap KoTransferTableModel::fileTypeIcon(int fileType)
{
    const char* name = "icon_file_other_small";
    switch (fileType) {
    case KoAbstractFile::TypeZip:
        name = "icon_file_zip_small";
        break;
    case KoAbstractFile::TypeApk:
        name = "icon_file_apk_small";
        break;
    case KoAbstractFile::TypePhoto:
        name = "icon_file_img_small";
        break;
    case KoAbstractFile::TypeWord:
        name = "icon_file_word_small";
        break;
    case KoAbstractFile::TypeAudio:
        name = "icon_file_music_small";
        break;
    case KoAbstractFile::TypePpt:
        name = "icon_file_ppt_small";
        break;
    case KoAbstractFile::TypeVideo:
        name = "icon_file_video_small";
        break;
    case KoAbstractFile::TypeExcel:
        name = "icon_file_excel_small";
        break;
    case KoAbstractFile::TypePdf:
        name = "icon_file_pdf_small";
        break;
    case KoAbstractFile::TypeTxt:
        name = "icon_file_doc_small";
        break;
    default:
        break;
    }
    return KoImageCache::pixmap(QStringLiteral(":/ui_v3/images/") + QLatin1String(name), QSize(18, 18));
}

QVariant KoTransferTableModel::progressData(const QModelIndex& index, int role, KoFileConvertInfo* record,
                                            const KoAbstractFile* file) const
{
    switch (role) {
    case Qt::DecorationRole:
        if (index.column() == 0 && file)
            return fileTypeIcon(file->getFileType());
        return QVariant();
    case Qt::DisplayRole:
        if (index.column() == 0 && file)
            return file->getFullName();
        if (index.column() == 1 && !record->getUsrNick().isEmpty() && !record->getDeviceName().isEmpty())
            return record->getUsrNick() + QLatin1Char('(') + record->getDeviceName() + QLatin1Char(')');
        return QVariant();
    default:
        return recordData(record, role);
    }
}

QVariant KoTransferTableModel::recordData(const KoFileConvertInfo* record, int role)
{
    switch (role) {
    case TotalSizeRole:
        return KoCommonUtil::getFileSizeStringFromLong(record->getTotalSize());
    case StateRole:
        return record->getConvertState();
    case ProgressRole:
        return record->getProgress();
    case ConvertedSizeRole:
        return KoCommonUtil::getFileSizeStringFromLong(record->getConvertedSize());
    case TaskIdRole:
        return record->getTaskId();
    default:
        return QVariant();
    }
}
