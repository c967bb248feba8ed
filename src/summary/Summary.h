#pragma once

#include <QHash>
#include <QString>

#include <cstdint>
#include <vector>

namespace brinmoor::summary {

// The extension a summary files a name under: what follows the last dot of
// the file name, as spelled on disk. A name without a dot, ending in a dot,
// or whose only dot leads it (".bashrc") has none: "" is returned.
QString extensionOf(const QString &path);

// Where the lines are: every counted file's lines added up by extension and
// by folder. Fed one file at a time as a run delivers them, so a stopped run
// shows what was counted. Adding is O(path length) and the views are built
// on request, so a summary of a large tree stays cheap to keep up to date.
// Not thread-safe: one thread feeds and reads it.
class Summary
{
public:
    struct Extension
    {
        QString name;   // as first seen on disk; "" for none
        std::uint64_t files = 0;
        std::uint64_t lines = 0;
    };

    // One folder of the tree. Sums cover everything below it.
    struct Folder
    {
        QString name;   // the last part of the path ("" for the file system root)
        QString path;   // with "/" between parts, no trailing "/" except for the root
        int parent = -1;
        int row = 0;   // its place among its parent's children
        std::vector<int> children;   // in the order first seen
        std::uint64_t files = 0;
        std::uint64_t lines = 0;
        std::uint64_t ownFiles = 0;   // directly inside it
    };

    // One counted file, as the run delivered it.
    struct File
    {
        QString path;
        std::uint64_t lines = 0;
        int extension = 0;   // into extensions()
    };

    void add(const QString &path, std::uint64_t lines);
    void clear();
    bool isEmpty() const { return m_files == 0; }

    std::uint64_t files() const { return m_files; }
    std::uint64_t lines() const { return m_lines; }

    // Groups of names that differ only in case are one extension.
    const std::vector<Extension> &extensions() const { return m_extensions; }
    // The extension's index whatever the case of name; -1 when not counted.
    int extensionIndex(const QString &name) const { return m_extensionIndex.value(name.toLower(), -1); }
    // Every file in the order counted (paths share their text with the
    // caller's, so this costs little beside the results list).
    const std::vector<File> &fileList() const { return m_fileList; }

    // The tree; folders()[root()] is the common root of every file counted:
    // the deepest folder that holds all of them. -1 when nothing is counted.
    const std::vector<Folder> &folders() const { return m_folders; }
    int root() const;

    // A folder's index by its path (as Folder::path), -1 when unknown.
    int folderIndex(const QString &path) const { return m_folderIndex.value(path, -1); }

private:
    int folderFor(const QString &folderPath);

    std::uint64_t m_files = 0;
    std::uint64_t m_lines = 0;
    std::vector<File> m_fileList;
    std::vector<Extension> m_extensions;
    QHash<QString, int> m_extensionIndex;   // by the lower-case name
    QHash<QString, int> m_spellingIndex;    // by the name as spelled
    std::vector<Folder> m_folders;
    QHash<QString, int> m_folderIndex;
    // Runs deliver a folder's files one after another.
    QString m_lastFolder;
    int m_lastFolderIndex = -1;
};

} // namespace brinmoor::summary
