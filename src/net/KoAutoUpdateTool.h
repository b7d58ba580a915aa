#pragma once

#include "net/KoNetworkHelper.h"

#include <QByteArray>
#include <QMutex>
#include <QString>

class QNetworkReply;
class QTimer;
class KoReplyType;

// The update check: reads the version file of the download site (release or test channel by
// the user's update permission) and tells whether it names a newer program.
// Format: docs/protocol.md, "Update check".
class KoAutoUpdateTool : public KoNetworkHelper
{
    Q_OBJECT
public:
    static constexpr int kVersionCode = 85;
    static constexpr int kCheckIntervalMs = 600000;

    static KoAutoUpdateTool* getInstance();
    ~KoAutoUpdateTool() override;

    // Checks now and every kCheckIntervalMs; newVersion only the first time in a run.
    void checkIsUpdate();
    // One check whose answer always ends in newVersion, notNewVersion or, when no usable version
    // file came (unreachable, an error status, unreadable), updateCheckFailed.
    void checkIsUpdateManually();
    // Version name of the last version file read; empty before the first.
    QString getVersionName() const { return m_versionName; }
    // Download page of the current channel.
    QString getUpdateUrl() const;

    // Reads a version file; false when it has no valid VERSION_CODE.
    static bool parseVersionFile(const QByteArray& text, int* code, QString* name);

signals:
    void newVersion();
    void notNewVersion();
    // Only from a check by hand.
    void updateCheckFailed();

public slots:
    void onFinished(QNetworkReply* reply) override;
    void onTimeout(QNetworkReply* reply) override;

private slots:
    void onCheckTimer();

private:
    KoAutoUpdateTool();
    void initData();
    void initConnection();
    void requestVersionFile(bool manual);
    // body: the version file's text; null when none came.
    void finishCheck(KoReplyType* record, const QByteArray* body);
    bool testChannel() const;

    QTimer* m_checkTimer = nullptr;
    QString m_versionName;
    // The periodic check has already told about a newer version in this run.
    bool m_notified = false;

    static KoAutoUpdateTool* s_instance;
    static QMutex s_mutex;
};
