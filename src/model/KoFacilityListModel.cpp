#include "model/KoFacilityListModel.h"

#include "model/KoBaseFacility.h"

KoFacilityListModel::KoFacilityListModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

void KoFacilityListModel::setList(QList<KoBaseFacility*>* list)
{
    beginResetModel();
    m_list = list;
    endResetModel();
}

int KoFacilityListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_list)
        return 0;
    return m_list->size();
}

QVariant KoFacilityListModel::data(const QModelIndex& index, int role) const
{
    if (!m_list || !index.isValid() || index.row() < 0 || index.row() >= m_list->size())
        return QVariant();
    const KoBaseFacility* facility = m_list->at(index.row());
    if (!facility)
        return QVariant();
    switch (role) {
    case AvatarRole:
        return facility->getImagePath();
    case NickRole:
        return facility->getNick();
    case DeviceNameRole:
        return facility->getDeviceName();
    case StateRole:
        return facility->getState();
    case UidRole:
        return facility->getUid();
    case DeviceTypeRole:
        return facility->getDeviceType();
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> KoFacilityListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(AvatarRole, "avatar");
    names.insert(NickRole, "nick");
    names.insert(DeviceNameRole, "deviceName");
    names.insert(StateRole, "state");
    names.insert(UidRole, "uid");
    names.insert(DeviceTypeRole, "deviceType");
    return names;
}
