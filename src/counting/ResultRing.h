#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace brinmoor::counting {

// The ordered, bounded hand-over between the threads that produce a run's
// results and the one thread that takes them.
//
// Places are numbered from 0. Producers claim them in order (the caller
// makes claiming one thread at a time) and finish them in any order; the
// consumer takes them in order only, so a place finished early waits for
// every place before it. A place may instead be expanded into a stream of
// items (the files of a folder met among the paths), which the consumer
// takes as they come before it goes past the place.
//
// Producers stay within `capacity` places of the consumer and, beyond the
// next place it takes, within `weightBound` of weight (the bytes of text
// the claimed items hold); a stream holds at most `streamBacklog` items not
// yet taken. So memory stays bounded however far the producers could run
// ahead.
//
// Item is a movable value; the consumer gets it moved out of its place.
template <typename Item>
class ResultRing
{
public:
    // capacity: a power of two.
    ResultRing(std::int64_t capacity, std::int64_t weightBound, std::size_t streamBacklog)
        : m_slots(std::size_t(capacity))
        , m_mask(capacity - 1)
        , m_weightBound(weightBound)
        , m_streamBacklog(streamBacklog)
    {
    }

    // Producers. --------------------------------------------------------

    // Whether the place at index may be claimed now.
    bool hasRoom(std::int64_t index) const
    {
        // The weight before the position: the consumer lowers the weight
        // only after moving the position past the place it took, so a
        // weight without that place's share comes with a position past it.
        const std::int64_t weight = m_weight.load(std::memory_order_acquire);
        const std::int64_t ahead = index - m_taken.load(std::memory_order_acquire);
        return ahead < capacity() && (ahead <= 0 || weight < m_weightBound);
    }
    // Waits until it may; false once stopped.
    bool waitForRoom(std::int64_t index)
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [&] { return stopped() || hasRoom(index); });
        return !stopped();
    }
    // The item of a place claimed and not yet taken. Its producer fills it
    // in before it finishes the place; another thread may read only what
    // was written before the producer told it of the place.
    Item &at(std::int64_t index) { return slotAt(index).item; }
    // Claims the next place, once there is room for it, with the weight of
    // what its item holds.
    void claim(std::int64_t index, std::int64_t weight)
    {
        Slot &slot = slotAt(index);
        slot.weight = weight;
        m_weight.fetch_add(weight, std::memory_order_relaxed);
    }
    // The item at index is complete: the consumer may take it.
    void finish(std::int64_t index) { slotAt(index).state.store(Ready, std::memory_order_release); }
    // The place at index becomes a stream; its own item is never taken.
    void expand(std::int64_t index)
    {
        Slot &slot = slotAt(index);
        slot.stream = std::make_unique<Stream>();
        slot.state.store(Streaming, std::memory_order_release);
    }
    // Adds to an expanded place's stream, waiting while its backlog is full;
    // false (and the item dropped) once stopped.
    bool append(std::int64_t index, Item item)
    {
        Stream &stream = *slotAt(index).stream;
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [&] { return stopped() || stream.items.size() < m_streamBacklog; });
        if (stopped())
            return false;
        stream.items.push_back(std::move(item));
        return true;
    }
    // The stream at index is complete.
    void close(std::int64_t index)
    {
        Stream &stream = *slotAt(index).stream;
        std::lock_guard lock(m_mutex);
        stream.closed = true;
    }

    // The consumer (one thread). ------------------------------------------

    // The next item in place order, when it is there. Reads the position
    // afresh each call, so a call made from inside the handling of the
    // previous item (a nested event loop) goes on where it should.
    bool take(Item &out)
    {
        for (;;) {
            const std::int64_t index = m_taken.load(std::memory_order_relaxed);
            Slot &slot = slotAt(index);
            const State state = slot.state.load(std::memory_order_acquire);
            if (state == Pending)
                return false;
            if (state == Streaming) {
                bool closed = false;
                {
                    std::lock_guard lock(m_mutex);
                    if (!slot.stream->items.empty()) {
                        out = std::move(slot.stream->items.front());
                        slot.stream->items.pop_front();
                    } else {
                        closed = slot.stream->closed;
                        if (!closed)
                            return false;
                    }
                }
                if (!closed) {
                    m_room.notify_all();   // the stream's producer may wait for room
                    return true;
                }
                release(slot, index);
                continue;
            }
            out = std::move(slot.item);
            release(slot, index);
            return true;
        }
    }
    // Whether take() would find something at the next place.
    bool nextReady() const
    {
        return slotAt(m_taken.load(std::memory_order_relaxed)).state.load(std::memory_order_acquire) != Pending;
    }
    // Places taken so far: every place below this one is free again.
    std::int64_t taken() const { return m_taken.load(std::memory_order_acquire); }
    // Wakes the producers waiting for room, after the consumer took places.
    // Taking the lock orders this after a waiter's last look at the
    // position, so none sleeps through it.
    void wakeProducers()
    {
        { std::lock_guard lock(m_mutex); }
        m_room.notify_all();
    }

    // Any thread. -----------------------------------------------------------

    // Every wait returns, and none begins again.
    void stop()
    {
        m_stopped.store(true);
        wakeProducers();
    }
    bool stopped() const { return m_stopped.load(); }

private:
    enum State : std::uint8_t { Pending, Ready, Streaming };

    struct Stream
    {
        std::deque<Item> items;   // guarded by m_mutex
        bool closed = false;      // guarded by m_mutex
    };

    struct Slot
    {
        std::atomic<State> state{Pending};
        Item item;
        std::unique_ptr<Stream> stream;
        std::int64_t weight = 0;
    };

    std::int64_t capacity() const { return m_mask + 1; }
    Slot &slotAt(std::int64_t index) { return m_slots[std::size_t(index & m_mask)]; }
    const Slot &slotAt(std::int64_t index) const { return m_slots[std::size_t(index & m_mask)]; }

    void release(Slot &slot, std::int64_t index)
    {
        const std::int64_t weight = slot.weight;
        slot.item = Item();
        slot.stream.reset();
        slot.weight = 0;
        slot.state.store(Pending, std::memory_order_relaxed);
        m_taken.store(index + 1, std::memory_order_release);   // the slot may be reused now
        // Only once the position has moved: a producer that saw the weight
        // drop first let one place more than the bound run ahead.
        m_weight.fetch_sub(weight, std::memory_order_release);
    }

    std::vector<Slot> m_slots;
    const std::int64_t m_mask;
    const std::int64_t m_weightBound;
    const std::size_t m_streamBacklog;
    std::atomic<std::int64_t> m_taken{0};    // written by the consumer only
    std::atomic<std::int64_t> m_weight{0};   // of the places claimed and not yet taken
    std::atomic<bool> m_stopped{false};
    // Producers wait here for room, in the ring or in a stream; it also
    // guards the streams.
    std::mutex m_mutex;
    std::condition_variable m_room;
};

} // namespace brinmoor::counting
