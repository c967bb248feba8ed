#include "ApplicationTitle.h"

namespace brinmoor::app {

QString applicationTitle(const QString &productTitle)
{
    constexpr qsizetype Limit = 40;
    QString title = productTitle;
    while (title.size() > Limit) {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            return title.left(Limit);
        title.truncate(blank);
    }
    return title;
}

} // namespace brinmoor::app
