// kavelo-decode: the sandboxed process the program decodes its pictures in
// (picture/sandbox/HelperServer.h). Started by the program only, with its
// socket at descriptor 3; it dies with the program.
#include "picture/sandbox/HelperServer.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

#ifdef KAVELO_HELPER_TEST_FAULTS
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>

namespace {
// The test build's faults, chosen by KAVELO_HELPER_FAULT: crash on the
// next picture (crash) or the next BMP (crash-bmp), or try to leave the
// sandbox one way and report how far it got; or lie about where a
// picture's rows are (elsewhere, rowsAt).
std::optional<QByteArray> fault(int picture) {
    const QByteArray mode = qgetenv("KAVELO_HELPER_FAULT");
    char magic[2] = {};
    if (mode == "crash" || (mode == "crash-bmp" && ::pread(picture, magic, 2, 0) == 2 &&
                            magic[0] == 'B' && magic[1] == 'M'))
        *static_cast<volatile int*>(nullptr) = 1;
    if (mode == "open") {
        const int fd = ::open("/etc/passwd", O_RDONLY);
        return fd >= 0 ? QByteArray("escaped: open") : "refused: open " + QByteArray::number(errno);
    }
    if (mode == "exec") {
        char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
        ::execve("/bin/true", argv, nullptr);
        return "refused: exec " + QByteArray::number(errno);
    }
    if (mode == "connect") {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return "refused: socket " + QByteArray::number(errno);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(80);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int done = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        return done == 0 || errno == ECONNREFUSED ? QByteArray("escaped: connect")
                                                  : "refused: connect " + QByteArray::number(errno);
    }
    return std::nullopt;
}

// Rows said to lie where nothing is mapped (elsewhere): the program must
// find nothing there and ask for them in a memfd.
quintptr rowsAt(quintptr rows) {
    return qgetenv("KAVELO_HELPER_FAULT") == "elsewhere" ? quintptr(4096) : rows;
}
} // namespace
#endif

int main(int argc, char* argv[]) {
    // Dies with the thread of the program that started it, and not at all
    // if that one is gone already.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc != 3 || std::strcmp(argv[1], "--parent") != 0 ||
        ::getppid() != static_cast<pid_t>(std::atol(argv[2])))
        return 2;
    HelperHooks hooks;
#ifdef KAVELO_HELPER_TEST_FAULTS
    hooks.beforeDecode = fault;
    hooks.rowsAt = rowsAt;
#endif
    return runDecodeHelper(3, hooks);
}
