#pragma once

#include <QAbstractListModel>
#include <QList>

#include "ui/browser/KoFileModelCommon.h"

class KoRemoteCategory;

// Category tiles of a phone's home (roles 471-474). Borrows the page's list; setList is always
// a reset.
class KoRemoteCategoryListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit KoRemoteCategoryListModel(QObject* parent = nullptr);

    void setList(QList<KoRemoteCategory*>* list);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    QList<KoRemoteCategory*>* m_list = nullptr;
};
