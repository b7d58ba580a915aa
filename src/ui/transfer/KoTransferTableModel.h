#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QVector>

class KoAbstractFile;
class KoFileConvertInfo;

// Common ground of the three transfer tables: a read-only table over one of the operation
// manager's transfer lists, borrowed (never freed, never changed). The list changes under the
// model between resets; each row keeps the record it was given at the last reset and shows it
// wherever it now stands in the list. Once that record has left the list, the row shows what it
// showed last (a record that left before its row was ever shown shows as it now is, or, deleted,
// nothing). A row never names another record, and a record the row no longer finds in the list
// is never touched unless it still exists. GUI thread only.
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
    // The record of row while the list still holds it, wherever it now stands; else null.
    KoFileConvertInfo* recordAt(int row) const;
    // The list's length differs from the rows the view knows: records came or went.
    bool isStale() const;
    // Tells the view of the rows first..last whose state or progress as shown changed since
    // the last call (or that it did not cover); with announce false it only takes note, as after
    // a reset, which repaints everything anyway. Progress reaches the view only this way.
    void refreshRows(int first, int last, bool announce = true);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The roles every transfer record answers alike (sizes, state, progress, task id); an
    // invalid value for any other role.
    static QVariant recordData(const KoFileConvertInfo* record, int role);

    // The small icon of a file-type code (rendered once per type).
    static QPixmap fileTypeIcon(int fileType);

protected:
    // What a cell of a record answers; the record is in the list, or has just left it.
    virtual QVariant recordValue(KoFileConvertInfo* record, int column, int role) const = 0;
    // Roles the in-progress tables share; file may be null (a record without its file).
    static QVariant progressData(int column, int role, KoFileConvertInfo* record, const KoAbstractFile* file);

private:
    struct Row {
        QPointer<KoFileConvertInfo> record;
        int at = 0;              // where it stood in the list when last found
        bool left = false;       // no longer in the list
        int shownAt = -1;        // the refresh of the values in shown
        int coveredAt = -1;      // the last refresh that covered the row
        QVector<QVariant> shown; // per column, the kept roles
    };
    Row* rowOf(int row) const;
    KoFileConvertInfo* findRecord(Row& row) const;
    void takeShown(Row& row, KoFileConvertInfo* record) const;
    bool sameState(const QVector<QVariant>& a, const QVector<QVariant>& b) const;

    QList<KoFileConvertInfo*>* m_list = nullptr;
    // Mutable: a row learns where its record went, and what it showed, as it is painted.
    mutable QVector<Row> m_rows;
    // Record to its place in the list, built when a row's record is not where it was.
    mutable QHash<const KoFileConvertInfo*, int> m_places;
    mutable bool m_placesCurrent = false; // built since the last reset
    int m_refreshes = 0;
    int m_columnCount;
    QStringList m_headers;
};
