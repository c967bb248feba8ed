#include "ResultsOrder.h"

#include "TextListModel.h"

#include <QHeaderView>
#include <QTreeView>

#include <algorithm>
#include <limits>
#include <vector>

namespace brinmoor::app {

namespace {

const QString CountSeparator = QStringLiteral(" lines - ");

struct SortKey
{
    quint64 count = 0;
    qsizetype pathStart = 0;   // where the path begins in the row's text
    bool last = false;         // no leading count: the total row
};

// A path as the sort compares it: case-folded. Most paths are ASCII
// without capitals, which folding leaves alone, so they are used where
// they are and only the others are folded into store.
QStringView foldedPath(QStringView path, std::vector<QString> &store)
{
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        if (u >= 128 || (u >= 'A' && u <= 'Z')) {
            store.push_back(path.toString().toCaseFolded());
            return store.back();
        }
    }
    return path;
}

SortKey keyOf(const QString &text)
{
    SortKey key;
    constexpr quint64 Max = std::numeric_limits<quint64>::max();
    qsizetype digits = 0;
    for (; digits < text.size(); ++digits) {
        const char16_t u = text.at(digits).unicode();
        if (u < '0' || u > '9')
            break;
        // A count too large to hold sorts after every other.
        const quint64 d = u - '0';
        key.count = key.count > (Max - d) / 10 ? Max : key.count * 10 + d;
    }
    if (digits == 0 || !QStringView(text).mid(digits).startsWith(CountSeparator)) {
        key.last = true;
        return key;
    }
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
    // The entries carry what decides most comparisons (the count, or the
    // first eight code units of the path after the start all paths share,
    // packed so that comparing the numbers compares the texts), and they are
    // sorted themselves rather than indices into them, so the sort walks
    // memory in order instead of chasing a million strings. Only paths alike
    // in those eight units are compared in full.
    struct Entry
    {
        quint64 high = 0;
        quint64 low = 0;
        int row = 0;
        bool last = false;     // no leading count: the total row
        bool longer = false;   // the path goes on past the packed units
    };
    constexpr qsizetype Packed = 8;
    std::vector<Entry> entries(size_t(texts.size()));

    // Each text is read once here: its count, or its folded path, how much
    // of it all paths share and the units after that. Paths from one tree
    // share a long start; comparing it a million times over would be most
    // of a sort's work, so it is measured as the rows go by and skipped. The
    // total row, which goes last anyway, takes no part.
    std::vector<QStringView> paths;
    std::vector<QString> foldedStore;   // its texts' data never move
    qsizetype shared = -1;
    QStringView first;
    size_t packedBefore = 0;   // the rows before it were packed at a longer shared start
    const auto pack = [&](Entry &e) {
        const QStringView rest = paths[size_t(e.row)].mid(shared);
        const char16_t *units = rest.utf16();
        const qsizetype n = std::min(rest.size(), Packed);
        e.high = e.low = 0;
        for (qsizetype k = 0; k < Packed / 2; ++k)
            e.high = (e.high << 16) | (k < n ? units[k] : 0u);
        for (qsizetype k = Packed / 2; k < Packed; ++k)
            e.low = (e.low << 16) | (k < n ? units[k] : 0u);
        e.longer = rest.size() > Packed;
    };
    if (key == Key::Path)
        paths.resize(size_t(texts.size()));
    for (qsizetype i = 0; i < texts.size(); ++i) {
        Entry &e = entries[size_t(i)];
        e.row = int(i);
        const SortKey k = keyOf(texts.at(i));
        e.last = k.last;
        if (e.last)
            continue;
        if (key == Key::Count) {
            e.high = k.count;
            continue;
        }
        const QStringView path = foldedPath(QStringView(texts.at(i)).mid(k.pathStart), foldedStore);
        paths[size_t(i)] = path;
        if (shared < 0) {
            first = path;
            shared = path.size();
        }
        const qsizetype limit = std::min(shared, path.size());
        const qsizetype common = std::mismatch(path.begin(), path.begin() + limit, first.begin()).first - path.begin();
        if (common < shared) {
            shared = common;
            packedBefore = size_t(i);
        }
        pack(e);
    }
    for (size_t i = 0; i < packedBefore; ++i) {
        if (!entries[i].last)
            pack(entries[i]);
    }
    const auto pathOf = [&](int row) { return paths[size_t(row)].mid(shared); };

    // Paths alike in the packed units: one that ends there is a start of
    // the other or equal to it up to the zeros that pad it, so the shorter
    // goes first; only two that both go on are compared further.
    const auto restCompare = [&](const Entry &a, const Entry &b) {
        const QStringView ra = pathOf(a.row);
        const QStringView rb = pathOf(b.row);
        if (!a.longer || !b.longer)
            return ra.size() < rb.size() ? -1 : ra.size() > rb.size() ? 1 : 0;
        return ra.mid(Packed).compare(rb.mid(Packed));
    };
    const bool ascending = direction == Qt::AscendingOrder;
    // Rows with equal keys keep the order of the list: the row decides
    // between them, which makes the faster unstable sort give the stable
    // order.
    std::sort(entries.begin(), entries.end(), [&](const Entry &a, const Entry &b) {
        if (a.last != b.last)
            return b.last;
        int c = 0;
        if (!a.last) {
            c = a.high < b.high ? -1 : a.high > b.high ? 1 : 0;
            if (c == 0)
                c = a.low < b.low ? -1 : a.low > b.low ? 1 : 0;
            if (c == 0 && key == Key::Path)
                c = restCompare(a, b);
        }
        if (c != 0)
            return ascending ? c < 0 : c > 0;
        return a.row < b.row;
    });
    QList<int> order;
    order.reserve(qsizetype(entries.size()));
    for (const Entry &e : entries)
        order.append(e.row);
    return order;
}

} // namespace brinmoor::app
