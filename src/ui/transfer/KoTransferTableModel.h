#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QStringList>
#include <QVector>

class KoAbstractFile;
class KoFileConvertInfo;

// Common ground of the three transfer tables: a read-only table over one of the operation
// manager's transfer lists, borrowed (never freed, never changed). The list changes under the
// model between resets; the model remembers which record each row showed at the last reset and
// answers nothing for a row whose record has since moved or gone, so a row never names another
// record. GUI thread only.
class KoTransferTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role {
        TotalSizeRole = 460,     // total size as text (uploads, downloads)
        LocalPathRole = 463,     // local target path (finished downloads)
        KindRole = 464,          // 0 download, 1 upload (finished)
        StateRole = 465,         // 0 waiting, 1 transferring, 2 finished, 3 failed, 4 paused
        ProgressRole = 466,      // percent
        ConvertedSizeRole = 467, // transferred size as text
        TaskIdRole = 468,
    };

    KoTransferTableModel(QObject* parent, int columnCount, const QStringList& headers);

    // Resets the model, even for the same pointer.
    void setList(QList<KoFileConvertInfo*>* list);
    // The record row showed at the last reset, while it still stands at that row; else null.
    KoFileConvertInfo* recordAt(int row) const;
    // The list's length differs from the rows the view knows: a repaint would misname rows.
    bool isStale() const;
    // Tells the view of the rows first..last whose state or progress as shown changed since
    // the last call (or that it did not cover); with announce false it only takes note, as after
    // a reset, which repaints everything anyway. Progress reaches the view only this way.
    void refreshRows(int first, int last, bool announce = true);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The roles every transfer record answers alike (sizes, state, progress, task id); an
    // invalid value for any other role.
    static QVariant recordData(const KoFileConvertInfo* record, int role);

    // The small icon of a file-type code (rendered once per type).
    static QPixmap fileTypeIcon(int fileType);

protected:
    KoFileConvertInfo* recordAt(const QModelIndex& index) const;
    // Roles the in-progress tables share; file may be null (a record without its file).
    QVariant progressData(const QModelIndex& index, int role, KoFileConvertInfo* record,
                          const KoAbstractFile* file) const;

private:
    // What the state column shows of a record.
    struct Shown {
        int state = -1;
        int progress = -1;
        QString converted;
        QString total;
        bool operator==(const Shown& o) const
        {
            return state == o.state && progress == o.progress && converted == o.converted && total == o.total;
        }
    };
    static Shown shownOf(const KoFileConvertInfo* record);

    QList<KoFileConvertInfo*>* m_list = nullptr;
    // The rows last covered by refreshRows, as then shown.
    QHash<const KoFileConvertInfo*, Shown> m_shown;
    QVector<KoFileConvertInfo*> m_rows;
    int m_columnCount;
    QStringList m_headers;
};
