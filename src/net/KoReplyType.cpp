#include "net/KoReplyType.h"

#include <QDateTime>

KoReplyType::KoReplyType(int type)
    : m_type(type)
{
}

KoReplyType* KoReplyType::setId(int id)
{
    m_id = id;
    return this;
}

KoReplyType* KoReplyType::addValue(int value)
{
    m_values.append(QVariant(value));
    return this;
}

KoReplyType* KoReplyType::addValue(const QString& value)
{
    m_values.append(QVariant(value));
    return this;
}

KoReplyType* KoReplyType::addValue(qint64 value)
{
    m_values.append(QVariant(value));
    return this;
}

KoReplyType* KoReplyType::addValue(QFile* file)
{
    m_file = file;
    m_values.append(QVariant(QString()));
    return this;
}

int KoReplyType::getIntValue(int index) const
{
    if (index < 0 || index >= m_values.size())
        return 0;
    return m_values.at(index).toInt();
}

QString KoReplyType::getStringValue(int index) const
{
    if (index < 0 || index >= m_values.size())
        return QString();
    return m_values.at(index).toString();
}

qint64 KoReplyType::getLongLongValue(int index) const
{
    if (index < 0 || index >= m_values.size())
        return 0;
    return m_values.at(index).toLongLong();
}

QFile* KoReplyType::getFileValue(int) const
{
    return m_file;
}

void KoReplyType::setDdl(qint64 ms)
{
    m_deadline = ms < 1 ? -1 : QDateTime::currentMSecsSinceEpoch() + ms;
}
