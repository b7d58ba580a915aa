#pragma once

#include <QList>
#include <QString>

class KoBaseFacility;

// Owning list of device records, one per device id. Records added here belong to the
// list until taken out with take*; clearing or destroying the list deletes them.
// The connection manager hands out getList() to the pages, which only read it.
class KoBaseFacilityList
{
public:
    KoBaseFacilityList();
    ~KoBaseFacilityList();
    KoBaseFacilityList(const KoBaseFacilityList&) = delete;
    KoBaseFacilityList& operator=(const KoBaseFacilityList&) = delete;

    // Each refuses (false, ownership stays with the caller) a null record or one whose
    // device id is already in the list.
    bool append(KoBaseFacility* facility);
    bool prepend(KoBaseFacility* facility);
    bool insert(int index, KoBaseFacility* facility);

    bool contains(const QString& deviceId) const;
    int indexOf(const QString& deviceId) const;
    // The record with this device id (still owned by the list), or null.
    KoBaseFacility* find(const QString& deviceId) const;
    KoBaseFacility* at(int index) const;
    int size() const { return m_list.size(); }
    bool isEmpty() const { return m_list.isEmpty(); }

    // Takes the record out and hands it to the caller; null when absent.
    KoBaseFacility* take(const QString& deviceId);
    KoBaseFacility* takeAt(int index);
    // Deletes the record with this device id; false when absent.
    bool remove(const QString& deviceId);
    // Deletes every record.
    void clear();

    // The list object itself, stable for the life of this object.
    QList<KoBaseFacility*>* getList() { return &m_list; }
    const QList<KoBaseFacility*>* getList() const { return &m_list; }

private:
    bool acceptable(const KoBaseFacility* facility) const;

    QList<KoBaseFacility*> m_list;
};
