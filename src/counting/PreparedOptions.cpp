#include "PreparedOptions.h"

#include "kernels/Kernels.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace brinmoor::counting {

namespace {

QStringView trimSpaces(QStringView row)
{
    // Only U+0020 is trimmed: a tab or a no-break space is part of the word.
    while (!row.isEmpty() && row.front() == u' ')
        row = row.mid(1);
    while (!row.isEmpty() && row.back() == u' ')
        row.chop(1);
    return row;
}

bool isAscii(std::u16string_view word)
{
    return std::all_of(word.begin(), word.end(), [](char16_t c) { return c < 0x80; });
}

// The words folded (simple case folding, one character to one) and laid end
// to end, sorted without duplicates: sorting keeps this O(n log n) however
// many rows the list holds. The rows are let go once folded: a list handed
// over whole (the console's) is freed there, before the matcher is built.
class FoldedWords
{
public:
    FoldedWords(QStringList rows, bool trim)
    {
        // Folding keeps every character's length, so the units fit exactly:
        // a buffer grown by doubling could take twice a huge list's size.
        std::size_t units = 0;
        for (const QString &row : rows)
            units += static_cast<std::size_t>(trimSpaces(row).size());
        m_units.reserve(units);
        std::vector<std::size_t> starts;
        starts.reserve(static_cast<std::size_t>(rows.size()) + 1);
        for (const QString &row : rows) {
            const QStringView word = trim ? trimSpaces(row) : QStringView(row);
            if (word.isEmpty() || word.contains(u'\r') || word.contains(u'\n'))
                continue;
            starts.push_back(m_units.size());
            fold(word);
        }
        rows = QStringList();
        starts.push_back(m_units.size());
        m_words.reserve(starts.size() - 1);
        for (std::size_t i = 0; i + 1 < starts.size(); ++i)
            m_words.emplace_back(m_units.data() + starts[i], starts[i + 1] - starts[i]);
        std::sort(m_words.begin(), m_words.end());
        m_words.erase(std::unique(m_words.begin(), m_words.end()), m_words.end());
    }

    const std::vector<std::u16string_view> &words() const { return m_words; }

private:
    void fold(QStringView word)
    {
        for (qsizetype i = 0; i < word.size(); ++i) {
            char32_t c = word[i].unicode();
            if (QChar::isHighSurrogate(c) && i + 1 < word.size() && word[i + 1].isLowSurrogate()) {
                c = QChar::surrogateToUcs4(word[i].unicode(), word[i + 1].unicode());
                ++i;
            }
            c = QChar::toCaseFolded(c);
            if (QChar::requiresSurrogates(c)) {
                m_units.push_back(QChar::highSurrogate(c));
                m_units.push_back(QChar::lowSurrogate(c));
            } else {
                m_units.push_back(static_cast<char16_t>(c));
            }
        }
    }

    std::u16string m_units;
    std::vector<std::u16string_view> m_words;
};

} // namespace

PreparedOptions::PreparedOptions(const CountOptions &options)
    : PreparedOptions(CountOptions(options))
{
}

PreparedOptions::PreparedOptions(CountOptions &&options)
    : m_excludeBlank(options.excludeBlank)
{
    std::optional<FoldedWords> folded(std::in_place, std::move(options.excludeWords), options.trimWordSpaces);
    const std::vector<std::u16string_view> &words = folded->words();
    m_wordCount = words.size();
    std::size_t asciiWords = 0;
    for (std::u16string_view word : words) {
        m_longestWord = std::max(m_longestWord, word.size());
        if (isAscii(word))
            ++asciiWords;
        else
            m_asciiWordsOnly = false;
    }
    m_prefilter = asciiWords <= kMaxNeedles && m_longestWord <= kernels::kLookBehind;
    if (m_prefilter) {
        for (std::u16string_view word : words)
            if (isAscii(word))
                m_asciiNeedles.push_back({std::string(word.begin(), word.end())});
    }
    if (!words.empty())
        m_automaton = WordAutomaton(words, WordAutomaton::kDenseBudget, [&folded] { folded.reset(); });
}

std::shared_ptr<const PreparedOptions> prepareOptions(const CountOptions &options)
{
    return std::make_shared<const PreparedOptions>(options);
}

} // namespace brinmoor::counting
