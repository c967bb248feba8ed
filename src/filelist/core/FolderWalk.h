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
QStringList GetSubDirectories2016(const QString &folder, const WalkOptions &options = {});  // folder first, level by level
QStringList ListFiles(const QString &folder, const QString &pattern);  // names, in directory order
bool IsOpenableFile(const QString &path);
bool IsFolder(const QString &path);
bool HasBadCharacters(const QString &name);

} // namespace brinmoor::filelist
