#include "Summary.h"

namespace brinmoor::summary {

QString extensionOf(const QString &path)
{
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    // A leading dot marks a hidden file, not an extension; a trailing one
    // leaves nothing to file the name under.
    if (dot <= nameStart || dot == path.size() - 1)
        return QString();
    return path.mid(dot + 1);
}

void Summary::add(const QString &path, std::uint64_t lines)
{
    ++m_files;
    m_lines += lines;

    // Only a new spelling costs a lower-casing and a hash look-up.
    const QString extension = extensionOf(path);
    auto found = m_spellingIndex.constFind(extension);
    if (found == m_spellingIndex.cend()) {
        const QString key = extension.toLower();
        int index = m_extensionIndex.value(key, -1);
        if (index < 0) {
            index = int(m_extensions.size());
            m_extensionIndex.insert(key, index);
            m_extensions.push_back(Extension{extension, 0, 0});
        }
        found = m_spellingIndex.insert(extension, index);
    }
    Extension &e = m_extensions[std::size_t(*found)];
    ++e.files;
    e.lines += lines;
    m_fileList.push_back(File{path, lines, *found});

    // Runs deliver a folder's files one after another: the folder is looked
    // up only when it changes, without making its path text otherwise.
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QStringView folderView = slash < 0 ? QStringView(u".") : slash == 0 ? QStringView(u"/") : QStringView(path).left(slash);
    if (m_lastFolderIndex < 0 || folderView != m_lastFolder) {
        m_lastFolder = folderView.toString();
        m_lastFolderIndex = folderFor(m_lastFolder);
    }
    ++m_folders[std::size_t(m_lastFolderIndex)].ownFiles;
    for (int i = m_lastFolderIndex; i >= 0; i = m_folders[std::size_t(i)].parent) {
        ++m_folders[std::size_t(i)].files;
        m_folders[std::size_t(i)].lines += lines;
    }
}

void Summary::clear()
{
    *this = Summary();
}

// Node 0 is a top above everything: the file system root for absolute
// paths, the current folder's parts for relative ones.
int Summary::folderFor(const QString &folderPath)
{
    if (m_folders.empty())
        m_folders.push_back(Folder{});
    if (const auto found = m_folderIndex.constFind(folderPath); found != m_folderIndex.cend())
        return *found;

    int parent = 0;
    QString name = folderPath;
    if (folderPath != QLatin1String("/")) {
        const qsizetype slash = folderPath.lastIndexOf(QLatin1Char('/'));
        if (slash >= 0) {
            parent = folderFor(slash == 0 ? QStringLiteral("/") : folderPath.left(slash));
            name = folderPath.mid(slash + 1);
        }
    } else {
        name.clear();
    }
    const int index = int(m_folders.size());
    const int row = int(m_folders[std::size_t(parent)].children.size());
    m_folders.push_back(Folder{name, folderPath, parent, row, {}, 0, 0, 0});
    m_folders[std::size_t(parent)].children.push_back(index);
    m_folderIndex.insert(folderPath, index);
    return index;
}

int Summary::root() const
{
    if (m_folders.empty())
        return -1;
    int node = 0;
    while (m_folders[std::size_t(node)].ownFiles == 0 && m_folders[std::size_t(node)].children.size() == 1)
        node = m_folders[std::size_t(node)].children.front();
    return node;
}

} // namespace brinmoor::summary
