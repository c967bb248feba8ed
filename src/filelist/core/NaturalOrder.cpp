#include "NaturalOrder.h"

#include <QCollatorSortKey>

#include <algorithm>
#include <limits>
#include <memory>
#include <numeric>
#include <type_traits>

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

// Appends the name's sort key to m_keys: bytes that compare (unsigned, the
// shorter first when one is the other's start) as the collator compares
// printable ASCII names. A character is its rank; a run of digits is the
// digits' rank, the number of digits without leading zeros, then those
// digits: numbers compare by value among themselves and by the digits' rank
// against anything else. False when the name is not printable ASCII or has
// a number too long for that. A separator, when given, is a zero byte.
template <typename Char>
char *NaturalOrder::writeKey(const Char *name, std::size_t size, char *out, char16_t separator) const
{
    using Unit = std::make_unsigned_t<Char>;
    for (std::size_t i = 0; i < size;) {
        const Unit c = static_cast<Unit>(name[i]);
        if (c < FirstPrintable || c > LastPrintable)
            return nullptr;
        if (separator != 0 && c == separator) {
            *out++ = 0;   // below every rank
            ++i;
            continue;
        }
        if (!isDigit(c)) {
            *out++ = char(m_rank[c]);
            ++i;
            continue;
        }
        const std::size_t run = i;
        while (i < size && name[i] == Char('0'))
            ++i;
        const std::size_t digits = i;
        while (i < size && isDigit(static_cast<Unit>(name[i])))
            ++i;
        if (i - run > std::size_t(LongestNumber))
            return nullptr;
        *out++ = char(m_rank[u'0']);
        *out++ = char(i - digits);
        for (std::size_t d = digits; d < i; ++d)
            *out++ = char(name[d]);
    }
    return out;
}

template <typename Char>
bool NaturalOrder::appendKey(const Char *name, std::size_t size) const
{
    const std::size_t start = m_keys.size();
    // At most three bytes a character: a one-digit number.
    m_keys.resize(start + 3 * size);
    char *const end = writeKey(name, size, m_keys.data() + start);
    if (!end)
        return false;
    m_keys.resize(std::size_t(end - m_keys.data()));
    return true;
}

// The ASCII way: one key per name, then the sort compares bytes, most
// often only the first eight as one number; names with equal keys keep
// their code units' order. Leaves the order in m_keyed; false when a name
// is not for this way.
template <typename Name, typename View>
bool NaturalOrder::sortKeys(const std::vector<Name> &names, View view) const
{
    if (!m_asciiRanks)
        return false;
    m_keys.clear();
    m_keyed.clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto chars = view(names[i]);
        const std::size_t begin = m_keys.size();
        if (!appendKey(chars.data(), std::size_t(chars.size())))
            return false;
        m_keyed.push_back({0, begin, m_keys.size() - begin, i});
    }
    // The key's first bytes, the first one highest and zeros past its end:
    // heads that differ order their keys; equal heads leave it to the rest.
    for (Keyed &keyed : m_keyed) {
        for (std::size_t i = 0; i < 8; ++i)
            keyed.head = keyed.head << 8 | (i < keyed.size ? std::uint8_t(m_keys[keyed.offset + i]) : 0u);
    }
    const std::string_view keys(m_keys);
    std::sort(m_keyed.begin(), m_keyed.end(), [&](const Keyed &a, const Keyed &b) {
        if (a.head != b.head)
            return a.head < b.head;
        const int byKey = keys.substr(a.offset, a.size).compare(keys.substr(b.offset, b.size));
        return byKey != 0 ? byKey < 0 : view(names[a.index]) < view(names[b.index]);
    });
    return true;
}

