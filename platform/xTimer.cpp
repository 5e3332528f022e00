// SPDX-License-Identifier: GPL-3.0-or-later
#include "xTimer.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct TimerThread {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;
};

std::mutex g_timersMutex;
std::map<unsigned, std::unique_ptr<TimerThread>> g_timers;
unsigned g_nextId = 1;

void RunTimer(TimerThread* timer, unsigned id, unsigned delay, LPTIMECALLBACK callback,
              std::uintptr_t user, unsigned mode) {
    const auto period = std::chrono::milliseconds(delay);
    auto deadline = Clock::now() + period;
    for (;;) {
        {
            std::unique_lock lock(timer->mutex);
            if (timer->wake.wait_until(lock, deadline, [timer] { return timer->stop; }))
                return;
        }
        callback(id, 0, user, 0, 0);
        if (mode != TIME_PERIODIC)
            return;
        deadline += period;
        // After a long stall (suspend, debugger) skip the missed ticks instead
        // of firing them back to back.
        const auto now = Clock::now();
        if (deadline + period < now)
            deadline = now + period;
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
    {
        std::lock_guard lock(timer->mutex);
        timer->stop = true;
    }
    timer->wake.notify_all();
    if (timer->thread.joinable())
        timer->thread.join();
    return TIMERR_NOERROR;
}
