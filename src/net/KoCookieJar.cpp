#include "net/KoCookieJar.h"

#include <QNetworkCookie>
#include <QUrl>

KoCookieJar::KoCookieJar(QObject* parent)
    : QNetworkCookieJar(parent)
{
}

int KoCookieJar::copyCookies(const QUrl& from, const QUrl& to)
{
    if (!from.isValid() || !to.isValid() || to.host().isEmpty())
        return 0;
    QList<QNetworkCookie> copies;
    const QList<QNetworkCookie> source = cookiesForUrl(from);
    for (QNetworkCookie cookie : source) {
        cookie.setDomain(to.host());
        cookie.setPath(QStringLiteral("/"));
        copies.append(cookie);
    }
    int copied = 0;
    for (const QNetworkCookie& cookie : qAsConst(copies)) {
        // insertCookie replaces a cookie of the same name, domain and path.
        if (validateCookie(cookie, to) && insertCookie(cookie))
            ++copied;
    }
    return copied;
}
