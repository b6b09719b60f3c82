#include "TcpRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
bool writeAll(int socket, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t written = ::send(socket, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

sockaddr_in address(const QByteArray& host, int port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, host.constData(), &result.sin_addr);
    return result;
}
} // namespace

bool TcpRelay::available() {
    return true;
}

TcpRelay::TcpRelay(const QString& serverHost, int serverPort)
    : m_serverHost(serverHost.toLatin1())
    , m_serverPort(serverPort) {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local = address("127.0.0.1", 0);
    socklen_t length = sizeof local;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&local), length) != 0 ||
        ::listen(m_listener, 4) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        ::pipe(m_wake) != 0)
        qFatal("relay: no listening socket");
    m_port = ntohs(local.sin_port);
    m_thread = std::thread(&TcpRelay::serve, this);
}

TcpRelay::~TcpRelay() {
    const char stop = 0;
    if (::write(m_wake[1], &stop, 1) != 1)
        qFatal("relay: can't stop");
    m_thread.join();
    for (std::thread& late : m_late)
        late.join();
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    ::close(m_listener);
}

void TcpRelay::cutAtNextRequest(bool passOn, std::chrono::milliseconds lateBy) {
    const std::lock_guard lock(m_mutex);
    m_passOn = passOn;
    m_lateBy = lateBy;
    m_armed = true;
}

void TcpRelay::delayNextReply(std::chrono::milliseconds delay) {
    const std::lock_guard lock(m_mutex);
    m_replyDelay = delay;
}

QByteArray TcpRelay::cutRequest() const {
    const std::lock_guard lock(m_mutex);
    return m_cutRequest;
}

// One thread serves every connection: clients and servers are polled together.
void TcpRelay::serve() {
    struct Link {
        int client;
        int server;
    };
    std::vector<Link> links;
    const auto drop = [&](std::size_t index) {
        ::shutdown(links[index].client, SHUT_RDWR);
        ::shutdown(links[index].server, SHUT_RDWR);
        ::close(links[index].client);
        ::close(links[index].server);
        links.erase(links.begin() + static_cast<std::ptrdiff_t>(index));
    };
    char buffer[65536];
    for (;;) {
        std::vector<pollfd> watched = {{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const Link& link : links) {
            watched.push_back({link.client, POLLIN, 0});
            watched.push_back({link.server, POLLIN, 0});
        }
        if (::poll(watched.data(), watched.size(), -1) < 0)
            continue;
        if (watched[0].revents)
            break;
        if (watched[1].revents & POLLIN) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            const sockaddr_in remote = address(m_serverHost, m_serverPort);
            if (::connect(server, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
                links.push_back({client, server});
            } else {
                ::close(client);
                ::close(server);
            }
            continue;
        }
        for (std::size_t i = links.size(); i-- > 0;) {
            const pollfd& fromClient = watched[2 + 2 * i];
            const pollfd& fromServer = watched[3 + 2 * i];
            if (fromClient.revents) {
                const ssize_t size = ::recv(links[i].client, buffer, sizeof buffer, 0);
                if (size > 0 && m_armed) {
                    const std::lock_guard lock(m_mutex);
                    m_cutRequest = QByteArray(buffer, size);
                    m_armed = false;
                    if (m_passOn && m_lateBy.count() > 0) {
                        // The client sees its connection drop now; the server gets the request
                        // later, and its side closes once it has answered.
                        const int server = links[i].server;
                        ::shutdown(links[i].client, SHUT_RDWR);
                        ::close(links[i].client);
                        links.erase(links.begin() + static_cast<std::ptrdiff_t>(i));
                        m_late.emplace_back([server, request = m_cutRequest, late = m_lateBy] {
                            std::this_thread::sleep_for(late);
                            writeAll(server, request.constData(), request.size());
                            char answer[4096];
                            pollfd readable{server, POLLIN, 0};
                            if (::poll(&readable, 1, 5000) > 0)
                                ::recv(server, answer, sizeof answer, 0);
                            ::close(server);
                        });
                        continue;
                    }
                    if (m_passOn)
                        writeAll(links[i].server, buffer, size);
                    drop(i);
                    continue;
                }
                if (size <= 0 || !writeAll(links[i].server, buffer, size)) {
                    drop(i);
                    continue;
                }
                ++m_requests;
            }
            if (fromServer.revents) {
                const ssize_t size = ::recv(links[i].server, buffer, sizeof buffer, 0);
                std::chrono::milliseconds delay{0};
                {
                    const std::lock_guard lock(m_mutex);
                    std::swap(delay, m_replyDelay);
                }
                // Every link waits with it: the relay serves them all from this thread.
                if (size > 0 && delay.count() > 0)
                    std::this_thread::sleep_for(delay);
                if (size <= 0 || !writeAll(links[i].client, buffer, size))
                    drop(i);
            }
        }
    }
    while (!links.empty())
        drop(0);
}
