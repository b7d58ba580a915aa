#include "model/KoBaseFacilityList.h"

#include "model/KoBaseFacility.h"

KoBaseFacilityList::KoBaseFacilityList() = default;

KoBaseFacilityList::~KoBaseFacilityList()
{
    clear();
}

bool KoBaseFacilityList::acceptable(const KoBaseFacility* facility) const
{
    return facility && !contains(facility->getDeviceId()) && !m_list.contains(const_cast<KoBaseFacility*>(facility));
}

bool KoBaseFacilityList::append(KoBaseFacility* facility)
{
    if (!acceptable(facility))
        return false;
    m_list.append(facility);
    return true;
}

bool KoBaseFacilityList::prepend(KoBaseFacility* facility)
{
    if (!acceptable(facility))
        return false;
    m_list.prepend(facility);
    return true;
}

bool KoBaseFacilityList::insert(int index, KoBaseFacility* facility)
{
    if (!acceptable(facility))
        return false;
    m_list.insert(qBound(0, index, m_list.size()), facility);
    return true;
}

bool KoBaseFacilityList::contains(const QString& deviceId) const
{
    return indexOf(deviceId) >= 0;
}

int KoBaseFacilityList::indexOf(const QString& deviceId) const
{
    for (int i = 0; i < m_list.size(); ++i) {
        if (m_list.at(i) && m_list.at(i)->getDeviceId() == deviceId)
            return i;
    }
    return -1;
}

KoBaseFacility* KoBaseFacilityList::find(const QString& deviceId) const
{
    const int i = indexOf(deviceId);
    return i >= 0 ? m_list.at(i) : nullptr;
}

KoBaseFacility* KoBaseFacilityList::at(int index) const
{
    return index >= 0 && index < m_list.size() ? m_list.at(index) : nullptr;
}

KoBaseFacility* KoBaseFacilityList::take(const QString& deviceId)
{
    return takeAt(indexOf(deviceId));
}

KoBaseFacility* KoBaseFacilityList::takeAt(int index)
{
    if (index < 0 || index >= m_list.size())
        return nullptr;
    return m_list.takeAt(index);
}

bool KoBaseFacilityList::remove(const QString& deviceId)
{
    KoBaseFacility* facility = take(deviceId);
    if (!facility)
        return false;
    delete facility;
    return true;
}

void KoBaseFacilityList::clear()
{
    // Empty the list before deleting, so nobody reading it meets a freed record.
    QList<KoBaseFacility*> old;
    old.swap(m_list);
    qDeleteAll(old);
}
