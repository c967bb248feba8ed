#pragma once

#include "CountOptions.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace brinmoor::counting {

// Options that the GUI thread changes while a run reads them.
// set() only stores the options; the first current() after it prepares them
// (on a worker: a long word list takes a while) and hands out the prepared
// snapshot from then on. Thread-safe: guarded by m_mutex.
class SharedOptions final : public OptionsSource
{
public:
    using Preparer = std::function<std::shared_ptr<const PreparedOptions>(const CountOptions &)>;

    // prepare stands in for prepareOptions (tests make it fail).
    explicit SharedOptions(const CountOptions &initial = {}, Preparer prepare = prepareOptions);

    void set(const CountOptions &options);
    CountOptions options() const;
    // Throws OptionsUnavailable when the options set last cannot be
    // prepared; every later call does the same until the next set().
    std::shared_ptr<const PreparedOptions> current() const override;
    std::shared_ptr<const PreparedOptions> currentUnless(const std::atomic<bool> *cancel) const override;

private:
    const Preparer m_prepare;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_preparedChanged;
    CountOptions m_options;
    std::uint64_t m_version = 0;   // counts set() calls
    mutable std::shared_ptr<const PreparedOptions> m_prepared;   // null: not prepared since the last set()
    mutable bool m_preparing = false;
    mutable std::string m_failure;   // why the options set last cannot be prepared; empty when they can
};

// Options that never change (console program, tests).
class FixedOptions final : public OptionsSource
{
public:
    // Takes the options over: their words are freed once prepared (a
    // long list would otherwise be held twice for the whole run).
    explicit FixedOptions(CountOptions options);
    std::shared_ptr<const PreparedOptions> current() const override;

private:
    std::shared_ptr<const PreparedOptions> m_prepared;
};

} // namespace brinmoor::counting
