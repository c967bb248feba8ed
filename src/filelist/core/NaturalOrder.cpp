#include "NaturalOrder.h"

#include <QCollatorSortKey>

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace brinmoor::filelist {

namespace {

QCollator naturalCollator()
{
    // The C locale compares code units and ignores the numeric mode, so a
    // system without a language set sorts as English does rather than put
    // f10 before f2.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

NaturalOrder::NaturalOrder()
    : m_collator(naturalCollator())
{
}

void NaturalOrder::sort(std::vector<QString> &names) const
{
    if (names.size() < 2)
        return;
    // A sort key per name costs one collator call each, where comparing
    // names would call it at every comparison.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(names.size());
    for (const QString &name : names)
        keys.push_back(m_collator.sortKey(name));
    std::vector<std::uint32_t> order(names.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int byKey = keys[a].compare(keys[b]);
        return byKey != 0 ? byKey < 0 : names[a] < names[b];
    });
    std::vector<QString> sorted;
    sorted.reserve(names.size());
    for (const std::uint32_t i : order)
        sorted.push_back(std::move(names[i]));
    names = std::move(sorted);
}

} // namespace brinmoor::filelist
