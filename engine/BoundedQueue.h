// A bounded blocking queue that hands items from producer threads to consumer threads in order.
//
//   BoundedQueue<Job> jobs(8);
//   producer: if (!jobs.push(std::move(job))) ...;  // waits while 8 are queued; false once closed
//   consumer: Job job; while (jobs.pop(job)) work(job);  // false once closed and drained
//   jobs.close();                                      // no more items; wakes every waiter
//
// Any number of threads may push and pop at once. Items leave in the order they were pushed.
#pragma once

#include <cassert>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

template <typename T> class BoundedQueue {
  public:
    // capacity: items that may wait at once; at least 1.
    explicit BoundedQueue(std::size_t capacity) : capacity(capacity) {
        assert(capacity > 0 && "a queue must hold at least one item");
    }
    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    // Appends item, waiting while the queue is full. False (the item is dropped) when the queue
    // is closed, also when it closes while this call waits.
    bool push(T item) {
        std::unique_lock<std::mutex> hold(lock);
        notFull.wait(hold, [this] { return closed || items.size() < capacity; });
        if (closed) return false;
        items.push_back(std::move(item));
        hold.unlock();
        notEmpty.notify_one();
        return true;
    }

    // Takes the oldest item into item, waiting while the queue is empty and open. False once
    // the queue is closed and every item has been taken.
    bool pop(T& item) {
        std::unique_lock<std::mutex> hold(lock);
        notEmpty.wait(hold, [this] { return closed || !items.empty(); });
        if (items.empty()) return false;
        item = std::move(items.front());
        items.pop_front();
        hold.unlock();
        notFull.notify_one();
        return true;
    }

    // Ends the queue: later pushes fail, waiting pushes fail, pops take what is left and then
    // fail. Harmless when repeated.
    void close() {
        {
            std::lock_guard<std::mutex> hold(lock);
            closed = true;
        }
        notFull.notify_all();
        notEmpty.notify_all();
    }

    std::size_t size() const {
        std::lock_guard<std::mutex> hold(lock);
        return items.size();
    }

  private:
    const std::size_t capacity;
    mutable std::mutex lock; // guards items and closed
    std::condition_variable notFull, notEmpty;
    std::deque<T> items;
    bool closed = false;
};
