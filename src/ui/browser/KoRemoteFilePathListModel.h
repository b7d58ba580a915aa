#pragma once

#include <QAbstractListModel>
#include <QList>

#include "model/KoRemoteFilePath.h"
#include "ui/browser/KoFileModelCommon.h"

// The path bar's elements (roles 407 name, 408 last). Borrows the page's list; setList is
// always a reset, to be called after every refill.
class KoRemoteFilePathListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit KoRemoteFilePathListModel(QObject* parent = nullptr);

    void setList(QList<KoRemoteFilePath>* list);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    QList<KoRemoteFilePath>* m_list = nullptr;
};
