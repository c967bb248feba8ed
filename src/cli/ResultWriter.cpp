#include "ResultWriter.h"

#include <QIODevice>

namespace brinmoor::cli {

namespace {

// Exactly the results-list rows, one a line.
class TextWriter final : public ResultWriter
{
public:
    explicit TextWriter(QIODevice &out)
        : m_out(out)
    {
    }
    void row(const QString &text) override
    {
        m_out.write(text.toUtf8());
        m_out.write("\n", 1);
    }

private:
    QIODevice &m_out;
};

// kind,path,lines: a "file" record per counted file, then one "total"
// record with an empty path. RFC 4180: CR LF line ends, quoted fields where
// needed.
class CsvWriter final : public ResultWriter
{
public:
    explicit CsvWriter(QIODevice &out)
        : m_out(out)
    {
    }
    void begin() override { m_out.write("kind,path,lines\r\n"); }
    void file(const QString &path, std::uint64_t lines) override
    {
        m_out.write("file," + csvField(path) + ',' + QByteArray::number(quint64(lines)) + "\r\n");
    }
    void end(std::uint64_t total) override { m_out.write("total,," + QByteArray::number(quint64(total)) + "\r\n"); }

private:
    QIODevice &m_out;
};

// {"files":[{"path":…,"lines":…},…],"total":…,"failures":[{"path":…,"reason":…},…]}
// The file array is written as it grows; failures are few and wait for the end.
class JsonWriter final : public ResultWriter
{
public:
    explicit JsonWriter(QIODevice &out)
        : m_out(out)
    {
    }
    void begin() override { m_out.write("{\"files\":["); }
    void file(const QString &path, std::uint64_t lines) override
    {
        m_out.write(m_first ? "\n" : ",\n");
        m_first = false;
        m_out.write("{\"path\":" + jsonString(path) + ",\"lines\":" + QByteArray::number(quint64(lines)) + '}');
    }
    void failure(const QString &path, const QString &reason) override
    {
        m_failures += QByteArray(m_failures.isEmpty() ? "\n" : ",\n") + "{\"path\":" + jsonString(path)
            + ",\"reason\":" + jsonString(reason) + '}';
    }
    void end(std::uint64_t total) override
    {
        m_out.write("\n],\"total\":" + QByteArray::number(quint64(total)) + ",\"failures\":[" + m_failures
                    + "\n]}\n");
    }

private:
    QIODevice &m_out;
    bool m_first = true;
    QByteArray m_failures;
};

} // namespace

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
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r'))
        return bytes;
    bytes.replace('"', "\"\"");
    return '"' + bytes + '"';
}

QByteArray jsonString(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    QByteArray out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 0xF];
        } else {
            out += c;   // UTF-8 passes through; JSON text is UTF-8
        }
    }
    out += '"';
    return out;
}

} // namespace brinmoor::cli
