#include "ui/browser/KoRemoteCategoryListModel.h"

#include "app/KoCommonUtil.h"
#include "model/KoRemoteCategory.h"

KoRemoteCategoryListModel::KoRemoteCategoryListModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

void KoRemoteCategoryListModel::setList(QList<KoRemoteCategory*>* list)
{
    beginResetModel();
    m_list = list;
    endResetModel();
}

int KoRemoteCategoryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_list ? 0 : m_list->size();
}

QVariant KoRemoteCategoryListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_list || index.row() >= m_list->size())
        return QVariant();
    const KoRemoteCategory* category = m_list->at(index.row());
    switch (role) {
    case KoFileModelRole::CategoryType:
        return category->getCategoryType();
    case KoFileModelRole::CategoryName:
        return category->getName();
    case KoFileModelRole::CategoryFree:
        return KoCommonUtil::getFileSizeStringFromLong(category->getSize());
    case KoFileModelRole::CategoryTotal:
        return KoCommonUtil::getFileSizeStringFromLong(category->getTotalSize());
    default:
        return QVariant();
    }
}
