#include "KoFileConvertInfoListModel.h"

#include "model/KoFileDownloadInfo.h"
#include "model/KoFileUploadInfo.h"
#include "model/KoLocalFile.h"
#include "model/KoRemoteFile.h"

KoFileConvertInfoListModel::KoFileConvertInfoListModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

int KoFileConvertInfoListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_list ? 0 : m_list->size();
}

void KoFileConvertInfoListModel::setList(QList<KoFileConvertInfo*>* list)
{
    beginResetModel();
    m_list = list;
    endResetModel();
}

QVariant KoFileConvertInfoListModel::data(const QModelIndex& index, int role) const
{
    // The list may have shrunk since the last reset; such a row answers nothing.
    if (!m_list || !index.isValid() || index.row() >= m_list->size())
        return QVariant();
    KoFileConvertInfo* record = m_list->at(index.row());
    if (!record)
        return QVariant();
    const int kind = record->getConvertType();
    const auto* download = kind == KoFileConvertInfo::TypeDownload ? qobject_cast<KoFileDownloadInfo*>(record)
                                                                   : nullptr;
    const auto* upload = kind == KoFileConvertInfo::TypeUpload ? qobject_cast<KoFileUploadInfo*>(record) : nullptr;
    const KoAbstractFile* file = download ? static_cast<const KoAbstractFile*>(download->getRemoteFile())
        : upload                          ? static_cast<const KoAbstractFile*>(upload->getLocalFile())
                                          : nullptr;
    switch (role) {
    case FileNameRole:
        return file ? QVariant(file->getFullName()) : QVariant();
    case FileTypeRole:
        return file ? QVariant(file->getFileType()) : QVariant();
    case LocalPathRole:
        return download ? QVariant(download->getLocalFilePath()) : QVariant();
    case KindRole:
        return kind;
    default:
        return KoTransferTableModel::recordData(record, role);
    }
}
