#pragma once

#include <QAbstractTableModel>
#include <QList>

#include "ui/browser/KoFileModelCommon.h"

class KoRemoteCategory;

// Category rows of a phone's home for the table view: name with small icon, total size, free
// size, and role 256 (hover). Borrows the page's list; setList is always a reset.
class KoRemoteCategoryTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    KoRemoteCategoryTableModel(QObject* parent = nullptr, int columnCount = 3);

    void setList(QList<KoRemoteCategory*>* list);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

public slots:
    void onHoverRow(int row) { m_hoverRow = row; }

private:
    QList<KoRemoteCategory*>* m_list = nullptr;
    int m_columnCount;
    int m_hoverRow = -1;
};
