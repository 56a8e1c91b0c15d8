// Carries work from one producer to several workers, and their results to one consumer in the
// order the producer handed the work on. The producer waits while it is a whole window ahead of
// the consumer, or while the work it has handed on and not yet seen finished weighs more than a
// budget (the bytes it holds; one item is always let through): however many items there are and
// however large, only a window of them waits in memory, and the consumer's order never depends on
// the workers'.
//
// The producer calls Push() for each item and Close() after the last; workers loop on Take() and
// Put(), and may hand on parts of a large result ahead of it with PutPart(); the consumer loops on
// Next(). Abandon() ends the run early: Push(), Take() and PutPart() then give up, so the
// producer and every worker come back.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace velpin {

template <typename Task, typename Result>
class OrderedResults {
  public:
    OrderedResults(std::size_t window, std::uint64_t weightBudget)
        : window_(window), weightBudget_(weightBudget), slots_(window) {}

    // Hands on the next item; false when the run was abandoned.
    bool Push(Task task, std::uint64_t weight) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!abandoned_ && !RoomFor(weight, 1)) {
            producerWaiting_ = true;
            waitingWeight_ = weight;
            // Results that came in while the producer was still going may be what it waits for.
            if (ConsumerNeeded()) {
                resultReady_.notify_one();
            }
            roomAhead_.wait(lock, [&] { return abandoned_ || RoomFor(weight, 1); });
            producerWaiting_ = false;
        }
        if (abandoned_) {
            return false;
        }
        slots_[pushed_ % window_].weight = weight;
        weightOut_ += weight;
        tasks_.emplace_back(pushed_++, std::move(task));
        taskReady_.notify_one();
        return true;
    }

    // No more items come.
    void Close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        taskReady_.notify_all();
        resultReady_.notify_all();
    }

    // The next item with its index; nothing once every item is taken and no more come, or the
    // run was abandoned.
    std::optional<std::pair<std::size_t, Task>> Take() {
        std::unique_lock<std::mutex> lock(mutex_);
        taskReady_.wait(lock, [this] { return closed_ || abandoned_ || !tasks_.empty(); });
        if (abandoned_ || tasks_.empty()) {
            return std::nullopt;
        }
        std::pair<std::size_t, Task> task = std::move(tasks_.front());
        tasks_.pop_front();
        return task;
    }

    // The result of the item at `index`; its weight counts no more.
    void Put(std::size_t index, Result result) {
        std::lock_guard<std::mutex> lock(mutex_);
        Slot& slot = slots_[index % window_];
        weightOut_ -= slot.weight;
        slot.weight = 0;
        slot.result = std::move(result);
        slot.ready = true;
        if (ConsumerNeeded()) {
            resultReady_.notify_one();
        }
        WakeProducer();
    }

    // Hands on a part of the result of the item at `index`, which the consumer takes in order,
    // before the result itself. Waits while the item's part before it is not yet taken, so that
    // an item holds one part at a time however many it makes. False once the run was abandoned.
    bool PutPart(std::size_t index, Result part) {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot& slot = slots_[index % window_];
        partTaken_.wait(lock, [&] { return abandoned_ || !slot.part; });
        if (abandoned_) {
            return false;
        }
        slot.part = std::move(part);
        if (index == consumed_) {
            resultReady_.notify_one();
        }
        return true;
    }

    // The next result in order, or part of it; nothing after the last. `whileWaiting` runs,
    // without the lock, after each `interval` spent waiting for it.
    std::optional<Result> Next(std::chrono::milliseconds interval,
                               const std::function<void()>& whileWaiting) {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot& slot = slots_[consumed_ % window_];
        while (!resultReady_.wait_for(lock, interval, [&] {
            return slot.part || slot.ready || (closed_ && consumed_ == pushed_);
        })) {
            lock.unlock();
            whileWaiting();
            lock.lock();
        }
        // A part the item handed on comes before its result, which comes only after every part.
        if (slot.part) {
            Result part = std::move(*slot.part);
            slot.part.reset();
            partTaken_.notify_all();
            return part;
        }
        if (!slot.ready) {
            return std::nullopt;
        }
        slot.ready = false;
        ++consumed_;
        WakeProducer();
        return std::move(slot.result);
    }

    // Drops the items not yet taken, so that the workers stop after the item in hand and the
    // producer after the item it is handing on.
    void Abandon() {
        std::lock_guard<std::mutex> lock(mutex_);
        abandoned_ = true;
        tasks_.clear();
        roomAhead_.notify_all();
        taskReady_.notify_all();
        partTaken_.notify_all();
    }

  private:
    // Waking the consumer for every result costs two context switches a row, more than writing a
    // small row does; it is woken once a run of results waits, or every result handed on is in
    // and no more come or the producer waits, and otherwise finds them when its wait times out.
    // The producer, once it waits, is woken alike for a run of free places, not for each.
    static constexpr std::size_t kWakeRun = 16;

    bool ConsumerNeeded() const {
        for (std::size_t i = consumed_; i < consumed_ + kWakeRun; ++i) {
            if (i >= pushed_) {
                return closed_ || producerWaiting_;
            }
            if (!slots_[i % window_].ready) {
                return false;
            }
        }
        return true;
    }

    // Whether `places` more items (at most the window) fit, the next of them weighing `weight`.
    bool RoomFor(std::uint64_t weight, std::size_t places) const {
        return pushed_ + std::min(places, window_) <= consumed_ + window_ &&
               (weightOut_ == 0 || weightOut_ + weight <= weightBudget_);
    }

    void WakeProducer() {
        if (producerWaiting_ && RoomFor(waitingWeight_, kWakeRun)) {
            roomAhead_.notify_one();
        }
    }

    struct Slot {
        Result result{};
        std::optional<Result> part;  // handed on ahead of the result, not yet taken
        std::uint64_t weight = 0;
        bool ready = false;
    };

    std::mutex mutex_;
    std::condition_variable taskReady_;    // workers wait here
    std::condition_variable resultReady_;  // only the consumer waits here
    std::condition_variable roomAhead_;    // the producer waits here
    std::condition_variable partTaken_;    // workers with a part not yet taken wait here
    const std::size_t window_;
    const std::uint64_t weightBudget_;
    std::vector<Slot> slots_;
    std::deque<std::pair<std::size_t, Task>> tasks_;
    std::size_t pushed_ = 0;
    std::size_t consumed_ = 0;
    std::uint64_t weightOut_ = 0;
    bool closed_ = false;
    bool abandoned_ = false;
    bool producerWaiting_ = false;
    std::uint64_t waitingWeight_ = 0;
};

}  // namespace velpin
