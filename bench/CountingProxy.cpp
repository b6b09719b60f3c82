#include "CountingProxy.h"

#include <QtGlobal>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace bench {

namespace {
using Clock = std::chrono::steady_clock;

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void noDelay(int socket) {
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// A listening socket on a free loopback port; returns the port.
int listenOnLoopback(int& listener) {
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) ||
        listen(listener, 8))
        qFatal("relay: can't listen");
    socklen_t size = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

struct Piece {
    Clock::time_point due;
    std::vector<char> bytes;
    size_t sent = 0;
};

// One way of a relayed connection: what was read from `from` waits in `queue` until it is due
// for `to`. Writes never block the relay, so one slow reader holds up nothing else.
struct Direction {
    int from = -1;
    int to = -1;
    std::deque<Piece> queue;
    bool ended = false; // `from` has no more to say
    bool shut = false;  // and `to` has been told so

    bool waitingToWrite(Clock::time_point now) const {
        return !queue.empty() && queue.front().due <= now;
    }

    // Delivers what is due; false when `to` is gone.
    bool deliver(Clock::time_point now) {
        while (waitingToWrite(now)) {
            Piece& piece = queue.front();
            const ssize_t n =
                write(to, piece.bytes.data() + piece.sent, piece.bytes.size() - piece.sent);
            if (n < 0)
                return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            piece.sent += static_cast<size_t>(n);
            if (piece.sent == piece.bytes.size())
                queue.pop_front();
        }
        if (ended && queue.empty() && !shut) {
            shutdown(to, SHUT_WR);
            shut = true;
        }
        return true;
    }
};

struct Pair {
    Direction up;   // client to server
    Direction down; // server to client
    bool clientSpokeLast = false;
    bool broken = false;

    ~Pair() {
        close(up.from);
        close(up.to);
    }
};
} // namespace

CountingProxy::CountingProxy(int targetPort)
    : m_targetPort(targetPort) {
    m_port = listenOnLoopback(m_listener);
    if (pipe(m_wake))
        qFatal("counting proxy: can't make its wake-up pipe");
    m_thread = std::thread([this] { relay(); });
}

CountingProxy::~CountingProxy() {
    const char stop = 0;
    if (write(m_wake[1], &stop, 1) != 1)
        qWarning("counting proxy: can't stop");
    m_thread.join();
    close(m_listener);
    close(m_wake[0]);
    close(m_wake[1]);
}

void CountingProxy::relay() {
    // Sub-millisecond delays need the timer to wake the relay when asked, not up to 50 µs late.
    prctl(PR_SET_TIMERSLACK, 1UL);
    std::vector<std::unique_ptr<Pair>> pairs;
    char buffer[65536];
    for (;;) {
        Clock::time_point now = Clock::now();
        for (auto& pair : pairs)
            pair->broken = pair->broken || !pair->up.deliver(now) || !pair->down.deliver(now);
        std::erase_if(pairs, [](const auto& pair) {
            return pair->broken || (pair->up.shut && pair->down.shut);
        });

        // Past the wake-up pipe and the listener, each watched socket with the way it serves.
        std::vector<pollfd> watched{{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        std::vector<std::pair<Pair*, Direction*>> readers;
        std::optional<Clock::time_point> nextDue;
        for (auto& pair : pairs)
            for (Direction* way : {&pair->up, &pair->down}) {
                if (!way->ended) {
                    watched.push_back({way->from, POLLIN, 0});
                    readers.emplace_back(pair.get(), way);
                }
                if (way->waitingToWrite(now)) {
                    watched.push_back({way->to, POLLOUT, 0});
                    readers.emplace_back(nullptr, nullptr);
                } else if (!way->queue.empty()) {
                    nextDue =
                        std::min(nextDue.value_or(way->queue.front().due), way->queue.front().due);
                }
            }
        timespec timeout{};
        if (nextDue) {
            const long long wait = std::max<long long>(
                0, std::chrono::duration_cast<std::chrono::nanoseconds>(*nextDue - now).count());
            timeout.tv_sec = static_cast<time_t>(wait / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(wait % 1'000'000'000);
        }
        if (ppoll(watched.data(), watched.size(), nextDue ? &timeout : nullptr, nullptr) < 0)
            continue;
        if (watched[0].revents)
            break;
        now = Clock::now();
        const Clock::time_point due = now + std::chrono::nanoseconds(m_delay.load());
        for (size_t i = 0; i < readers.size(); ++i) {
            const auto [pair, way] = readers[i];
            if (!way || !(watched[i + 2].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = read(way->from, buffer, sizeof buffer);
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                pair->broken = true;
            } else if (n == 0) {
                way->ended = true;
            } else if (n > 0) {
                way->queue.push_back({due, std::vector<char>(buffer, buffer + n)});
                const bool fromClient = way == &pair->up;
                if (fromClient && !pair->clientSpokeLast)
                    ++m_roundTrips;
                pair->clientSpokeLast = fromClient;
            }
        }
        if (watched[1].revents & POLLIN) {
            const int client = accept(m_listener, nullptr, nullptr);
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in target = loopback(m_targetPort);
            if (client >= 0 && server >= 0 &&
                connect(server, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
                for (const int end : {client, server}) {
                    noDelay(end);
                    fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
                }
                auto pair = std::make_unique<Pair>();
                pair->up.from = pair->down.to = client;
                pair->up.to = pair->down.from = server;
                pairs.push_back(std::move(pair));
            } else {
                close(client);
                close(server);
            }
        }
    }
}

std::chrono::nanoseconds pingPong(std::chrono::nanoseconds eachWay, int pings) {
    int listener = -1;
    const int echoPort = listenOnLoopback(listener);
    std::thread echo([listener] {
        const int peer = accept(listener, nullptr, nullptr);
        noDelay(peer);
        char byte = 0;
        while (read(peer, &byte, 1) == 1 && write(peer, &byte, 1) == 1) {
        }
        close(peer);
    });
    std::vector<std::chrono::nanoseconds> times;
    {
        CountingProxy proxy(echoPort);
        proxy.setDelay(eachWay);
        const int client = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(proxy.port());
        if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address))
            qFatal("ping-pong: can't reach the relay");
        noDelay(client);
        char byte = 'p';
        for (int i = 0; i < pings; ++i) {
            const Clock::time_point start = Clock::now();
            if (write(client, &byte, 1) != 1 || read(client, &byte, 1) != 1)
                qFatal("ping-pong: the relay dropped the connection");
            times.push_back(Clock::now() - start);
        }
        close(client);
    }
    echo.join();
    close(listener);
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace bench
