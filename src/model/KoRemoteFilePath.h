#pragma once

#include <QString>

// A place on a phone: absolute path and display name; also one element of the path bar.
class KoRemoteFilePath
{
public:
    KoRemoteFilePath() = default;
    // Empty path: both stay empty. "/": path "/" and name (or "/" when name is empty).
    // Otherwise one trailing "/" is dropped and name defaults to the last component.
    // An album or photo id (no "/" at all) is kept as the path, so it stays addressable.
    KoRemoteFilePath(const QString& path, const QString& name);

    QString getAbsolutePath() const { return m_absolutePath; }
    QString getName() const { return m_name; }
    void setName(const QString& name) { m_name = name; }

    bool operator==(const KoRemoteFilePath& other) const
    {
        return m_absolutePath == other.m_absolutePath && m_name == other.m_name;
    }
    bool operator!=(const KoRemoteFilePath& other) const { return !(*this == other); }

private:
    QString m_absolutePath;
    QString m_name;
};
