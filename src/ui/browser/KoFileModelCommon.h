#pragma once

#include <QFont>
#include <QPixmap>
#include <QString>
#include <QVariant>

class KoAbstractFile;
class KoRemoteFile;

// What the browser's file and category models share: their role numbers, the rename rule of
// both file models, the small icons and the table font. GUI thread only.
namespace KoFileModelRole {
enum : int {
    Hover = 256,         // bool, table models: the row is the hover row
    PathName = 407,      // QString, path model
    PathIsLast = 408,    // bool, path model
    FileName = 457,      // QString: the name without suffix
    FileType = 458,      // int: the file-type code
    FileSuffix = 459,    // QString
    FileSize = 460,      // qint64: sizes stay 64-bit
    FileThumbnail = 462, // QString: local thumbnail path or empty
    FileCut = 470,       // bool
    CategoryType = 471,  // int
    CategoryName = 472,  // QString
    CategoryFree = 473,  // QString: available size as text
    CategoryTotal = 474, // QString: total size as text
    Permission = 475,    // int, file table model: 0, 1 or 2
};
}

namespace KoFileModelCommon {

// Largest name the phone's file systems take, in UTF-8 bytes.
constexpr int kMaxNameBytes = 255;

// A name a rename may set: a valid file name that neither walks (".", "..") nor hides in dots
// alone, and fits kMaxNameBytes. A backslash is allowed.
bool isAcceptableName(const QString& name);

// The in-place rename of both file models' setData.
enum class EditOutcome { Refused, Unchanged, Renamed };
// Only the edit role of a file counts; an empty or unchanged name changes nothing; a bad name is
// refused; else the record is renamed at once and the caller emits its rename signal.
EditOutcome renameFromEdit(KoRemoteFile* file, const QVariant& value, int role);

// The table models' small 18 x 18 icons, rendered once; a cut file's icon is faded.
QPixmap smallFileIcon(const KoAbstractFile* file, bool cut);
QPixmap smallCategoryIcon(int categoryType);

// The tables' font, made once.
const QFont& tableFont();

// Header of both table models: texts by section, alignment and font for either orientation.
QVariant headerData(const char* const texts[3], int section, Qt::Orientation orientation, int role);

} // namespace KoFileModelCommon
