#pragma once

#include <QAbstractListModel>
#include <QList>

#include "ui/browser/KoFileModelCommon.h"
#include "ui/transfer/KoTransferTableModel.h"

class KoFileConvertInfo;

// An older one-column list of transfer records (downloads and uploads), answered through item
// roles only. Borrows its owner's list and never copies, changes or frees a record; setList is
// a reset and is called again after every change of the list's membership. A record without its
// file, or whose kind does not match its class, answers no name, type or local path.
class KoFileConvertInfoListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    // The numbers the file and transfer tables use for the same values.
    enum Role {
        FileNameRole = 457,                       // QString: name with suffix (the file models' 457 is without)
        FileTypeRole = KoFileModelRole::FileType, // int: file-type code
        TotalSizeRole = KoTransferTableModel::TotalSizeRole,         // QString
        LocalPathRole = KoTransferTableModel::LocalPathRole,         // QString: download records only
        KindRole = KoTransferTableModel::KindRole,                   // int: 0 download, 1 upload
        StateRole = KoTransferTableModel::StateRole,                 // int: 0 waiting ... 4 paused
        ProgressRole = KoTransferTableModel::ProgressRole,           // int: percent
        ConvertedSizeRole = KoTransferTableModel::ConvertedSizeRole, // QString
        TaskIdRole = KoTransferTableModel::TaskIdRole,               // int
    };

    explicit KoFileConvertInfoListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void setList(QList<KoFileConvertInfo*>* list);

private:
    QList<KoFileConvertInfo*>* m_list = nullptr;
};
