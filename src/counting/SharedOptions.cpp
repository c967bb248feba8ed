#include "SharedOptions.h"

namespace brinmoor::counting {

SharedOptions::SharedOptions(const CountOptions &initial)
    : m_options(initial)
    , m_prepared(prepareOptions(initial))
{
}

void SharedOptions::set(const CountOptions &options)
{
    // Prepare outside the lock: workers call current() once per read block
    // and must not wait while the words are folded.
    auto prepared = prepareOptions(options);
    std::lock_guard lock(m_mutex);
    m_options = options;
    m_prepared.swap(prepared);
    // The old snapshot dies here or with the last worker still holding it.
}

CountOptions SharedOptions::options() const
{
    std::lock_guard lock(m_mutex);
    return m_options;
}

std::shared_ptr<const PreparedOptions> SharedOptions::current() const
{
    std::lock_guard lock(m_mutex);
    return m_prepared;
}

FixedOptions::FixedOptions(const CountOptions &options)
    : m_prepared(prepareOptions(options))
{
}

std::shared_ptr<const PreparedOptions> FixedOptions::current() const
{
    return m_prepared;
}

} // namespace brinmoor::counting
