#include "support/KoMultipartReader.h"

#include "support/KoTestHttpServer.h"

#include <QFile>

#include <limits>

QByteArray KoMultipartPart::header(const QByteArray& name) const
{
    return headers.value(name.toLower());
}

QByteArray KoMultipartPart::content() const
{
    if (dataFile.isEmpty())
        return data;
    QFile f(dataFile);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(dataOffset))
        return QByteArray();
    return f.read(dataLength);
}

bool KoMultipartPart::saveTo(const QString& path) const
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (dataFile.isEmpty())
        return out.write(data) == data.size();
    QFile in(dataFile);
    if (!in.open(QIODevice::ReadOnly) || !in.seek(dataOffset))
        return false;
    qint64 left = dataLength;
    while (left > 0) {
        const QByteArray block = in.read(qMin<qint64>(left, 1024 * 1024));
        if (block.isEmpty() || out.write(block) != block.size())
            return false;
        left -= block.size();
    }
    return true;
}

KoMultipartReader::KoMultipartReader(const QByteArray& boundary, qint64 inlineLimit)
    : m_delimiter("\r\n--" + boundary)
    , m_inlineLimit(inlineLimit)
{
    m_buf = "\r\n";
    if (boundary.isEmpty())
        m_error = true;
}

void KoMultipartReader::feed(const QByteArray& bytes)
{
    feed(bytes.constData(), bytes.size());
}

void KoMultipartReader::feed(const char* data, qint64 size)
{
    if (m_error || m_state == Done || size <= 0)
        return;
    m_buf.append(data, int(size));
    process(false);
}

void KoMultipartReader::emitData(const char* data, qint64 n)
{
    if (n <= 0 || m_parts.isEmpty())
        return;
    KoMultipartPart& part = m_parts.last();
    part.dataLength += n;
    if (m_dropData)
        return;
    if (part.dataLength > m_inlineLimit) {
        // Too large to keep; parseFile points at the file instead, feed() only counts it.
        m_dropData = true;
        part.data.clear();
        part.data.squeeze();
        return;
    }
    part.data.append(data, int(n));
}

