#include "ui/browser/KoRemoteFileListModel.h"

#include "model/KoBaseFacility.h"
#include "model/KoRemoteFile.h"
#include "ops/KoRemoteFileOperator.h"

KoRemoteFileListModel::KoRemoteFileListModel(QObject* parent, int)
    : QAbstractListModel(parent)
    , m_operator(KoRemoteFileOperator::getInstance())
{
}

void KoRemoteFileListModel::setList(QList<KoRemoteFile*>* list)
{
    beginResetModel();
    m_list = list;
    endResetModel();
}

int KoRemoteFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_list ? 0 : m_list->size();
}

KoRemoteFile* KoRemoteFileListModel::fileAt(const QModelIndex& index) const
{
    if (!index.isValid() || !m_list || index.row() >= m_list->size())
        return nullptr;
    return m_list->at(index.row());
}

QVariant KoRemoteFileListModel::data(const QModelIndex& index, int role) const
{
    KoRemoteFile* file = fileAt(index);
    if (!file)
        return QVariant();
    switch (role) {
    case KoFileModelRole::FileName:
        return file->getName();
    case KoFileModelRole::FileType:
        return file->getFileType();
    case KoFileModelRole::FileSuffix:
        return file->getSuffix();
    case KoFileModelRole::FileSize:
        return file->getSize();
    case KoFileModelRole::FileThumbnail:
        return thumbnailPath(file);
    case KoFileModelRole::FileCut:
        return file->isCut();
    default:
        return QVariant();
    }
}

QString KoRemoteFileListModel::thumbnailPath(KoRemoteFile* file) const
{
    // Only photos and videos draw a thumbnail; asking for others would queue useless downloads.
    const int type = file->getFileType();
    if (!m_device || (type != KoAbstractFile::TypePhoto && type != KoAbstractFile::TypeVideo))
        return QString();
    const bool lan = m_device->isLocal();
    if (m_wheeling) {
        const bool cached = lan ? m_operator->isThumbnailExistV2(file, m_device->getDeviceId())
                                : m_operator->isThumbnailExistV3(file, m_device);
        if (!cached)
            return QString();
    }
    // Cached: these return the path without queueing anything.
    return lan ? m_operator->getThumbnailPathV2(m_category, file, m_device->getDeviceId())
               : m_operator->getThumbnailPathV3(m_category, file, m_device);
}

bool KoRemoteFileListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    KoRemoteFile* file = fileAt(index);
    const auto outcome = KoFileModelCommon::renameFromEdit(file, value, role);
    if (outcome == KoFileModelCommon::EditOutcome::Renamed) {
        emit renameFile(file, file->getName());
        emit dataChanged(index, index);
    }
    return outcome != KoFileModelCommon::EditOutcome::Refused;
}

Qt::ItemFlags KoRemoteFileListModel::flags(const QModelIndex& index) const
{
    // The root gets no flags: an "enabled" root breaks Qt's model contract (and its tester).
    if (!index.isValid())
        return Qt::NoItemFlags;
    return QAbstractListModel::flags(index) | Qt::ItemIsEditable;
}
