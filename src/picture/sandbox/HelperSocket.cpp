#include "picture/sandbox/HelperSocket.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace HelperSocket {

bool send(int socket, const QByteArray& packet, int fd) {
    iovec io{const_cast<char*>(packet.constData()), static_cast<size_t>(packet.size())};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    }
    ssize_t sent;
    do {
        // No SIGPIPE when the other end is gone: the caller sees the failure.
        sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == packet.size();
}

Received receive(int socket, QByteArray& packet, int& fd, int timeoutMs) {
    fd = -1;
    if (timeoutMs >= 0) {
        pollfd wait{socket, POLLIN, 0};
        int ready;
        do {
            ready = ::poll(&wait, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        if (ready < 0)
            return Received::Failed;
        if (ready == 0)
            return Received::TimedOut;
    }
    char buffer[maxPacket];
    iovec io{buffer, sizeof buffer};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    // Room for a few descriptors, so a peer that sends more than one is
    // caught rather than leaving the extra ones open in this process.
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do {
        got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return Received::Failed;
    bool extra = false;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int received;
            std::memcpy(&received, CMSG_DATA(header) + i * sizeof(int), sizeof received);
            if (fd < 0) {
                fd = received;
            } else {
                ::close(received);
                extra = true;
            }
        }
    }
    if (got == 0 && fd < 0)
        return Received::Closed;
    if (extra || (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC))) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        return Received::Failed;
    }
    packet = QByteArray(buffer, got);
    return Received::Packet;
}

} // namespace HelperSocket
