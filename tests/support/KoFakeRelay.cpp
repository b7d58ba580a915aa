#include "support/KoFakeRelay.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>

namespace {

QJsonObject codeOnly(int code)
{
    return QJsonObject{{QStringLiteral("code"), code}};
}

} // namespace

KoFakeRelay::KoFakeRelay(QObject* parent)
    : QObject(parent)
{
    m_http = new KoTestHttpServer(KoTestHttpServer::Https, this);
    m_http->setHandler([this](const KoTestRequest& request) { return handleHttp(request); });
}

bool KoFakeRelay::start()
{
    return m_http->listen();
}

QString KoFakeRelay::baseUrl() const
{
    return m_http->baseUrl() + QStringLiteral("/reraze/");
}

QString KoFakeRelay::accountBaseUrl() const
{
    return m_http->baseUrl() + QStringLiteral("/dedizo/");
}

void KoFakeRelay::attachPhone(KoFakePhone* phone)
{
    if (phone && !m_phones.contains(phone)) {
        m_phones.append(phone);
        phone->watchAbortedUploads(m_http);
    }
}

void KoFakeRelay::setNetworkState(const QString& deviceId, const QString& ip, int port, int networkState)
{
    m_networkStates.insert(deviceId, NetworkState{ip, port, networkState});
}

KoFakePhone* KoFakeRelay::phoneFor(const QString& deviceId) const
{
    for (const QPointer<KoFakePhone>& phone : m_phones) {
        if (phone && phone->deviceId() == deviceId)
            return phone;
    }
    return nullptr;
}

KoTestResponse KoFakeRelay::handleHttp(const KoTestRequest& request)
{
    const QByteArray path = request.pathOnly();
    KoFakeCall call = KoFakeCall::fromRequest(request, QByteArray(), QString());
    const QString cmd = call.body.value(QStringLiteral("cmd")).toString();

    if (path == "/reraze/reraze/operation" || path == "/reraze/msg/connect") {
        call.route = "relay";
        call.op = cmd;
    } else if (path == "/reraze/reraze/file") {
        // Uploads name their operation in a header; the body is the file.
        call.route = "relay";
        call.op = QString::fromUtf8(call.header("cmd"));
    } else if (path == "/reraze/version/error") {
        call.route = "relay";
        call.op = QStringLiteral("versionError");
    } else if (path == "/dedizo/network/ask") {
        call.route = "account";
        call.op = QStringLiteral("askNetwork");
    } else {
        return KoTestResponse::raw("not found", 404, "text/plain");
    }

    m_calls.append(call);
    auto queued = m_queued.find(call.op);
    if (queued != m_queued.end() && !queued->isEmpty())
        return queued->takeFirst();
    auto fixed = m_fixed.constFind(call.op);
    if (fixed != m_fixed.constEnd())
        return *fixed;
    KoTestResponse response = serve(call);
    response.delayMs = qMax(response.delayMs, m_delays.value(call.op, 0));
    return response;
}

KoTestResponse KoFakeRelay::serve(const KoFakeCall& call)
{
    if (call.path.startsWith("/reraze/reraze/file")) {
        KoFakePhone* phone = phoneFor(QString::fromUtf8(call.header("toDeviceId")));
        return phone ? phone->answer(call) : KoTestResponse::json(codeOnly(kCodeUnknownDevice));
    }
    if (call.body.isEmpty())
        return KoTestResponse::json(codeOnly(KoFakePhone::CodeBadRequest));
    const QString target = call.body.contains(QStringLiteral("toDeviceId"))
        ? call.body.value(QStringLiteral("toDeviceId")).toString()
        : QString::fromUtf8(call.header("toDeviceId"));

    if (call.op == QLatin1String("versionError"))
        return KoTestResponse::json(codeOnly(0));

    if (call.op == QLatin1String("askNetwork")) {
        const auto state = m_networkStates.constFind(target);
        if (state == m_networkStates.constEnd())
            return KoTestResponse::json(codeOnly(kCodeUnknownDevice));
        return KoTestResponse::json(QJsonObject{{QStringLiteral("code"), 0},
                                                {QStringLiteral("ip"), state->ip},
                                                {QStringLiteral("port"), QString::number(state->port)},
                                                {QStringLiteral("networkState"), state->state}});
    }

    if (call.path.startsWith("/reraze/msg/connect")) {
        // The relay passes the message on to the phone as a push; it only needs to know it.
        static const QStringList known{QStringLiteral("OPEN"), QStringLiteral("DISCONNECT"), QStringLiteral("ACCEPT"),
                                       QStringLiteral("REJECT_TOKEN"), QStringLiteral("DISCONNECTED")};
        if (!known.contains(call.op))
            return KoTestResponse::json(codeOnly(KoFakePhone::CodeBadRequest));
        return KoTestResponse::json(codeOnly(phoneFor(target) ? 0 : kCodeUnknownDevice));
    }

    // A file operation: the phone behind the relay answers it.
    KoFakePhone* phone = phoneFor(QString::fromUtf8(call.header("toDeviceId")));
    if (!phone)
        return KoTestResponse::json(codeOnly(kCodeUnknownDevice));
    return phone->answer(call);
}
