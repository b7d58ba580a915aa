#pragma once

#include <QAbstractListModel>
#include <QList>

class KoBaseFacility;

// Device rows for the device pages. The list is borrowed; its owner calls setList
// again after every change so that the views rebuild.
class KoFacilityListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Roles {
        AvatarRole = 357,     // QString, image path
        NickRole = 358,       // QString
        DeviceNameRole = 359, // QString
        StateRole = 360,      // int
        UidRole = 361,        // int
        DeviceTypeRole = 362, // int
    };

    explicit KoFacilityListModel(QObject* parent = nullptr);

    void setList(QList<KoBaseFacility*>* list);
    QList<KoBaseFacility*>* getList() const { return m_list; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    QList<KoBaseFacility*>* m_list = nullptr;
};
