#include "ListSource.h"

#include <utility>

namespace brinmoor::exports {

ResultRowsSource::ResultRowsSource(QString header, QList<ResultRowView> rows)
    : m_header(std::move(header))
    , m_rows(std::move(rows))
{
}

QString ResultRowsSource::headerText(int column) const
{
    return column == 0 ? m_header : QString();
}

QString ResultRowsSource::cellText(int row, int column) const
{
    const ResultRowView &r = m_rows.at(row);
    return column == 0 ? r.text : QString();
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
