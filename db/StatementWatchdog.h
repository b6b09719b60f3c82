#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace db {

// Cancels a statement that runs past a time limit, from a thread of its own, for servers that
// would otherwise wait without end for rows another transaction holds. The cancel runs on that
// thread, which Qt did not start: it calls the server's client library, never Qt.
class StatementWatchdog {
public:
    StatementWatchdog(std::function<void()> cancel, std::chrono::milliseconds limit);
    ~StatementWatchdog();
    StatementWatchdog(const StatementWatchdog&) = delete;
    StatementWatchdog& operator=(const StatementWatchdog&) = delete;

    // Around one statement: the limit counts from arm(); disarm() tells whether it was cancelled.
    void arm();
    bool disarm();

private:
    void watch();

    std::function<void()> m_cancel;
    std::chrono::milliseconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_armed = false;
    bool m_fired = false;
    bool m_quit = false;
    // The watcher waits for no deadline: an arm() must wake it.
    bool m_idle = false;
    std::thread m_thread;
};

} // namespace db
