#pragma once

// Transfer records as lines of the transfer-list file (docs/protocol.md, "Transfer records"),
// so that tests put exact states into an operator by letting it load them.

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace KoTransferRecords {

struct Line {
    int type = 0; // 0 download, 1 upload
    int state = 4;
    QString name = QStringLiteral("IMG_1.jpg");
    int progress = 50;
    qint64 total = 2048;
    qint64 finishedTime = 0;
    QString localPath; // default: /nonexistent/<name>
    QString nick = QStringLiteral("小明");
    QString deviceName = QStringLiteral("Mi 10");
    QString deviceId = QStringLiteral("gone-phone");
    int uid = 1001;
};

inline QByteArray line(const Line& l)
{
    const QString local = l.localPath.isNull() ? QStringLiteral("/nonexistent/") + l.name : l.localPath;
    QJsonObject o{{"version", 1},
                  {"type", l.type},
                  {"state", l.state},
                  {"progress", l.progress},
                  {"totalSize", double(l.total)},
                  {"convertedSize", double(l.total * l.progress / 100)},
                  {"haveRead", 0},
                  {"uid", l.uid},
                  {"deviceType", 2},
                  {"deviceId", l.deviceId},
                  {"deviceName", l.deviceName},
                  {"unick", l.nick},
                  {"remoteServer", QString()},
                  {"finishedTime", double(l.finishedTime)},
                  {"localPath", local},
                  {"remotePath", l.type == 0 ? QStringLiteral("/DCIM/") + l.name : QStringLiteral("/DCIM")},
                  {"category", 9},
                  {"fileName", l.name},
                  {"fileType", 76}};
    if (l.type == 0) {
        o.insert("checksum", QString());
        o.insert("csVersion", -1);
    } else {
        o.insert("uploadFid", QStringLiteral("fid-") + l.name);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace KoTransferRecords
