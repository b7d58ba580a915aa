#include "ui/browser/KoRemoteFilePathListModel.h"

KoRemoteFilePathListModel::KoRemoteFilePathListModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

void KoRemoteFilePathListModel::setList(QList<KoRemoteFilePath>* list)
{
    beginResetModel();
    m_list = list;
    endResetModel();
}

int KoRemoteFilePathListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_list ? 0 : m_list->size();
}

QVariant KoRemoteFilePathListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_list || index.row() >= m_list->size())
        return QVariant();
    if (role == KoFileModelRole::PathName)
        return m_list->at(index.row()).getName();
    if (role == KoFileModelRole::PathIsLast)
        return index.row() == m_list->size() - 1;
    return QVariant();
}
