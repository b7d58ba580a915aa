#include "ui/browser/KoRemoteCategoryTableModel.h"

#include <QColor>

#include "app/KoCommonUtil.h"
#include "model/KoRemoteCategory.h"

KoRemoteCategoryTableModel::KoRemoteCategoryTableModel(QObject* parent, int columnCount)
    : QAbstractTableModel(parent)
    , m_columnCount(columnCount)
{
}

void KoRemoteCategoryTableModel::setList(QList<KoRemoteCategory*>* list)
{
    beginResetModel();
    m_list = list;
    endResetModel();
}

int KoRemoteCategoryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_list ? 0 : m_list->size();
}

int KoRemoteCategoryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant KoRemoteCategoryTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_list || index.row() >= m_list->size())
        return QVariant();
    const KoRemoteCategory* category = m_list->at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0)
            return category->getName();
        if (index.column() == 1)
            return KoCommonUtil::getFileSizeStringFromLong(category->getTotalSize());
        if (index.column() == 2)
            return KoCommonUtil::getFileSizeStringFromLong(category->getSize());
        return QVariant();
    case Qt::DecorationRole: {
        const QPixmap icon = KoFileModelCommon::smallCategoryIcon(category->getCategoryType());
        return index.column() == 0 && !icon.isNull() ? QVariant(icon) : QVariant();
    }
    case Qt::FontRole:
        return KoFileModelCommon::tableFont();
    case Qt::BackgroundRole:
        return index.row() == m_hoverRow ? QColor(0xF6, 0xF6, 0xF6) : QVariant();
    case KoFileModelRole::Hover:
        return index.row() == m_hoverRow;
    default:
        return QVariant();
    }
}

QVariant KoRemoteCategoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const texts[3] = {"       文件名", "总大小", "可用大小"};
    return KoFileModelCommon::headerData(texts, section, orientation, role);
}
