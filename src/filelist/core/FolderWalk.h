#pragma once

#include "FolderListing.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

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
    // Opens a folder for listing: a directory descriptor, or -1 with errno
    // set. Empty means open(2). A seam for tests, which cannot make every
    // failure on demand (permission denied when running as root, too many
    // open files).
    std::function<int(const char *path)> openFolder;
    // The window's scan passes over folders whose names have bad characters
    // (HasBadCharacters) with everything below them; the console program
    // walks every folder it can name.
    bool skipBadFolderNames = true;
    // Every folder that cannot be listed (the starting one too, or one whose
    // listing breaks off) goes to folderFailed, whatever the reason. Without
    // it a folder one may not read or that has gone drops out without a
    // word, as the window's scan has always done.
    bool reportEveryUnlistableFolder = false;
    // Takes the failures of folders that cannot be listed and deserve a
    // report: the folder and the system's reason. How they are shown is the
    // caller's business. Called on the walking thread.
    std::function<void(const QString &folder, const QString &reason)> folderFailed;
    // Called on the walking thread for each folder passed over because its
    // name cannot be shown as text (bytes that are not UTF-8), so that the
    // window can say so. Files with such names are handed over as any other.
    std::function<void(const QString &folder)> unshowableFolder;
    // Called on the walking thread for each folder passed over because it
    // may not be read (permission denied) and that failures did not hear
    // of, so that the window can tell of them all at once.
    std::function<void(const QString &folder, const QString &reason)> unreadableFolder;
};

// Every matching file in folder and all folders below it: the folder's own
// files first, then those of each folder of the first level below, then the
// second level, and so on, as native paths (see pathFromNative). Within a
// folder, files and sub-folders follow in natural order (case ignored,
// numbers by value: f2 before f10). Runs on the calling thread; onBatch is
// called on it too, with the files in order.
void walkFolder(const QString &folder, const WalkOptions &options,
                const std::function<void(const QStringList &batch)> &onBatch);

// The same walk taken one folder at a time, for a caller that pulls paths
// as it needs them: same order, rules and failures. Not thread-safe; may be
// moved to and used on another thread.
class FolderWalker
{
public:
    FolderWalker(const QString &folder, const WalkOptions &options);
    ~FolderWalker();
    FolderWalker(const FolderWalker &) = delete;
    FolderWalker &operator=(const FolderWalker &) = delete;

    // Appends the next matching files, up to most of them and all of one
    // folder, listing folders as it needs them; a folder's failures are
    // reported between its files and those before it. False once every
    // folder has been listed and every file handed out, or the walk was
    // cancelled. Holds the names of one folder at a time, not its paths.
    bool nextFiles(QStringList &files, qsizetype most);

private:
    class Private;
    friend QStringList GetSubDirectories2016(const QString &folder, const WalkOptions &options);
    std::unique_ptr<Private> d;
};

// Convenience: the whole result at once.
QStringList walkFolder(const QString &folder, const QString &pattern = QStringLiteral("*.*"));

// The folder and every folder below it, level by level, as native paths
// without a trailing separator (a root stays "/"). Folders that cannot be
// listed drop out, and so does the folder itself then; a path that is not a
// folder gives an empty list. Symbolic links to folders are followed, but a
// folder reached a second time (a link cycle, or a link to a folder already
// walked) is listed once, under the path that came first.
QStringList GetSubDirectories2016(const QString &folder, const WalkOptions &options = {});

} // namespace brinmoor::filelist
