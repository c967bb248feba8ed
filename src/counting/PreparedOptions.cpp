#include "PreparedOptions.h"

#include <algorithm>

namespace brinmoor::counting {

namespace {

QString trimSpaces(const QString &row)
{
    // Only U+0020 is trimmed: a tab or a no-break space is part of the word.
    qsizetype begin = 0;
    qsizetype end = row.size();
    while (begin < end && row.at(begin) == u' ')
        ++begin;
    while (end > begin && row.at(end - 1) == u' ')
        --end;
    return row.mid(begin, end - begin);
}

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

PreparedOptions::PreparedOptions(const CountOptions &options)
    : m_excludeBlank(options.excludeBlank)
{
    for (const QString &row : options.excludeWords) {
        const QString folded = trimSpaces(row).toCaseFolded();
        if (folded.isEmpty() || folded.contains(u'\r') || folded.contains(u'\n'))
            continue;
        if (m_foldedWords.contains(folded))
            continue;
        m_foldedWords.append(folded);
        m_tailLength = std::max(m_tailLength, folded.size() - 1);
        if (isAscii(folded))
            m_asciiNeedles.push_back({folded.toStdString()});
    }
}

std::shared_ptr<const PreparedOptions> prepareOptions(const CountOptions &options)
{
    return std::make_shared<const PreparedOptions>(options);
}

} // namespace brinmoor::counting
