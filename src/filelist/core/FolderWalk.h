#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace brinmoor {
class FailureSink;
}

namespace brinmoor::filelist {

struct WalkOptions
{
    // "*." + extension as typed; "*.*" lists every file.
    QString pattern = QStringLiteral("*.*");
    // Set to stop the walk early (the window is closing).
    const std::atomic<bool> *cancel = nullptr;
    // Files are handed over in batches of about this size, so a GUI can
    // append them without a signal per file.
    int batchSize = 512;
    // Failures of the collector that deserve a report; may be called from
    // the walking thread.
    FailureSink *failures = nullptr;
    // Opens a folder for listing: a directory descriptor, or -1 with errno
    // set. Empty means open(2). A seam for tests, which cannot make every
    // failure on demand (permission denied when running as root, too many
    // open files).
    std::function<int(const char *path)> openFolder;
};

// Every matching file in folder and all folders below it: the folder's own
// files first, then those of each folder of the first level below, then the
// second level, and so on, as native paths. Runs on the calling thread;
// onBatch is called on it too, with the files in order.
void walkFolder(const QString &folder, const WalkOptions &options,
                const std::function<void(const QStringList &batch)> &onBatch);

// Convenience: the whole result at once.
QStringList walkFolder(const QString &folder, const QString &pattern = QStringLiteral("*.*"));

// The walk's building blocks, also used by the file list's other commands.

// The folder and every folder below it, level by level, as native paths
// without a trailing separator (a root stays "/"). Folders that cannot be
// listed drop out, and so does the folder itself then; a path that is not a
// folder gives an empty list. Symbolic links to folders are followed, but a
// folder reached a second time (a link cycle, or a link to a folder already
// walked) is listed once, under the path that came first.
QStringList GetSubDirectories2016(const QString &folder, const WalkOptions &options = {});
// The names (without folder) of the files in that one folder that match the
// pattern and pass IsOpenableFile, in directory order; none when the folder
// cannot be listed.
QStringList ListFiles(const QString &folder, const QString &pattern);
// An existing regular file, following symbolic links. Folders, FIFOs,
// devices and sockets answer false (and are never opened); a file without
// read access answers true, the count reports it.
bool IsOpenableFile(const QString &path);
// The path exists and is a folder (following symbolic links).
bool IsFolder(const QString &path);
// A folder name the scan passes over: a control character (below U+0020 or
// U+007F to U+009F), '?', or a character the file-name encoding cannot hold
// (U+FFFD, which stands for bytes that were not valid UTF-8, or an unpaired
// surrogate).
bool HasBadCharacters(const QString &name);

} // namespace brinmoor::filelist
