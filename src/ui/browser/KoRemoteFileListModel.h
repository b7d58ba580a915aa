#pragma once

#include <QAbstractListModel>
#include <QList>

#include "ui/browser/KoFileModelCommon.h"

class KoBaseFacility;
class KoRemoteFile;
class KoRemoteFileOperator;

// Files of one folder for the icon view (roles 457-462, 470). Borrows the page's list and
// device record; setList is always a reset. The thumbnail role asks the operator, which queues
// a download for a photo or video not cached yet, except while the view is wheeling: then only
// cached paths come back. A rename through setData renames the record at once and emits
// renameFile for the page to send.
class KoRemoteFileListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    KoRemoteFileListModel(QObject* parent = nullptr, int unused = 0);

    void setList(QList<KoRemoteFile*>* list);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void setCategory(int categoryType) { m_category = categoryType; }
    void setFacility(KoBaseFacility* device) { m_device = device; }

public slots:
    void setWheeling(bool wheeling) { m_wheeling = wheeling; }

signals:
    void renameFile(KoRemoteFile* file, QString newName);

private:
    KoRemoteFile* fileAt(const QModelIndex& index) const;
    QString thumbnailPath(KoRemoteFile* file) const;

    QList<KoRemoteFile*>* m_list = nullptr;
    KoRemoteFileOperator* m_operator;
    int m_category = 1;
    KoBaseFacility* m_device = nullptr;
    bool m_wheeling = false;
};
