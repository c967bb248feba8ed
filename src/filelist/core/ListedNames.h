#pragma once

#include "NaturalOrder.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brinmoor::filelist::listing {

// Where one kept name lies among a folder's names, which are kept end to
// end in one string: one allocation for a folder, not one per name.
struct NameSpan
{
    std::size_t offset;
    std::size_t size;
};

// Appends name to names and answers where it lies.
NameSpan stored(std::string &names, std::string_view name);

// A name of the file system as text (see pathFromNative).
QString decodedName(std::string_view name);

// Puts the names of a folder's sub-folders in natural order: order is
// rearranged, and names rewritten when they need the collator. scratch is
// room kept from one call to the next.
void sortFolderNames(std::string &names, std::vector<NameSpan> &order, std::vector<std::string_view> &scratch,
                     const NaturalOrder &natural);

// The files of the folder listed last, handed out in natural order as paths
// below the folder. They stay bytes until they are handed out: each path is
// made as it goes. The room they took is kept for the next folder.
class ListedFiles
{
public:
    // Forgets the files before; those added next lie in the folder whose
    // path with separator is prefix, with about expectedBytes of names.
    void restart(const QString &prefix, std::size_t expectedBytes);
    void add(std::string_view name) { m_spans.push_back(stored(m_names, name)); }
    void sort(const NaturalOrder &natural);
    // Appends up to most of the paths not handed out yet; false when none
    // is left.
    bool take(QStringList &files, qsizetype most);

private:
    QString m_prefix;
    // Their names end to end, where each lies, and in order as views of
    // them, or decoded when the names need the collator.
    std::string m_names;
    std::vector<NameSpan> m_spans;
    std::vector<std::string_view> m_order;
    std::vector<QString> m_decoded;
    bool m_isDecoded = false;
    std::size_t m_next = 0;
};

} // namespace brinmoor::filelist::listing
