#include "picture/sandbox/Sandbox.h"

#include "picture/sandbox/SanitizerBuild.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// A rule's argument equal to value; libseccomp's SCMP_A0 macros leave the
// comparison's second datum out, which compilers warn of.
scmp_arg_cmp argumentIs(unsigned int argument, scmp_datum_t value) {
    return scmp_arg_cmp{argument, SCMP_CMP_EQ, value, 0};
}

bool writeFile(const char* path, const char* text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const auto length = static_cast<ssize_t>(std::strlen(text));
    const bool ok = ::write(fd, text, length) == length;
    ::close(fd);
    return ok;
}

// A user namespace of its own, in which the helper may mount, with no
// network and a mount table of its own; then a root of nothing.
bool emptyRoot() {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET | CLONE_NEWIPC | CLONE_NEWUTS) != 0)
        return false;
    char map[64];
    std::snprintf(map, sizeof map, "0 %u 1", uid);
    if (!writeFile("/proc/self/setgroups", "deny") || !writeFile("/proc/self/uid_map", map))
        return false;
    std::snprintf(map, sizeof map, "0 %u 1", gid);
    if (!writeFile("/proc/self/gid_map", map))
        return false;
    // Nothing mounted here reaches the program's own mount table.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    const char* over = ::access("/tmp", F_OK) == 0 ? "/tmp" : "/";
    if (::mount("kavelo-decode", over, "tmpfs", MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC,
                "size=4k,mode=0555") != 0)
        return false;
    return ::chdir(over) == 0 && ::chroot(".") == 0 && ::chdir("/") == 0;
}

qint64 addressSpaceNow() {
    // statm's first field: the pages mapped now. No QFile here: Qt's file
    // engine needs nothing more of the system later.
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char text[128] = {};
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got <= 0)
        return -1;
    return qint64(std::strtoll(text, nullptr, 10)) * ::sysconf(_SC_PAGESIZE);
}

bool limitAddressSpace(qint64 now, qint64 memoryBudget) {
    if (now < 0)
        return false;
    // The budget is what a decode's buffers may hold; the libraries' own
    // bookkeeping, stacks and allocator slack come on top.
    const rlim_t limit = static_cast<rlim_t>(now + memoryBudget + (qint64(256) << 20));
    const rlimit value{limit, limit};
    return ::setrlimit(RLIMIT_AS, &value) == 0;
}

bool allow(scmp_filter_ctx filter, int call) {
    return seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0;
}

bool installFilter(int socket) {
    // Anything not named below ends the helper at once: a decoder that
    // reaches for a call it never needed is one being driven by its input.
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!filter)
        return false;
    bool ok = true;
    for (const int call :
         {// Memory.
          SCMP_SYS(brk), SCMP_SYS(mmap), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(mprotect),
          SCMP_SYS(madvise),
          // The picture's descriptor and the memfds of pixels going back.
          SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(readv), SCMP_SYS(write), SCMP_SYS(pwrite64),
          SCMP_SYS(lseek), SCMP_SYS(fstat), SCMP_SYS(close), SCMP_SYS(memfd_create),
          SCMP_SYS(ftruncate), SCMP_SYS(fcntl),
          // Waiting on the socket for a while before handing memory back.
          SCMP_SYS(poll), SCMP_SYS(ppoll),
          // Threads some scaling and the libraries start, and their locks.
          SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(rt_sigprocmask),
          SCMP_SYS(rt_sigreturn), SCMP_SYS(sched_yield), SCMP_SYS(sched_getaffinity),
          SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(exit), SCMP_SYS(exit_group),
          // Time and randomness (hash seeds).
          SCMP_SYS(clock_gettime), SCMP_SYS(clock_nanosleep), SCMP_SYS(nanosleep),
          SCMP_SYS(gettimeofday), SCMP_SYS(getrandom)})
        ok = ok && allow(filter, call);
    // The one socket, and no other.
    ok = ok &&
         seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(recvmsg), 1,
                          argumentIs(0, static_cast<scmp_datum_t>(socket))) == 0 &&
         seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(sendmsg), 1,
                          argumentIs(0, static_cast<scmp_datum_t>(socket))) == 0;
    // The sanitizers' runtime tests whether memory is readable by writing
    // it into a pipe of its own, and gives every thread it starts (HEIF's,
    // AVIF's and JPEG XL's decoders start them) a signal stack.
    if (sanitizedBuild)
        ok = ok && allow(filter, SCMP_SYS(pipe2)) && allow(filter, SCMP_SYS(sigaltstack));
    // Threads only: a clone that makes a process is refused.
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1,
                                SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD)) == 0;
    // clone3's flags are behind a pointer the filter cannot read: say it is
    // not there, and glibc falls back to clone.
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
    // fstat on a descriptor (glibc's is newfstatat with an empty path);
    // with a path it finds nothing in the empty root, but is not needed.
    ok = ok &&
         seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(newfstatat), 1,
                          SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH)) == 0 &&
         seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(statx), 1,
                          SCMP_A2(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH)) == 0;
    // Threads name themselves; nothing else of prctl.
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(prctl), 1,
                                argumentIs(0, PR_SET_NAME)) == 0;
    // Refused rather than fatal: a library's lazy look at a file (a locale,
    // a configuration) then fails as it would on a bare system.
    for (const int call : {SCMP_SYS(open), SCMP_SYS(openat), SCMP_SYS(openat2), SCMP_SYS(access),
                           SCMP_SYS(faccessat), SCMP_SYS(faccessat2), SCMP_SYS(readlink),
                           SCMP_SYS(readlinkat), SCMP_SYS(ioctl)})
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), call, 0) == 0;
    ok = ok && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return ok;
}

} // namespace

namespace Sandbox {

bool enter(int socket, qint64 memoryBudget, Layers& layers, QString& error) {
    layers.noNewPrivileges = ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
    if (!layers.noNewPrivileges) {
        error = QStringLiteral("no_new_privs: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    // Read while /proc is still in view.
    const qint64 mapped = addressSpaceNow();
    layers.namespaces = emptyRoot();
    if (!sanitizedBuild)
        layers.addressLimit = limitAddressSpace(mapped, memoryBudget);
    layers.seccomp = installFilter(socket);
    if (!layers.seccomp) {
        error = QStringLiteral("seccomp filter could not be loaded");
        return false;
    }
    return true;
}

} // namespace Sandbox
