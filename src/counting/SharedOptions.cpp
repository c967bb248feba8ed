#include "SharedOptions.h"

#include "PreparedOptions.h"

#include <chrono>
#include <exception>

namespace brinmoor::counting {

namespace {

// How often a thread waiting for another's preparation looks at its cancel
// flag: nobody notifies the options of a cancelled run.
constexpr std::chrono::milliseconds CancelPoll{10};

} // namespace

SharedOptions::SharedOptions(const CountOptions &initial, Preparer prepare)
    : m_prepare(std::move(prepare))
    , m_options(initial)
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
    m_failure.clear();
    // A snapshot already handed out lives on with the workers holding it.
}

CountOptions SharedOptions::options() const
{
    std::lock_guard lock(m_mutex);
    return m_options;
}

std::shared_ptr<const PreparedOptions> SharedOptions::current() const
{
    return currentUnless(nullptr);
}

std::shared_ptr<const PreparedOptions> SharedOptions::currentUnless(const std::atomic<bool> *cancel) const
{
    std::unique_lock lock(m_mutex);
    // One worker prepares; the others wait for its snapshot rather than
    // preparing the same words again.
    const auto ready = [this] { return m_prepared || !m_preparing; };
    if (!cancel) {
        m_preparedChanged.wait(lock, ready);
    } else {
        while (!m_preparedChanged.wait_for(lock, CancelPoll, ready)) {
            if (cancel->load())
                return nullptr;
        }
    }
    if (m_prepared)
        return m_prepared;
    if (!m_failure.empty())
        throw OptionsUnavailable(m_failure);
    m_preparing = true;
    const CountOptions options = m_options;
    const std::uint64_t version = m_version;
    lock.unlock();
    // Outside the lock: set() and options() must not wait while the words
    // are folded and compiled.
    std::shared_ptr<const PreparedOptions> prepared;
    std::string failure;
    try {
        prepared = m_prepare(options);
        if (!prepared)
            failure = "The exclusion words could not be prepared.";
    } catch (const std::bad_alloc &) {
        failure = "Not enough memory for the exclusion words.";
    } catch (const std::exception &e) {
        failure = std::string("The exclusion words could not be prepared: ") + e.what();
    } catch (...) {
        failure = "The exclusion words could not be prepared.";
    }
    lock.lock();
    // Whatever happened, the flag goes down and the waiters learn of it:
    // a flag left up would keep them waiting for ever.
    m_preparing = false;
    if (version == m_version) {
        m_prepared = prepared;
        m_failure = failure;
    }
    m_preparedChanged.notify_all();
    if (failure.empty())
        return prepared;
    if (version != m_version) {
        // What failed was replaced meanwhile: the new options may do.
        lock.unlock();
        return currentUnless(cancel);
    }
    throw OptionsUnavailable(failure);
}

FixedOptions::FixedOptions(CountOptions options)
    : m_prepared(std::make_shared<const PreparedOptions>(std::move(options)))
{
}

std::shared_ptr<const PreparedOptions> FixedOptions::current() const
{
    return m_prepared;
}

} // namespace brinmoor::counting
