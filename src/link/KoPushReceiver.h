#pragma once

#include "net/KoNetworkHelper.h"

#include <QJsonObject>
#include <QMutex>
#include <QStringList>

#include <functional>

// Polls the relay for pushes ("/reraze/pcPush", docs/protocol.md, "Push poll") and hands
// each push it has not seen before to its handler. One poll is in flight at a time.
class KoPushReceiver : public KoNetworkHelper
{
    Q_OBJECT
public:
    static constexpr int kReplyType = 5001;
    // Push ids remembered; a relay repeats a push until it is answered.
    static constexpr int kSeenIds = 256;
    using Handler = std::function<void(const QJsonObject& push)>;

    explicit KoPushReceiver(QObject* parent = nullptr);
    ~KoPushReceiver() override;

    void setHandler(Handler handler) { m_handler = std::move(handler); }
    void poll(int uid);
    bool isPolling() const { return m_polling; }
    // False when id was seen before; remembers it otherwise.
    bool markSeen(const QString& id);

public slots:
    void onFinished(QNetworkReply* reply) override;
    void onTimeout(QNetworkReply* reply) override;

private:
    Handler m_handler;
    bool m_polling = false;
    QMutex m_seenLock;
    QStringList m_seen;
};
