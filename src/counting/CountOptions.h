#pragma once

#include <QStringList>

#include <atomic>
#include <memory>
#include <stdexcept>

namespace brinmoor::counting {

// What the user chose for a run. Exclusion rows are kept exactly as typed;
// trimming and case folding happen when they are prepared for matching.
struct CountOptions
{
    bool excludeBlank = false;
    QStringList excludeWords;
    // The window trims U+0020 from both ends of a row, so " foo " typed in
    // the list means "foo"; the console takes each word exactly as given,
    // where a quoted leading space is meant.
    bool trimWordSpaces = true;

    bool operator==(const CountOptions &) const = default;
};

// One total row for all files, one row per file, or (neither option chosen)
// no rows at all.
enum class CountMode { OneTotal, Separate, None };

// Options compiled for the engine: words trimmed of U+0020 (unless
// trimWordSpaces is off), empty rows dropped, case-folded, plus whatever the
// kernels precompute. Immutable, so one instance is shared by every worker
// thread.
class PreparedOptions;

std::shared_ptr<const PreparedOptions> prepareOptions(const CountOptions &options);

// Where the engine gets its options. A run keeps reading it while it works,
// so a change the user makes mid-run applies from the next read block on.
class OptionsSource
{
public:
    virtual ~OptionsSource() = default;
    // Called by MULTIPLE THREADS, once before every read block.
    virtual std::shared_ptr<const PreparedOptions> current() const = 0;
    // The same, but null once *cancel is set while it waits for another
    // thread to finish preparing (a long word list takes a while).
    virtual std::shared_ptr<const PreparedOptions> currentUnless(const std::atomic<bool> *cancel) const
    {
        (void)cancel;
        return current();
    }
};

// Thrown by an OptionsSource whose options cannot be prepared (out of
// memory for a huge word list): no file can be counted with them, so a run
// ends rather than failing every file with the same reason.
class OptionsUnavailable : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace brinmoor::counting
