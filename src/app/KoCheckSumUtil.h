#pragma once

#include <QString>

// File fingerprints sent with uploads so the phone can tell whether a partial
// upload belongs to the same file. Format in docs/protocol.md, "Fingerprint".
class KoCheckSumUtil
{
public:
    // Files up to this size are hashed whole; larger ones are sampled.
    static constexpr qint64 kWholeFileLimit = 1024 * 1024;
    static constexpr qint64 kSampleSize = 64 * 1024;

    // 32 upper-case hex digits; empty for a version other than 1, or a path that is
    // missing, not a regular file or unreadable.
    static QString getFileCheckSumWithVersion(QString filePath, int version);
    static QString getCurrentVersionFileCheckSum(QString filePath);
    // 1.
    static int getCurrentVersion();
};
