#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QStringList>

#include <optional>

namespace brinmoor {

// One of the window's lists: rows of text in one column, appended at the
// end, optionally with a check mark per row; a row's tooltip is its whole
// text. Only reorder() changes the order of rows. Built for
// large lists: append() inserts a whole batch in one step. Rows are numbered
// from 0. GUI thread only.
class TextListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit TextListModel(bool checkable = false, QObject *parent = nullptr);

    void setHeader(const QString &header);
    QString header() const;

    int count() const { return int(m_texts.size()); }
    void add(const QString &text, bool checked = false);
    void append(const QStringList &texts, bool checked = false);
    // False when row is out of range; nothing changes then.
    bool removeAt(int row);
    void clear();
    // Replaces the text of one row in place; false when row is out of range.
    bool setText(int row, const QString &text);

    // Changes with every edit that an order computed elsewhere (on another
    // thread, from a copy of texts()) cannot survive: removals, clearing,
    // new texts, reordering. Appending leaves it alone.
    quint64 orderGeneration() const { return m_generation; }
    // Puts the first order.size() rows in the given order (order[i] is the
    // row that becomes row i; a permutation) in one layout change; reordered
    // holds their texts in that order, built where it costs the GUI thread
    // nothing.
    // Rows appended since the order was computed stay after them. Returns
    // the texts replaced, to be released elsewhere too (a million of them
    // take a while), or nothing, with no change, when the generation is no
    // longer the given one.
    std::optional<QStringList> reorder(const QList<int> &order, QStringList reordered, quint64 generation);

    QString text(int row) const;
    bool isChecked(int row) const;
    bool setChecked(int row, bool checked);
    QStringList texts() const;
    // One mark per row, in row order.
    QList<bool> checkedStates() const { return m_checked; }
    bool contains(const QString &text) const;   // exact, case-sensitive

    QModelIndex index(int row, int column = 0, const QModelIndex &parent = {}) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    bool m_checkable;
    QString m_header;
    QStringList m_texts;
    QList<bool> m_checked;
    quint64 m_generation = 0;
};

} // namespace brinmoor
