#pragma once

// Readers for phone and relay answers, shared by the client's answer handlers.

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <cmath>
#include <limits>
#include <memory>

namespace KoClientJson {

// An integral JSON number that fits an int; anything else gives def.
inline int readInt(const QJsonValue& value, int def)
{
    if (!value.isDouble())
        return def;
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || d < std::numeric_limits<int>::min()
        || d > std::numeric_limits<int>::max())
        return def;
    return int(d);
}

// "code" of an answer: a missing or non-integral "code" counts as 1.
inline int readCode(const QJsonObject& answer)
{
    return readInt(answer.value(QStringLiteral("code")), 1);
}

// A 64-bit count sent as a JSON number or as decimal text; anything else is 0.
inline qint64 readInt64(const QJsonValue& value)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        // 2^63 itself is not representable as qint64.
        if (!std::isfinite(d) || d >= 9223372036854775808.0 || d < -9223372036854775808.0)
            return 0;
        return qint64(d);
    }
    if (value.isString()) {
        bool ok = false;
        const qint64 v = value.toString().trimmed().toLongLong(&ok);
        return ok ? v : 0;
    }
    return 0;
}

inline quint64 readUInt64(const QJsonValue& value)
{
    if (value.isString()) {
        bool ok = false;
        const quint64 v = value.toString().trimmed().toULongLong(&ok);
        return ok ? v : 0;
    }
    return quint64(readInt64(value));
}

inline QString readString(const QJsonValue& value)
{
    return value.isString() ? value.toString() : QString();
}

// Gives the list to call (which receives the records) and drops the container afterwards;
// with nobody to call, the records go too.
template <class T, class Call>
void handOver(QList<T*>* list, bool hasReceiver, Call call)
{
    std::unique_ptr<QList<T*>> holder(list);
    if (hasReceiver) {
        call(list);
    } else {
        qDeleteAll(*list);
    }
}

// Calls a copy of the stored callback (a callback may replace its own slot while it runs)
// with (id, code, list).
template <class T, class Callback>
void deliverList(const Callback& slot, int id, int code, QList<T*>* list)
{
    const Callback cb = slot;
    handOver(list, bool(cb), [&](QList<T*>* l) { cb(id, code, l); });
}

} // namespace KoClientJson
