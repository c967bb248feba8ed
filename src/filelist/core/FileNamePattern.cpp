#include "FileNamePattern.h"

#include <QChar>

#include <cstddef>

namespace brinmoor::filelist {

namespace {

// Greedy wildcard match that backs up to the last "*" only: linear for the
// usual one-star patterns, never worse than name length times pattern length.
template <typename Char>
bool wildcardMatch(const Char *pattern, std::size_t patternLength, const Char *name, std::size_t nameLength)
{
    constexpr std::size_t none = std::size_t(-1);
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t star = none;
    std::size_t resume = 0;
    while (n < nameLength) {
        if (p < patternLength && pattern[p] == Char('*')) {
            star = p++;
            resume = n;
        } else if (p < patternLength && (pattern[p] == Char('?') || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (star != none) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < patternLength && pattern[p] == Char('*'))
        ++p;
    return p == patternLength;
}

char asciiFolded(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool isAscii(std::string_view text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

std::u32string folded(const QString &text)
{
    std::u32string result;
    result.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        result.push_back(QChar::toCaseFolded(c));
    }
    return result;
}

} // namespace

FileNamePattern::FileNamePattern(const QString &pattern)
    : m_everything(pattern == QLatin1String("*.*"))
    , m_folded(folded(pattern))
{
    for (const char32_t c : m_folded) {
        if (c >= 0x80) {
            m_asciiPattern = false;
            break;
        }
        m_asciiFolded.push_back(char(c));
    }
    if (!m_asciiPattern)
        m_asciiFolded.clear();
}

bool FileNamePattern::matches(std::string_view name) const
{
    if (m_everything)
        return true;
    if (m_asciiPattern && isAscii(name)) {
        // The common case: fold into a small buffer, no allocation. Names
        // are at most 255 bytes on the file systems in use; longer ones
        // take the general path.
        char buffer[256];
        if (name.size() <= sizeof buffer) {
            for (std::size_t i = 0; i < name.size(); ++i)
                buffer[i] = asciiFolded(name[i]);
            return wildcardMatch(m_asciiFolded.data(), m_asciiFolded.size(), buffer, name.size());
        }
    }
    return matchesFolded(folded(QString::fromUtf8(name.data(), qsizetype(name.size()))));
}

bool FileNamePattern::matches(const QString &name) const
{
    if (m_everything)
        return true;
    return matchesFolded(folded(name));
}

bool FileNamePattern::matchesFolded(const std::u32string &name) const
{
    return wildcardMatch(m_folded.data(), m_folded.size(), name.data(), name.size());
}

} // namespace brinmoor::filelist
