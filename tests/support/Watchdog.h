// Turns a hang into a prompt failure: a test that deadlocks cannot report
// anything itself, so the program is ended with a message naming the guard.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
public:
    // Aborts the program if the guard is still alive after the given time.
    Watchdog(std::string what, int seconds);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex;
    std::condition_variable condition;
    bool disarmed = false;
    std::thread guard;
};
