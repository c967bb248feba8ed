#pragma once

#include <QString>

namespace brinmoor {

// What went wrong, as the layer that met it tells it: the path concerned,
// as the user names it (empty when no single path is concerned), and the
// reason. How it is shown (a box, a line on standard error, a field of the
// output) is decided by the program that shows it.
struct PathFailure
{
    QString path;
    QString reason;

    bool operator==(const PathFailure &) const = default;
};

} // namespace brinmoor
