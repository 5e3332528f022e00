// SPDX-License-Identifier: GPL-3.0-or-later
// The tracer's post buffer fed by several threads while another drains it:
// bounded at MaxTrace + 1, each thread's lines in order, one drain request
// per burst. Runs under ThreadSanitizer in CI.
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "zTrace.h"

namespace {

TEST(TTracePostBufferTest, OverflowLetsTheTwoOldestGiveWayToOneLine) {
    TTracePostBuffer buffer;
    int requests = 0;
    for (int i = 0; i < 8; ++i)
        requests += buffer.Add(std::to_string(i), 4) ? 1 : 0;
    EXPECT_EQ(requests, 1);
    const auto lines = buffer.Take();
    // Never more than MaxTrace + 1: the overflow line, then the newest four.
    EXPECT_EQ(lines, (std::vector<std::string>{std::string(TTracePostBuffer::kOverflowLine), "4",
                                               "5", "6", "7"}));
    EXPECT_TRUE(buffer.Add("next", 4));
}

TEST(TTracePostBufferTest, SeveralThreadsBoundedOrderedOneDrainPerBurst) {
    constexpr int kThreads = 4;
    constexpr int kLines = 5000;
    constexpr std::size_t kMax = 50;
    TTracePostBuffer buffer;
    std::atomic<int> requests{0};
    std::atomic<int> writersLeft{kThreads};
    std::atomic<std::size_t> largest{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i)
                if (buffer.Add(std::to_string(t) + ":" + std::to_string(i), kMax))
                    requests.fetch_add(1);
            writersLeft.fetch_sub(1);
        });
    int takes = 0;
    std::vector<int> last(kThreads, -1);
    bool ordered = true;
    auto drain = [&] {
        const auto lines = buffer.Take();
        if (!lines.empty())
            ++takes;
        largest = std::max(largest.load(), lines.size());
        for (const auto& line : lines) {
            const auto colon = line.find(':');
            if (colon == std::string::npos)
                continue; // an overflow line
            const int thread = std::stoi(line.substr(0, colon));
            const int number = std::stoi(line.substr(colon + 1));
            ordered = ordered && number > last[thread];
            last[thread] = number;
        }
    };
    while (writersLeft.load() > 0) {
        drain();
        std::this_thread::yield();
    }
    for (auto& writer : writers)
        writer.join();
    drain();
    EXPECT_TRUE(ordered);
    EXPECT_LE(largest.load(), kMax + 1);
    // Every request was answered by a take that found lines (or the final one).
    EXPECT_LE(requests.load(), takes + 1);
    EXPECT_GE(requests.load(), 1);
}

} // namespace
