#include "scan/ordered_results.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace velpin;

namespace {

struct Stuck {};

// A producer hands items to workers through a queue with a window of one to three, the first
// item slow, while the consumer checks that every result arrives in order and that the producer
// never ran a window ahead of it. A queue that loses its wait or its order fails here within
// seconds instead of hanging: a consumer kept waiting abandons the run, which frees the others.
// The consumer must be woken as its results come in: a wait as long as its interval fails too.
TEST(OrderedResults, HandsResultsOverInOrderWithinTheWindow) {
    struct Row {
        std::size_t window;
        std::size_t workers;
        std::size_t total;
        std::uint64_t budget;
        std::uint64_t weight = 1;  // of every item
    };
    // The last row's items each weigh more than the whole budget: one at a time goes through.
    const Row rows[] = {{1, 1, 5, 100}, {2, 2, 40, 100}, {3, 4, 60, 100},
                        {2, 3, 1, 100}, {3, 3, 30, 1},   {3, 2, 6, 2, 5}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "window " << row.window << ", " << row.workers << " workers, " << row.total
                     << " items, budget " << row.budget << ", weight " << row.weight);
        OrderedResults<std::size_t, std::size_t> queue(row.window, row.budget);
        std::atomic<std::size_t> consumed{0};
        std::atomic<std::size_t> finished{0};
        std::atomic<bool> ranAhead{false};
        std::atomic<bool> overBudget{false};
        std::thread producer([&] {
            for (std::size_t i = 0; i < row.total; ++i) {
                if (!queue.Push(i, row.weight)) {
                    break;
                }
                // The consumer may be between taking its result and counting it.
                if (i > consumed + row.window) {
                    ranAhead = true;
                }
                if (i + 1 > finished + row.budget / row.weight + 1) {
                    overBudget = true;
                }
            }
            queue.Close();
        });
        std::vector<std::thread> workers;
        for (std::size_t w = 0; w < row.workers; ++w) {
            workers.emplace_back([&] {
                while (const auto task = queue.Take()) {
                    if (task->first == 0) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    }
                    ++finished;
                    queue.Put(task->first, task->second * 10);
                }
            });
        }
        std::vector<std::size_t> got;
        const auto interval = std::chrono::seconds(2);
        try {
            for (;;) {
                const auto asked = std::chrono::steady_clock::now();
                const std::optional<std::size_t> result =
                    queue.Next(interval, [] { throw Stuck(); });
                if (!result) {
                    break;
                }
                if (std::chrono::steady_clock::now() - asked >= interval) {
                    throw Stuck();
                }
                got.push_back(*result);
                ++consumed;
            }
        } catch (const Stuck&) {
            queue.Abandon();
            ADD_FAILURE() << "the consumer waited " << interval.count() << " s for item "
                          << got.size();
        }
        producer.join();
        for (std::thread& worker : workers) {
            worker.join();
        }
        EXPECT_FALSE(ranAhead);
        EXPECT_FALSE(overBudget);
        std::vector<std::size_t> wanted;
        for (std::size_t i = 0; i < row.total; ++i) {
            wanted.push_back(i * 10);
        }
        EXPECT_EQ(got, wanted);
    }
}

}  // namespace
