// SPDX-License-Identifier: GPL-3.0-or-later
#include "xTimer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct TimerThread {
    std::atomic<bool> stop{false};
    int wakeFd = -1;           // eventfd: a wake or a kill while asleep
    unsigned sleepPeriods = 0; // timer thread: asked by the callback
    std::thread thread;
    ~TimerThread() {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
};

thread_local TimerThread* t_current = nullptr;

std::mutex g_timersMutex;
std::map<unsigned, std::unique_ptr<TimerThread>> g_timers;
unsigned g_nextId = 1;

void AddNs(timespec& t, std::int64_t ns) {
    t.tv_nsec += static_cast<long>(ns % 1'000'000'000);
    t.tv_sec += static_cast<time_t>(ns / 1'000'000'000);
    if (t.tv_nsec >= 1'000'000'000) {
        t.tv_nsec -= 1'000'000'000;
        ++t.tv_sec;
    }
}

bool Before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

std::int64_t ToNs(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Sleeps to absolute deadlines: a plain clock_nanosleep costs far less per
// wake-up than a condition variable, which matters at 100 ticks a second on an
// idle machine. A kill is seen within one period. A long sleep that the
// callback asked for waits on the eventfd instead, so that a wake ends it.
void RunTimer(TimerThread* timer, unsigned id, unsigned delay, LPTIMECALLBACK callback,
              std::uintptr_t user, unsigned mode) {
    t_current = timer;
    const std::int64_t periodNs = std::int64_t{delay} * 1'000'000;
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    std::uint64_t tick = 1;
    timespec deadline = start;
    AddNs(deadline, periodNs);
    for (;;) {
        if (timer->sleepPeriods > 1) {
            const unsigned periods = timer->sleepPeriods;
            timer->sleepPeriods = 0;
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            const std::int64_t untilNs = ToNs(deadline) + (periods - 1) * periodNs;
            const std::int64_t waitNs = untilNs - ToNs(now);
            pollfd fd{timer->wakeFd, POLLIN, 0};
            const timespec timeout{
                static_cast<time_t>(std::max<std::int64_t>(waitNs, 0) / 1'000'000'000),
                static_cast<long>(std::max<std::int64_t>(waitNs, 0) % 1'000'000'000)};
            const bool woken = waitNs > 0 && ::ppoll(&fd, 1, &timeout, nullptr) > 0;
            std::uint64_t value = 0;
            [[maybe_unused]] const auto n = ::read(timer->wakeFd, &value, sizeof value);
            if (timer->stop.load(std::memory_order_acquire))
                return;
            if (woken) {
                // The next boundary of the grid from now.
                ::clock_gettime(CLOCK_MONOTONIC, &now);
                const std::int64_t passed = (ToNs(now) - ToNs(start)) / periodNs;
                tick = static_cast<std::uint64_t>(passed) + 1;
            } else {
                tick += periods - 1;
            }
            deadline = start;
            AddNs(deadline, static_cast<std::int64_t>(tick) * periodNs);
        }
        while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
        if (timer->stop.load(std::memory_order_acquire))
            return;
        callback(id, 0, user, static_cast<std::uintptr_t>(tick), 0);
        if (mode != TIME_PERIODIC)
            return;
        ++tick;
        AddNs(deadline, periodNs);
        // After a long stall (suspend, debugger) skip the missed ticks instead
        // of firing them back to back.
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        timespec late = deadline;
        AddNs(late, periodNs);
        if (Before(late, now)) {
            const std::int64_t passed = (ToNs(now) - ToNs(start)) / periodNs;
            tick = static_cast<std::uint64_t>(passed) + 1;
            deadline = start;
            AddNs(deadline, static_cast<std::int64_t>(tick) * periodNs);
        }
    }
}

} // namespace

std::uint32_t timeGetTime() {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

MMRESULT timeBeginPeriod(unsigned period) {
    return period >= 1 && period <= 1000 ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

MMRESULT timeEndPeriod(unsigned period) {
    return timeBeginPeriod(period);
}

unsigned timeSetEvent(unsigned delay, unsigned /*resolution*/, LPTIMECALLBACK callback,
                      std::uintptr_t user, unsigned mode) {
    if (delay == 0 || callback == nullptr)
        return 0;
    std::lock_guard lock(g_timersMutex);
    const unsigned id = g_nextId++;
    if (g_nextId == 0)
        g_nextId = 1;
    auto timer = std::make_unique<TimerThread>();
    timer->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (timer->wakeFd < 0)
        return 0;
    timer->thread = std::thread(RunTimer, timer.get(), id, delay, callback, user, mode);
    g_timers.emplace(id, std::move(timer));
    return id;
}

MMRESULT timeKillEvent(unsigned id) {
    std::unique_ptr<TimerThread> timer;
    {
        std::lock_guard lock(g_timersMutex);
        auto it = g_timers.find(id);
        if (it == g_timers.end())
            return TIMERR_NOCANDO;
        timer = std::move(it->second);
        g_timers.erase(it);
    }
    timer->stop.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(timer->wakeFd, &one, sizeof one);
    if (timer->thread.joinable())
        timer->thread.join();
    return TIMERR_NOERROR;
}

MMRESULT timeSleepEvent(unsigned periods) {
    TimerThread* timer = t_current;
    if (timer == nullptr || periods == 0)
        return TIMERR_NOCANDO;
    timer->sleepPeriods = periods;
    return TIMERR_NOERROR;
}

MMRESULT timeWakeEvent(unsigned id) {
    std::lock_guard lock(g_timersMutex);
    auto it = g_timers.find(id);
    if (it == g_timers.end())
        return TIMERR_NOCANDO;
    // Written also when the timer is not asleep yet: it may be about to be
    // (a wake must never be lost). A wake that finds it awake only ends its
    // next sleep early, which costs one extra call.
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(it->second->wakeFd, &one, sizeof one);
    return TIMERR_NOERROR;
}
