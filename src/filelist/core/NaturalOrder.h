#pragma once

#include <QCollator>
#include <QString>

#include <array>
#include <cstdint>
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
    // The same order, always through the collator's sort keys. sort() takes
    // a cheaper way when every name is printable ASCII and gives this
    // order exactly.
    void sortByCollator(std::vector<QString> &names) const;

private:
    bool sortsAsAscii(const std::vector<QString> &names) const;
    int compareAscii(QStringView a, QStringView b) const;

    QCollator m_collator;
    // Where the collator puts each printable ASCII character (letters
    // folded, every digit at the digits' place), learnt from the collator
    // itself; empty when it cannot be used.
    std::array<std::uint8_t, 128> m_rank{};
    bool m_asciiRanks = false;
};

} // namespace brinmoor::filelist
