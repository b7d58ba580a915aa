#include "ui/browser/KoRemoteFileTableModel.h"

#include <QColor>

#include "app/KoCommonUtil.h"
#include "model/KoRemoteFile.h"

KoRemoteFileTableModel::KoRemoteFileTableModel(QObject* parent, int columnCount)
    : QAbstractTableModel(parent)
    , m_columnCount(columnCount)
{
}

void KoRemoteFileTableModel::setList(QList<KoRemoteFile*>* list)
{
    beginResetModel();
    m_list = list;
    endResetModel();
}

int KoRemoteFileTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_list ? 0 : m_list->size();
}

int KoRemoteFileTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

KoRemoteFile* KoRemoteFileTableModel::fileAt(const QModelIndex& index) const
{
    if (!index.isValid() || !m_list || index.row() >= m_list->size())
        return nullptr;
    return m_list->at(index.row());
}

QVariant KoRemoteFileTableModel::data(const QModelIndex& index, int role) const
{
    const KoRemoteFile* file = fileAt(index);
    if (!file)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0)
            return file->getFullName();
        if (index.column() == 1)
            return file->isFolder() ? QString() : KoCommonUtil::getFileSizeStringFromLong(file->getSize());
        if (index.column() == 2) {
            // Below zero is no time at all (an album's): it would read as the last second of 1969.
            const qint64 modified = file->getLastModified();
            return modified < 0 ? QString() : KoCommonUtil::getDateTimeFromMsec(modified);
        }
        return QVariant();
    case Qt::DecorationRole:
        return index.column() == 0 ? KoFileModelCommon::smallFileIcon(file, file->isCut()) : QVariant();
    case Qt::FontRole:
        return KoFileModelCommon::tableFont();
    case Qt::BackgroundRole:
        return index.row() == m_hoverRow ? QColor(0xF6, 0xF6, 0xF6) : QVariant();
    case KoFileModelRole::Hover:
        return index.row() == m_hoverRow;
    case KoFileModelRole::FileName:
        return file->getName();
    case KoFileModelRole::Permission:
        return m_permission;
    default:
        return QVariant();
    }
}

QVariant KoRemoteFileTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const texts[3] = {"       文件名", "文件大小", "修改时间"};
    return KoFileModelCommon::headerData(texts, section, orientation, role);
}

bool KoRemoteFileTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    KoRemoteFile* file = fileAt(index);
    const auto outcome = KoFileModelCommon::renameFromEdit(file, value, role);
    if (outcome == KoFileModelCommon::EditOutcome::Renamed) {
        emit renameFile(file, file->getName());
        emit dataChanged(index, index);
    }
    return outcome != KoFileModelCommon::EditOutcome::Refused;
}

Qt::ItemFlags KoRemoteFileTableModel::flags(const QModelIndex& index) const
{
    // The root gets no flags: an "enabled" root breaks Qt's model contract (and its tester).
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags base = QAbstractTableModel::flags(index);
    return index.column() == 0 ? base | Qt::ItemIsEditable : base;
}
