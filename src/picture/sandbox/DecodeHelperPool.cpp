#include "picture/sandbox/DecodeHelperPool.h"

#include "picture/PictureDecoder.h"
#include "picture/sandbox/HelperProcess.h"
#include "picture/sandbox/SanitizerBuild.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::atomic<DecodeHelperPool*> installedPool{nullptr};

// The bound holds for files up to this size, the pictures a camera or a
// phone writes; a larger file (a scanned page, an uncompressed TIFF) gets
// the bound again for each such part of it, so that a big picture that is
// merely slow to read is not taken for a hung decoder.
constexpr qint64 boundedBytes = qint64(10) << 20;

// A picture opened as the in-process decode opens it: only a plain file,
// and never waiting on a FIFO put in its place after the check.
int openPicture(const QString& path) {
    if (!QFileInfo(path).isFile())
        return -1;
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}
} // namespace

DecodeHelperPool::Options::Options()
    : memoryBudget(PictureDecoder::defaultMemoryBudget)
    // Decodes take several times longer under the sanitizers.
    , boundMs(sanitizedBuild ? 10000 : 2000) {}

DecodeHelperPool::DecodeHelperPool(const Options& options)
    : options_(options)
    , launcher_([this] { launch(); }) {}

DecodeHelperPool::~DecodeHelperPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    launcher_.join();
    // Killed and reaped, each by its destructor.
    idle_.clear();
}

QString DecodeHelperPool::besideProgram() {
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString folder = QFileInfo(program).absolutePath();
    const QString beside = folder + QStringLiteral("/kavelo-decode");
    if (QFileInfo::exists(beside))
        return beside;
    return folder + QStringLiteral("/../lib/kavelo/kavelo-decode");
}

void DecodeHelperPool::install(DecodeHelperPool* pool) {
    installedPool = pool;
}

DecodeHelperPool* DecodeHelperPool::installed() {
    return installedPool;
}

// The pool's own thread.
void DecodeHelperPool::launch() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !starts_.empty(); });
        if (stopping_) {
            // None waits by then (the pool outlives its callers); were one
            // to, it would get its helper and the next call hears no.
            auto left = std::move(starts_);
            starts_.clear();
            lock.unlock();
            for (auto& start : left)
                start();
            return;
        }
        auto start = std::move(starts_.front());
        starts_.pop_front();
        lock.unlock();
        start();
        lock.lock();
    }
}

std::unique_ptr<HelperProcess> DecodeHelperPool::acquireHelper(QString& error) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (broken_ || stopping_) {
            error = QStringLiteral("no decode helper");
            return nullptr;
        }
        if (!idle_.empty()) {
            std::unique_ptr<HelperProcess> helper = std::move(idle_.back());
            idle_.pop_back();
            return helper;
        }
        // One started ahead is nearer than one started now, behind it.
        if (running_ < options_.size && startingAhead_ == 0)
            break;
        changed_.wait(lock);
    }
    ++running_;
    auto reason = std::make_shared<QString>();
    std::packaged_task<std::unique_ptr<HelperProcess>()> start([this, reason] {
        return HelperProcess::start(options_.executable, options_.displayProfile,
                                    options_.memoryBudget, options_.startMs, *reason);
    });
    std::future<std::unique_ptr<HelperProcess>> started = start.get_future();
    starts_.push_back(std::move(start));
    changed_.notify_all();
    lock.unlock();
    std::unique_ptr<HelperProcess> helper = started.get();
    lock.lock();
    if (!helper) {
        --running_;
        markBroken(*reason);
        changed_.notify_all();
        error = *reason;
        return nullptr;
    }
    pids_.append(helper->pid());
    started_.append(helper->pid());
    return helper;
}

void DecodeHelperPool::markBroken(const QString& reason) {
    if (broken_ || stopping_)
        return;
    broken_ = true;
    std::fprintf(stderr, "kavelo: pictures are decoded without a sandbox: %s\n",
                 qPrintable(reason));
}

