#pragma once

#include <QList>
#include <QMap>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

class QHttpMultiPart;
class QNetworkReply;
class QNetworkRequest;
class QUrl;
class KoCookieJar;
class KoFileRangeDevice;
class KoCurlMulti;

// The program's network layer: plain-http requests (to phones) go out through libcurl
// (KoCurlReply on one KoCurlMulti), https requests (relay, account server, update site) through
// the one network access manager, with its in-memory cookie jar, and TLS trust (system CAs, the
// CA bundled with the program and the one named by KoServerConfig::extraCaFile). Both send the
// fixed User-Agent and `Accept-Encoding: identity` unless a request names one; no cookie goes to
// or comes from a plain-http peer. Every HTTP client posts through it and listens to its
// finished signal.
class KoNetworkObject : public QObject
{
    Q_OBJECT
public:
    static KoNetworkObject* getInstance();
    ~KoNetworkObject() override;

    static QByteArray userAgent();

    // Multipart POST with an explicit Content-Length through the network access manager; the
    // caller hands the body over to the reply (the body should be parented to it).
    QNetworkReply* post(const QString& url, QMap<QString, QString>* headers, QHttpMultiPart* body,
                        qint64 contentLength);
    // The same multipart POST of one file part over plain http, by KoCurlReply: partHead, the
    // bytes of device (taken over) and partTail form the body; without a device partHead and
    // partTail hold all of it. Plain http only, else null.
    QNetworkReply* postStream(const QString& url, QMap<QString, QString>* headers, const QByteArray& boundary,
                              const QByteArray& partHead, KoFileRangeDevice* device, const QByteArray& partTail,
                              qint64 contentLength);
    // POST of a JSON text (by KoCurlReply over plain http).
    QNetworkReply* postJson(const QString& url, QMap<QString, QString>* headers, const QByteArray& json);
    // GET (by KoCurlReply over plain http).
    QNetworkReply* get(const QString& url, QMap<QString, QString>* headers = nullptr);

    QNetworkAccessManager* getManager() const { return m_manager; }
    KoCookieJar* getCookieJar() const { return m_cookieJar; }
    // Sends the cookies of `from` to `to` from now on (the login carried to another server).
    int copyCookies(const QUrl& from, const QUrl& to);

    // Trusts one more CA for every later request (tests trust their own CA this way).
    void addCaCertificate(const QSslCertificate& certificate);
    QSslConfiguration sslConfiguration() const { return m_sslConfig; }

signals:
    void finished(QNetworkReply* reply);

private slots:
    void onSslErrors(QNetworkReply* reply, const QList<QSslError>& errors);

private:
    explicit KoNetworkObject(QObject* parent = nullptr);
    void initData();
    void initConnection();
    QNetworkRequest buildRequest(const QString& url, QMap<QString, QString>* headers) const;
    static bool isPlainHttp(const QNetworkRequest& request);
    QNetworkReply* sendByCurl(QNetworkAccessManager::Operation operation, const QNetworkRequest& request,
                              const QByteArray& head, KoFileRangeDevice* device, const QByteArray& tail);

    static KoNetworkObject* s_instance;
    static QMutex s_mutex;

    QNetworkAccessManager* m_manager = nullptr;
    KoCurlMulti* m_curl = nullptr;
    KoCookieJar* m_cookieJar = nullptr;
    QSslConfiguration m_sslConfig;
};
