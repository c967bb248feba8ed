#include "ResultWriter.h"

#include "Paths.h"

#include <QFileDevice>
#include <QIODevice>

namespace brinmoor::cli {

namespace {

// Results gathered before they are written: few writes for many rows.
constexpr qsizetype WriteChunk = 64 * 1024;

// Exactly the results-list rows, one a line.
class TextWriter final : public ResultWriter
{
public:
    using ResultWriter::ResultWriter;
    void row(const QString &text) override
    {
        // A path's bytes as the file system names them, whether or not they
        // are UTF-8.
        put(nativePath(text));
        put("\n");
    }
};

// kind,path,lines: a "file" record per counted file, then one "total"
// record with an empty path. RFC 4180: CR LF line ends, quoted fields where
// needed.
class CsvWriter final : public ResultWriter
{
public:
    using ResultWriter::ResultWriter;
    void begin() override { put("kind,path,lines\r\n"); }
    void file(const QString &path, std::uint64_t lines) override
    {
        put("file," + csvField(path) + ',' + QByteArray::number(quint64(lines)) + "\r\n");
    }
    void end(std::uint64_t total) override { put("total,," + QByteArray::number(quint64(total)) + "\r\n"); }
};

// {"files":[{"path":…,"lines":…},{"path":…,"reason":…},…],"total":…,"failed":…}
// One entry per path in the order of the paths, written as it comes: a
// counted file has its lines, a failed one the reason. Nothing is held
// back, so endless failures take no memory.
class JsonWriter final : public ResultWriter
{
public:
    using ResultWriter::ResultWriter;
    void begin() override { put("{\"files\":["); }
    void file(const QString &path, std::uint64_t lines) override
    {
        entry("{\"path\":" + jsonString(path) + ",\"lines\":" + QByteArray::number(quint64(lines)) + '}');
    }
    void failure(const QString &path, const QString &reason) override
    {
        ++m_failed;
        entry("{\"path\":" + jsonString(path) + ",\"reason\":" + jsonString(reason) + '}');
    }
    void end(std::uint64_t total) override
    {
        put("\n],\"total\":" + QByteArray::number(quint64(total)) + ",\"failed\":" + QByteArray::number(m_failed)
            + "}\n");
    }

private:
    void entry(const QByteArray &object)
    {
        put(m_first ? "\n" : ",\n");
        m_first = false;
        put(object);
    }

    bool m_first = true;
    quint64 m_failed = 0;
};

} // namespace

void ResultWriter::put(QByteArrayView bytes)
{
    if (m_failed)
        return;
    m_pending.append(bytes);
    if (m_pending.size() >= WriteChunk)
        flush();
}

bool ResultWriter::flush()
{
    if (m_failed)
        return false;
    if (!m_pending.isEmpty()) {
        const qint64 wrote = m_out.write(m_pending);
        m_failed = wrote != m_pending.size();
        m_pending.clear();
    }
    // A device that buffers of its own must give up its bytes now too.
    if (auto *file = qobject_cast<QFileDevice *>(&m_out); !m_failed && file)
        m_failed = !file->flush();
    if (m_failed) {
        m_error = m_out.errorString();
        if (m_error.isEmpty())
            m_error = QStringLiteral("the output took only part of them");
    }
    return !m_failed;
}

std::unique_ptr<ResultWriter> makeResultWriter(OutputFormat format, QIODevice &out)
{
    switch (format) {
    case OutputFormat::Csv:
        return std::make_unique<CsvWriter>(out);
    case OutputFormat::Json:
        return std::make_unique<JsonWriter>(out);
    case OutputFormat::Text:
        break;
    }
    return std::make_unique<TextWriter>(out);
}

QByteArray csvField(const QString &text)
{
    QByteArray bytes = nativePath(text);
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r'))
        return bytes;
    bytes.replace('"', "\"\"");
    return '"' + bytes + '"';
}

// JSON text must be UTF-8, so a path's bytes that are not UTF-8 cannot stand
// in it as they are. Each is written as the escape of the lone surrogate
// that holds it in memory, \udc80 to \udcff for the bytes 80 to FF: a
// reader that decodes names with surrogate escapes gets the bytes back, and
// the escape cannot be confused with any character a name really has.
QByteArray jsonString(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += text.at(i);
            out += text.at(++i);
        } else if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += QChar(c);
        } else if (c < 0x20 || (c >= 0xDC80 && c <= 0xDCFF)) {
            out += QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0'));
        } else {
            out += QChar(c);
        }
    }
    out += u'"';
    return out.toUtf8();
}

} // namespace brinmoor::cli
