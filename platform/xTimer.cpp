// SPDX-License-Identifier: GPL-3.0-or-later
#include "xTimer.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct TimerThread {
    std::atomic<bool> stop{false};
    std::thread thread;
};

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

// Sleeps to absolute deadlines: a plain clock_nanosleep costs far less per
// wake-up than a condition variable, which matters at 100 ticks a second on an
// idle machine. A kill is seen within one period.
void RunTimer(TimerThread* timer, unsigned id, unsigned delay, LPTIMECALLBACK callback,
              std::uintptr_t user, unsigned mode) {
    const std::int64_t periodNs = std::int64_t{delay} * 1'000'000;
    timespec deadline{};
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    AddNs(deadline, periodNs);
    for (;;) {
        while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
        if (timer->stop.load(std::memory_order_acquire))
            return;
        callback(id, 0, user, 0, 0);
        if (mode != TIME_PERIODIC)
            return;
        AddNs(deadline, periodNs);
        // After a long stall (suspend, debugger) skip the missed ticks instead
        // of firing them back to back.
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        timespec late = deadline;
        AddNs(late, periodNs);
        if (Before(late, now)) {
            deadline = now;
            AddNs(deadline, periodNs);
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
    if (timer->thread.joinable())
        timer->thread.join();
    return TIMERR_NOERROR;
}
