#include "SharedOptions.h"

namespace brinmoor::counting {

SharedOptions::SharedOptions(const CountOptions &initial)
    : m_options(initial)
{
}

void SharedOptions::set(const CountOptions &options)
{
    // Nothing is prepared here: the GUI thread calls this for every change
    // to the word list, which may hold millions of words.
    std::lock_guard lock(m_mutex);
    m_options = options;
    ++m_version;
    m_prepared.reset();
    // A snapshot already handed out lives on with the workers holding it.
}

CountOptions SharedOptions::options() const
{
    std::lock_guard lock(m_mutex);
    return m_options;
}

std::shared_ptr<const PreparedOptions> SharedOptions::current() const
{
    std::unique_lock lock(m_mutex);
    // One worker prepares; the others wait for its snapshot rather than
    // preparing the same words again.
    m_preparedChanged.wait(lock, [this] { return m_prepared || !m_preparing; });
    if (m_prepared)
        return m_prepared;
    m_preparing = true;
    const CountOptions options = m_options;
    const std::uint64_t version = m_version;
    lock.unlock();
    // Outside the lock: set() and options() must not wait while the words
    // are folded and compiled.
    std::shared_ptr<const PreparedOptions> prepared = prepareOptions(options);
    lock.lock();
    m_preparing = false;
    if (version == m_version)
        m_prepared = prepared;
    m_preparedChanged.notify_all();
    return prepared;
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
