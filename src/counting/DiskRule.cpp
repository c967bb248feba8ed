#include "DiskRule.h"

namespace brinmoor::counting {

namespace {

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// One such read may be a file the cache let go of; two in quick succession
// call in the extra workers.
void DiskRule::readWaited()
{
    const std::int64_t now = nowMs();
    if (now - m_lastWaitMs.exchange(now) > Evidence.count())
        return;
    const bool parked = m_untilMs.load() < now;
    m_untilMs.store(now + Spell.count());
    if (parked)
        wake();
}

bool DiskRule::waitForTurn()
{
    auto over = [this] { return m_cancel.load() || m_noMorePaths.load(); };
    if (m_untilMs.load() >= nowMs())
        return !over();
    std::unique_lock lock(m_mutex);
    m_parked.wait(lock, [&] { return over() || m_untilMs.load() >= nowMs(); });
    return !over();
}

void DiskRule::noMorePaths()
{
    m_noMorePaths.store(true);
    wake();
}

void DiskRule::wake()
{
    // Taking the lock orders this after a waiter's last look, so none
    // sleeps through it.
    { std::lock_guard lock(m_mutex); }
    m_parked.notify_all();
}

} // namespace brinmoor::counting
