#pragma once

#include "model/KoBaseFacility.h"
#include "net/KoNetworkHelper.h"

#include <QJsonObject>
#include <QList>

#include <functional>

// Reports this computer to the account server and receives the user's other devices
// (docs/protocol.md, "Device report"). GUI thread only.
class KoDeviceReport : public KoNetworkHelper
{
    Q_OBJECT
public:
    static constexpr int kReplyType = 2001;
    // Called once per report: the server's "result" (-1 for no usable answer) and, on 0,
    // the devices it returned.
    using Callback = std::function<void(int result, QList<KoBaseFacility> devices)>;

    explicit KoDeviceReport(QObject* parent = nullptr);
    ~KoDeviceReport() override;

    void setCallback(Callback callback) { m_callback = std::move(callback); }
    // Sends the report; lanIp and lanPort tell where this computer listens for LAN messages.
    void report(int uid, const QString& lanIp, quint16 lanPort);

    // The devices of an answer, leaving out malformed entries and this computer (ownDeviceId).
    static QList<KoBaseFacility> parseDevices(const QJsonObject& answer, const QString& ownDeviceId);

public slots:
    void onFinished(QNetworkReply* reply) override;
    void onTimeout(QNetworkReply* reply) override;

private:
    void deliver(int result, const QList<KoBaseFacility>& devices);

    Callback m_callback;
};
