#pragma once

// What the transfer tests share beyond KoOpsTestFixture.h: the fake phone entered as connected
// in a real connection manager (so that retries find their phone), fresh operators over a
// clean transfer-list file, tree helpers and waits.

#include "KoOpsTestFixture.h"

#include "app/KoCommonUtil.h"
#include "client/KoClientHelper.h"
#include "link/KoRemoteConnectManager.h"
#include "model/KoFileConvertInfo.h"
#include "model/KoFileDownloadInfo.h"
#include "model/KoFileUploadInfo.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include "support/KoTestFiles.h"

namespace KoOpsTransfer {

inline QByteArray randomBytes(int size, quint32 seed)
{
    return KoTestFiles::patternBytes(size, seed);
}
inline QByteArray readAll(const QString& path)
{
    return KoTestFiles::readFile(path);
}
inline bool writeAll(const QString& path, const QByteArray& bytes)
{
    return KoTestFiles::writeFile(path, bytes);
}

// Every entry below root as "relative path" -> bytes (files) or "<dir>" (folders).
inline QMap<QString, QByteArray> tree(const QString& root)
{
    QMap<QString, QByteArray> result;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString rel = QDir(root).relativeFilePath(it.filePath());
        result.insert(rel, it.fileInfo().isDir() ? QByteArray("<dir>") : readAll(it.filePath()));
    }
    return result;
}

inline QString convertListPath()
{
    return KoCommonUtil::getAppDataDir() + QStringLiteral("/fileConvertData.KoInfo");
}

// The connection manager with the phone entered as connected on the LAN (or the relay).
inline void connectPhone(KoOpsPhone& fx, bool local = true)
{
    KoServerConfig::setLocalUdpPort(0);
    KoServerConfig::setDeviceReportMs(3600000);
    KoServerConfig::setPushPollMs(3600000);
    KoServerConfig::setHeartBeatMs(3600000);
    KoServerConfig::setPhoneLostMs(3600000);
    KoRemoteConnectManager* manager = KoRemoteConnectManager::getInstance();
    QList<KoBaseFacility*>* list = manager->getConnectedList();
    for (KoBaseFacility* f : *list) {
        if (f->getDeviceId() == fx.deviceId()) {
            f->setLocal(local);
            return;
        }
    }
    auto* facility = new KoBaseFacility;
    facility->setUid(KoOpsPhone::kUid);
    facility->setDeviceType(2);
    facility->setDeviceId(fx.deviceId());
    facility->setDeviceName(QStringLiteral("Pixel"));
    facility->setNick(QStringLiteral("小明"));
    facility->setIp(fx.phone->ip());
    facility->setPort(fx.phone->port());
    facility->setLocal(local);
    facility->setUrl(fx.url());
    list->append(facility);
}

inline void disconnectPhone(KoOpsPhone& fx)
{
    if (!KoRemoteConnectManager::hasInstance())
        return;
    QList<KoBaseFacility*>* list = KoRemoteConnectManager::getInstance()->getConnectedList();
    for (int i = list->size() - 1; i >= 0; --i) {
        if (list->at(i)->getDeviceId() == fx.deviceId())
            delete list->takeAt(i);
    }
}

inline void dropConnectManager()
{
    if (KoRemoteConnectManager::hasInstance())
        delete KoRemoteConnectManager::getInstance();
}

// Counts seen through convertCountChanged, with the last pair.
struct KoCountWatch {
    int download = 0;
    int upload = 0;
    int changes = 0;
    void attach(KoRemoteFileOperator* op, QObject* context)
    {
        QObject::connect(op, &KoRemoteFileOperator::convertCountChanged, context, [this](int d, int u) {
            download = d;
            upload = u;
            ++changes;
        });
    }
};

inline KoFileDownloadInfo* downloadAt(KoRemoteFileOperator* op, int i)
{
    return qobject_cast<KoFileDownloadInfo*>(op->getDownLoadingList()->value(i));
}

inline KoFileUploadInfo* uploadAt(KoRemoteFileOperator* op, int i)
{
    return qobject_cast<KoFileUploadInfo*>(op->getUploadingList()->value(i));
}

inline bool idle(KoRemoteFileOperator* op)
{
    int d = 0;
    int u = 0;
    op->getConvertingCount(d, u);
    return d == 0 && u == 0;
}

} // namespace KoOpsTransfer
