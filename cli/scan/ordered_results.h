// Hands results made by several workers to one consumer in the order of their indices, while
// the workers run at most a window ahead of the consumer: however many items there are, only a
// window of results waits in memory, and the consumer's order never depends on the workers'.
//
// Workers loop on Take() and Put(); the consumer calls Next() for index 0, 1, 2, ... in turn.
// Abandon() ends the run early: Take() then gives nothing, so every worker comes back.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

template <typename Result>
class OrderedResults {
  public:
    OrderedResults(std::size_t total, std::size_t window)
        : total_(total), window_(window), slots_(window) {}

    // The index of the next item to work on, once it is less than a window ahead of the
    // consumer; nothing when every index is taken or the run was abandoned.
    std::optional<std::size_t> Take() {
        std::unique_lock<std::mutex> lock(mutex_);
        roomAhead_.wait(lock, [this] { return next_ == total_ || next_ < consumed_ + window_; });
        if (next_ == total_) {
            return std::nullopt;
        }
        return next_++;
    }

    void Put(std::size_t index, Result result) {
        std::lock_guard<std::mutex> lock(mutex_);
        Slot& slot = slots_[index % window_];
        slot.result = std::move(result);
        slot.ready = true;
        resultReady_.notify_one();
    }

    // The result for `index`, which must be the one after the last index asked for.
    // `whileWaiting` runs, without the lock, after each `interval` spent waiting for it.
    Result Next(std::size_t index, std::chrono::milliseconds interval,
                const std::function<void()>& whileWaiting) {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot& slot = slots_[index % window_];
        while (!resultReady_.wait_for(lock, interval, [&slot] { return slot.ready; })) {
            lock.unlock();
            whileWaiting();
            lock.lock();
        }
        slot.ready = false;
        ++consumed_;
        roomAhead_.notify_all();
        return std::move(slot.result);
    }

    // Takes every index not yet taken, so that the workers stop after the item in hand.
    void Abandon() {
        std::lock_guard<std::mutex> lock(mutex_);
        next_ = total_;
        roomAhead_.notify_all();
    }

  private:
    struct Slot {
        Result result{};
        bool ready = false;
    };

    std::mutex mutex_;
    std::condition_variable resultReady_;  // only the consumer waits here
    std::condition_variable roomAhead_;    // workers a whole window ahead wait here
    const std::size_t total_;
    const std::size_t window_;
    std::vector<Slot> slots_;
    std::size_t next_ = 0;
    std::size_t consumed_ = 0;
};
