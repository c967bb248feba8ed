#include "ResultsOrder.h"

#include "TextListModel.h"

#include <QHeaderView>
#include <QTreeView>

#include <algorithm>
#include <limits>

namespace brinmoor::app {

namespace {

const QString CountSeparator = QStringLiteral(" lines - ");

struct SortKey
{
    quint64 count = 0;
    qsizetype pathStart = 0;   // where the path begins in the row's text
    bool last = false;         // no leading count: the total row
};

// Case-folded once per row: comparing folded texts exactly is many times
// faster than comparing without case a million times over. A text that
// folding leaves alone is shared, not copied.
QStringList foldedTexts(const QStringList &texts)
{
    QStringList folded;
    folded.reserve(texts.size());
    for (const QString &text : texts)
        folded.append(text.toCaseFolded());
    return folded;
}

SortKey keyOf(const QString &text)
{
    SortKey key;
    qsizetype digits = 0;
    while (digits < text.size() && text.at(digits).isDigit() && text.at(digits).unicode() < 128)
        ++digits;
    if (digits == 0 || !QStringView(text).mid(digits).startsWith(CountSeparator)) {
        key.last = true;
        return key;
    }
    bool ok = false;
    key.count = QStringView(text).left(digits).toULongLong(&ok);
    if (!ok)
        key.count = std::numeric_limits<quint64>::max();
    key.pathStart = digits + CountSeparator.size();
    return key;
}

} // namespace

ResultsOrder::ResultsOrder(filelist::TextListModel &results, QTreeView &view, QObject *parent)
    : QObject(parent)
    , m_results(results)
    , m_view(view)
{
    m_pool.setMaxThreadCount(1);
    QHeaderView *header = m_view.header();
    header->setSectionsClickable(true);
    connect(header, &QHeaderView::sectionClicked, this, [this] { sortNext(); });
    // A list emptied or refilled by a new run is in no order any more.
    connect(&m_results, &QAbstractItemModel::modelReset, this, [this] {
        m_step = -1;
        m_view.header()->setSortIndicatorShown(false);
    });
}

ResultsOrder::~ResultsOrder()
{
    m_pool.waitForDone();
}

void ResultsOrder::sortNext()
{
    m_step = (m_step + 1) % 4;
    sort(m_step < 2 ? Key::Count : Key::Path, m_step % 2 == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void ResultsOrder::sort(Key key, Qt::SortOrder direction)
{
    QHeaderView *header = m_view.header();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(0, direction);
    const int request = ++m_request;
    const quint64 generation = m_results.orderGeneration();
    const QStringList texts = m_results.texts();   // shared, not copied
    m_pool.start([this, texts, key, direction, generation, request] {
        const QList<int> order = sortedOrder(texts, key, direction);
        QStringList reordered;
        reordered.reserve(order.size());
        for (const int from : order)
            reordered.append(texts.at(from));
        QMetaObject::invokeMethod(
            this,
            [this, order, reordered = std::move(reordered), generation, request]() mutable {
                apply(order, std::move(reordered), generation, request);
            },
            Qt::QueuedConnection);
    });
}

void ResultsOrder::apply(const QList<int> &order, QStringList texts, quint64 generation, int request)
{
    if (request != m_request) {
        m_pool.start([old = std::move(texts)] {});
        return;   // a later click's order follows
    }
    std::optional<QStringList> replaced = m_results.reorder(order, std::move(texts), generation);
    if (replaced)
        m_pool.start([old = std::move(*replaced)] {});   // released off the GUI thread
    else
        m_view.header()->setSortIndicatorShown(false);
    emit sorted();
}

QList<int> ResultsOrder::sortedOrder(const QStringList &texts, Key key, Qt::SortOrder direction)
{
    std::vector<SortKey> keys;
    keys.reserve(texts.size());
    for (const QString &text : texts)
        keys.push_back(keyOf(text));

    const QStringList folded = key == Key::Path ? foldedTexts(texts) : QStringList();
    const auto pathOf = [&](qsizetype row) { return QStringView(folded.at(row)).mid(keys[size_t(row)].pathStart); };
    // Paths from one tree share a long start; comparing it a million times
    // over is most of a sort's work, so it is measured once and skipped.
    // The total row, which goes last anyway, takes no part.
    qsizetype shared = -1;
    QStringView first;
    for (qsizetype i = 0; i < folded.size(); ++i) {
        if (keys[size_t(i)].last)
            continue;
        const QStringView path = pathOf(i);
        if (shared < 0) {
            first = path;
            shared = path.size();
        }
        shared = std::min(shared, path.size());
        while (shared > 0 && path.left(shared) != first.left(shared))
            --shared;
    }
    shared = std::max<qsizetype>(shared, 0);

    // The entries carry what decides most comparisons (the count, or the
    // first four code units of the path after the shared start, packed so
    // that comparing the numbers compares the texts), and they are sorted
    // themselves rather than indices into them, so the sort walks memory in
    // order instead of chasing a million strings.
    struct Entry
    {
        quint64 value = 0;
        int row = 0;
        bool last = false;
    };
    std::vector<Entry> entries(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        Entry &e = entries[i];
        e.row = int(i);
        e.last = keys[i].last;
        if (e.last)
            continue;
        if (key == Key::Count) {
            e.value = keys[i].count;
        } else {
            const QStringView rest = pathOf(qsizetype(i)).mid(shared);
            for (qsizetype k = 0; k < 4; ++k)
                e.value = (e.value << 16) | (k < rest.size() ? rest[k].unicode() : 0u);
        }
    }
    const bool ascending = direction == Qt::AscendingOrder;
    // Stable: rows that compare equal keep the order of the list.
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry &a, const Entry &b) {
        if (a.last != b.last)
            return b.last;
        if (a.last)
            return false;
        int c = a.value < b.value ? -1 : a.value > b.value ? 1 : 0;
        if (c == 0 && key == Key::Path)
            c = pathOf(a.row).mid(shared).compare(pathOf(b.row).mid(shared));
        return ascending ? c < 0 : c > 0;
    });
    QList<int> order;
    order.reserve(qsizetype(entries.size()));
    for (const Entry &e : entries)
        order.append(e.row);
    return order;
}

} // namespace brinmoor::app
