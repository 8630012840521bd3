#pragma once

#include "picture/DecodedPicture.h"
#include "picture/PictureCache.h"
#include "picture/decode/DecodeBudget.h"
#include "picture/raster/LargeImage.h"

#include <QHash>
#include <QObject>
#include <QSize>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// How a picture will be drawn: decoded no larger than bound, then scaled to
// drawSize(fullSize) when that is smaller, so the step only swaps a
// picture. drawSize runs on a worker thread: it must be a plain function of
// its argument and of values it holds by copy.
struct PictureTarget {
    QSize bound;
    std::function<QSize(QSize fullSize)> drawSize;
};

// Decodes pictures ahead of the show on its own worker threads and hands
// them to the step. Lives on the event thread, which alone calls it and
// owns the cache and the job table; a worker owns its decode and touches
// only its job's shared state (under the job's lock), the cancel flag and
// the shared budget. Results come back by queued call; the destructor
// cancels every job and waits for the running ones.
class PictureLoader : public QObject {
    Q_OBJECT
public:
    explicit PictureLoader(QSize bound, QObject* parent = nullptr);
    ~PictureLoader() override;

    // The pictures the next steps are likely to show. Queued jobs for other
    // paths are dropped, decodes under way finish into the cache; paths
    // neither cached nor in work are queued.
    void want(const QStringList& paths, const PictureTarget& target);
    // The picture for the step: from the cache when the file is unchanged,
    // or else from its job (made if there is none), moved to the front of
    // the queue and waited for; decoded here only when the file changed
    // while the job decoded it. Nothing when the file cannot be decoded.
    std::optional<DecodedPicture> take(const QString& path, const PictureTarget& target);
    // Whether the last take waited for its picture's decode: steps coming
    // faster than the pictures are decoded.
    bool lastTakeWaited() const { return waited_; }
    // The cached picture for path when the file is unchanged, as is, never
    // waited for nor decoded: for swapping in a picture decoded again.
    std::optional<DecodedPicture> takePrepared(const QString& path) {
        return cache_.find(path, fileIdentity(path));
    }
    // Drops path's cached copy, made for a window size that is gone.
    void dropPrepared(const QString& path) { cache_.drop(path); }
    // Cancels every job and waits for the running ones; empties the cache.
    void stop();
    // Empties the cache, whose copies were fitted for a window size that is
    // gone; jobs still at work fit theirs to the target as it is when done.
    void dropPrepared() { cache_.clear(); }

    const PictureCache& cache() const { return cache_; }
    int pendingJobs() const { return static_cast<int>(jobs_.size()); }
    int runningThreads() const { return pool_.activeThreadCount(); }
    // A decode on this thread or a worker, as is: for comparing both paths.
    // shared and cancelled as for DecodeContext. In the installed decode
    // helpers when there are (DecodeHelperPool), else in this process.
    static std::optional<DecodedPicture> decodeNow(const QString& path, const PictureTarget& target,
                                                   DecodeBudget* shared = nullptr,
                                                   const std::atomic_bool* cancelled = nullptr);

Q_SIGNALS:
    // A job's result reached the event thread (ok: it decoded).
    void prefetched(const QString& path, bool ok);
    // Emitted by a worker, received queued: results are waiting.
    void jobsFinished();

private:
    struct Job;
    // A new job for path, queued behind the others, with a worker started
    // for it.
    std::shared_ptr<Job> enqueue(const QString& path, const PictureTarget& target);
    void runNext();
    void run(const std::shared_ptr<Job>& job);
    void deliverFinished();
    void deliver(const std::shared_ptr<Job>& job);

    // The pictures the cache lets go lend their pages to the next decodes;
    // destroyed last, after the cache, it gives back any left over. The
    // timer gives them back once the loader has been idle a while.
    LargeImageRecycling recycling_;
    QTimer idle_;
    QThreadPool pool_;
    // One decode's budget for all decodes together, the step's own
    // included, so decoding ahead never multiplies the peak.
    DecodeBudget budget_;
    PictureCache cache_;
    QHash<QString, std::shared_ptr<Job>> jobs_;
    bool waited_ = false;
    // Jobs cross between the threads only through these two queues, under
    // their lock, so the hand-over is one the thread checkers can see (the
    // pool's own queue uses locks they cannot).
    std::mutex handOver_;
    std::deque<std::shared_ptr<Job>> queued_;
    std::deque<std::shared_ptr<Job>> finished_;
};
