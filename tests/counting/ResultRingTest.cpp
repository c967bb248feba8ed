#include "ResultRing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

using namespace brinmoor::counting;

namespace {

// Which place an item was finished for, and which item of its stream (-1:
// the place's own).
struct Item
{
    std::int64_t place = -1;
    int part = -1;
    bool operator==(const Item &) const = default;
};

constexpr std::int64_t Unbounded = std::int64_t{1} << 40;
constexpr auto Patience = std::chrono::seconds(20);

std::vector<Item> takeAll(ResultRing<Item> &ring)
{
    std::vector<Item> got;
    Item item;
    while (ring.take(item))
        got.push_back(item);
    return got;
}

// Finished out of order, with a folder-like stream in between: nothing is
// taken past a place that is not finished, nor past an open stream.
TEST(ResultRing, TakesInPlaceOrderOnly)
{
    ResultRing<Item> ring(8, Unbounded, 4);
    for (std::int64_t i = 0; i < 4; ++i)
        ring.claim(i, 1);
    auto finish = [&](std::int64_t i) {
        ring.at(i) = {i, -1};
        ring.finish(i);
    };
    finish(3);
    finish(2);
    ring.expand(1);
    EXPECT_TRUE(ring.append(1, {1, 0}));
    EXPECT_TRUE(takeAll(ring).empty());
    finish(0);
    EXPECT_EQ(takeAll(ring), (std::vector<Item>{{0, -1}, {1, 0}}));
    EXPECT_TRUE(ring.append(1, {1, 1}));
    ring.close(1);
    EXPECT_EQ(takeAll(ring), (std::vector<Item>{{1, 1}, {2, -1}, {3, -1}}));
    EXPECT_EQ(ring.taken(), 4);
    EXPECT_FALSE(ring.nextReady());
}

// Producers stop at the bound on places or on weight (at least one place is
// always free to claim), and a producer waiting for room wakes once the
// consumer takes.
TEST(ResultRing, BoundsHoldProducersBack)
{
    struct Case
    {
        const char *name;
        std::int64_t capacity, weightBound, weight, claimable;
    };
    const Case cases[] = {
        {"places", 4, Unbounded, 1, 4},
        {"weight", 16, 10, 4, 3},
        {"one place heavier than the bound", 16, 10, 100, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ResultRing<Item> ring(c.capacity, c.weightBound, 1);
        std::int64_t claimed = 0;
        while (claimed <= c.capacity && ring.hasRoom(claimed))
            ring.claim(claimed++, c.weight);
        EXPECT_EQ(claimed, c.claimable);
        auto waiter = std::async(std::launch::async, [&] { return ring.waitForRoom(claimed); });
        EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
        ring.at(0) = {0, -1};
        ring.finish(0);
        EXPECT_EQ(takeAll(ring), (std::vector<Item>{{0, -1}}));
        ring.wakeProducers();
        ASSERT_EQ(waiter.wait_for(Patience), std::future_status::ready);
        EXPECT_TRUE(waiter.get());
    }
}

// A cancel must not leave a producer asleep: one waiting for room in the
// ring, one waiting for room in a stream.
TEST(ResultRing, StopWakesEveryWaiter)
{
    ResultRing<Item> ring(2, Unbounded, 1);
    ring.claim(0, 1);
    ring.claim(1, 1);
    ring.expand(0);
    ASSERT_TRUE(ring.append(0, {0, 0}));
    auto forRoom = std::async(std::launch::async, [&] { return ring.waitForRoom(2); });
    auto forStream = std::async(std::launch::async, [&] { return ring.append(0, {0, 1}); });
    EXPECT_EQ(forRoom.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_EQ(forStream.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    ring.stop();
    ASSERT_EQ(forRoom.wait_for(Patience), std::future_status::ready);
    ASSERT_EQ(forStream.wait_for(Patience), std::future_status::ready);
    EXPECT_FALSE(forRoom.get());
    EXPECT_FALSE(forStream.get());
    EXPECT_FALSE(ring.waitForRoom(2));
}

// Several producers claim in turn (as the run's workers take paths), finish
// in whatever order their threads run, some places as streams; the
// consumer gets every item once, in order, and the bounds hold throughout.
TEST(ResultRing, ManyProducersLoseNothing)
{
    struct Case
    {
        const char *name;
        int producers;
        std::int64_t capacity, weightBound;
        std::int64_t streamEvery;   // 0: no streams
    };
    const Case cases[] = {
        {"places only", 4, 16, Unbounded, 0},
        {"streams, tight weight", 4, 64, 40, 7},
        {"small ring, many streams", 3, 4, Unbounded, 2},
    };
    constexpr std::int64_t Places = 20000;
    constexpr std::int64_t Weight = 4;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ResultRing<Item> ring(c.capacity, c.weightBound, 3);
        auto streamLength = [&](std::int64_t i) { return c.streamEvery && i % c.streamEvery == 0 ? int(i % 5) : -1; };
        std::vector<Item> expected;
        for (std::int64_t i = 0; i < Places; ++i) {
            if (streamLength(i) < 0)
                expected.push_back({i, -1});
            for (int k = 0; k < streamLength(i); ++k)
                expected.push_back({i, k});
        }
        std::mutex claiming;
        std::int64_t next = 0;
        std::atomic<bool> outOfBounds{false};
        std::vector<std::thread> producers;
        for (int p = 0; p < c.producers; ++p) {
            producers.emplace_back([&, p] {
                std::minstd_rand random(unsigned(p + 1));
                for (;;) {
                    std::int64_t index;
                    {
                        std::lock_guard lock(claiming);
                        if (next == Places || !ring.waitForRoom(next))
                            return;
                        index = next++;
                        const std::int64_t ahead = index - ring.taken();
                        if (ahead >= c.capacity || (ahead > 0 && ahead * Weight >= c.weightBound))
                            outOfBounds = true;
                        ring.claim(index, Weight);
                    }
                    if (random() % 4 == 0)
                        std::this_thread::yield();
                    if (const int length = streamLength(index); length >= 0) {
                        ring.expand(index);
                        for (int k = 0; k < length; ++k)
                            ring.append(index, {index, k});
                        ring.close(index);
                    } else {
                        ring.at(index) = {index, -1};
                        ring.finish(index);
                    }
                }
            });
        }
        std::vector<Item> got;
        auto lastProgress = std::chrono::steady_clock::now();
        while (got.size() < expected.size()) {
            const std::size_t before = got.size();
            Item item;
            while (ring.take(item))
                got.push_back(item);
            if (got.size() > before) {
                ring.wakeProducers();
                lastProgress = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - lastProgress > Patience) {
                break;
            } else {
                std::this_thread::yield();
            }
        }
        ring.stop();   // releases the producers should the hand-over have stalled
        for (std::thread &t : producers)
            t.join();
        // The last place may be a stream whose producer closed it only after
        // its last item was taken: the consumer passes it on its next look.
        for (Item item; ring.take(item);)
            got.push_back(item);
        EXPECT_EQ(got, expected);
        EXPECT_FALSE(outOfBounds.load());
        EXPECT_EQ(ring.taken(), Places);
    }
}

} // namespace
