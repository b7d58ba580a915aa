#pragma once

#include <QNetworkCookie>
#include <QNetworkCookieJar>

// In-memory cookie jar shared by every HTTP client of the program.
class KoCookieJar : public QNetworkCookieJar
{
    Q_OBJECT
public:
    explicit KoCookieJar(QObject* parent = nullptr);

    // Makes the cookies that would be sent to `from` be sent to `to` as well: they are stored
    // again for to's host, valid for all of its paths (the login of one server carried to
    // another). Returns how many were copied.
    int copyCookies(const QUrl& from, const QUrl& to);

    QList<QNetworkCookie> allCookies() const { return QNetworkCookieJar::allCookies(); }
};
