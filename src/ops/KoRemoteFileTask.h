#pragma once

#include <QObject>
#include <QString>

// One piece of work on a phone's files, owned by KoRemoteFileOperator from creation to the
// handling of its result. execute() makes the task's one request; its callbacks find the
// operator and the task again by the task id alone.
class KoRemoteFileTask : public QObject
{
    Q_OBJECT
public:
    // Task type codes; a task's type never changes. Copy, copy progress and copy cancel exist
    // on the LAN route only.
    enum TaskType : int {
        TypeGroupDownload = 0,
        TypeDownload = 1,
        TypeUpload = 2,
        TypeRename = 3,
        TypeMkdir = 4,
        TypeDelete = 5,
        TypeSubList = 6,
        TypeFileList = 7,
        TypeMove = 8,
        TypeCopy = 9,
        TypeCopyProgress = 10,
        TypeCopyCancel = 11,
        TypeTmpFile = 12,
        TypeThumbnail = 13,
        TypeCategoryIndex = 14,
        TypeUploadCheckSum = 15,
    };
    // The route of a task.
    enum TaskVersion : int { VersionLan = 2, VersionRelay = 3 };
    enum TaskState : int { StateWaiting = 0, StateStarted = 1 };

    // Where a task's request goes: a LAN phone by its base URL (no account identity: uid and
    // device type -1), or a relay phone by its owner, id and type (no base URL).
    struct Route {
        int uid = -1;
        int deviceType = -1;
        QString deviceId;
        QString remoteServer;
        int version = VersionLan;

        static Route lan(QString deviceId, QString remoteServer)
        {
            return {-1, -1, std::move(deviceId), std::move(remoteServer), VersionLan};
        }
        static Route relay(int uid, int deviceType, QString deviceId)
        {
            return {uid, deviceType, std::move(deviceId), QString(), VersionRelay};
        }
    };

    // LAN tasks: no account identity (uid and device type -1); the class sets the device id.
    KoRemoteFileTask(int taskId, int taskType, QString remoteServer, int taskVersion, QObject* parent = nullptr);
    // Relay tasks: no remote server.
    KoRemoteFileTask(int taskId, int taskType, int uid, int deviceType, QString deviceId, int taskVersion,
                     QObject* parent = nullptr);
    KoRemoteFileTask(int taskId, int taskType, int uid, int deviceType, QString deviceId, QString remoteServer,
                     int taskVersion, QObject* parent = nullptr);
    KoRemoteFileTask(int taskId, int taskType, Route route, QObject* parent = nullptr);

    // Marks the task started and makes its request.
    virtual void execute() = 0;

    int getTaskState() const { return m_taskState; }
    QString getRemoteServer() const { return m_remoteServer; }
    int getTaskId() const { return m_taskId; }
    int getTaskType() const { return m_taskType; }
    int getTaskVersion() const { return m_taskVersion; }
    int getUid() const { return m_uid; }
    int getDeviceType() const { return m_deviceType; }
    QString getDeviceId() const { return m_deviceId; }
    // Downloads and temporary copies: the size the phone listed (-1: unknown); fewer bytes
    // than that never count as the whole file.
    void setExpectedSize(qint64 size) { m_expectedSize = size; }
    qint64 getExpectedSize() const { return m_expectedSize; }

protected:
    void markStarted() { m_taskState = StateStarted; }

    int m_taskState = StateWaiting;
    QString m_remoteServer;
    int m_taskId;
    int m_taskType;
    int m_taskVersion;
    int m_uid = -1;
    int m_deviceType = -1;
    QString m_deviceId;
    qint64 m_expectedSize = -1;
};
