#include "TcpRelay.h"

#include <QtGlobal>

// The relay speaks POSIX sockets: a Windows build's server tests do without it.
bool TcpRelay::available() {
    return false;
}
TcpRelay::TcpRelay(const QString&, int)
    : m_serverPort(0) {
    qFatal("TcpRelay: no relay on this platform");
}
TcpRelay::~TcpRelay() = default;
void TcpRelay::cutAtNextRequest(bool, std::chrono::milliseconds) {}
void TcpRelay::delayNextReply(std::chrono::milliseconds) {}
QByteArray TcpRelay::cutRequest() const {
    return {};
}
