#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QThreadPool>

#include <optional>

class QTreeView;

namespace brinmoor {
class TextListModel;
}

namespace brinmoor::app {

// Sorting the results list from its header. Each click takes the next of:
// by count ascending, by count descending, by path ascending, by path
// descending (then by count again); paths in natural order (numbers by
// value, case ignored). The header shows which. A row without a leading
// count (the total row) stays last. The rows themselves are reordered, so the exports,
// which take the list's rows in order, write what is shown.
//
// The order is computed on a thread of its own from a copy of the texts and
// swapped in with one layout change; rows appended meanwhile stay at the
// end, and an order overtaken by a removal or clearing is dropped. GUI
// thread only.
class ResultsOrder : public QObject
{
    Q_OBJECT
public:
    enum class Key { Count, Path };

    ResultsOrder(TextListModel &results, QTreeView &view, QObject *parent = nullptr);
    ~ResultsOrder() override;   // waits for a sort still running

    // The next order of the cycle, as a header click does.
    void sortNext();
    void sort(Key key, Qt::SortOrder direction);

    // What the header shows: the list's caption and, while the list is in
    // an order, its key; the arrow shows the direction.
    QString headerCaption() const;

    // The order row i of texts takes (see TextListModel::reorder). Any thread.
    static QList<int> sortedOrder(const QStringList &texts, Key key, Qt::SortOrder direction);

signals:
    // A requested order is in the list (or was dropped, overtaken).
    void sorted();

private:
    class SortHeader;
    // No key: in no order (the indicator hidden).
    void showOrder(std::optional<Key> key, Qt::SortOrder direction);
    // texts: the list's texts in the new order.
    void apply(const QList<int> &order, QStringList texts, quint64 generation, int request);

    TextListModel &m_results;
    QTreeView &m_view;
    SortHeader *m_header = nullptr;   // owned by the view
    QThreadPool m_pool;
    int m_step = -1;       // position in the cycle of header clicks
    int m_request = 0;     // only the latest request is applied
};

} // namespace brinmoor::app
