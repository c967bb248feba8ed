#include "ResultsOrder.h"

#include "NaturalOrder.h"
#include "TextListModel.h"

#include <QDir>
#include <QHeaderView>
#include <QStyleOption>
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

// The results list's header: its arrow shows the direction, its caption
// says which key; the model's header text, which the exports write, stays
// as it is.
class ResultsOrder::SortHeader final : public QHeaderView
{
public:
    explicit SortHeader(QWidget *parent)
        : QHeaderView(Qt::Horizontal, parent)
    {
    }
    void setKeyText(const QString &text)
    {
        if (text == m_keyText)
            return;
        m_keyText = text;
        viewport()->update();
    }
    const QString &keyText() const { return m_keyText; }

protected:
    void initStyleOptionForIndex(QStyleOptionHeader *option, int logicalIndex) const override
    {
        QHeaderView::initStyleOptionForIndex(option, logicalIndex);
        if (!m_keyText.isEmpty() && isSortIndicatorShown())
            option->text += QStringLiteral(" (") + m_keyText + QLatin1Char(')');
    }

private:
    QString m_keyText;
};

ResultsOrder::ResultsOrder(TextListModel &results, QTreeView &view, QObject *parent)
    : QObject(parent)
    , m_results(results)
    , m_view(view)
{
    m_pool.setMaxThreadCount(1);
    const bool stretch = m_view.header()->stretchLastSection();
    m_header = new SortHeader(&m_view);
    m_view.setHeader(m_header);
    m_header->setStretchLastSection(stretch);
    m_header->setSectionsClickable(true);
    connect(m_header, &QHeaderView::sectionClicked, this, [this] { sortNext(); });
    // A list emptied or refilled by a new run is in no order any more.
    connect(&m_results, &QAbstractItemModel::modelReset, this, [this] {
        m_step = -1;
        showOrder(std::nullopt, Qt::AscendingOrder);
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
    showOrder(key, direction);
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

void ResultsOrder::showOrder(std::optional<Key> key, Qt::SortOrder direction)
{
    m_header->setSortIndicatorShown(key.has_value());
    m_header->setSortIndicator(0, direction);
    m_header->setKeyText(!key ? QString() : *key == Key::Count ? QStringLiteral("by count") : QStringLiteral("by path"));
}

QString ResultsOrder::headerCaption() const
{
    QString caption = m_results.header();
    if (m_header->isSortIndicatorShown() && !m_header->keyText().isEmpty())
        caption += QStringLiteral(" (") + m_header->keyText() + QLatin1Char(')');
    return caption;
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
        showOrder(std::nullopt, Qt::AscendingOrder);
    emit sorted();
}

QList<int> ResultsOrder::sortedOrder(const QStringList &texts, Key key, Qt::SortOrder direction)
{
    const bool ascending = direction == Qt::AscendingOrder;
    QList<int> order;
    order.reserve(texts.size());
    // Rows without a leading count (the total row) go last, in list order.
    QList<int> lastRows;

    if (key == Key::Path) {
        // Paths in the order of the scans and the console program: numbers
        // by value, case ignored, a folder's paths together.
        std::vector<QStringView> paths;
        std::vector<int> rows;
        paths.reserve(size_t(texts.size()));
        rows.reserve(size_t(texts.size()));
        for (qsizetype i = 0; i < texts.size(); ++i) {
            const SortKey k = keyOf(texts.at(i));
            if (k.last) {
                lastRows.append(int(i));
                continue;
            }
            paths.push_back(QStringView(texts.at(i)).mid(k.pathStart));
            rows.push_back(int(i));
        }
        const filelist::NaturalOrder natural;
        for (const std::uint32_t at : natural.order(paths, !ascending, QDir::separator().unicode()))
            order.append(rows[at]);
        order += lastRows;
        return order;
    }

    // Sorted as entries rather than indices, so the sort walks memory in
    // order instead of chasing a million strings.
    struct Entry
    {
        quint64 count = 0;
        int row = 0;
    };
    std::vector<Entry> entries;
    entries.reserve(size_t(texts.size()));
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const SortKey k = keyOf(texts.at(i));
        if (k.last)
            lastRows.append(int(i));
        else
            entries.push_back({k.count, int(i)});
    }
    // Rows with equal counts keep the order of the list: the row decides
    // between them, which makes the faster unstable sort give the stable
    // order.
    std::sort(entries.begin(), entries.end(), [&](const Entry &a, const Entry &b) {
        if (a.count != b.count)
            return ascending ? a.count < b.count : a.count > b.count;
        return a.row < b.row;
    });
    for (const Entry &e : entries)
        order.append(e.row);
    order += lastRows;
    return order;
}

} // namespace brinmoor::app
