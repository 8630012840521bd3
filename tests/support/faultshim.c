// Preloaded into a child process (LD_PRELOAD) to make the disk misbehave
// without root: the calls a save goes through fail as they do on a full or
// broken disk. Only calls on files inside one folder are touched, so the
// process's own libraries, sockets and settings keep working.
//
//   KAVELO_FAULT_DIR    the folder whose files are hit (required)
//   KAVELO_FAULT        what goes wrong:
//     short:N   after N bytes, writes take nothing and report 0 bytes; the
//               write that crosses N takes only what fits
//     enospc:N  after N bytes, writes fail with ENOSPC (disk full)
//     eio:N     after N bytes, writes fail with EIO (failing medium)
//     fsync     fsync and fdatasync fail with EIO (a lost write on a
//               network or some local file systems)
//     rename    renaming into the folder fails with EIO
//     link      linking into the folder fails with EIO (how a temporary
//               file opened without a name is given one)
//
// Qt 6.4's file engine calls write, fdatasync, rename, renameat2, link and
// linkat through the dynamic symbol table (see `nm -D libQt6Core.so.6`), so
// interposing those names reaches it; the program's own fsync goes the
// same way. writev, pwrite and renameat are covered as well in case a
// newer Qt takes them. glibc's internal aliases (__write and the like) are
// not reachable from outside libc, and nothing that saves calls them.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

enum Mode { NONE, SHORT, ENOSPC_, EIO_, FSYNC, RENAME, LINK };

static enum Mode mode = NONE;
static long long limit = 0;
static long long written = 0;
static char folder[4096];
static size_t folderLength = 0;

static void configure(void) {
    static int done = 0;
    if (done)
        return;
    done = 1;
    const char* dir = getenv("KAVELO_FAULT_DIR");
    const char* what = getenv("KAVELO_FAULT");
    if (!dir || !what || !realpath(dir, folder))
        return;
    folderLength = strlen(folder);
    const char* colon = strchr(what, ':');
    limit = colon ? atoll(colon + 1) : 0;
    const size_t nameLength = colon ? (size_t)(colon - what) : strlen(what);
    if (strncmp(what, "short", nameLength) == 0)
        mode = SHORT;
    else if (strncmp(what, "enospc", nameLength) == 0)
        mode = ENOSPC_;
    else if (strncmp(what, "eio", nameLength) == 0)
        mode = EIO_;
    else if (strncmp(what, "fsync", nameLength) == 0)
        mode = FSYNC;
    else if (strncmp(what, "rename", nameLength) == 0)
        mode = RENAME;
    else if (strncmp(what, "link", nameLength) == 0)
        mode = LINK;
}

static int insideFolder(const char* path) {
    return folderLength > 0 && strncmp(path, folder, folderLength) == 0 &&
           path[folderLength] == '/';
}

// A file opened with O_TMPFILE reads back as "<folder>/#123 (deleted)",
// which still counts as inside.
static int fdInsideFolder(int fd) {
    char link[64];
    char target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length <= 0)
        return 0;
    target[length] = '\0';
    return insideFolder(target);
}

// A relative path names a file of the current folder (AT_FDCWD) or of the
// folder dirfd refers to.
static int pathInsideFolder(int dirfd, const char* path) {
    char resolved[8192];
    if (path[0] == '/') {
        snprintf(resolved, sizeof resolved, "%s", path);
    } else {
        char base[4096];
        if (dirfd == AT_FDCWD) {
            if (!getcwd(base, sizeof base))
                return 0;
        } else {
            char link[64];
            snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
            const ssize_t length = readlink(link, base, sizeof base - 1);
            if (length <= 0)
                return 0;
            base[length] = '\0';
        }
        snprintf(resolved, sizeof resolved, "%s/%s", base, path);
    }
    return insideFolder(resolved);
}

// Whether a write on fd counts against the limit.
static int writeIsHit(int fd) {
    configure();
    return (mode == SHORT || mode == ENOSPC_ || mode == EIO_) && fdInsideFolder(fd);
}

