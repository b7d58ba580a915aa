#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The desktop's launcher, faked: an `xdg-open` script put first on PATH for the fake's lifetime
// (PATH is put back by the destructor). It logs each argument it is given, then ends as told,
// logging it again as it does. hold() keeps every later run waiting until release().
class KoFakeLauncher
{
public:
    enum Ending { Opens, NoApplication, Crashes, CannotStart, Missing };

    KoFakeLauncher()
        : m_oldPath(qgetenv("PATH"))
    {
        setEnding(Opens);
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_oldPath);
    }
    ~KoFakeLauncher()
    {
        release();
        qputenv("PATH", m_oldPath);
    }
    KoFakeLauncher(const KoFakeLauncher&) = delete;
    KoFakeLauncher& operator=(const KoFakeLauncher&) = delete;

    // Missing: no launcher anywhere on PATH.
    void setEnding(Ending ending)
    {
        const QString script = m_dir.filePath(QStringLiteral("xdg-open"));
        QFile::remove(script);
        qputenv("PATH", QFile::encodeName(m_dir.path()) + (ending == Missing ? QByteArray() : ':' + m_oldPath));
        if (ending == Missing)
            return;
        const QByteArray dir = QFile::encodeName(m_dir.path());
        QByteArray text = ending == CannotStart ? "#!/nonexistent/sh\n" : "#!/bin/sh\n";
        text += "printf '%s\\n' \"$1\" >> '" + dir + "/opened'\n";
        text += "while [ -e '" + dir + "/hold' ]; do sleep 0.05; done\n";
        text += "printf '%s\\n' \"$1\" >> '" + dir + "/ended'\n";
        text += ending == Opens       ? "exit 0\n"
            : ending == NoApplication ? "echo 'no method available' >&2\nexit 3\n"
                                      : "kill -9 $$\n";
        QFile file(script);
        if (file.open(QIODevice::WriteOnly))
            file.write(text);
        file.close();
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    }
    void hold() { QFile(m_dir.filePath(QStringLiteral("hold"))).open(QIODevice::WriteOnly); }
    void release() { QFile::remove(m_dir.filePath(QStringLiteral("hold"))); }

    // Every argument the launcher was started with, in order; of the runs that lived to end with "ended".
    QStringList opened(const QString& log = QStringLiteral("opened")) const
    {
        QFile file(m_dir.filePath(log));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void clear() { QFile::remove(m_dir.filePath(QStringLiteral("opened"))); }
    // No launcher run is watched any more: whatever it answers has been sent.
    static bool allEnded() { return QCoreApplication::instance()->findChildren<QProcess*>().isEmpty(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};
