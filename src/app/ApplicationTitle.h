#pragma once

#include <QString>

namespace brinmoor::app {

inline constexpr char ProductTitle[] = "Brinmoor";

// The title that boxes without a title of their own show: the product title,
// shortened word by word from its end while it is longer than 40 characters.
// A long title without any blank is cut at 40 characters.
QString applicationTitle(const QString &productTitle);

} // namespace brinmoor::app
