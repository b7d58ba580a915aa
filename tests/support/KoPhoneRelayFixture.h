#pragma once

// The outside world of the client and operator tests: one fake phone in a temporary folder,
// reachable on the LAN and through the fake relay (whose account server lists it), with the
// test CA trusted. The fixture's parent owns the fakes; the folder lives as long as the fixture.

#include "app/KoServerConfig.h"
#include "client/KoClientHelper.h"
#include "model/KoBaseFacility.h"
#include "model/KoRemoteFile.h"
#include "net/KoNetworkObject.h"
#include "support/KoFakePhone.h"
#include "support/KoFakeRelay.h"
#include "support/KoTestCertificates.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

struct KoPhoneRelay {
    QTemporaryDir dir;
    KoFakePhone* phone = nullptr;
    KoFakeRelay* relay = nullptr;
    // The phone as the account server reports it.
    KoBaseFacility device;

    // The phone's storage (category 9), and a folder for the computer's side.
    QString root() const { return dir.filePath(QStringLiteral("storage")); }
    QString local(const QString& name = QString()) const { return dir.filePath(QStringLiteral("local/") + name); }
    QString deviceId() const { return phone->deviceId(); }
    QString url() const { return phone->baseUrl(); }

    bool start(QObject* parent, const QString& deviceId, int uid, bool withRelay = true)
    {
        if (!dir.isValid() || !QDir().mkpath(root()) || !QDir().mkpath(local()))
            return false;
        phone = new KoFakePhone(root(), parent);
        phone->setIdentity(deviceId, QStringLiteral("Pixel"), 2, 30, uid);
        if (!phone->start())
            return false;
        device.setUid(uid);
        device.setDeviceType(2);
        device.setDeviceId(deviceId);
        device.setUrl(phone->baseUrl());
        if (!withRelay)
            return true;
        if (!KoTestCertificates::trust())
            return false;
        relay = new KoFakeRelay(parent);
        if (!relay->start())
            return false;
        relay->attachPhone(phone);
        KoServerConfig::setRelayBaseUrl(relay->baseUrl());
        KoServerConfig::setAccountBaseUrl(relay->accountBaseUrl());
        return true;
    }

    // Forgets what the fakes logged and were told to do.
    void reset()
    {
        phone->clearCalls();
        phone->clearScripts();
        if (relay) {
            relay->clearCalls();
            relay->clearScripts();
        }
    }

    bool writeFile(const QString& phonePath, const QByteArray& bytes) const
    {
        const QString path = root() + phonePath;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    // A record of a file of this phone as a LAN listing gives it.
    KoRemoteFile* remoteFile(const QString& phonePath, int phoneType = 200) const
    {
        return new KoRemoteFile(phone->baseUrl(), phonePath, phoneType, 0, 0, QString());
    }
};

// What the phone client reports for transfers: (id, code) results and (id, done, total) progress.
struct KoClientResults {
    QList<QPair<int, int>> results;
    QList<QList<qint64>> progress;
    KoClientHelper::ResultCallback result()
    {
        return [this](int id, int code) { results.append({id, code}); };
    }
    KoClientHelper::ProgressCallback onProgress()
    {
        return [this](int id, qint64 done, qint64 total) { progress.append({id, done, total}); };
    }
    bool waitFor(int count, int timeoutMs = 20000)
    {
        QElapsedTimer t;
        t.start();
        while (results.size() < count && t.elapsed() < timeoutMs)
            QTest::qWait(10);
        return results.size() >= count;
    }
    int codeOf(int id) const
    {
        for (const auto& r : results) {
            if (r.first == id)
                return r.second;
        }
        return 99999;
    }
};
