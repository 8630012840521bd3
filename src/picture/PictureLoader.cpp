#include "picture/PictureLoader.h"

#include "picture/PictureDecoder.h"
#include "picture/raster/AreaShrinker.h"
#include "picture/raster/PictureFit.h"
#include "picture/sandbox/DecodeHelperPool.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace {
constexpr int workerThreads = 2;
// Idle this long (no picture wanted, none decoded), the loader gives the
// kept pages back: steps in quick succession reuse them, a show left
// paused holds no more than it shows.
constexpr int idleReleaseMs = 2000;

// Whether a decoded copy can be drawn for target as it is: a picture
// reaches the screen resampled once, by its decode. A copy decoded at
// another size is decoded again rather than scaled a second time (false);
// only one holding the file's own pixels is shrunk here, which is its one
// resampling. A copy smaller than the drawn size is kept when the bound
// allows no larger one.
bool fitToTarget(DecodedPicture& picture, const PictureTarget& target) {
    if (!target.drawSize)
        return true;
    const QSize draw = target.drawSize(picture.fullSize);
    const QSize have = picture.image.size();
    if (draw.isEmpty() || draw == have)
        return true;
    const bool smaller = draw.width() <= have.width() && draw.height() <= have.height();
    if (smaller && have == picture.fullSize) {
        QImage shrunk = AreaShrinker::shrunk(picture.image, draw);
        if (shrunk.isNull())
            return false;
        picture.image = std::move(shrunk);
        return true;
    }
    return !smaller && have == shrinkToFit(picture.fullSize, target.bound);
}

// One decode, in a sandboxed helper where the program has them, here where
// it has none or none could be started.
std::optional<DecodedPicture> decodeOnce(const QString& path, const PictureTarget& target,
                                         DecodeBudget* shared, const std::atomic_bool* cancelled) {
    if (DecodeHelperPool* helpers = DecodeHelperPool::installed()) {
        DecodeHelperPool::Result result =
            helpers->decode(path, target.bound, PictureDecoder::defaultMemoryBudget,
                            target.drawSize, shared, cancelled);
        if (result.outcome != DecodeHelperPool::Outcome::Unavailable)
            return std::move(result.picture);
    }
    PictureDecoder decoder(target.bound, PictureDecoder::defaultMemoryBudget, shared, cancelled);
    decoder.setDrawSize(target.drawSize);
    return decoder.decode(path);
}
} // namespace

// Shared between the event thread and one worker.
struct PictureLoader::Job {
    QString path;
    PictureTarget target;
    std::atomic_bool cancelled{false};
    std::mutex mutex;
    std::condition_variable finished;
    // Guarded by mutex.
    bool started = false;
    bool done = false;
    bool decodeFailed = false;
    FileIdentity identity;
    std::optional<DecodedPicture> result;

    // Worker thread: false when the job was cancelled or taken over by the
    // step before any worker reached it.
    bool start() {
        const std::lock_guard lock(mutex);
        started = !cancelled;
        return started;
    }
};

PictureLoader::PictureLoader(QSize bound, QObject* parent)
    : QObject(parent)
    , budget_(PictureDecoder::defaultMemoryBudget)
    , cache_(PictureCache::capacityFor(bound)) {
    pool_.setMaxThreadCount(workerThreads);
    pool_.setObjectName(QStringLiteral("PictureLoader"));
    connect(this, &PictureLoader::jobsFinished, this, &PictureLoader::deliverFinished,
            Qt::QueuedConnection);
    idle_.setSingleShot(true);
    idle_.setInterval(idleReleaseMs);
    connect(&idle_, &QTimer::timeout, this, [] { releaseSpareLargeImage(); });
}

PictureLoader::~PictureLoader() {
    stop();
}

void PictureLoader::stop() {
    for (const std::shared_ptr<Job>& job : std::as_const(jobs_))
        job->cancelled = true;
    jobs_.clear();
    pool_.waitForDone();
    {
        // Results not yet delivered are stale now.
        const std::lock_guard lock(handOver_);
        finished_.clear();
    }
    cache_.clear();
}

std::optional<DecodedPicture> PictureLoader::decodeNow(const QString& path,
                                                       const PictureTarget& target,
                                                       DecodeBudget* shared,
                                                       const std::atomic_bool* cancelled) {
    std::optional<DecodedPicture> picture = decodeOnce(path, target, shared, cancelled);
    // The window took another size while the picture was decoded (as it
    // does when it opens maximized): decoded once more at the new one.
    if (picture && !fitToTarget(*picture, target)) {
        if (std::optional<DecodedPicture> again = decodeOnce(path, target, shared, cancelled)) {
            fitToTarget(*again, target);
            picture = std::move(again);
        }
    }
    return picture;
}