// How many of count bytes a write that is hit may take: count, fewer, or -1
// with errno.
static ssize_t allowance(size_t count) {
    const long long room = limit > written ? limit - written : 0;
    if (room >= (long long)count)
        return (ssize_t)count;
    if (room > 0 || mode == SHORT)
        return (ssize_t)room;
    errno = mode == ENOSPC_ ? ENOSPC : EIO;
    return -1;
}

#define NEXT(name, type) ((type)dlsym(RTLD_NEXT, name))

ssize_t write(int fd, const void* data, size_t count) {
    ssize_t (*next)(int, const void*, size_t) = NEXT("write", ssize_t(*)(int, const void*, size_t));
    if (!writeIsHit(fd))
        return next(fd, data, count);
    const ssize_t allowed = allowance(count);
    if (allowed <= 0)
        return allowed;
    const ssize_t done = next(fd, data, (size_t)allowed);
    if (done > 0)
        written += done;
    return done;
}

ssize_t pwrite(int fd, const void* data, size_t count, off_t offset) {
    ssize_t (*next)(int, const void*, size_t, off_t) =
        NEXT("pwrite", ssize_t(*)(int, const void*, size_t, off_t));
    if (!writeIsHit(fd))
        return next(fd, data, count, offset);
    const ssize_t allowed = allowance(count);
    if (allowed <= 0)
        return allowed;
    const ssize_t done = next(fd, data, (size_t)allowed, offset);
    if (done > 0)
        written += done;
    return done;
}

ssize_t pwrite64(int fd, const void* data, size_t count, off_t offset) {
    return pwrite(fd, data, count, offset);
}

// Cut to what the allowance leaves, then written through write above.
ssize_t writev(int fd, const struct iovec* parts, int partCount) {
    if (!writeIsHit(fd))
        return NEXT("writev", ssize_t(*)(int, const struct iovec*, int))(fd, parts, partCount);
    ssize_t total = 0;
    for (int i = 0; i < partCount; ++i) {
        const ssize_t done = write(fd, parts[i].iov_base, parts[i].iov_len);
        if (done < 0)
            return total > 0 ? total : -1;
        total += done;
        if ((size_t)done < parts[i].iov_len)
            break;
    }
    return total;
}

static int syncFails(int fd) {
    configure();
    if (mode == FSYNC && fdInsideFolder(fd)) {
        errno = EIO;
        return 1;
    }
    return 0;
}

int fsync(int fd) {
    return syncFails(fd) ? -1 : NEXT("fsync", int (*)(int))(fd);
}

int fdatasync(int fd) {
    return syncFails(fd) ? -1 : NEXT("fdatasync", int (*)(int))(fd);
}

static int targetFails(enum Mode failing, int dirfd, const char* target) {
    configure();
    if (mode == failing && pathInsideFolder(dirfd, target)) {
        errno = EIO;
        return 1;
    }
    return 0;
}

int rename(const char* from, const char* to) {
    return targetFails(RENAME, AT_FDCWD, to)
               ? -1
               : NEXT("rename", int (*)(const char*, const char*))(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    return targetFails(RENAME, toDir, to)
               ? -1
               : NEXT("renameat", int (*)(int, const char*, int, const char*))(fromDir, from, toDir,
                                                                               to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    return targetFails(RENAME, toDir, to)
               ? -1
               : NEXT("renameat2", int (*)(int, const char*, int, const char*, unsigned))(
                     fromDir, from, toDir, to, flags);
}

int link(const char* from, const char* to) {
    return targetFails(LINK, AT_FDCWD, to)
               ? -1
               : NEXT("link", int (*)(const char*, const char*))(from, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    return targetFails(LINK, toDir, to)
               ? -1
               : NEXT("linkat", int (*)(int, const char*, int, const char*, int))(fromDir, from,
                                                                                  toDir, to, flags);
}
