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

namespace {
// The roles a row keeps of what it showed, for each column.
const int kKeptRoles[] = {Qt::DisplayRole,
                          Qt::DecorationRole,
                          KoTransferTableModel::TotalSizeRole,
                          KoTransferTableModel::LocalPathRole,
                          KoTransferTableModel::KindRole,
                          KoTransferTableModel::StateRole,
                          KoTransferTableModel::ProgressRole,
                          KoTransferTableModel::ConvertedSizeRole,
                          KoTransferTableModel::TaskIdRole};
constexpr int kKept = int(sizeof(kKeptRoles) / sizeof(kKeptRoles[0]));
// Names and phones never change; state and buttons do.
constexpr int kFirstStateColumn = 2;
constexpr int kStateColumnsEnd = 4;

int keptSlot(int role)
{
    for (int slot = 0; slot < kKept; ++slot) {
        if (kKeptRoles[slot] == role)
            return slot;
    }
    return -1;
}
} // namespace

void KoTransferTableModel::setList(QList<KoFileConvertInfo*>* list)
{
    beginResetModel();
    m_list = list;
    m_rows.clear();
    if (list) {
        m_rows.resize(list->size());
        for (int i = 0; i < list->size(); ++i) {
            m_rows[i].record = list->at(i);
            m_rows[i].at = i;
        }
    }
    m_places.clear();
    m_placesCurrent = false;
    endResetModel();
}

KoTransferTableModel::Row* KoTransferTableModel::rowOf(int row) const
{
    return m_list && row >= 0 && row < m_rows.size() ? &m_rows[row] : nullptr;
}

KoFileConvertInfo* KoTransferTableModel::findRecord(Row& row) const
{
    if (row.left)
        return nullptr;
    KoFileConvertInfo* record = row.record.data();
    if (!record) {
        row.left = true;
        return nullptr;
    }
    if (row.at < m_list->size() && m_list->at(row.at) == record)
        return record;
    // Moved: looked up in the index, rebuilt when it is older than the last change it meets.
    int at = m_places.value(record, -1);
    const bool found = at >= 0 && at < m_list->size() && m_list->at(at) == record;
    if (!found && (at >= 0 || !m_placesCurrent)) {
        m_places.clear();
        m_places.reserve(m_list->size());
        for (int i = 0; i < m_list->size(); ++i)
            m_places.insert(m_list->at(i), i);
        m_placesCurrent = true;
        at = m_places.value(record, -1);
    }
    // Missing from an index built after the reset: it left since.
    if (at < 0) {
        row.left = true;
        return nullptr;
    }
    row.at = at;
    return record;
}

void KoTransferTableModel::takeShown(Row& row, KoFileConvertInfo* record) const
{
    row.shown.resize(m_columnCount * kKept);
    for (int column = 0; column < m_columnCount; ++column) {
        for (int slot = 0; slot < kKept; ++slot)
            row.shown[column * kKept + slot] = recordValue(record, column, kKeptRoles[slot]);
    }
    row.shownAt = m_refreshes;
}

bool KoTransferTableModel::sameState(const QVector<QVariant>& a, const QVector<QVariant>& b) const
{
    if (a.size() != b.size())
        return false;
    for (int i = kFirstStateColumn * kKept; i < qMin(m_columnCount, kStateColumnsEnd) * kKept; ++i) {
        if (a.at(i) != b.at(i))
            return false;
    }
    return true;
}

void KoTransferTableModel::refreshRows(int first, int last, bool announce)
{
    const int previous = m_refreshes++;
    first = qMax(0, first);
    last = qMin(last, m_rows.size() - 1);
    for (int i = first; i <= last; ++i) {
        Row* row = rowOf(i);
        KoFileConvertInfo* record = row ? findRecord(*row) : nullptr;
        // Ended: the row keeps what it showed.
        if (!record)
            continue;
        const QVector<QVariant> before = row->shown;
        const bool covered = row->coveredAt == previous;
        takeShown(*row, record);
        row->coveredAt = m_refreshes;
        if (!announce || (covered && sameState(before, row->shown)))
            continue;
        // One cell at a time: a view repaints a single changed cell, but the whole viewport
        // for a range.
        for (int column = kFirstStateColumn; column < qMin(m_columnCount, kStateColumnsEnd); ++column)
            emit dataChanged(index(i, column), index(i, column));
    }
}

KoFileConvertInfo* KoTransferTableModel::recordAt(int row) const
{
    Row* r = rowOf(row);
    return r ? findRecord(*r) : nullptr;
}

QVariant KoTransferTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this || index.column() >= m_columnCount)
        return QVariant();
    Row* row = rowOf(index.row());
    if (!row)
        return QVariant();
    if (KoFileConvertInfo* record = findRecord(*row)) {
        // Kept once per refresh: what the row shows if its record leaves before the next.
        if (row->shownAt != m_refreshes)
            takeShown(*row, record);
        return recordValue(record, index.column(), role);
    }
    if (row->shown.isEmpty()) {
        if (KoFileConvertInfo* record = row->record.data())
            takeShown(*row, record);
    }
    const int slot = keptSlot(role);
    if (slot < 0 || row->shown.isEmpty())
        return QVariant();
    return row->shown.at(index.column() * kKept + slot);
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

QVariant KoTransferTableModel::progressData(int column, int role, KoFileConvertInfo* record,
                                            const KoAbstractFile* file)
{
    switch (role) {
    case Qt::DecorationRole:
        if (column == 0 && file)
            return fileTypeIcon(file->getFileType());
        return QVariant();
    case Qt::DisplayRole:
        if (column == 0 && file)
            return file->getFullName();
        if (column == 1 && !record->getUsrNick().isEmpty() && !record->getDeviceName().isEmpty())
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