bool KoMultipartReader::parseHeaders(const QByteArray& block, KoMultipartPart& part)
{
    for (const QByteArray& raw : block.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        const int colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        part.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    // Content-Disposition: form-data; name="x"; filename="y"
    const QByteArray disposition = part.header("content-disposition");
    int i = disposition.indexOf(';');
    while (i >= 0 && i < disposition.size()) {
        int j = i + 1;
        while (j < disposition.size() && disposition.at(j) == ' ')
            ++j;
        const int eq = disposition.indexOf('=', j);
        if (eq < 0)
            break;
        const QByteArray key = disposition.mid(j, eq - j).trimmed().toLower();
        QByteArray value;
        int next;
        if (eq + 1 < disposition.size() && disposition.at(eq + 1) == '"') {
            int k = eq + 2;
            while (k < disposition.size() && disposition.at(k) != '"') {
                if (disposition.at(k) == '\\' && k + 1 < disposition.size())
                    ++k;
                value += disposition.at(k);
                ++k;
            }
            next = disposition.indexOf(';', k);
        } else {
            next = disposition.indexOf(';', eq);
            value = disposition.mid(eq + 1, next < 0 ? -1 : next - eq - 1).trimmed();
        }
        if (key == "name")
            part.name = value;
        else if (key == "filename")
            part.filename = value;
        i = next;
    }
    return true;
}

void KoMultipartReader::process(bool final)
{
    const int dl = m_delimiter.size();
    for (;;) {
        if (m_error || m_state == Done)
            return;
        switch (m_state) {
        case Preamble: {
            const int at = m_buf.indexOf(m_delimiter);
            if (at < 0) {
                const int keep = qMin(m_buf.size(), dl - 1);
                m_bufOffset += m_buf.size() - keep;
                m_buf.remove(0, m_buf.size() - keep);
                if (final)
                    m_error = true;
                return;
            }
            m_bufOffset += at + dl;
            m_buf.remove(0, at + dl);
            m_state = AfterDelimiter;
            break;
        }
        case AfterDelimiter: {
            if (m_buf.size() < 2) {
                if (final)
                    m_error = true;
                return;
            }
            if (m_buf.startsWith("--")) {
                m_state = Done;
                return;
            }
            // Transport padding may follow the boundary before its CRLF.
            const int eol = m_buf.indexOf("\r\n");
            if (eol < 0) {
                if (m_buf.size() > 1024 || final)
                    m_error = true;
                return;
            }
            m_bufOffset += eol + 2;
            m_buf.remove(0, eol + 2);
            m_state = Headers;
            break;
        }
        case Headers: {
            int end;
            int skip;
            if (m_buf.startsWith("\r\n")) {
                end = 0;
                skip = 2;
            } else {
                end = m_buf.indexOf("\r\n\r\n");
                skip = end + 4;
            }
            if (end < 0) {
                if (m_buf.size() > 64 * 1024 || final)
                    m_error = true;
                return;
            }
            KoMultipartPart part;
            if (!parseHeaders(m_buf.left(end), part)) {
                m_error = true;
                return;
            }
            m_bufOffset += skip;
            m_buf.remove(0, skip);
            part.dataOffset = m_bufOffset;
            part.dataFile = m_file;
            m_parts.append(part);
            m_dropData = false;
            m_state = Body;
            break;
        }
        case Body: {
            const int at = m_buf.indexOf(m_delimiter);
            if (at < 0) {
                const int ready = qMax(0, m_buf.size() - (dl - 1));
                emitData(m_buf.constData(), ready);
                m_bufOffset += ready;
                m_buf.remove(0, ready);
                if (final)
                    m_error = true;
                return;
            }
            emitData(m_buf.constData(), at);
            // Content kept in memory does not need the file.
            if (!m_dropData)
                m_parts.last().dataFile.clear();
            m_bufOffset += at + dl;
            m_buf.remove(0, at + dl);
            m_state = AfterDelimiter;
            break;
        }
        case Done:
            return;
        }
    }
}

QByteArray KoMultipartReader::boundaryFromContentType(const QByteArray& contentType)
{
    for (const QByteArray& param : contentType.split(';')) {
        const QByteArray p = param.trimmed();
        if (p.toLower().startsWith("boundary=")) {
            QByteArray b = p.mid(9).trimmed();
            if (b.size() >= 2 && b.startsWith('"') && b.endsWith('"'))
                b = b.mid(1, b.size() - 2);
            return b;
        }
    }
    return QByteArray();
}

QList<KoMultipartPart> KoMultipartReader::parse(const QByteArray& body, const QByteArray& boundary, bool* ok)
{
    KoMultipartReader reader(boundary, std::numeric_limits<qint64>::max());
    reader.feed(body);
    reader.process(true);
    if (ok)
        *ok = reader.isComplete() && !reader.hasError();
    return reader.parts();
}

QList<KoMultipartPart> KoMultipartReader::parseFile(const QString& path, const QByteArray& boundary, bool* ok,
                                                    qint64 inlineLimit)
{
    KoMultipartReader reader(boundary, inlineLimit);
    reader.m_file = path;
    QFile f(path);
    bool good = f.open(QIODevice::ReadOnly);
    while (good && !reader.isComplete() && !reader.hasError()) {
        const QByteArray block = f.read(1024 * 1024);
        if (block.isEmpty())
            break;
        reader.feed(block);
    }
    if (good)
        reader.process(true);
    if (ok)
        *ok = good && reader.isComplete() && !reader.hasError();
    return reader.parts();
}

QList<KoMultipartPart> KoMultipartReader::parse(const KoTestRequest& request, bool* ok)
{
    const QByteArray boundary = boundaryFromContentType(request.header("content-type"));
    if (!request.bodyFile.isEmpty())
        return parseFile(request.bodyFile, boundary, ok);
    return parse(request.body, boundary, ok);
}