void PictureLoader::want(const QStringList& paths, const PictureTarget& target) {
    idle_.start();
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (paths.contains(it.key())) {
            ++it;
            continue;
        }
        {
            // A decode already under way is let finish into the cache: keys
            // that turn the show back, still queued behind this step, will
            // want it again, and its work is half done. A queued job sees
            // the flag when it starts and does nothing.
            Job& job = *it.value();
            const std::lock_guard lock(job.mutex);
            if (job.started) {
                ++it;
                continue;
            }
            job.cancelled = true;
        }
        it = jobs_.erase(it);
    }
    for (const QString& path : paths) {
        if (jobs_.contains(path) || cache_.find(path, fileIdentity(path)))
            continue;
        jobs_.insert(path, enqueue(path, target));
    }
}

std::shared_ptr<PictureLoader::Job> PictureLoader::enqueue(const QString& path,
                                                           const PictureTarget& target) {
    auto job = std::make_shared<Job>();
    job->path = path;
    job->target = target;
    {
        const std::lock_guard lock(handOver_);
        queued_.push_back(job);
    }
    // One start for each queued job; the task captures nothing else.
    pool_.start([this] { runNext(); });
    return job;
}

// Worker thread.
void PictureLoader::runNext() {
    std::shared_ptr<Job> job;
    {
        const std::lock_guard lock(handOver_);
        if (queued_.empty())
            return;
        job = std::move(queued_.front());
        queued_.pop_front();
    }
    run(job);
}

// Worker thread.
void PictureLoader::run(const std::shared_ptr<Job>& job) {
    FileIdentity before;
    std::optional<DecodedPicture> picture;
    bool failed = false;
    if (job->start()) {
        before = fileIdentity(job->path);
        // The decoder claims what it holds from the shared budget and stops
        // early once the job is cancelled.
        picture = decodeNow(job->path, job->target, &budget_, &job->cancelled);
        failed = !picture && !job->cancelled;
        // Rewritten while decoded: the result belongs to no version.
        if (fileIdentity(job->path) != before) {
            before = {};
            picture.reset();
            failed = false;
        }
    }
    {
        const std::lock_guard lock(job->mutex);
        job->identity = before;
        job->result = std::move(picture);
        job->decodeFailed = failed;
        job->done = true;
    }
    job->finished.notify_all();
    {
        const std::lock_guard lock(handOver_);
        finished_.push_back(job);
    }
    Q_EMIT jobsFinished();
}

void PictureLoader::deliverFinished() {
    idle_.start();
    std::deque<std::shared_ptr<Job>> done;
    {
        const std::lock_guard lock(handOver_);
        done.swap(finished_);
    }
    for (const std::shared_ptr<Job>& job : done)
        deliver(job);
}

void PictureLoader::deliver(const std::shared_ptr<Job>& job) {
    // Taken by a step, cancelled, or replaced by a newer job: stale.
    if (jobs_.value(job->path) != job)
        return;
    jobs_.remove(job->path);
    const bool ok = job->result.has_value();
    if (ok && !job->cancelled)
        cache_.insert(job->path, job->identity, *job->result);
    Q_EMIT prefetched(job->path, ok);
}

std::optional<DecodedPicture> PictureLoader::take(const QString& path,
                                                  const PictureTarget& target) {
    const FileIdentity now = fileIdentity(path);
    std::optional<DecodedPicture> hit = cache_.find(path, now);
    waited_ = false;
    if (hit && fitToTarget(*hit, target))
        return hit;
    std::shared_ptr<Job> job = jobs_.take(path);
    if (!job)
        job = enqueue(path, target);
    {
        // Still waiting for a worker: it goes first. The step waits for a
        // worker rather than decode beside both, so no more decodes run
        // than there are workers, and no more pictures are held half made.
        const std::lock_guard lock(handOver_);
        const auto queued = std::find(queued_.begin(), queued_.end(), job);
        if (queued != queued_.end()) {
            queued_.erase(queued);
            queued_.push_front(job);
        }
    }
    std::optional<DecodedPicture> result;
    {
        std::unique_lock lock(job->mutex);
        waited_ = !job->done;
        job->finished.wait(lock, [&job] { return job->done; });
        // Moved out of the job, which still waits in the finished queue to
        // be delivered (as stale). In a burst the keys queued ahead of that
        // delivery keep the event thread stepping, and each job left
        // holding its picture would keep a screenful of pixels alive until
        // the burst is over.
        result = std::move(job->result);
        job->result.reset();
    }
    if (now.exists && job->identity == now) {
        if (result) {
            cache_.insert(path, now, *result);
            if (fitToTarget(*result, target))
                return result;
        }
        // That very file failed already: no second decode.
        if (job->decodeFailed)
            return std::nullopt;
    }
    // Rewritten while it was decoded: decoded here, as it is now.
    std::optional<DecodedPicture> picture = decodeNow(path, target, &budget_);
    if (picture && now.exists && fileIdentity(path) == now)
        cache_.insert(path, now, *picture);
    return picture;
}
