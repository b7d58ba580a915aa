#include "ops/KoRemoteFileTask.h"

KoRemoteFileTask::KoRemoteFileTask(int taskId, int taskType, QString remoteServer, int taskVersion, QObject* parent)
    : QObject(parent)
    , m_remoteServer(std::move(remoteServer))
    , m_taskId(taskId)
    , m_taskType(taskType)
    , m_taskVersion(taskVersion)
{
}

KoRemoteFileTask::KoRemoteFileTask(int taskId, int taskType, int uid, int deviceType, QString deviceId,
                                   int taskVersion, QObject* parent)
    : QObject(parent)
    , m_taskId(taskId)
    , m_taskType(taskType)
    , m_taskVersion(taskVersion)
    , m_uid(uid)
    , m_deviceType(deviceType)
    , m_deviceId(std::move(deviceId))
{
}

KoRemoteFileTask::KoRemoteFileTask(int taskId, int taskType, int uid, int deviceType, QString deviceId,
                                   QString remoteServer, int taskVersion, QObject* parent)
    : QObject(parent)
    , m_remoteServer(std::move(remoteServer))
    , m_taskId(taskId)
    , m_taskType(taskType)
    , m_taskVersion(taskVersion)
    , m_uid(uid)
    , m_deviceType(deviceType)
    , m_deviceId(std::move(deviceId))
{
}

KoRemoteFileTask::KoRemoteFileTask(int taskId, int taskType, Route route, QObject* parent)
    : KoRemoteFileTask(taskId, taskType, route.uid, route.deviceType, std::move(route.deviceId),
                       std::move(route.remoteServer), route.version, parent)
{
}
