#include "ListSource.h"

#include <utility>

namespace brinmoor::exports {

ResultRowsSource::ResultRowsSource(QString header, const QList<ResultRowView> &rows)
    : m_header(std::move(header))
{
    m_texts.reserve(rows.size());
    m_checked.reserve(rows.size());
    for (const ResultRowView &row : rows) {
        m_texts.append(row.text);
        m_checked.append(row.checked);
    }
}

ResultRowsSource::ResultRowsSource(QString header, QStringList texts, QList<bool> checked)
    : m_header(std::move(header))
    , m_texts(std::move(texts))
    , m_checked(std::move(checked))
{
    Q_ASSERT(m_texts.size() == m_checked.size());
}

QString ResultRowsSource::headerText(int column) const
{
    return column == 0 ? m_header : QString();
}

QString ResultRowsSource::cellText(int row, int column) const
{
    return column == 0 ? m_texts.at(row) : QString();
}

TableSource::TableSource(QStringList headers, QList<Row> rows)
    : m_headers(std::move(headers))
    , m_rows(std::move(rows))
{
}

QString TableSource::cellText(int row, int column) const
{
    return m_rows.at(row).cells.value(column);
}

} // namespace brinmoor::exports
