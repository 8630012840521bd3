#include "picture/sandbox/HelperProcess.h"

#include "picture/decode/DecodeBudget.h"
#include "picture/raster/LargeImage.h"
#include "picture/sandbox/HelperMessage.h"
#include "picture/sandbox/HelperSocket.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {
using Kind = HelperMessage::Kind;
// The helper finds its socket here.
constexpr int helperSocketFd = 3;
// MADV_POPULATE_WRITE, which glibc's headers of Debian 12 do not name.
constexpr int populateWrite = 23;

// The program's environment, with glibc told to ask for large pages for
// the blocks its allocator maps: the helper maps its large decode buffers
// afresh for each picture (HelperServer), and a large page costs one fault
// where small ones cost hundreds.
std::vector<QByteArray> helperEnvironment() {
    const QByteArray largePages = QByteArrayLiteral("glibc.malloc.hugetlb=1");
    std::vector<QByteArray> variables;
    bool tuned = false;
    for (char** variable = environ; *variable; ++variable) {
        QByteArray entry(*variable);
        if (entry.startsWith("GLIBC_TUNABLES=")) {
            // Whatever the user tuned stays; a later setting wins.
            entry += (entry.size() > 15 ? ":" : "") + largePages;
            tuned = true;
        }
        variables.push_back(entry);
    }
    if (!tuned)
        variables.push_back("GLIBC_TUNABLES=" + largePages);
    return variables;
}

