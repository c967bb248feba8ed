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
    QStringView path;
    bool last = false;   // no leading count: the total row
};

// Case-folded once per row: comparing folded texts exactly is many times
// faster than comparing without case a million times over.
QStringList foldedPaths(const std::vector<SortKey> &keys)
{
    QStringList folded;
    folded.reserve(qsizetype(keys.size()));
    for (const SortKey &key : keys)
        folded.append(key.path.toString().toCaseFolded());
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
        key.path = text;
        return key;
    }
    bool ok = false;
    key.count = QStringView(text).left(digits).toULongLong(&ok);
    if (!ok)
        key.count = std::numeric_limits<quint64>::max();
    key.path = QStringView(text).mid(digits + CountSeparator.size());
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
    QList<int> order(texts.size());
    for (qsizetype i = 0; i < order.size(); ++i)
        order[i] = int(i);

    const QStringList folded = key == Key::Path ? foldedPaths(keys) : QStringList();
    const bool ascending = direction == Qt::AscendingOrder;
    // Stable: rows that compare equal keep the order of the list.
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const SortKey &ka = keys[size_t(a)];
        const SortKey &kb = keys[size_t(b)];
        if (ka.last != kb.last)
            return kb.last;
        if (ka.last)
            return false;
        int c = 0;
        if (key == Key::Count)
            c = ka.count < kb.count ? -1 : ka.count > kb.count ? 1 : 0;
        else
            c = QStringView(folded.at(a)).compare(QStringView(folded.at(b)));
        return ascending ? c < 0 : c > 0;
    });
    return order;
}

} // namespace brinmoor::app
