#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace brinmoor::filelist {

// A file-name pattern with the wildcards "*" (any run of characters, dots
// included) and "?" (exactly one character), matched against a whole name.
// "*.*" matches every name, also one without a dot, as folder listings have
// always done.
//
// Matching ignores case (by Unicode case folding), so "*.txt" takes
// "NOTES.TXT": the folder scan has always matched that way, and users type
// the extension in whatever case comes to hand.
class FileNamePattern
{
public:
    explicit FileNamePattern(const QString &pattern);

    // name is a file-system name in its raw bytes (UTF-8).
    bool matches(std::string_view name) const;
    bool matches(const QString &name) const;

private:
    bool matchesFolded(const std::u32string &name) const;

    bool m_everything = false;
    bool m_asciiPattern = true;
    std::string m_asciiFolded;   // valid when m_asciiPattern
    std::u32string m_folded;
};

} // namespace brinmoor::filelist
