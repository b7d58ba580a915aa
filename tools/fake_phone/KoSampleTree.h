#pragma once

// A small phone's worth of files for the runnable fake phone, so that every page of the program
// has something to show: one folder per category the phone serves, photos of several aspect
// ratios (drawn here, no text, so no display is needed), documents of each file type, Chinese,
// emoji and long names, nested folders and an empty album. Plain functions on the caller's
// thread; nothing is kept.

#include <QString>

namespace KoSampleTree {
// Sub-folders of a sample tree, one per category: "storage" for "手机存储" (9), "albums" for
// "相册" (2, each sub-folder one album), "sdcard" for "SD卡" (11), "appdisk" for "zu" (12).
QString storageDir(const QString& dir);
QString albumsDir(const QString& dir);
QString sdCardDir(const QString& dir);
QString appDiskDir(const QString& dir);

// Writes the sample tree into dir (made when missing). A dir that already holds one (it has
// "storage") is left as it is, with what the user changed in it; any other non-empty dir is
// refused, so that no file of the user's is mixed in or overwritten. False with error set when
// it fails.
bool write(const QString& dir, QString* error);
} // namespace KoSampleTree
