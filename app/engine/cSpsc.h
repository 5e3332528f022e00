// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's lock-free hand-overs between two threads: a single-producer
// single-consumer ring (report rings, send queue) and a one-writer snapshot
// (what the tick needs of the last datagram read). Neither ever blocks.
//
// Ring protocol: each side loads its own index relaxed and the other side's
// with acquire, and publishes its index with release, so a slot is complete
// before the consumer sees it and free before the producer writes it again.
// A reset is a request that any thread may raise: it never touches an index.
// The producer tags every record with the reset generation in force when it
// began to build it, and the consumer skips records of an older generation,
// so after a reset a reader gets neither stale nor misaligned records.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

// Producer and consumer indexes on their own cache lines, to avoid false
// sharing between the two threads.
inline constexpr std::size_t kCacheLine = 64;

template <class T, std::size_t N> class TSpscRing final {
    static_assert(N > 0 && N < (std::size_t{1} << 31));
    static_assert(std::is_trivially_copyable_v<T>, "records are copied whole between threads");

public:
    static constexpr std::size_t kCapacity = N;

    // Any thread. Records pushed from now on by a producer that saw the
    // request belong to the new generation; the consumer drops older ones.
    void RequestReset() { m_generation.fetch_add(1, std::memory_order_acq_rel); }
    // The generation the producer must tag a record with. Take it before the
    // values of the record are gathered: a reset after this point makes the
    // record stale, never a mix that passes for new.
    std::uint32_t Generation() const { return m_generation.load(std::memory_order_acquire); }

    // Producer. False when the ring is full (the record is lost).
    bool Push(const T& value, std::uint32_t generation) {
        const std::uint32_t w = m_write.load(std::memory_order_relaxed);
        if (w - m_readCache == N) {
            m_readCache = m_read.load(std::memory_order_acquire);
            if (w - m_readCache == N)
                return false;
        }
        Slot& slot = m_slots[w % N];
        slot.Value = value;
        slot.Generation = generation;
        m_write.store(w + 1, std::memory_order_release);
        return true;
    }

    // Consumer. Drops records from before the reset generation given (the
    // one in force: Generation()); then returns the front record of that
    // generation, if any.
    T* Front(std::uint32_t generation) {
        for (;;) {
            const std::uint32_t r = m_read.load(std::memory_order_relaxed);
            if (r == m_writeCache) {
                m_writeCache = m_write.load(std::memory_order_acquire);
                if (r == m_writeCache)
                    return nullptr;
            }
            Slot& slot = m_slots[r % N];
            if (slot.Generation == generation)
                return &slot.Value;
            // Of a newer generation (a reset raced this call): the next call,
            // with the newer generation, takes it.
            if (static_cast<std::int32_t>(slot.Generation - generation) > 0)
                return nullptr;
            m_read.store(r + 1, std::memory_order_release);
        }
    }
    T* Front() { return Front(Generation()); }
    // Consumer: records of the generation given that are ready now (older
    // ones are dropped first).
    std::size_t Ready(std::uint32_t generation) {
        if (Front(generation) == nullptr)
            return 0;
        m_writeCache = m_write.load(std::memory_order_acquire);
        std::size_t n = 0;
        for (std::uint32_t i = m_read.load(std::memory_order_relaxed);
             i != m_writeCache && m_slots[i % N].Generation == generation; ++i)
            ++n;
        return n;
    }
    // Consumer: removes the front record (Front() must have returned one).
    // The value stays the consumer's to change until then (the send queue
    // counts its front entry down while it sends it).
    void Pop() {
        m_read.store(m_read.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    // Consumer: identifies the front position (changes at every Pop or drop).
    std::uint32_t ReadPosition() const { return m_read.load(std::memory_order_relaxed); }

    // Any thread: records waiting, of any generation; a figure for display
    // and for the producer's own limits.
    std::size_t Size() const {
        return m_write.load(std::memory_order_acquire) - m_read.load(std::memory_order_acquire);
    }

private:
    struct Slot {
        T Value{};
        std::uint32_t Generation = 0;
    };
    alignas(kCacheLine) std::atomic<std::uint32_t> m_write{0}; // producer
    std::uint32_t m_readCache = 0;                             // producer's view of m_read
    alignas(kCacheLine) std::atomic<std::uint32_t> m_read{0};  // consumer
    std::uint32_t m_writeCache = 0;                            // consumer's view of m_write
    alignas(kCacheLine) std::atomic<std::uint32_t> m_generation{0};
    alignas(kCacheLine) std::array<Slot, N> m_slots{};
};

// A snapshot that one thread writes and another reads without waiting: a
// sequence lock over atomic words. A reader that meets every try mid-update
// keeps the last consistent value it read, never a torn or zero one.
template <class T> class TSeqSnapshot final {
    static_assert(std::is_trivially_copyable_v<T>);
    static constexpr std::size_t kWords = (sizeof(T) + 3) / 4;

public:
    // Writer.
    void Store(const T& value) {
        std::array<std::uint32_t, kWords> words{};
        std::memcpy(words.data(), &value, sizeof(T));
        BeginStore();
        // Release: a reader that sees one of these words also sees the odd
        // count stored before it, and so knows it met an update.
        for (std::size_t i = 0; i < kWords; ++i)
            m_words[i].store(words[i], std::memory_order_release);
        EndStore();
    }
    // Writer: the two halves of Store(), public so that a test can hold a
    // writer in the middle of an update.
    void BeginStore() {
        m_seq.store(m_seq.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }
    void EndStore() {
        m_seq.store(m_seq.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // Reader (one thread): the newest consistent value, or the last one this
    // reader saw when a writer was busy during every try.
    T Load() {
        for (int attempt = 0; attempt < kTries; ++attempt) {
            const std::uint32_t before = m_seq.load(std::memory_order_acquire);
            if ((before & 1u) != 0)
                continue;
            std::array<std::uint32_t, kWords> words{};
            // Acquire: the second look at the count comes after the words.
            for (std::size_t i = 0; i < kWords; ++i)
                words[i] = m_words[i].load(std::memory_order_acquire);
            if (m_seq.load(std::memory_order_relaxed) == before) {
                std::memcpy(static_cast<void*>(&m_last), words.data(), sizeof(T));
                break;
            }
        }
        return m_last;
    }

private:
    // The writer holds the count odd for a few stores; the reader (the tick)
    // must not wait longer than a few tries.
    static constexpr int kTries = 64;
    std::atomic<std::uint32_t> m_seq{0};
    std::array<std::atomic<std::uint32_t>, kWords> m_words{};
    T m_last{}; // reader
};
