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

// Wakes the watcher only when it waits for no deadline at all: one already waiting for an
// earlier deadline finds the later one when it wakes. Waking it for every statement cost two
// thread switches a statement.
void StatementWatchdog::arm() {
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        m_deadline = std::chrono::steady_clock::now() + m_limit;
        m_armed = true;
        m_fired = false;
        wake = m_idle;
    }
    if (wake)
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
            m_idle = true;
            m_wake.wait(lock);
            m_idle = false;
        } else if (std::chrono::steady_clock::now() < m_deadline) {
            m_wake.wait_until(lock, m_deadline);
        } else {
            m_fired = true;
            m_cancel();
        }
    }
}

} // namespace db
