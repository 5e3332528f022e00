// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's lock-free hand-overs with real threads (no sockets, no root):
// run under ThreadSanitizer in CI, where a missing order shows as a race.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "cNet0.h"
#include "cSpsc.h"

namespace {

// Several words, so that a record handed over half-written shows.
struct TRecord {
    std::uint32_t Generation = 0;
    std::uint32_t Sequence = 0;
    std::uint32_t Check = 0; // Sequence * 3 + 1
};

TEST(SpscRing, HandsEveryRecordOverOnceAndInOrder) {
    constexpr std::uint32_t kCount = 200'000;
    TSpscRing<TRecord, 100> ring;
    std::thread producer([&] {
        for (std::uint32_t i = 0; i < kCount;) {
            if (ring.Push({0, i, i * 3 + 1}, ring.Generation()))
                ++i;
            else
                std::this_thread::yield();
        }
    });
    std::uint32_t next = 0;
    bool ordered = true;
    while (next < kCount) {
        const TRecord* r = ring.Front();
        if (r == nullptr) {
            std::this_thread::yield();
            continue;
        }
        ordered = ordered && r->Sequence == next && r->Check == next * 3 + 1;
        ring.Pop();
        ++next;
    }
    producer.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(ring.Size(), 0u);
}

TEST(SpscRing, AFullRingRefusesAndKeepsWhatItHolds) {
    TSpscRing<TRecord, 4> ring;
    for (std::uint32_t i = 0; i < 4; ++i)
        EXPECT_TRUE(ring.Push({0, i, 0}, 0));
    EXPECT_FALSE(ring.Push({0, 4, 0}, 0));
    EXPECT_EQ(ring.Ready(0), 4u);
    EXPECT_EQ(ring.Front()->Sequence, 0u);
}

// A third thread asks for resets while the producer appends and the reader
// takes: the reader never gets a record from before the reset it saw, and
// within one generation the records follow each other without a gap or a
// repeat (a reset never leaves the indexes misaligned).
TEST(SpscRing, ResetsFromAThirdThreadNeverHandOutStaleOrMisalignedRecords) {
    constexpr int kResets = 200;
    TSpscRing<TRecord, 100> ring;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        std::uint32_t generation = ~0u;
        std::uint32_t sequence = 0;
        while (!done.load()) {
            const std::uint32_t g = ring.Generation();
            if (g != generation) {
                generation = g;
                sequence = 0;
            }
            if (ring.Push({g, sequence, sequence * 3 + 1}, g))
                ++sequence;
            else
                std::this_thread::yield();
        }
    });
    std::atomic<std::uint64_t> taken{0};
    std::thread resetter([&] {
        // Each reset waits until the reader took something since the last
        // one (or a second passed), so every generation is really read.
        for (int i = 0; i < kResets; ++i) {
            ring.RequestReset();
            const auto before = taken.load();
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            while (taken.load() == before && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
        }
        done.store(true);
    });
    std::uint32_t generation = ~0u;
    std::uint32_t expected = 0;
    std::uint64_t faults = 0;
    while (!done.load()) {
        const std::uint32_t g = ring.Generation();
        const TRecord* r = ring.Front(g);
        if (r == nullptr)
            continue;
        if (r->Generation != g || r->Check != r->Sequence * 3 + 1)
            ++faults;
        if (g != generation) {
            generation = g;
            expected = r->Sequence;
        }
        if (r->Sequence != expected)
            ++faults;
        expected = r->Sequence + 1;
        ring.Pop();
        taken.fetch_add(1);
    }
    producer.join();
    resetter.join();
    EXPECT_EQ(faults, 0u);
    EXPECT_GE(taken.load(), static_cast<std::uint64_t>(kResets));
}

// The report ring's reader: a reset forgets its first take, so the next take
// waits for two records again and starts with a baseline.
TEST(ReportRing, AResetDropsWhatWaitsAndTheNextTakeIsABaseline) {
    auto ring = std::make_unique<TbNReportRing>();
    auto append = [&](std::uint32_t sent) {
        TbNReportRecord record;
        record.Report.BytesSent = sent;
        record.Drops = {true, static_cast<std::uint16_t>(sent)};
        return ring->Append(record, ring->Generation());
    };
    std::array<TbNReport, kRingSize> out{};
    std::array<TbNRcvbufDrops, kRingSize> drops{};
    std::int32_t count = kRingSize;
    ASSERT_TRUE(append(1));
    EXPECT_FALSE(ring->Take(out.data(), drops.data(), count));
    EXPECT_EQ(count, 0) << "one record is no batch yet";
    ASSERT_TRUE(append(2));
    count = kRingSize;
    EXPECT_TRUE(ring->Take(out.data(), drops.data(), count));
    ASSERT_EQ(count, 2);
    EXPECT_EQ(out[1].BytesSent, 2u);
    EXPECT_EQ(drops[1], (TbNRcvbufDrops{true, 2}));

    ASSERT_TRUE(append(3));
    ring->RequestReset();
    ASSERT_TRUE(append(10));
    count = kRingSize;
    EXPECT_FALSE(ring->Take(out.data(), nullptr, count));
    EXPECT_EQ(count, 0) << "record 3 is stale, record 10 alone is no baseline yet";
    ASSERT_TRUE(append(11));
    count = kRingSize;
    EXPECT_TRUE(ring->Take(out.data(), nullptr, count));
    ASSERT_EQ(count, 2);
    EXPECT_EQ(out[0].BytesSent, 10u);
    EXPECT_EQ(out[1].BytesSent, 11u);
}

// ---------------------------------------------------------------- snapshot

struct TWide {
    std::array<std::uint32_t, 7> Words{};
};

// A writer caught in the middle of an update for every try: the reader gets
// the last consistent value, never zeros or a mix.
TEST(SeqSnapshot, AReaderThatMeetsAnUpdateEveryTimeKeepsTheLastConsistentValue) {
    TSeqSnapshot<TWide> snapshot;
    TWide a;
    a.Words.fill(7);
    snapshot.Store(a);
    EXPECT_EQ(snapshot.Load().Words, a.Words);
    snapshot.BeginStore(); // the writer is now "inside" an update
    EXPECT_EQ(snapshot.Load().Words, a.Words);
    snapshot.EndStore();
}

TEST(SeqSnapshot, ConcurrentReadsAreNeverTorn) {
    TSeqSnapshot<TWide> snapshot;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        TWide w;
        for (std::uint32_t i = 1; i <= 200'000; ++i) {
            w.Words.fill(i);
            snapshot.Store(w);
        }
        done.store(true);
    });
    std::uint64_t torn = 0;
    std::uint32_t last = 0;
    std::uint64_t backwards = 0;
    while (!done.load()) {
        const TWide r = snapshot.Load();
        for (const std::uint32_t word : r.Words)
            torn += word != r.Words[0] ? 1 : 0;
        backwards += r.Words[0] < last ? 1 : 0;
        last = r.Words[0];
    }
    writer.join();
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(backwards, 0u);
}

} // namespace
