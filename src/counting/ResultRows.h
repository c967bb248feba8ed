#pragma once

#include <QString>

#include <cstdint>

namespace brinmoor::counting {

// "N lines - PATH": the row of one file in separate-counts mode.
QString fileRow(std::uint64_t lines, const QString &path);

// "Total Lines Counted For All Files: N": the single row of one-count mode.
QString totalRow(std::uint64_t total);

} // namespace brinmoor::counting
