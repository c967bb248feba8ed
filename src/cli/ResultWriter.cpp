#include "ResultWriter.h"

#include "Paths.h"

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
        // A path's bytes as the file system names them, whether or not they
        // are UTF-8.
        m_out.write(nativePath(text));
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
