#pragma once

#include <QCollator>
#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brinmoor::filelist {

// The order a file manager lists names in: case ignored, runs of digits
// compared by value (f2 before f10), everything else as the user's language
// sorts it. Not thread-safe (a QCollator is not): one per thread.
class NaturalOrder
{
public:
    NaturalOrder();

    // Sorts names into that order; names it finds equal (differing in case
    // only, or in leading zeros) keep a fixed order by their code units.
    void sort(std::vector<QString> &names) const;
    // The same order for names as the file system's bytes, without making
    // them text, when every name is printable ASCII (the usual case); false
    // and the names untouched otherwise, when the caller decodes them and
    // calls sort().
    bool sortAscii(std::vector<std::string_view> &names) const;
    // The same order, always through the collator's sort keys. sort() takes
    // a cheaper way when every name is printable ASCII and gives this
    // order exactly.
    void sortByCollator(std::vector<QString> &names) const;

    // The places of texts in this order (ascending, or descending), for a
    // caller that reorders something else by them. A non-null separator
    // sorts before every other character, so the paths below one folder
    // stay together (a/b before a-b and a.txt). Texts it finds equal keep
    // a fixed order by their code units, then by their place in texts.
    std::vector<std::uint32_t> order(const std::vector<QStringView> &texts, bool descending,
                                     char16_t separator = 0) const;

private:
    template <typename Name, typename View>
    bool sortKeys(const std::vector<Name> &names, View view) const;
    template <typename Char>
    bool appendKey(const Char *name, std::size_t size) const;
    // Writes the key at out (room for three bytes a character); its end, or
    // null when the name is not for the ASCII way.
    template <typename Char>
    char *writeKey(const Char *name, std::size_t size, char *out, char16_t separator = 0) const;
    std::vector<std::uint32_t> orderByCollator(const std::vector<QStringView> &texts, bool descending,
                                               char16_t separator) const;

    QCollator m_collator;
    // Where the collator puts each printable ASCII character (letters
    // folded, every digit at the digits' place), learnt from the collator
    // itself; empty when it cannot be used.
    std::array<std::uint8_t, 128> m_rank{};
    bool m_asciiRanks = false;
    // The names being sorted: their keys end to end, and each one's place
    // there (kept to reuse the memory from one sort to the next).
    struct Keyed
    {
        std::uint64_t head;
        std::size_t offset;
        std::size_t size;
        std::size_t index;
    };
    mutable std::string m_keys;
    mutable std::vector<Keyed> m_keyed;
};

} // namespace brinmoor::filelist
