#pragma once

#include <QCollator>
#include <QString>

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

private:
    QCollator m_collator;
};

} // namespace brinmoor::filelist
