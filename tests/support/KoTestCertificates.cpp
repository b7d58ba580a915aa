#include "support/KoTestCertificates.h"

#include "net/KoNetworkObject.h"

#include <QDebug>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct KoCertStore {
    bool tried = false;
    bool ok = false;
    QByteArray caPem;
    QByteArray serverPem;
    QByteArray serverKeyPem;
    QString caFile;
};

QMutex g_mutex;

KoCertStore& store()
{
    static KoCertStore s;
    return s;
}

QTemporaryDir& certDir()
{
    static QTemporaryDir dir;
    return dir;
}

bool runOpenssl(const QStringList& args, const QString& workDir)
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForStarted(10000)) {
        qWarning() << "openssl did not start:" << p.errorString();
        return false;
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning() << "openssl" << args << "failed:" << p.readAll();
        return false;
    }
    return true;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool generate(KoCertStore& s)
{
    QTemporaryDir& dir = certDir();
    if (!dir.isValid()) {
        qWarning() << "no temporary folder for test certificates";
        return false;
    }
    const QString d = dir.path();
    const QStringList ecKey = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                               QStringLiteral("ec_paramgen_curve:prime256v1")};

    // CA
    if (!runOpenssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey
                        + QStringList{QStringLiteral("-nodes"), QStringLiteral("-keyout"), QStringLiteral("ca.key"),
                                      QStringLiteral("-out"), QStringLiteral("ca.pem"), QStringLiteral("-days"),
                                      QStringLiteral("3650"), QStringLiteral("-subj"),
                                      QStringLiteral("/CN=Ko Test CA"), QStringLiteral("-addext"),
                                      QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                                      QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")},
                    d))
        return false;

    // Server request, then signed by the CA with the names the tests connect to.
    if (!runOpenssl(QStringList{QStringLiteral("req")} + ecKey
                        + QStringList{QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                                      QStringLiteral("server.key"), QStringLiteral("-out"),
                                      QStringLiteral("server.csr"), QStringLiteral("-subj"),
                                      QStringLiteral("/CN=localhost")},
                    d))
        return false;

    QFile ext(d + QStringLiteral("/server.ext"));
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write("basicConstraints=CA:FALSE\n"
              "keyUsage=critical,digitalSignature,keyEncipherment\n"
              "extendedKeyUsage=serverAuth\n"
              "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    ext.close();

    if (!runOpenssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                     QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.pem"),
                     QStringLiteral("-CAkey"), QStringLiteral("ca.key"), QStringLiteral("-CAcreateserial"),
                     QStringLiteral("-out"), QStringLiteral("server.pem"), QStringLiteral("-days"),
                     QStringLiteral("825"), QStringLiteral("-sha256"), QStringLiteral("-extfile"),
                     QStringLiteral("server.ext")},
                    d))
        return false;

    s.caPem = readAll(d + QStringLiteral("/ca.pem"));
    s.serverPem = readAll(d + QStringLiteral("/server.pem"));
    s.serverKeyPem = readAll(d + QStringLiteral("/server.key"));
    s.caFile = d + QStringLiteral("/ca.pem");

    if (QSslCertificate(s.caPem).isNull() || QSslCertificate(s.serverPem).isNull()
        || QSslKey(s.serverKeyPem, QSsl::Ec).isNull()) {
        qWarning() << "generated test certificates could not be loaded";
        return false;
    }
    return true;
}

} // namespace

namespace KoTestCertificates {

bool ensure()
{
    QMutexLocker lock(&g_mutex);
    KoCertStore& s = store();
    if (!s.tried) {
        s.tried = true;
        s.ok = generate(s);
    }
    return s.ok;
}

QSslCertificate caCertificate()
{
    if (!ensure())
        return QSslCertificate();
    return QSslCertificate(store().caPem);
}

QSslCertificate serverCertificate()
{
    if (!ensure())
        return QSslCertificate();
    return QSslCertificate(store().serverPem);
}

QSslKey serverKey()
{
    if (!ensure())
        return QSslKey();
    return QSslKey(store().serverKeyPem, QSsl::Ec);
}

QString caCertificateFile()
{
    if (!ensure())
        return QString();
    return store().caFile;
}

} // namespace KoTestCertificates

bool KoTestCertificates::trust()
{
    if (!ensure())
        return false;
    KoNetworkObject::getInstance()->addCaCertificate(caCertificate());
    return true;
}
