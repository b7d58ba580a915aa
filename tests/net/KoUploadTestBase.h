#pragma once

// What the upload tests share: a plain-http loopback server answering {"code":0}, fresh for
// each test, a probe client of the request layer, and a folder for the files sent.

#include "KoProbeHelper.h"

#include "app/KoServerConfig.h"
#include "net/KoNetworkObject.h"
#include "support/KoTestFiles.h"
#include "support/KoTestHttpServer.h"

#include <QJsonObject>
#include <QTemporaryDir>

class KoUploadTestBase : public QObject
{
protected:
    KoTestHttpServer* m_server = nullptr;
    KoProbeHelper* m_probe = nullptr;
    QTemporaryDir m_dir;

    bool startServer()
    {
        m_server = new KoTestHttpServer(KoTestHttpServer::Http, this);
        if (!m_server->listen())
            return false;
        m_server->setHandler([](const KoTestRequest&) { return KoTestResponse::json(QJsonObject{{"code", 0}}); });
        KoServerConfig::setSweepIntervalMs(3600000);
        m_probe = new KoProbeHelper();
        return true;
    }
    void stopServer()
    {
        delete m_probe;
        m_probe = nullptr;
        delete m_server;
        m_server = nullptr;
        KoServerConfig::reset();
    }
    static void stopNetwork() { delete KoNetworkObject::getInstance(); }

    // The file's path, or empty when it could not be written.
    QString writeFile(const QString& name, const QByteArray& data)
    {
        const QString path = m_dir.filePath(name);
        return KoTestFiles::writeFile(path, data) ? path : QString();
    }
    // Bytes that differ from block to block, so a misplaced block shows.
    static QByteArray pattern(qint64 size)
    {
        QByteArray b(int(size), Qt::Uninitialized);
        for (qint64 i = 0; i < size; ++i)
            b[int(i)] = char((i * 7 + i / 251) & 0xff);
        return b;
    }
};
