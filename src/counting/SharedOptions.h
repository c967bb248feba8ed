#pragma once

#include "CountOptions.h"

#include <mutex>

namespace brinmoor::counting {

// Options that the GUI thread changes while a run reads them.
// set() prepares the new options once; current() hands out the prepared
// snapshot. Thread-safe: guarded by m_mutex.
class SharedOptions final : public OptionsSource
{
public:
    explicit SharedOptions(const CountOptions &initial = {});

    void set(const CountOptions &options);
    CountOptions options() const;
    std::shared_ptr<const PreparedOptions> current() const override;

private:
    mutable std::mutex m_mutex;
    CountOptions m_options;
    std::shared_ptr<const PreparedOptions> m_prepared;
};

// Options that never change (console program, tests).
class FixedOptions final : public OptionsSource
{
public:
    explicit FixedOptions(const CountOptions &options);
    std::shared_ptr<const PreparedOptions> current() const override;

private:
    std::shared_ptr<const PreparedOptions> m_prepared;
};

} // namespace brinmoor::counting
