#include "net/KoNetworkObject.h"

#include "app/KoServerConfig.h"
#include "net/KoCookieJar.h"
#include "net/KoCurlMulti.h"
#include "net/KoCurlReply.h"

#include <QDebug>
#include <QFile>
#include <QHttpMultiPart>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

// Resources of a static library must be registered by name, outside any namespace.
static void koInitCertResource()
{
    Q_INIT_RESOURCE(cert);
}

KoNetworkObject* KoNetworkObject::s_instance = nullptr;
QMutex KoNetworkObject::s_mutex;

KoNetworkObject* KoNetworkObject::getInstance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new KoNetworkObject();
    return s_instance;
}

KoNetworkObject::KoNetworkObject(QObject* parent)
    : QObject(parent)
{
    initData();
    initConnection();
}

KoNetworkObject::~KoNetworkObject()
{
    QMutexLocker locker(&s_mutex);
    if (s_instance == this)
        s_instance = nullptr;
}

QByteArray KoNetworkObject::userAgent()
{
    return QByteArrayLiteral("ReRaze/3.2.0 (Mac)");
}

void KoNetworkObject::initData()
{
    m_manager = new QNetworkAccessManager(this);
    m_cookieJar = new KoCookieJar(m_manager);
    m_manager->setCookieJar(m_cookieJar);

    koInitCertResource();
    QList<QSslCertificate> cas = QSslConfiguration::systemCaCertificates();
    QFile certFile(QStringLiteral(":/cert/server.dedizo.cert"));
    if (certFile.open(QIODevice::ReadOnly)) {
        const QByteArray data = certFile.readAll();
        QList<QSslCertificate> bundled = QSslCertificate::fromData(data, QSsl::Pem);
        if (bundled.isEmpty())
            bundled = QSslCertificate::fromData(data, QSsl::Der);
        cas += bundled;
    } else {
        qDebug() << "KoNetworkObject: bundled CA certificate missing";
    }
    // A test server's CA for this run only: nothing else on the machine learns to trust it.
    const QString extraCa = KoServerConfig::extraCaFile();
    if (!extraCa.isEmpty()) {
        const QList<QSslCertificate> extra = QSslCertificate::fromPath(extraCa, QSsl::Pem,
                                                                       QSslCertificate::PatternSyntax::FixedString);
        if (extra.isEmpty())
            qWarning() << "KoNetworkObject: no CA certificate in" << extraCa;
        cas += extra;
    }
    m_sslConfig = QSslConfiguration::defaultConfiguration();
    m_sslConfig.setCaCertificates(cas);
}

void KoNetworkObject::initConnection()
{
    connect(m_manager, &QNetworkAccessManager::finished, this, &KoNetworkObject::finished);
    connect(m_manager, &QNetworkAccessManager::sslErrors, this, &KoNetworkObject::onSslErrors);
}

void KoNetworkObject::onSslErrors(QNetworkReply* reply, const QList<QSslError>& errors)
{
    // Reported only: an untrusted server must fail the request.
    for (const QSslError& e : errors)
        qDebug() << "TLS error" << (reply ? reply->url().toString() : QString()) << e.errorString();
}

void KoNetworkObject::addCaCertificate(const QSslCertificate& certificate)
{
    if (certificate.isNull())
        return;
    QList<QSslCertificate> cas = m_sslConfig.caCertificates();
    if (!cas.contains(certificate)) {
        cas.append(certificate);
        m_sslConfig.setCaCertificates(cas);
        // Pooled connections keep the trust they were opened with.
        if (m_manager)
            m_manager->clearConnectionCache();
    }
}

int KoNetworkObject::copyCookies(const QUrl& from, const QUrl& to)
{
    return m_cookieJar->copyCookies(from, to);
}

QNetworkRequest KoNetworkObject::buildRequest(const QString& url, QMap<QString, QString>* headers) const
{
    QNetworkRequest request{QUrl(url)};
    request.setSslConfiguration(m_sslConfig);
    // The account and relay cookies belong to those https servers: a phone on plain http (on
    // the same host, say) neither receives them nor plants cookies of its own.
    if (request.url().scheme() != QLatin1String("https")) {
        request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    }
    request.setRawHeader("User-Agent", userAgent());
    if (headers) {
        for (auto it = headers->constBegin(); it != headers->constEnd(); ++it)
            request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
    }
    // Left to itself the network layer asks for gzip and inflates it in memory, beyond any cap
    // on what was received: bodies come as they are.
    if (!request.hasRawHeader("Accept-Encoding"))
        request.setRawHeader("Accept-Encoding", "identity");
    return request;
}

QNetworkReply* KoNetworkObject::post(const QString& url, QMap<QString, QString>* headers, QHttpMultiPart* body,
                                     qint64 contentLength)
{
    QNetworkRequest request = buildRequest(url, headers);
    request.setHeader(QNetworkRequest::ContentLengthHeader, contentLength);
    return m_manager->post(request, body);
}

bool KoNetworkObject::isPlainHttp(const QNetworkRequest& request)
{
    return request.url().scheme() == QLatin1String("http") && !request.url().host().isEmpty();
}

QNetworkReply* KoNetworkObject::postStream(const QString& url, QMap<QString, QString>* headers,
                                           const QByteArray& boundary, const QByteArray& partHead,
                                           KoFileRangeDevice* device, const QByteArray& partTail,
                                           qint64 contentLength)
{
    QNetworkRequest request = buildRequest(url, headers);
    if (!isPlainHttp(request))
        return nullptr;
    // The headers the network access manager gives a multipart post.
    request.setHeader(QNetworkRequest::ContentLengthHeader, contentLength);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArray("multipart/form-data; boundary=\"" + boundary + '"'));
    request.setRawHeader("MIME-Version", "1.0");
    return sendByCurl(QNetworkAccessManager::PostOperation, request, partHead, device, partTail);
}

QNetworkReply* KoNetworkObject::sendByCurl(QNetworkAccessManager::Operation operation, const QNetworkRequest& request,
                                           const QByteArray& head, KoFileRangeDevice* device, const QByteArray& tail)
{
    if (!m_curl)
        m_curl = new KoCurlMulti(this);
    auto* reply = new KoCurlReply(m_curl, operation, request, head, device, tail, this);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { emit finished(reply); });
    return reply;
}

QNetworkReply* KoNetworkObject::postJson(const QString& url, QMap<QString, QString>* headers, const QByteArray& json)
{
    QNetworkRequest request = buildRequest(url, headers);
    if (!request.hasRawHeader("Content-Type"))
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (isPlainHttp(request)) {
        request.setHeader(QNetworkRequest::ContentLengthHeader, json.size());
        return sendByCurl(QNetworkAccessManager::PostOperation, request, json, nullptr, QByteArray());
    }
    return m_manager->post(request, json);
}

QNetworkReply* KoNetworkObject::get(const QString& url, QMap<QString, QString>* headers)
{
    const QNetworkRequest request = buildRequest(url, headers);
    if (isPlainHttp(request))
        return sendByCurl(QNetworkAccessManager::GetOperation, request, QByteArray(), nullptr, QByteArray());
    return m_manager->get(request);
}
