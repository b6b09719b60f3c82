#include "StatementWatchdog.h"

namespace db {

StatementWatchdog::StatementWatchdog(std::function<void()> cancel, std::chrono::milliseconds limit)
    : m_cancel(std::move(cancel))
    , m_limit(limit)
    , m_thread(&StatementWatchdog::watch, this) {}

StatementWatchdog::~StatementWatchdog() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void StatementWatchdog::arm() {
    {
        const std::lock_guard lock(m_mutex);
        m_deadline = std::chrono::steady_clock::now() + m_limit;
        m_armed = true;
        m_fired = false;
    }
    m_wake.notify_one();
}

bool StatementWatchdog::disarm() {
    // Waits for a cancel under way, so that none reaches the connection's next statement.
    const std::lock_guard lock(m_mutex);
    m_armed = false;
    return m_fired;
}

void StatementWatchdog::watch() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_armed || m_fired) {
            m_wake.wait(lock);
        } else if (std::chrono::steady_clock::now() < m_deadline) {
            m_wake.wait_until(lock, m_deadline);
        } else {
            m_fired = true;
            m_cancel();
        }
    }
}

} // namespace db
