#pragma once

// Reads multipart/form-data bodies as the fake servers receive them (uploads from the client).
// Works incrementally: feed() takes the body in any slicing, and parseFile() scans a spilled
// body file in blocks, recording large parts as (file, offset, length) instead of loading them.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

struct KoTestRequest;

struct KoMultipartPart {
    QMap<QByteArray, QByteArray> headers;            // names lower-cased
    QByteArray name, filename;                       // from Content-Disposition
    QByteArray data;                                 // content, unless it was left in dataFile
    QString dataFile;                                // set when the content stays in a file: dataOffset / dataLength
    qint64 dataOffset = 0;                           // offset of the content in the parsed stream (always set)
    qint64 dataLength = 0;                           // content length (always set)
    QByteArray header(const QByteArray& name) const; // case-insensitive
    QByteArray content() const;                      // data, or read back from dataFile
    bool saveTo(const QString& path) const;          // writes the content to path, in blocks
};

class KoMultipartReader
{
public:
    // Parts at most inlineLimit bytes long are kept in memory (data); longer ones are only
    // counted, or left in the file when parsing a file.
    explicit KoMultipartReader(const QByteArray& boundary, qint64 inlineLimit = 64 * 1024 * 1024);

    void feed(const QByteArray& bytes);
    void feed(const char* data, qint64 size);
    bool isComplete() const { return m_state == Done; } // closing delimiter seen
    bool hasError() const { return m_error; }
    QList<KoMultipartPart> parts() const { return m_parts; }

    // "multipart/form-data; boundary=xyz" -> "xyz" (quotes removed); empty when absent.
    static QByteArray boundaryFromContentType(const QByteArray& contentType);
    // One-shot helpers; ok is false for a malformed or truncated body.
    static QList<KoMultipartPart> parse(const QByteArray& body, const QByteArray& boundary, bool* ok = nullptr);
    static QList<KoMultipartPart> parseFile(const QString& path, const QByteArray& boundary, bool* ok = nullptr,
                                            qint64 inlineLimit = 1024 * 1024);
    // Uses the request's Content-Type boundary and its body or spilled body file.
    static QList<KoMultipartPart> parse(const KoTestRequest& request, bool* ok = nullptr);

private:
    enum State { Preamble, AfterDelimiter, Headers, Body, Done };
    void process(bool final);
    bool parseHeaders(const QByteArray& block, KoMultipartPart& part);
    void emitData(const char* data, qint64 n);

    QByteArray m_delimiter; // "\r\n--" + boundary
    qint64 m_inlineLimit;
    QByteArray m_buf;
    qint64 m_bufOffset = -2; // stream offset of m_buf[0]; the body is read as if preceded by CRLF
    State m_state = Preamble;
    bool m_error = false;
    bool m_dropData = false;
    QList<KoMultipartPart> m_parts;
    QString m_file; // set by parseFile
};
