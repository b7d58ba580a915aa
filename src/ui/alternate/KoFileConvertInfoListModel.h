#pragma once

#include <QAbstractListModel>
#include <QList>

class KoFileConvertInfo;

// An older one-column list of transfer records (downloads and uploads), answered through item
// roles only. Borrows its owner's list and never copies, changes or frees a record; setList is
// a reset and is called again after every change of the list's membership. A record without its
// file, or whose kind does not match its class, answers no name, type or local path.
class KoFileConvertInfoListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        FileNameRole = 457, // QString: name with suffix
        FileTypeRole = 458, // int: file-type code
        TotalSizeRole = 460, // QString
        LocalPathRole = 463, // QString: finished or not, download records only
        KindRole = 464, // int: 0 download, 1 upload
        StateRole = 465, // int: 0 waiting, 1 transferring, 2 finished, 3 failed, 4 paused
        ProgressRole = 466, // int: percent
        ConvertedSizeRole = 467, // QString
        TaskIdRole = 468, // int
    };

    explicit KoFileConvertInfoListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void setList(QList<KoFileConvertInfo*>* list);

private:
    QList<KoFileConvertInfo*>* m_list = nullptr;
};
