#include "cli/scan/ordered_results.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Stuck {};

// Workers fill a queue with a window of two or three, the first item slow, while the consumer
// checks that every result arrives in index order and that no worker ever took an index a window
// ahead of the consumer. A queue that loses its wait or its order fails here within seconds
// instead of hanging: a consumer kept waiting abandons the run, which frees the workers.
TEST(OrderedResults, HandsResultsOverInOrderWithinTheWindow) {
    struct Row {
        std::size_t window;
        std::size_t workers;
        std::size_t total;
    };
    const Row rows[] = {{1, 1, 5}, {2, 2, 40}, {3, 4, 60}, {2, 3, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "window " << row.window << ", " << row.workers
                                        << " workers, " << row.total << " items");
        OrderedResults<std::size_t> queue(row.total, row.window);
        std::atomic<std::size_t> consumed{0};
        std::atomic<bool> ranAhead{false};
        std::vector<std::thread> workers;
        for (std::size_t w = 0; w < row.workers; ++w) {
            workers.emplace_back([&] {
                while (const std::optional<std::size_t> index = queue.Take()) {
                    // The consumer may be between taking its result and counting it.
                    if (*index > consumed + row.window) {
                        ranAhead = true;
                    }
                    if (*index == 0) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    }
                    queue.Put(*index, *index * 10);
                }
            });
        }
        std::vector<std::size_t> got;
        try {
            for (std::size_t i = 0; i < row.total; ++i) {
                int waits = 0;
                got.push_back(queue.Next(i, std::chrono::milliseconds(10), [&waits] {
                    if (++waits > 300) {
                        throw Stuck();
                    }
                }));
                ++consumed;
            }
        } catch (const Stuck&) {
            queue.Abandon();
            ADD_FAILURE() << "the consumer waited 3 s for item " << got.size();
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
        EXPECT_FALSE(ranAhead);
        std::vector<std::size_t> wanted;
        for (std::size_t i = 0; i < row.total; ++i) {
            wanted.push_back(i * 10);
        }
        EXPECT_EQ(got, wanted);
    }
}

}  // namespace
