#pragma once

#include <QObject>
#include <QString>

// A transfer record: the base of download, upload and copy records.
// Kinds: 0 download, 1 upload, 2 copy. States: 0 waiting, 1 transferring, 2 finished,
// 3 failed, 4 paused.
class KoFileConvertInfo : public QObject
{
    Q_OBJECT
public:
    enum ConvertType { TypeDownload = 0, TypeUpload = 1, TypeCopy = 2 };
    enum ConvertState { StateWaiting = 0, StateConverting = 1, StateFinished = 2, StateFailed = 3, StatePaused = 4 };
    static constexpr int kDefaultRetryTimes = 3;

    KoFileConvertInfo(int taskId, int uid, int deviceType, const QString& deviceId, const QString& remoteServer,
                      int convertType, int version, QObject* parent = nullptr);
    ~KoFileConvertInfo() override;

    int getTaskId() const { return m_taskId; }
    void setTaskId(int id) { m_taskId = id; }
    int getConvertType() const { return m_convertType; }
    int getConvertState() const { return m_convertState; }
    void setConvertState(int state) { m_convertState = state; }
    int getProgress() const { return m_progress; }
    // Clamped to 0..100.
    void setProgress(int percent);
    // done of total in whole percent, 0..100, for any 64-bit counts (a phone's included).
    static int percentOf(qint64 done, qint64 total);
    // a + b held at the 64-bit limits instead of wrapping (a phone's sizes may be anything).
    static qint64 saturatedSum(qint64 a, qint64 b);
    int getVersion() const { return m_version; }
    int getUid() const { return m_uid; }
    int getDeviceType() const { return m_deviceType; }
    int getRetryTimes() const { return m_retryTimes; }
    void setRetryTimes(int times) { m_retryTimes = times; }
    void resetRetryTimes() { m_retryTimes = kDefaultRetryTimes; }
    QString getRemoteServer() const { return m_remoteServer; }
    qint64 getHaveRead() const { return m_haveRead; }
    void setHaveRead(qint64 offset) { m_haveRead = offset; }
    qint64 getConvertedSize() const { return m_convertedSize; }
    void setConvertedSize(qint64 size) { m_convertedSize = size; }
    qint64 getTotalSize() const { return m_totalSize; }
    void setTotalSize(qint64 size) { m_totalSize = size; }
    QString getDeviceId() const { return m_deviceId; }
    QString getDeviceName() const { return m_deviceName; }
    void setDeviceName(const QString& name) { m_deviceName = name; }
    QString getUsrNick() const { return m_usrNick; }
    void setUsrNick(const QString& nick) { m_usrNick = nick; }
    qint64 getFinishedTime() const { return m_finishedTime; }
    void setFinishedTime(qint64 ms) { m_finishedTime = ms; }

    // One compact JSON object (no line break) for the transfer-list file; empty text for
    // a null record, a copy record or a version other than 1. The task id and the retry
    // count are not stored.
    static QString getJsonFromConvertInfo(KoFileConvertInfo* record);
    // A new download or upload record from one such line, with 3 retries; null for
    // anything else (not a JSON object, wrong kind or version, a missing key or a key of
    // the wrong type). The caller owns the result.
    static KoFileConvertInfo* getConvertInfoFromJson(int taskId, const QString& json, QObject* parent = nullptr);

protected:
    int m_taskId = 0;
    int m_convertType = 0;
    int m_convertState = StateWaiting;
    int m_progress = 0;
    int m_version = 1;
    int m_uid = 0;
    int m_deviceType = 0;
    int m_retryTimes = kDefaultRetryTimes;
    QString m_remoteServer;
    qint64 m_haveRead = 0;
    qint64 m_convertedSize = 0;
    qint64 m_totalSize = 0;
    QString m_deviceId;
    QString m_deviceName;
    QString m_usrNick;
    qint64 m_finishedTime = 0;
};
