#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <vector>

namespace brinmoor::counting {

// One file of a batch: the path going in, what became of it coming out.
struct BatchFile
{
    QByteArray native;              // the path's bytes, as the file system names it

    int error = 0;                  // errno of the step that failed; 0 when it went well
    bool folder = false;
    bool regular = false;
    std::int64_t size = 0;          // of a regular file, from the look-up that found it regular
    // A regular file read whole: its bytes, with room to write kLookBehind
    // bytes before them and 64 readable bytes after (see countInPlace).
    unsigned char *data = nullptr;
    std::int64_t got = 0;           // bytes read into data (fewer than size if it shrank)
    // A regular file too large to be read with the batch, or one whose
    // size reads 0 (many files of /proc and /sys hold text all the same),
    // left open for the caller to read and close.
    int fd = -1;
};

// Opens, looks up and reads many small files with a few system calls in
// all rather than four per file: the kernel works through a whole batch of
// opens, then of look-ups, then of reads and closes, at one entry each. The
// per-call cost is a good part of the time a small file takes. When the
// files are not cached, a batch also keeps the disk busy with many requests
// at once, from a single thread.
//
// One reader per thread; only that thread may use it.
class FileBatchReader
{
public:
    // How many files load() takes at most, and the largest file it reads.
    static constexpr std::size_t MaxFiles = 64;
    static constexpr std::int64_t MaxFileSize = 128 * 1024;
    // The most a reader keeps for the bytes of one batch.
    static constexpr std::size_t MaxArenaSize = std::size_t{2} << 20;

    // Null where the system cannot batch (an old kernel, a sandbox that
    // forbids it, no descriptor left, BRINMOOR_READER=threads in the
    // environment): the caller then opens and reads file by file. A batch's
    // files are read into arenaSize bytes (at most MaxArenaSize); those that
    // do not fit are left open for the caller.
    static std::unique_ptr<FileBatchReader> create(std::size_t arenaSize = MaxArenaSize);
    // Whether create() can succeed here; decided once per process without
    // submitting anything, so a sandbox that refuses submissions only shows
    // at the first load().
    static bool available();

    virtual ~FileBatchReader() = default;
    // Fills in every file's outcome. The data stays valid until the next
    // load() or the reader's end. A folder, a file that is not regular or one
    // that failed is closed already; a large regular file is left open (fd).
    //
    // False when the system refused to go on with the batch (a sandbox that
    // allows setting up but not submitting, endless interruptions): every
    // file is then as it came in, with no outcome, for the caller to read
    // another way, and the reader must not be used again.
    virtual bool load(std::vector<BatchFile> &files) = 0;
};

} // namespace brinmoor::counting
