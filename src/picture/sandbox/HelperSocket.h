#pragma once

#include <QByteArray>

// Packets on the SOCK_SEQPACKET socket between the program and a decode
// helper, each with at most one descriptor riding along (SCM_RIGHTS).
// Whoever calls owns the socket; a received descriptor belongs to the caller.
namespace HelperSocket {
// Larger than any message; a longer packet is cut and taken as an error.
constexpr int maxPacket = 1024;

bool send(int socket, const QByteArray& packet, int fd = -1);

enum class Received { Packet, Closed, Failed, TimedOut };
// Waits at most timeoutMs (forever when negative) for the next packet.
// fd is the descriptor that came with it, or -1.
Received receive(int socket, QByteArray& packet, int& fd, int timeoutMs = -1);
} // namespace HelperSocket
