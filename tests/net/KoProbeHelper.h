#pragma once

// A client of the request layer that records what reaches its virtual operations.

#include "net/KoNetworkHelper.h"
#include "net/KoReplyMap.h"
#include "net/KoReplyType.h"

#include <QNetworkReply>

#include <functional>

class KoProbeHelper : public KoNetworkHelper
{
public:
    struct Progress {
        qint64 done;
        qint64 total;
    };

    using KoNetworkHelper::onCheckTimeout;

    // Replies of this client as they finished: type code, body, error.
    QList<int> finishedTypes;
    QList<QByteArray> bodies;
    QList<QNetworkReply::NetworkError> errors;
    int foreignReplies = 0;
    QList<int> timeoutTypes;
    QList<Progress> uploads;
    QList<Progress> downloads;
    int dataReadyCalls = 0;
    QByteArray streamed; // what dataReady read
    std::function<void(QNetworkReply*)> timeoutHook;
    std::function<void(QNetworkReply*, qint64, qint64)> uploadHook;

    void onFinished(QNetworkReply* reply) override
    {
        if (KoReplyType* record = getReplyMap()->getReplyType(reply)) {
            finishedTypes << record->getType();
            bodies << reply->readAll();
            errors << reply->error();
        } else {
            ++foreignReplies;
        }
        KoNetworkHelper::onFinished(reply);
    }
    void onTimeout(QNetworkReply* reply) override
    {
        KoReplyType* record = getReplyMap()->getReplyType(reply);
        timeoutTypes << (record ? record->getType() : -1);
        if (timeoutHook)
            timeoutHook(reply);
    }
    void uploadProgress(QNetworkReply* reply, qint64 sent, qint64 total) override
    {
        uploads << Progress{sent, total};
        if (uploadHook)
            uploadHook(reply, sent, total);
    }
    void downloadProgress(QNetworkReply*, qint64 received, qint64 total) override
    {
        downloads << Progress{received, total};
    }
    void dataReady(QNetworkReply* reply) override
    {
        ++dataReadyCalls;
        streamed += reply->readAll();
    }
};
