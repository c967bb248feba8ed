#include "FileNamePattern.h"

#include <gtest/gtest.h>

namespace {

using brinmoor::filelist::FileNamePattern;

struct PatternCase
{
    const char *pattern;
    const char *name;   // UTF-8
    bool matches;
};

class FileNamePatternTest : public testing::TestWithParam<PatternCase>
{
};

// Both entry points (the walk's raw bytes and a QString) must agree.
TEST_P(FileNamePatternTest, MatchesWholeNameIgnoringCase)
{
    const PatternCase &c = GetParam();
    const FileNamePattern pattern(QString::fromUtf8(c.pattern));
    EXPECT_EQ(pattern.matches(std::string_view(c.name)), c.matches) << c.pattern << " / " << c.name;
    EXPECT_EQ(pattern.matches(QString::fromUtf8(c.name)), c.matches) << c.pattern << " / " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileNamePatternTest,
    testing::Values(
        // "*.*" is every file, with or without a dot.
        PatternCase{"*.*", "README", true}, PatternCase{"*.*", ".profile", true},
        PatternCase{"*", "a.b.c", true},
        // An extension matches at the end only, in any case.
        PatternCase{"*.txt", "notes.txt", true}, PatternCase{"*.txt", "NOTES.TXT", true},
        PatternCase{"*.TXT", "notes.txt", true}, PatternCase{"*.txt", "notes.txt.bak", false},
        PatternCase{"*.txt", "notestxt", false}, PatternCase{"*.txt", ".txt", true},
        PatternCase{"*.txt", "a.b.txt", true},
        // A typed leading dot gives two dots, used as typed.
        PatternCase{"*..txt", "a..txt", true}, PatternCase{"*..txt", "a.txt", false},
        // "?" is exactly one character, also one beyond ASCII.
        PatternCase{"*.t?t", "a.tet", true}, PatternCase{"*.t?t", "a.tt", false},
        PatternCase{"*.t?t", "a.t\xc3\xa9t", true},
        // Backing up to the last star.
        PatternCase{"*a*b", "xaxaxb", true}, PatternCase{"*a*b", "xaxbx", false},
        // Unicode case folding, also for an ASCII pattern against a
        // non-ASCII name (the Kelvin sign folds to k).
        PatternCase{"*.\xc3\xa9""cr", "x.\xc3\x89""CR", true}, PatternCase{"*.k", "x.\xe2\x84\xaa", true},
        PatternCase{"*.txt", "\xc3\xa9t\xc3\xa9.TXT", true}));

} // namespace
