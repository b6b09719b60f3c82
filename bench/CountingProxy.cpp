#include "CountingProxy.h"

#include <QtGlobal>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace bench {

namespace {
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
} // namespace

CountingProxy::CountingProxy(int targetPort)
    : m_targetPort(targetPort) {
    m_listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) ||
        listen(m_listener, 8) || pipe(m_wake))
        qFatal("counting proxy: can't listen");
    socklen_t size = sizeof address;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
    m_port = ntohs(address.sin_port);
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
    struct Pair {
        int client;
        int server;
        bool clientSpokeLast = false;
    };
    std::vector<Pair> pairs;
    char buffer[65536];
    for (;;) {
        std::vector<pollfd> watched{{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const Pair& pair : pairs) {
            watched.push_back({pair.client, POLLIN, 0});
            watched.push_back({pair.server, POLLIN, 0});
        }
        if (poll(watched.data(), watched.size(), -1) < 0)
            continue;
        if (watched[0].revents)
            break;
        if (watched[1].revents & POLLIN) {
            const int client = accept(m_listener, nullptr, nullptr);
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in target = loopback(m_targetPort);
            if (connect(server, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
                noDelay(client);
                noDelay(server);
                pairs.push_back({client, server});
            } else {
                close(client);
                close(server);
            }
        }
        std::vector<Pair> open;
        for (size_t i = 0; i < pairs.size(); ++i) {
            Pair pair = pairs[i];
            bool closed = false;
            for (const bool fromClient : {true, false}) {
                if (!(watched[2 + 2 * i + (fromClient ? 0 : 1)].revents & (POLLIN | POLLHUP)))
                    continue;
                const int from = fromClient ? pair.client : pair.server;
                const int to = fromClient ? pair.server : pair.client;
                const ssize_t n = read(from, buffer, sizeof buffer);
                if (n <= 0 || write(to, buffer, static_cast<size_t>(n)) != n) {
                    closed = true;
                    break;
                }
                if (fromClient && !pair.clientSpokeLast)
                    ++m_roundTrips;
                pair.clientSpokeLast = fromClient;
            }
            if (closed) {
                close(pair.client);
                close(pair.server);
            } else {
                open.push_back(pair);
            }
        }
        pairs = std::move(open);
    }
    for (const Pair& pair : pairs) {
        close(pair.client);
        close(pair.server);
    }
}

} // namespace bench
