#pragma once

#include <atomic>
#include <chrono>
#include <thread>

// A loopback TCP relay in front of a database server that counts round trips: each time the
// client speaks again after the server has answered is one more. It can hold back what it
// relays by a fixed time in each direction, as a network between shop and server would: each
// piece is delivered its delay after it arrived, in order, without waiting for the pieces
// before it to be delivered first, so the delay is paid once per message, not per byte.
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
    // Applies to what arrives from now on.
    void setDelay(std::chrono::nanoseconds eachWay) { m_delay = eachWay.count(); }

private:
    void relay();

    int m_targetPort;
    int m_listener = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::atomic<long> m_roundTrips{0};
    std::atomic<long long> m_delay{0};
    std::thread m_thread;
};

// The median time of `pings` 1-byte exchanges with an echo server through a relay that
// delays each direction by `eachWay`: what a round trip costs at that setting, on this machine.
std::chrono::nanoseconds pingPong(std::chrono::nanoseconds eachWay, int pings);

} // namespace bench
