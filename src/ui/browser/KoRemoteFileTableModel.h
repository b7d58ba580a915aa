#pragma once

#include <QAbstractTableModel>
#include <QList>

#include "ui/browser/KoFileModelCommon.h"

class KoRemoteFile;

// Files of one folder for the table view: full name with small icon, size, modified time, plus
// roles 256 (hover), 457 (name without suffix) and 475 (permission). Borrows the page's list;
// setList is always a reset. onHoverRow only stores the row; the view repaints it.
class KoRemoteFileTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    KoRemoteFileTableModel(QObject* parent = nullptr, int columnCount = 3);

    void setList(QList<KoRemoteFile*>* list);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void setPermissionState(int state) { m_permission = state; }

public slots:
    void onHoverRow(int row) { m_hoverRow = row; }

signals:
    void renameFile(KoRemoteFile* file, QString newName);

private:
    KoRemoteFile* fileAt(const QModelIndex& index) const;

    int m_hoverRow = -1;
    int m_columnCount;
    int m_permission = 0;
    QList<KoRemoteFile*>* m_list = nullptr;
};