void NaturalOrder::sort(std::vector<QString> &names) const
{
    if (names.size() < 2)
        return;
    const auto view = [](const QString &name) {
        return std::u16string_view(reinterpret_cast<const char16_t *>(name.constData()), std::size_t(name.size()));
    };
    if (!sortKeys(names, view)) {
        sortByCollator(names);
        return;
    }
    std::vector<QString> sorted;
    sorted.reserve(names.size());
    for (const Keyed &keyed : m_keyed)
        sorted.push_back(std::move(names[keyed.index]));
    names = std::move(sorted);
}

namespace {

// A name that has a key: printable ASCII, no number too long.
bool keyable(std::string_view name)
{
    std::size_t run = 0;
    for (const char c : name) {
        if (c < char(FirstPrintable) || c > char(LastPrintable))
            return false;
        run = isDigit(char16_t(c)) ? run + 1 : 0;
        if (run > std::size_t(LongestNumber))
            return false;
    }
    return true;
}

// The bytes of a name's key (see appendKey) one at a time, made as they are
// asked for: sorting a folder of long names then needs no second copy of
// them as keys.
class KeyBytes
{
public:
    KeyBytes(std::string_view name, const std::array<std::uint8_t, 128> &rank)
        : m_at(name.data())
        , m_end(name.data() + name.size())
        , m_rank(rank)
    {
    }
    // The next byte, -1 past the end.
    int next()
    {
        if (m_count >= 0) {
            const int count = m_count;
            m_count = -1;
            return count;
        }
        if (m_at < m_digitsEnd)
            return static_cast<unsigned char>(*m_at++);
        if (m_at == m_end)
            return -1;
        const char c = *m_at;
        if (!isDigit(char16_t(c))) {
            ++m_at;
            return m_rank[static_cast<unsigned char>(c)];
        }
        while (m_at < m_end && *m_at == '0')
            ++m_at;
        m_digitsEnd = m_at;
        while (m_digitsEnd < m_end && isDigit(char16_t(*m_digitsEnd)))
            ++m_digitsEnd;
        m_count = int(m_digitsEnd - m_at);
        return m_rank[u'0'];
    }

private:
    const char *m_at;
    const char *const m_end;
    const char *m_digitsEnd = nullptr;
    int m_count = -1;
    const std::array<std::uint8_t, 128> &m_rank;
};

int compareKeys(std::string_view a, std::string_view b, const std::array<std::uint8_t, 128> &rank)
{
    KeyBytes x(a, rank), y(b, rank);
    for (;;) {
        const int p = x.next(), q = y.next();
        if (p != q)
            return p < q ? -1 : 1;
        if (p < 0)
            return 0;
    }
}

} // namespace

