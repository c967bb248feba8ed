#include "SummaryWriter.h"

#include "Paths.h"
#include "Summary.h"
#include "SummaryTable.h"

#include <QIODevice>

namespace brinmoor::cli {

namespace {

using summary::SummaryView;

QByteArray number(double value)
{
    return QByteArray::number(value, 'f', 2);
}

class SummaryWriter final : public ResultWriter
{
public:
    SummaryWriter(const CountCommand &command, QIODevice &out)
        : ResultWriter(out)
        , m_format(command.format)
        , m_view(*command.summary)
        , m_depth(command.summaryDepth)
        , m_separate(command.separate)
    {
    }

    void begin() override
    {
        if (m_format == OutputFormat::Csv)
            put("kind,name,files,lines,share,lines_per_file\r\n");
        else if (m_format == OutputFormat::Json)
            put("{\"files\":[");
    }

    void row(const QString &text) override
    {
        if (m_separate) {
            put(nativePath(text));
            put("\n");
        }
    }

    void file(const QString &path, std::uint64_t lines) override
    {
        m_summary.add(path, lines);
        if (!m_separate)
            return;
        const QByteArray count = QByteArray::number(quint64(lines));
        if (m_format == OutputFormat::Csv) {
            put("file," + csvField(path) + ",1," + count + ",,\r\n");
        } else if (m_format == OutputFormat::Json) {
            entry("{\"path\":" + jsonString(path) + ",\"lines\":" + count + '}');
        }
    }

    void failure(const QString &path, const QString &reason) override
    {
        // Streamed beside the files, as the plain JSON output does: a list of
        // missing paths may be endless.
        ++m_failed;
        if (m_format == OutputFormat::Json)
            entry("{\"path\":" + jsonString(path) + ",\"reason\":" + jsonString(reason) + '}');
    }

    void end(std::uint64_t) override
    {
        const std::vector<summary::SummaryRow> rows = m_view == SummaryView::Extension
            ? summary::extensionRows(m_summary)
            : summary::folderRows(m_summary, m_depth);
        switch (m_format) {
        case OutputFormat::Text:
            if (m_separate)
                put("\n");
            put(nativePath(summary::alignedTable(rows, m_view, m_summary)));
            break;
        case OutputFormat::Csv:
            writeCsv(rows);
            break;
        case OutputFormat::Json:
            writeJson(rows);
            break;
        }
    }

private:
    void writeCsv(const std::vector<summary::SummaryRow> &rows)
    {
        const QByteArray kind = m_view == SummaryView::Extension ? "extension," : "folder,";
        for (const summary::SummaryRow &r : rows) {
            const QString name = m_view == SummaryView::Extension ? r.name : r.path;
            put(kind + csvField(name) + ',' + QByteArray::number(quint64(r.files)) + ','
                        + QByteArray::number(quint64(r.lines)) + ',' + number(r.share) + ','
                        + number(r.linesPerFile) + "\r\n");
        }
        put("total,," + QByteArray::number(quint64(m_summary.files())) + ','
                    + QByteArray::number(quint64(m_summary.lines())) + ',' + number(m_summary.lines() ? 100 : 0) + ','
                    + number(m_summary.files() ? double(m_summary.lines()) / double(m_summary.files()) : 0)
                    + "\r\n");
    }

    void writeJson(const std::vector<summary::SummaryRow> &rows)
    {
        put("\n],");
        const bool byExtension = m_view == SummaryView::Extension;
        put(byExtension ? "\"summary\":{\"by\":\"extension\",\"rows\":[" : "\"summary\":{\"by\":\"folder\",\"rows\":[");
        bool first = true;
        for (const summary::SummaryRow &r : rows) {
            QByteArray item = first ? "\n{" : ",\n{";
            first = false;
            if (byExtension)
                item += "\"extension\":" + jsonString(r.name);
            else
                item += "\"path\":" + jsonString(r.path) + ",\"depth\":" + QByteArray::number(r.depth);
            item += ",\"files\":" + QByteArray::number(quint64(r.files)) + ",\"lines\":"
                + QByteArray::number(quint64(r.lines)) + ",\"share\":" + number(r.share);
            if (byExtension)
                item += ",\"linesPerFile\":" + number(r.linesPerFile);
            put(item + '}');
        }
        put("\n]},\"filesCounted\":" + QByteArray::number(quint64(m_summary.files())) + ",\"total\":"
            + QByteArray::number(quint64(m_summary.lines())) + ",\"failed\":" + QByteArray::number(m_failed) + "}\n");
    }

    void entry(const QByteArray &object)
    {
        put(m_first ? "\n" : ",\n");
        m_first = false;
        put(object);
    }

    const OutputFormat m_format;
    const SummaryView m_view;
    const int m_depth;
    const bool m_separate;
    summary::Summary m_summary;
    bool m_first = true;
    quint64 m_failed = 0;
};

} // namespace

std::unique_ptr<ResultWriter> makeSummaryWriter(const CountCommand &command, QIODevice &out)
{
    return std::make_unique<SummaryWriter>(command, out);
}

} // namespace brinmoor::cli
