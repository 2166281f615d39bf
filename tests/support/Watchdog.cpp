#include "Watchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

Watchdog::Watchdog(std::string what, int seconds)
{
    guard = std::thread([this, what, seconds] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!condition.wait_for(lock, std::chrono::seconds(seconds), [this] { return disarmed; })) {
            std::fprintf(stderr, "watchdog: %s did not finish within %d s\n", what.c_str(), seconds);
            std::fflush(stderr);
            std::abort();
        }
    });
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        disarmed = true;
    }
    condition.notify_all();
    guard.join();
}
