#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <any>

class QFile;

// The record of one pending HTTP request: who asked (caller id), what kind of request it is
// (type code), when it expires, whether it was cancelled, and the values the answer handler
// needs back (read by index in the order they were added).
// Owned by the reply map it is filed in; it never owns the file it points to.
class KoReplyType
{
public:
    explicit KoReplyType(int type);

    KoReplyType* setId(int id);
    KoReplyType* addValue(int value);
    KoReplyType* addValue(const QString& value);
    KoReplyType* addValue(qint64 value);
    // Keeps the file pointer and takes up one index with an empty value.
    KoReplyType* addValue(QFile* file);

    int getId() const { return m_id; }
    int getType() const { return m_type; }

    // Values beyond the list read as 0 / empty text.
    int getIntValue(int index) const;
    QString getStringValue(int index) const;
    qint64 getLongLongValue(int index) const;
    int valueCount() const { return m_values.size(); }
    // There is only one file per record, whatever the index.
    QFile* getFileValue(int index = 0) const;

    // Deadline ms from now; ms < 1 means no deadline.
    void setDdl(qint64 ms);
    qint64 getDdl() const { return m_deadline; }
    bool hasDdl() const { return m_deadline >= 0; }

    void cancel() { m_canceled = true; }
    bool isCanceled() const { return m_canceled; }

    // Free slot for whatever a client wants to carry with one request (e.g. a std::function
    // answering just this request). Destroyed with the record.
    void setData(std::any data) { m_data = std::move(data); }
    const std::any& getData() const { return m_data; }
    std::any& getData() { return m_data; }

private:
    int m_id = -1;
    int m_type = 0;
    qint64 m_deadline = -1;
    bool m_canceled = false;
    QList<QVariant> m_values;
    QFile* m_file = nullptr;
    std::any m_data;
};
