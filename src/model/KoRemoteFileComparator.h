#pragma once

#include <QString>

class KoRemoteFile;

// Sort order of phone entries. Folders always come before files; between two folders
// or two files the flag decides:
//  -3 size descending, -2 modified time descending, -1 name descending,
//   0 folder order of the folder-alias table (larger first),
//   1 name ascending, 2 modified time ascending, 3 size ascending,
//   any other flag a plain text comparison of the names.
// Names compare by the collation of the Chinese (China) locale.
class KoRemoteFileComparator
{
public:
    explicit KoRemoteFileComparator(int flag);

    // True when a sorts before b. Null entries sort last.
    bool operator()(const KoRemoteFile* a, const KoRemoteFile* b) const;

    int getFlag() const { return m_flag; }
    // -1, 0 or 1 by the Chinese (China) collation.
    static int compareNames(const QString& a, const QString& b);

private:
    int m_flag;
};