bool NaturalOrder::sortAscii(std::vector<std::string_view> &names) const
{
    // Even one name is looked at: true promises ASCII.
    if (!m_asciiRanks || !std::all_of(names.begin(), names.end(), keyable))
        return false;
    // The order of the keys appendKey makes, compared as they are made;
    // the first eight bytes of each, kept, settle most comparisons.
    struct Headed
    {
        std::uint64_t head;
        std::string_view name;
    };
    std::vector<Headed> headed;
    headed.reserve(names.size());
    for (const std::string_view name : names) {
        KeyBytes key(name, m_rank);
        std::uint64_t head = 0;
        for (int i = 0; i < 8; ++i)
            head = head << 8 | std::uint64_t(std::max(key.next(), 0));
        headed.push_back({head, name});
    }
    std::sort(headed.begin(), headed.end(), [this](const Headed &a, const Headed &b) {
        if (a.head != b.head)
            return a.head < b.head;
        const int byKey = compareKeys(a.name, b.name, m_rank);
        return byKey != 0 ? byKey < 0 : a.name < b.name;
    });
    for (std::size_t i = 0; i < names.size(); ++i)
        names[i] = headed[i].name;
    return true;
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

std::vector<std::uint32_t> NaturalOrder::order(const std::vector<QStringView> &texts, bool descending,
                                               char16_t separator) const
{
    const std::size_t n = texts.size();
    if (!m_asciiRanks || n == 0)
        return orderByCollator(texts, descending, separator);
    // Paths from one tree share a long start, which orders nothing: it is
    // left out of the keys (ending before a number, whose digits must stay
    // whole). The first text's key tells whether the ASCII way applies.
    std::size_t start = std::size_t(texts[0].size());
    std::size_t units = 0;
    for (const QStringView text : texts) {
        const std::size_t limit = std::min(start, std::size_t(text.size()));
        start = std::size_t(std::mismatch(text.begin(), text.begin() + qsizetype(limit), texts[0].begin()).first
                            - text.begin());
        units += std::size_t(text.size());
    }
    while (start > 0 && isDigit(texts[0][qsizetype(start) - 1].unicode()))
        --start;
    {
        std::string scratch(3 * start, '\0');
        if (!writeKey(texts[0].utf16(), start, scratch.data(), separator))
            return orderByCollator(texts, descending, separator);
    }
    units -= n * start;
    // Every key in one buffer with room for the longest keys possible (three
    // bytes a character) but touched only as far as they go: a million keys
    // are cheap to sort and dear to copy or clear.
    if (3 * units >= std::numeric_limits<std::uint32_t>::max())
        return orderByCollator(texts, descending, separator);
    const std::unique_ptr<char[]> buffer(new char[3 * units + 1]);
    // Sorted itself, not indices into it: the sort walks memory in order.
    struct Entry
    {
        std::uint64_t head;   // the key's first eight bytes, zeros past its end
        std::uint32_t offset;
        std::uint32_t index;
    };
    std::vector<Entry> entries(n);
    std::vector<std::uint32_t> ends(n);
    char *out = buffer.get();
    for (std::size_t i = 0; i < n; ++i) {
        const QStringView rest = texts[i].mid(qsizetype(start));
        char *const end = writeKey(rest.utf16(), std::size_t(rest.size()), out, separator);
        if (!end)
            return orderByCollator(texts, descending, separator);
        std::uint64_t head = 0;
        for (char *c = out; c < out + 8; ++c)
            head = head << 8 | (c < end ? std::uint8_t(*c) : 0u);
        entries[i] = {head, std::uint32_t(out - buffer.get()), std::uint32_t(i)};
        ends[i] = std::uint32_t(end - buffer.get());
        out = end;
    }
    const char *const keys = buffer.get();
    std::sort(entries.begin(), entries.end(), [&](const Entry &a, const Entry &b) {
        int c = a.head < b.head ? -1 : a.head > b.head ? 1 : 0;
        if (c == 0) {
            const std::string_view ka(keys + a.offset, ends[a.index] - a.offset);
            const std::string_view kb(keys + b.offset, ends[b.index] - b.offset);
            c = ka.compare(kb);
            if (c == 0)
                c = texts[a.index].compare(texts[b.index]);
        }
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a.index < b.index;
    });
    std::vector<std::uint32_t> result(n);
    for (std::size_t i = 0; i < n; ++i)
        result[i] = entries[i].index;
    return result;
}

std::vector<std::uint32_t> NaturalOrder::orderByCollator(const std::vector<QStringView> &texts, bool descending,
                                                         char16_t separator) const
{
    // The collator has no lowest character of its own; a tab comes before
    // every printable one.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(texts.size());
    for (const QStringView text : texts) {
        if (separator == 0 || !text.contains(QChar(separator))) {
            keys.push_back(m_collator.sortKey(text.toString()));
            continue;
        }
        QString replaced = text.toString();
        replaced.replace(QChar(separator), QLatin1Char('\t'));
        keys.push_back(m_collator.sortKey(replaced));
    }
    std::vector<std::uint32_t> result(texts.size());
    std::iota(result.begin(), result.end(), 0u);
    std::sort(result.begin(), result.end(), [&](std::uint32_t a, std::uint32_t b) {
        int c = keys[a].compare(keys[b]);
        if (c == 0)
            c = texts[a].compare(texts[b]);
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a < b;
    });
    return result;
}

} // namespace brinmoor::filelist
