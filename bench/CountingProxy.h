#pragma once

#include <atomic>
#include <thread>

// A loopback TCP relay in front of a database server that counts round trips: each time the
// client speaks again after the server has answered is one more.
namespace bench {

class CountingProxy {
public:
    explicit CountingProxy(int targetPort);
    ~CountingProxy();
    CountingProxy(const CountingProxy&) = delete;
    CountingProxy& operator=(const CountingProxy&) = delete;

    int port() const { return m_port; }
    long roundTrips() const { return m_roundTrips.load(); }
    void resetCount() { m_roundTrips = 0; }

private:
    void relay();

    int m_targetPort;
    int m_listener = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::atomic<long> m_roundTrips{0};
    std::thread m_thread;
};

} // namespace bench
