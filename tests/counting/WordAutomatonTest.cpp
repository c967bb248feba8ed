#include "TextMatcher.h"
#include "WordAutomaton.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <algorithm>
#include <random>
#include <string>

using namespace brinmoor::counting;

namespace {

// Words as the automaton takes them: folded, sorted, without duplicates.
struct FoldedList
{
    explicit FoldedList(const QStringList &rows)
    {
        for (const QString &row : rows)
            units.push_back(row.toCaseFolded().toStdU16String());
        std::sort(units.begin(), units.end());
        units.erase(std::unique(units.begin(), units.end()), units.end());
        views.assign(units.begin(), units.end());
    }
    std::vector<std::u16string> units;
    std::vector<std::u16string_view> views;
};

bool referenceHolds(const QString &line, const QStringList &words)
{
    const QString folded = line.toCaseFolded();
    return std::any_of(words.begin(), words.end(),
                       [&](const QString &w) { return folded.contains(w.toCaseFolded()); });
}

bool automatonHolds(const QString &line, const WordAutomaton &automaton, int pieceSize)
{
    TextMatcher matcher;
    matcher.start();
    for (qsizetype at = 0; at < line.size(); at += pieceSize)
        matcher.feed(QStringView(line).mid(at, pieceSize), automaton);
    matcher.finish(automaton);
    return matcher.matched();
}

} // namespace

TEST(WordAutomatonTest, AgreesWithPlainSearchForShortLongAndRepetitiveWords)
{
    // Random words over small alphabets (so that words share prefixes and
    // overlap each other), some long and some built from a repeated piece,
    // which gives the deep fallbacks that are hardest to recompute. Small
    // dense budgets push most states into the sparse part.
    std::mt19937 rng(2026);
    const QStringList alphabets = {QStringLiteral("ab"), QStringLiteral("abc"),
                                   QStringLiteral("aBcD\u00E9\u017F s"), QStringLiteral("xy\U0001F600\u212A")};
    auto pick = [&](const QString &letters, int length) {
        QString s;
        while (s.size() < length) {
            const QChar c = letters[static_cast<qsizetype>(rng() % letters.size())];
            if (c.isHighSurrogate()) {
                const qsizetype at = letters.indexOf(c);
                s += letters.mid(at, 2);
            } else if (!c.isLowSurrogate()) {
                s += c;
            }
        }
        return s;
    };
    for (int round = 0; round < 120; ++round) {
        const QString letters = alphabets[round % alphabets.size()];
        QStringList words;
        const int wordCount = 1 + static_cast<int>(rng() % 12);
        for (int i = 0; i < wordCount; ++i) {
            switch (rng() % 4) {
            case 0: words << pick(letters, 1 + static_cast<int>(rng() % 4)); break;
            case 1: words << pick(letters, 5 + static_cast<int>(rng() % 60)); break;
            case 2: words << pick(letters, 2 + static_cast<int>(rng() % 3)).repeated(10 + static_cast<int>(rng() % 20)); break;
            default: words << pick(letters, 1).repeated(20 + static_cast<int>(rng() % 30)) + pick(letters, 2); break;
            }
        }
        const FoldedList folded(words);
        for (const std::size_t budget : {std::size_t{0}, std::size_t{40}, WordAutomaton::kDenseBudget}) {
            const WordAutomaton automaton(folded.views, budget);
            for (int line = 0; line < 60; ++line) {
                QString text = pick(letters, static_cast<int>(rng() % 200));
                if (rng() % 3 == 0) {
                    // A word (or one cut short) somewhere inside, in another case.
                    QString word = words[static_cast<qsizetype>(rng() % words.size())];
                    if (rng() % 2)
                        word.chop(1);
                    const qsizetype at = static_cast<qsizetype>(rng() % (text.size() + 1));
                    text.insert(at, rng() % 2 ? word.toUpper() : word);
                }
                const int piece = 1 + static_cast<int>(rng() % 64);
                ASSERT_EQ(automatonHolds(text, automaton, piece), referenceHolds(text, words))
                    << "round " << round << ", budget " << budget << ", line " << text.toStdString()
                    << ", words " << words.join(u'|').toStdString();
            }
        }
    }
}

TEST(WordAutomatonTest, MemoryGrowsByAFewBytesPerLetterOfLongWords)
{
    // 200 words of 10,000 random letters: held as a dense row per state or
    // with a fallback per state, this took ten bytes a letter or more.
    std::mt19937 rng(5);
    QStringList words;
    std::size_t letters = 0;
    for (int i = 0; i < 200; ++i) {
        QString word(10000, Qt::Uninitialized);
        for (QChar &c : word)
            c = QChar(u'a' + static_cast<char16_t>(rng() % 26));
        letters += static_cast<std::size_t>(word.size());
        words << word;
    }
    const FoldedList folded(words);
    const WordAutomaton automaton(folded.views);
    EXPECT_GT(automaton.stateCount(), letters * 9 / 10);
    EXPECT_LE(automaton.memoryBytes(), std::size_t{17} * 1024 * 1024 + 4 * letters);

    // And it still finds them, deep inside and at the very end.
    const QString line = QStringLiteral("zz") + words[7].toUpper() + QStringLiteral("zz");
    EXPECT_TRUE(automatonHolds(line, automaton, 4096));
    EXPECT_FALSE(automatonHolds(line.left(line.size() - 3), automaton, 4096));
}
