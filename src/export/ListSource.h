#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace brinmoor::exports {

// A read-only view of a report-style list: header texts, rows of one text per
// column, and a check mark per row. The exports read it from whatever thread
// they run on, so an implementation must not change while an export runs;
// the window hands over a snapshot (see ResultRowsSource) rather than its
// live model.
class ListSource
{
public:
    virtual ~ListSource() = default;

    virtual int columnCount() const = 0;
    virtual QString headerText(int column) const = 0;
    virtual int rowCount() const = 0;
    // column 0 is the row's own text, further columns its sub-items.
    virtual QString cellText(int row, int column) const = 0;
    virtual bool isChecked(int row) const = 0;
};

// One results row as the results list shows it.
struct ResultRowView
{
    QString text;
    bool checked = false;

    bool operator==(const ResultRowView &) const = default;
};

// The results list: one column under the given header (the window passes
// " Results", leading blank included). Holds its rows by value; QString is
// implicitly shared, so a snapshot of a million rows costs little.
class ResultRowsSource final : public ListSource
{
public:
    ResultRowsSource(QString header, const QList<ResultRowView> &rows);
    // The list's own texts and marks, one mark per text. Taking them costs
    // the caller nothing (they are shared until either side changes), which
    // is what lets the window hand a million rows to an export at once.
    ResultRowsSource(QString header, QStringList texts, QList<bool> checked);

    int columnCount() const override { return 1; }
    QString headerText(int column) const override;
    int rowCount() const override { return int(m_texts.size()); }
    QString cellText(int row, int column) const override;
    bool isChecked(int row) const override { return m_checked.at(row); }

private:
    QString m_header;
    QStringList m_texts;
    QList<bool> m_checked;
};

// A list of several columns, for lists other than the results list.
class TableSource final : public ListSource
{
public:
    struct Row
    {
        QStringList cells;
        bool checked = false;
    };

    TableSource(QStringList headers, QList<Row> rows);

    int columnCount() const override { return int(m_headers.size()); }
    QString headerText(int column) const override { return m_headers.at(column); }
    int rowCount() const override { return int(m_rows.size()); }
    // A row with fewer cells than columns reads as empty in the missing ones.
    QString cellText(int row, int column) const override;
    bool isChecked(int row) const override { return m_rows.at(row).checked; }

private:
    QStringList m_headers;
    QList<Row> m_rows;
};

} // namespace brinmoor::exports
