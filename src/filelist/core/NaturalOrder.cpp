#include "NaturalOrder.h"

#include <QCollatorSortKey>

#include <algorithm>
#include <numeric>

namespace brinmoor::filelist {

namespace {

constexpr char16_t FirstPrintable = 0x20;
constexpr char16_t LastPrintable = 0x7E;
// Longer digit runs the collator compares in pieces; such names go the
// collator's way.
constexpr qsizetype LongestNumber = 200;

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

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

NaturalOrder::NaturalOrder()
    : m_collator(naturalCollator())
{
    // Comparing ASCII names character by character is only the collator's
    // order where its language has no rules for letter pairs (such as "ch"
    // as one letter), so only English, the order of the C locale, gets it.
    if (m_collator.locale().language() != QLocale::English)
        return;
    // Learn each character's place from the collator, so the two ways
    // cannot drift apart: one weight per character, letters equal to their
    // other case and nothing else equal, the digits side by side.
    std::vector<char16_t> chars;
    for (char16_t c = FirstPrintable; c <= LastPrintable; ++c)
        chars.push_back(c);
    auto compare = [this](char16_t a, char16_t b) {
        return m_collator.compare(QStringView(&a, 1), QStringView(&b, 1));
    };
    std::sort(chars.begin(), chars.end(), [&](char16_t a, char16_t b) { return compare(a, b) < 0; });
    std::uint8_t rank = 0;
    bool digitsSeen = false;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const char16_t c = chars[i];
        const char16_t before = i > 0 ? chars[i - 1] : 0;
        if (isDigit(c) && isDigit(before)) {
            // Numbers all share the digits' place; their values decide among them.
        } else if (isDigit(c) && digitsSeen) {
            return;   // digits apart from each other: the numbers are no group
        } else if (i > 0 && compare(before, c) == 0) {
            if (QChar::toLower(before) != QChar::toLower(c))
                return;   // equal, yet not the two cases of one letter
        } else {
            ++rank;
        }
        digitsSeen = digitsSeen || isDigit(c);
        m_rank[c] = rank;
    }
    m_asciiRanks = true;
}

bool NaturalOrder::sortsAsAscii(const std::vector<QString> &names) const
{
    if (!m_asciiRanks)
        return false;
    for (const QString &name : names) {
        qsizetype run = 0;
        for (const QChar ch : name) {
            const char16_t c = ch.unicode();
            if (c < FirstPrintable || c > LastPrintable)
                return false;
            run = isDigit(c) ? run + 1 : 0;
            if (run > LongestNumber)
                return false;
        }
    }
    return true;
}

// <0, 0 or >0 as the collator would say for two printable ASCII names.
int NaturalOrder::compareAscii(QStringView a, QStringView b) const
{
    qsizetype i = 0, j = 0;
    const qsizetype m = a.size(), n = b.size();
    while (i < m && j < n) {
        const char16_t x = a[i].unicode(), y = b[j].unicode();
        if (isDigit(x) && isDigit(y)) {
            // By value: leading zeros skipped, then the longer number is
            // larger, then the first digit that differs.
            while (i < m && a[i] == u'0')
                ++i;
            while (j < n && b[j] == u'0')
                ++j;
            qsizetype ei = i, ej = j;
            while (ei < m && isDigit(a[ei].unicode()))
                ++ei;
            while (ej < n && isDigit(b[ej].unicode()))
                ++ej;
            if (ei - i != ej - j)
                return ei - i < ej - j ? -1 : 1;
            for (; i < ei; ++i, ++j) {
                if (a[i] != b[j])
                    return a[i].unicode() < b[j].unicode() ? -1 : 1;
            }
            continue;
        }
        if (m_rank[x] != m_rank[y])
            return m_rank[x] < m_rank[y] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < m)
        return 1;
    if (j < n)
        return -1;
    return 0;
}

void NaturalOrder::sort(std::vector<QString> &names) const
{
    if (names.size() < 2)
        return;
    if (!sortsAsAscii(names)) {
        sortByCollator(names);
        return;
    }
    std::sort(names.begin(), names.end(), [this](const QString &a, const QString &b) {
        const int c = compareAscii(a, b);
        return c != 0 ? c < 0 : a < b;
    });
}

void NaturalOrder::sortByCollator(std::vector<QString> &names) const
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
