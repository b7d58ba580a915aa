#pragma once

#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

class QHttpMultiPart;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QUrl;
class KoCookieJar;
class KoFileRangeDevice;
class KoHttpConnectionPool;

// The program's one network access manager, with its in-memory cookie jar (used by https
// requests only), fixed User-Agent, `Accept-Encoding: identity` unless a request names one,
// and TLS trust (system CAs, the CA bundled with the program and the one named by
// KoServerConfig::extraCaFile).
// Every HTTP client posts through it and listens to its finished signal.
class KoNetworkObject : public QObject
{
    Q_OBJECT
public:
    static KoNetworkObject* getInstance();
    ~KoNetworkObject() override;

    static QByteArray userAgent();

    // Multipart POST with an explicit Content-Length; the caller hands the body over to the
    // reply (the body should be parented to it).
    QNetworkReply* post(const QString& url, QMap<QString, QString>* headers, QHttpMultiPart* body,
                        qint64 contentLength);
    // The same multipart POST of one file part, sent by KoStreamUploadReply: partHead, the
    // bytes of device (taken over) and partTail form the body; without a device partHead and
    // partTail hold all of it, and the request may reuse an idle connection. Plain http only,
    // else null.
    QNetworkReply* postStream(const QString& url, QMap<QString, QString>* headers, const QByteArray& boundary,
                              const QByteArray& partHead, KoFileRangeDevice* device, const QByteArray& partTail,
                              qint64 contentLength);
    // The same POST of a JSON text, sent by KoStreamUploadReply, which may reuse an idle
    // connection and writes head and body at once. Plain http only, else null.
    QNetworkReply* postJsonDirect(const QString& url, QMap<QString, QString>* headers, const QByteArray& json);
    // POST of a JSON text.
    QNetworkReply* postJson(const QString& url, QMap<QString, QString>* headers, const QByteArray& json);
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
    QNetworkReply* sendDirect(const QNetworkRequest& request, const QByteArray& head, KoFileRangeDevice* device,
                              const QByteArray& tail);

    static KoNetworkObject* s_instance;
    static QMutex s_mutex;

    QNetworkAccessManager* m_manager = nullptr;
    KoHttpConnectionPool* m_pool = nullptr;
    KoCookieJar* m_cookieJar = nullptr;
    QSslConfiguration m_sslConfig;
};
