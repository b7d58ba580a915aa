#pragma once

// What the operator tests share: a fake phone reachable on the LAN and through the fake relay,
// the device record of that phone, and a watchdog that ends a frozen test.

#include "app/KoServerConfig.h"
#include "app/KoSettings.h"
#include "model/KoBaseFacility.h"
#include "model/KoRemoteFile.h"
#include "net/KoNetworkObject.h"
#include "ops/KoRemoteFileOperator.h"
#include "support/KoFakePhone.h"
#include "support/KoFakeRelay.h"
#include "support/KoTestCertificates.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

// Aborts the process when not disarmed in time: a GUI thread stuck on a lock can run no timer.
class KoWatchdog
{
public:
    explicit KoWatchdog(int seconds)
        : m_thread([this, seconds] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_disarmed; })) {
                std::fprintf(stderr, "watchdog: the GUI thread froze\n");
                std::abort();
            }
        })
    {
    }
    ~KoWatchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_disarmed = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_disarmed = false;
    std::thread m_thread;
};

struct KoOpsPhone
{
    static constexpr int kUid = 5150;

    QTemporaryDir dir;
    KoFakePhone* phone = nullptr;
    KoFakeRelay* relay = nullptr;
    KoBaseFacility device;

    // The phone's storage (category 9).
    QString root() const { return dir.filePath(QStringLiteral("storage")); }
    QString deviceId() const { return phone->deviceId(); }
    QString url() const { return phone->baseUrl(); }

    bool start(QObject* parent, const QString& deviceId, bool withRelay = true)
    {
        if (!dir.isValid() || !QDir().mkpath(root()))
            return false;
        // The application's names (and so its data folder) are set by the settings store,
        // first thing at start-up.
        KoSettings::getInstance();
        phone = new KoFakePhone(root(), parent);
        phone->setIdentity(deviceId, QStringLiteral("Pixel"), 2, 30, kUid);
        if (!phone->start())
            return false;
        device.setUid(kUid);
        device.setDeviceType(2);
        device.setDeviceId(deviceId);
        device.setUrl(phone->baseUrl());
        if (!withRelay)
            return true;
        if (!KoTestCertificates::ensure())
            return false;
        KoNetworkObject::getInstance()->addCaCertificate(KoTestCertificates::caCertificate());
        relay = new KoFakeRelay(parent);
        if (!relay->start())
            return false;
        relay->attachPhone(phone);
        KoServerConfig::setRelayBaseUrl(relay->baseUrl());
        KoServerConfig::setAccountBaseUrl(relay->accountBaseUrl());
        return true;
    }

    void reset()
    {
        phone->clearCalls();
        phone->clearScripts();
        if (relay) {
            relay->clearCalls();
            relay->clearScripts();
        }
    }

    bool writeFile(const QString& phonePath, const QByteArray& bytes)
    {
        const QString local = root() + phonePath;
        QDir().mkpath(QFileInfo(local).absolutePath());
        QFile file(local);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    // A record of a file of this phone as a LAN listing gives it.
    KoRemoteFile* remoteFile(const QString& phonePath, int phoneType = 200) const
    {
        return new KoRemoteFile(phone->baseUrl(), phonePath, phoneType, 0, 0, QString());
    }
};

// The id that the operator's next task will get (draws one id itself).
inline int nextTaskId(KoRemoteFileOperator* op)
{
    return op->getFileTaskId() + 1;
}