int profileMemfd(const QByteArray& profile) {
    const int fd = ::memfd_create("kavelo-profile", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::write(fd, profile.constData(), profile.size()) != profile.size()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool readAll(int fd, char* into, qint64 size, qint64 offset) {
    while (size > 0) {
        const ssize_t got = ::pread(fd, into, size_t(std::min<qint64>(size, 1 << 30)), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        into += got;
        offset += got;
        size -= got;
    }
    return true;
}

// A picture of the message's size and format in the program's own memory:
// large pages like a picture decoded in process, so that its paints read as
// fast. (Mapped from a memfd, each of its small pages took its first touch
// in the event thread's first paint, 14 ms for a 4K picture.) Nothing when
// the message describes what the limit refuses.
std::optional<DecodedPicture> pictureFor(const HelperMessage& message, qint64 limit) {
    if (message.pixelBytes() + message.bytes > limit)
        return std::nullopt;
    DecodedPicture picture;
    // Every byte is copied in before the picture is used; one that is not
    // whole is dropped.
    picture.image = largeImage(QSize(message.width, message.height), QImage::Format(message.format),
                               LargeImageUse::Overwritten);
    if (picture.image.isNull() || picture.image.bytesPerLine() != message.bytesPerLine)
        return std::nullopt;
    // Faulted in whole by one call rather than a page at a time as the
    // pixels are copied in; advice only, where the system has it.
    ::madvise(picture.image.bits(), size_t(picture.image.sizeInBytes()), populateWrite);
    picture.iccProfile = QByteArray(message.bytes, Qt::Uninitialized);
    picture.fullSize = QSize(message.fullWidth, message.fullHeight);
    return picture;
}

// Whether memfd holds exactly size bytes; it needs no seals, as it is read
// once and never mapped.
bool holdsExactly(int memfd, qint64 size) {
    struct stat status;
    return ::fstat(memfd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size == size;
}

// The picture whose rows and then profile memfd holds.
std::optional<DecodedPicture> readPicture(int memfd, const HelperMessage& message, qint64 limit) {
    std::optional<DecodedPicture> picture = pictureFor(message, limit);
    if (!picture || !holdsExactly(memfd, message.pixelBytes() + message.bytes) ||
        !readAll(memfd, reinterpret_cast<char*>(picture->image.bits()), message.pixelBytes(), 0) ||
        !readAll(memfd, picture->iccProfile.data(), message.bytes, message.pixelBytes()))
        return std::nullopt;
    return picture;
}

// The picture whose rows lie in the helper pid at the message's address,
// copied straight out of its memory, and whose profile profileMemfd holds.
// Nothing when they cannot be read so (a system that lets no process read
// another's memory); an address that is not the helper's fails the same
// way and costs the program nothing.
std::optional<DecodedPicture> copyPicture(pid_t pid, const HelperMessage& message, int profileMemfd,
                                          qint64 limit) {
    std::optional<DecodedPicture> picture = pictureFor(message, limit);
    if (!picture || (message.bytes > 0) != (profileMemfd >= 0) ||
        (profileMemfd >= 0 &&
         (!holdsExactly(profileMemfd, message.bytes) ||
          !readAll(profileMemfd, picture->iccProfile.data(), message.bytes, 0))))
        return std::nullopt;
    char* into = reinterpret_cast<char*>(picture->image.bits());
    qint64 left = message.pixelBytes();
    quint64 from = quint64(message.shared);
    while (left > 0) {
        const iovec local{into, size_t(left)};
        const iovec remote{reinterpret_cast<void*>(quintptr(from)), size_t(left)};
        const ssize_t got = ::process_vm_readv(pid, &local, 1, &remote, 1, 0);
        if (got <= 0)
            return std::nullopt;
        into += got;
        from += quint64(got);
        left -= got;
    }
    return picture;
}
} // namespace

qint64 processorMs(pid_t pid, pid_t thread) {
    QFile stat(thread > 0 ? QStringLiteral("/proc/%1/task/%2/stat").arg(pid).arg(thread)
                          : QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The command name may hold spaces and parentheses: count from its end.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const qint64 ticks = fields.at(11).toLongLong() + fields.at(12).toLongLong();
    return ticks * 1000 / ::sysconf(_SC_CLK_TCK);
}

HelperProcess::HelperProcess(pid_t pid, int socket)
    : pid_(pid)
    , socket_(socket) {}

HelperProcess::~HelperProcess() {
    end();
}

QString HelperProcess::end() {
    if (pid_ <= 0)
        return {};
    ::close(socket_);
    ::kill(pid_, SIGKILL);
    int status = 0;
    pid_t reaped;
    do {
        reaped = ::waitpid(pid_, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    pid_ = -1;
    if (reaped > 0 && WIFSIGNALED(status))
        return QStringLiteral("signal %1").arg(WTERMSIG(status));
    if (reaped > 0 && WIFEXITED(status))
        return QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
    return QStringLiteral("not reaped");
}

std::unique_ptr<HelperProcess> HelperProcess::start(const QString& executable,
                                                    const QByteArray& displayProfile,
                                                    qint64 memoryBudget, int startMs,
                                                    QString& error) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        error = QStringLiteral("no socket pair");
        return nullptr;
    }
    const QByteArray program = QFile::encodeName(executable);
    const QByteArray parent = QByteArray::number(::getpid());
    char* argv[] = {const_cast<char*>(program.constData()), const_cast<char*>("--parent"),
                    const_cast<char*>(parent.constData()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The socket at its known number, and no other descriptor of the
    // program's, close-on-exec or not.
    posix_spawn_file_actions_adddup2(&actions, ends[1], helperSocketFd);
    posix_spawn_file_actions_addclosefrom_np(&actions, helperSocketFd + 1);
    const std::vector<QByteArray> environment = helperEnvironment();
    std::vector<char*> envp;
    for (const QByteArray& variable : environment)
        envp.push_back(const_cast<char*>(variable.constData()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, program.constData(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        error = QStringLiteral("%1: %2").arg(executable, QString::fromLocal8Bit(strerror(spawned)));
        return nullptr;
    }
    std::unique_ptr<HelperProcess> helper(new HelperProcess(pid, ends[0]));
    HelperMessage setup;
    setup.kind = Kind::Setup;
    setup.bytes = memoryBudget;
    setup.shared = displayProfile.size();
    const int profile = displayProfile.isEmpty() ? -1 : profileMemfd(displayProfile);
    const bool sent = HelperSocket::send(helper->socket_, setup.encoded(), profile);
    if (profile >= 0)
        ::close(profile);
    QByteArray packet;
    int fd = -1;
    const HelperSocket::Received got =
        sent ? HelperSocket::receive(helper->socket_, packet, fd, startMs)
             : HelperSocket::Received::Failed;
    if (fd >= 0)
        ::close(fd);
    const std::optional<HelperMessage> ready =
        got == HelperSocket::Received::Packet ? parseHelperMessage(packet) : std::nullopt;
    if (!ready || ready->kind != Kind::Ready) {
        error = ready && ready->kind == Kind::Failed
                    ? QString::fromUtf8(ready->reason)
                    : QStringLiteral("%1 did not start (%2)").arg(executable, helper->end());
        return nullptr;
    }
    helper->namespaced_ = ready->flag;
    return helper;
}

HelperProcess::Outcome HelperProcess::decode(int fd, const Request& request,
                                             std::optional<DecodedPicture>& picture,
                                             QString& reason) {
    picture.reset();
    if (pid_ <= 0) {
        reason = QStringLiteral("helper gone");
        return Outcome::Ended;
    }
    HelperMessage ask;
    ask.kind = Kind::Decode;
    ask.width = request.bound.width();
    ask.height = request.bound.height();
    ask.bytes = request.limit;
    ask.shared = request.shared ? request.shared->total() : 0;
    ask.flag = bool(request.drawSize);
    // What this helper holds of the shared budget, given back however the
    // decode ends.
    qint64 held = 0;
    const auto finish = [&](Outcome outcome, const QString& why) {
        if (held > 0)
            request.shared->release(held);
        if (outcome == Outcome::Ended) {
            const QString how = end();
            reason = how.isEmpty() ? why : QStringLiteral("%1 (%2)").arg(why, how);
        } else {
            reason = why;
        }
        return outcome;
    };
    if (!HelperSocket::send(socket_, ask.encoded(), fd))
        return finish(Outcome::Ended, QStringLiteral("helper not listening"));
    // The bound is on the helper's work, not on the machine's load: once
    // the helper has been at a picture for the bound by the clock, it is
    // ended when its processor time passes the bound too (a decoder
    // running away), or when it made no progress at all for as long (a
    // helper stopped or stuck). The time spent here, answering it or
    // waiting for budget, counts for neither.
    qint64 spentMs = 0;
    const qint64 processorAtStart = processorMs(pid_);
    qint64 lastProcessor = processorAtStart;
    qint64 stalledMs = 0;
    QElapsedTimer clock;
    for (;;) {
        QByteArray packet;
        int received = -1;
        HelperSocket::Received got;
        clock.start();
        qint64 checkedAt = 0;
        // Short waits, so a cancelled decode ends without waiting for it.
        do {
            if (request.cancelled && request.cancelled->load())
                return finish(Outcome::Ended, QStringLiteral("cancelled"));
            const qint64 now = clock.elapsed();
            if (spentMs + now >= request.boundMs && now - checkedAt >= 100) {
                const qint64 processor = processorMs(pid_);
                stalledMs = processor > lastProcessor ? 0 : stalledMs + (now - checkedAt);
                lastProcessor = processor;
                checkedAt = now;
                if (processor < 0 || processor - processorAtStart >= request.boundMs ||
                    stalledMs >= request.boundMs)
                    return finish(
                        Outcome::Ended,
                        QStringLiteral("worked on it longer than %1 ms").arg(request.boundMs));
            }
            got = HelperSocket::receive(socket_, packet, received, 20);
        } while (got == HelperSocket::Received::TimedOut);
        spentMs += clock.elapsed();
        if (got != HelperSocket::Received::Packet)
            return finish(Outcome::Ended, QStringLiteral("helper ended"));
        const std::optional<HelperMessage> message = parseHelperMessage(packet);
        if (received >= 0 && (!message || message->kind != Kind::Picture)) {
            ::close(received);
            return finish(Outcome::Ended, QStringLiteral("unasked descriptor"));
        }
        if (!message)
            return finish(Outcome::Ended, QStringLiteral("malformed message"));
        HelperMessage reply;
        switch (message->kind) {
        case Kind::AskDrawSize: {
            if (!request.drawSize)
                return finish(Outcome::Ended, QStringLiteral("unasked draw size"));
            const QSize drawn = request.drawSize(QSize(message->width, message->height));
            reply.kind = Kind::DrawSize;
            if (drawn.isValid() && drawn.width() <= HelperMessage::maxSide &&
                drawn.height() <= HelperMessage::maxSide) {
                reply.width = drawn.width();
                reply.height = drawn.height();
            }
            break;
        }
        case Kind::Acquire:
            if (!request.shared)
                return finish(Outcome::Ended, QStringLiteral("no shared budget"));
            reply.kind = Kind::Grant;
            reply.flag = request.shared->acquire(message->bytes, request.cancelled);
            if (reply.flag)
                held += message->bytes;
            break;
        case Kind::Release:
            if (!request.shared || message->bytes > held)
                return finish(Outcome::Ended, QStringLiteral("released more than it held"));
            request.shared->release(message->bytes);
            held -= message->bytes;
            continue;
        case Kind::Failed:
            return finish(Outcome::Failed, QString::fromUtf8(message->reason));
        case Kind::Picture:
            if (message->flag) {
                picture = copyPicture(pid_, *message, received, request.limit);
                if (received >= 0)
                    ::close(received);
                reply.kind = Kind::Taken;
                reply.flag = bool(picture);
                if (!HelperSocket::send(socket_, reply.encoded())) {
                    picture.reset();
                    return finish(Outcome::Ended, QStringLiteral("helper ended"));
                }
                if (picture)
                    return finish(Outcome::Decoded, {});
                // Asked for again in a memfd.
                continue;
            }
            if (received < 0)
                return finish(Outcome::Ended, QStringLiteral("picture without pixels"));
            picture = readPicture(received, *message, request.limit);
            ::close(received);
            if (!picture)
                return finish(Outcome::Ended, QStringLiteral("pixels not as described"));
            return finish(Outcome::Decoded, {});
        default:
            return finish(Outcome::Ended, QStringLiteral("message out of turn"));
        }
        if (!HelperSocket::send(socket_, reply.encoded()))
            return finish(Outcome::Ended, QStringLiteral("helper ended"));
    }
}