void DecodeHelperPool::startAhead(int count) {
    {
        const std::lock_guard lock(mutex_);
        for (; count > 0 && running_ < options_.size && !broken_ && !stopping_; --count) {
            ++running_;
            ++startingAhead_;
            starts_.emplace_back([this] {
                {
                    // Not worth starting for a program on its way out.
                    const std::lock_guard lock(mutex_);
                    if (stopping_) {
                        --running_;
                        --startingAhead_;
                        return std::unique_ptr<HelperProcess>();
                    }
                }
                QString reason;
                std::unique_ptr<HelperProcess> helper =
                    HelperProcess::start(options_.executable, options_.displayProfile,
                                         options_.memoryBudget, options_.startMs, reason);
                {
                    const std::lock_guard lock(mutex_);
                    --startingAhead_;
                    if (helper) {
                        pids_.append(helper->pid());
                        started_.append(helper->pid());
                        idle_.push_back(std::move(helper));
                    } else {
                        --running_;
                        markBroken(reason);
                    }
                }
                changed_.notify_all();
                return std::unique_ptr<HelperProcess>();
            });
        }
    }
    changed_.notify_all();
}

void DecodeHelperPool::giveBack(std::unique_ptr<HelperProcess> helper) {
    {
        const std::lock_guard lock(mutex_);
        if (helper) {
            idle_.push_back(std::move(helper));
        } else {
            --running_;
        }
    }
    changed_.notify_all();
}

DecodeHelperPool::Result DecodeHelperPool::decode(const QString& path, QSize bound, qint64 limit,
                                                  const std::function<QSize(QSize)>& drawSize,
                                                  DecodeBudget* shared,
                                                  const std::atomic_bool* cancelled) {
    Result result;
    std::unique_ptr<HelperProcess> helper = acquireHelper(result.reason);
    if (!helper) {
        result.outcome = Outcome::Unavailable;
        return result;
    }
    const int fd = openPicture(path);
    if (fd < 0) {
        giveBack(std::move(helper));
        result.reason = QStringLiteral("not a file");
        return result;
    }
    HelperProcess::Request request;
    request.bound = bound;
    request.limit = limit;
    request.drawSize = drawSize;
    request.shared = shared;
    request.cancelled = cancelled;
    struct stat status;
    const qint64 parts =
        ::fstat(fd, &status) == 0 ? (qint64(status.st_size) + boundedBytes - 1) / boundedBytes : 1;
    request.boundMs = int(std::clamp<qint64>(parts, 1, 100) * options_.boundMs);
    const pid_t pid = helper->pid();
    const HelperProcess::Outcome outcome =
        helper->decode(fd, request, result.picture, result.reason);
    ::close(fd);
    switch (outcome) {
    case HelperProcess::Outcome::Decoded:
        result.outcome = Outcome::Decoded;
        break;
    case HelperProcess::Outcome::Failed:
        result.outcome = Outcome::Failed;
        break;
    case HelperProcess::Outcome::Ended:
        result.outcome = Outcome::HelperEnded;
        {
            const std::lock_guard lock(mutex_);
            pids_.removeOne(pid);
        }
        // Gone already; its slot goes to the next one started.
        helper.reset();
        if (!(cancelled && cancelled->load()))
            std::fprintf(stderr, "kavelo: decode helper ended on %s: %s\n",
                         qPrintable(QFileInfo(path).fileName()), qPrintable(result.reason));
        break;
    }
    giveBack(std::move(helper));
    return result;
}

QList<pid_t> DecodeHelperPool::helperPids() const {
    const std::lock_guard lock(mutex_);
    return pids_;
}

QList<pid_t> DecodeHelperPool::startedPids() const {
    const std::lock_guard lock(mutex_);
    return started_;
}

bool DecodeHelperPool::unavailable() const {
    const std::lock_guard lock(mutex_);
    return broken_;
}
