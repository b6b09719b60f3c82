#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

// A relay on 127.0.0.1 between the tool's connection and its server, that a test can cut the way
// a network drops: at the client's next request, passed on to the server or not.
class TcpRelay {
public:
    TcpRelay(const QString& serverHost, int serverPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    // Whether this platform has the relay: a Windows build runs its server tests without the
    // ones that need it, which the Linux build runs.
    static bool available();

    // The port a connection uses to go through the relay.
    int port() const { return m_port; }
    // At the client's next request, pass it on (or not), then close both sides. A request passed
    // on `lateBy` after the client's side is closed reaches the server that much later, as a
    // slow network would deliver it.
    void cutAtNextRequest(bool passOn,
                          std::chrono::milliseconds lateBy = std::chrono::milliseconds(0));
    // The request the relay was cut at.
    QByteArray cutRequest() const;
    // Holds the server's next reply for `delay` before passing it on, as a slow server or
    // network would.
    void delayNextReply(std::chrono::milliseconds delay);
    // Requests the clients have sent so far, each read from a client counted once.
    int requests() const { return m_requests; }

private:
    void serve();

    QByteArray m_serverHost;
    int m_serverPort;
    int m_listener = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_armed = false;
    bool m_passOn = false;
    std::chrono::milliseconds m_lateBy{0};
    // The requests on their way late, each with its server side.
    std::vector<std::thread> m_late;
    mutable std::mutex m_mutex;
    QByteArray m_cutRequest;
    std::chrono::milliseconds m_replyDelay{0};
    std::atomic<int> m_requests = 0;
    std::thread m_thread;
};
