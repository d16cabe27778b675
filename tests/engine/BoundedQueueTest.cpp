// The bounded blocking queue: order, the capacity bound, close while threads wait, and many
// producers and consumers at once.
#include "engine/BoundedQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Waits up to two seconds for condition; true when it became true.
template <typename Condition> bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(BoundedQueue, ItemsLeaveInTheOrderTheyCame) {
    BoundedQueue<std::unique_ptr<int>> queue(4);
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(queue.push(std::make_unique<int>(i))) << "push " << i << " into an open queue";
    EXPECT_EQ(queue.size(), 4u) << "four items wait";
    for (int i = 0; i < 4; ++i) {
        std::unique_ptr<int> item;
        ASSERT_TRUE(queue.pop(item)) << "pop " << i;
        EXPECT_EQ(*item, i) << "items are moved out first in, first out";
    }
    EXPECT_EQ(queue.size(), 0u) << "nothing is left";
}

TEST(BoundedQueue, APushWaitsWhileTheQueueIsFull) {
    BoundedQueue<int> queue(2);
    ASSERT_TRUE(queue.push(1));
    ASSERT_TRUE(queue.push(2));
    std::atomic<bool> pushed{false};
    std::thread producer([&] {
        queue.push(3);
        pushed = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(pushed) << "a third item waits for a free place";
    EXPECT_EQ(queue.size(), 2u) << "the queue never holds more than its capacity";
    int item = 0;
    ASSERT_TRUE(queue.pop(item));
    EXPECT_TRUE(eventually([&] { return pushed.load(); })) << "a pop frees the place";
    producer.join();
    ASSERT_TRUE(queue.pop(item));
    ASSERT_TRUE(queue.pop(item));
    EXPECT_EQ(item, 3) << "the waiting item came last";
}

TEST(BoundedQueue, CloseLetsConsumersDrainAndThenEnds) {
    BoundedQueue<int> queue(8);
    queue.push(7);
    queue.push(8);
    queue.close();
    EXPECT_FALSE(queue.push(9)) << "a closed queue takes nothing more";
    int item = 0;
    ASSERT_TRUE(queue.pop(item)) << "what was queued before the close is still taken";
    EXPECT_EQ(item, 7);
    ASSERT_TRUE(queue.pop(item));
    EXPECT_EQ(item, 8);
    EXPECT_FALSE(queue.pop(item)) << "a closed, empty queue ends its consumers";
    queue.close(); // a second close is harmless
    EXPECT_FALSE(queue.pop(item)) << "and stays ended";
}

TEST(BoundedQueue, CloseWakesEveryWaitingThread) {
    BoundedQueue<int> empty(1);
    std::atomic<int> consumersEnded{0};
    std::vector<std::thread> consumers;
    for (int i = 0; i < 3; ++i)
        consumers.emplace_back([&] {
            int item = 0;
            if (!empty.pop(item)) ++consumersEnded;
        });

    BoundedQueue<int> full(1);
    full.push(0);
    std::atomic<int> producersRefused{0};
    std::vector<std::thread> producers;
    for (int i = 0; i < 3; ++i)
        producers.emplace_back([&] {
            if (!full.push(1)) ++producersRefused;
        });

    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(consumersEnded, 0) << "consumers wait on an empty, open queue";
    EXPECT_EQ(producersRefused, 0) << "producers wait on a full, open queue";
    empty.close();
    full.close();
    for (std::thread& t : consumers)
        t.join();
    for (std::thread& t : producers)
        t.join();
    EXPECT_EQ(consumersEnded, 3) << "closing ends every waiting consumer";
    EXPECT_EQ(producersRefused, 3) << "closing refuses every waiting producer's item";
}

TEST(BoundedQueue, ManyProducersAndConsumersHandOverEveryItemOnce) {
    constexpr int producers = 4, consumers = 3, perProducer = 5000;
    BoundedQueue<int> queue(3);
    std::vector<std::atomic<int>> seen(producers * perProducer);
    std::vector<std::vector<int>> lastFrom(consumers, std::vector<int>(producers, -1));
    std::atomic<bool> ordered{true};

    std::vector<std::thread> threads;
    for (int c = 0; c < consumers; ++c)
        threads.emplace_back([&, c] {
            int item = 0;
            while (queue.pop(item)) {
                ++seen[item];
                // Each consumer sees any one producer's items in increasing order.
                const int producer = item / perProducer, index = item % perProducer;
                if (index <= lastFrom[c][producer]) ordered = false;
                lastFrom[c][producer] = index;
            }
        });
    std::vector<std::thread> producing;
    for (int p = 0; p < producers; ++p)
        producing.emplace_back([&, p] {
            for (int i = 0; i < perProducer; ++i)
                queue.push(p * perProducer + i);
        });
    for (std::thread& t : producing)
        t.join();
    queue.close();
    for (std::thread& t : threads)
        t.join();

    int missing = 0, repeated = 0;
    for (const std::atomic<int>& count : seen) {
        missing += count == 0;
        repeated += count > 1;
    }
    EXPECT_EQ(missing, 0) << "every item pushed was popped";
    EXPECT_EQ(repeated, 0) << "no item was popped twice";
    EXPECT_TRUE(ordered) << "one producer's items keep their order";
}

} // namespace
