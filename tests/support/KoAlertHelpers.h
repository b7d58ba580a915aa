#pragma once

#include "net/KoUserActionRecord.h"
#include "support/KoModalHelpers.h"
#include "ui/KoUiV3AlertDialog.h"

#include <QDir>
#include <QFile>

// Message boxes and the usage log, as the window and dialog tests look at them.
namespace KoModal {

inline QList<KoUiV3AlertDialog*> openAlerts()
{
    return openWidgets<KoUiV3AlertDialog>();
}

inline void whenAlertOpen(std::function<void(KoUiV3AlertDialog*)> step)
{
    whenOpen<KoUiV3AlertDialog>(std::move(step));
}

// Every usage-log file of this run, concatenated in name order.
inline QString usageLogText()
{
    QString text;
    const QDir dir(KoUserActionRecord::getUarDir());
    for (const QString& name : dir.entryList({QStringLiteral("*.uar")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(f.readAll());
    }
    return text;
}

} // namespace KoModal
