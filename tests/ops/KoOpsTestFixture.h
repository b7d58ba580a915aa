#pragma once

// What the operator tests share: the phone-and-relay fixture and a watchdog that ends a frozen
// test.

#include "app/KoSettings.h"
#include "ops/KoRemoteFileOperator.h"
#include "support/KoPhoneRelayFixture.h"

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

// The operator tests' phone; the application's names (and so its data folder) are set by the
// settings store, first thing at start-up.
struct KoOpsPhone : KoPhoneRelay {
    static constexpr int kUid = 5150;

    bool start(QObject* parent, const QString& deviceId, bool withRelay = true)
    {
        KoSettings::getInstance();
        return KoPhoneRelay::start(parent, deviceId, kUid, withRelay);
    }
};

// A legal name of 250 bytes of UTF-8: 82 Chinese characters and ".txt"; variants differ only
// in their last character.
inline QString longName(int variant = 0)
{
    QString name;
    for (int i = 0; i < 81; ++i)
        name += QChar(0x4E00 + i * 7);
    name += QChar(0x7532 + variant);
    return name + QStringLiteral(".txt");
}

// The partial download files in dir, by full path.
inline QStringList partialsIn(const QString& dir)
{
    QStringList out;
    for (const QString& name : QDir(dir).entryList({QStringLiteral("*.ReRazeDownload")}, QDir::Files | QDir::Hidden))
        out << QDir(dir).filePath(name);
    return out;
}

// The id that the operator's next task will get (draws one id itself).
inline int nextTaskId(KoRemoteFileOperator* op)
{
    return op->getFileTaskId() + 1;
}
