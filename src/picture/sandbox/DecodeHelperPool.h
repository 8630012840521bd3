#pragma once

#include "picture/DecodedPicture.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <thread>
#include <vector>

class DecodeBudget;
class HelperProcess;

// The sandboxed processes every picture decode runs in: at most size of
// them (one per loader worker; the explorer's preview, on the event
// thread, decodes while no show runs and takes whichever is free), started
// when first needed or ahead, and used again; one that crashes, is killed, or works on a
// picture past the bound (2 s for a file of up to 10 MB) is killed, reaped
// and started afresh for the next picture. When no helper can be started at all (no executable, no
// seccomp), decode says so once on stderr and the caller decodes in its
// own process from then on.
//
// Any thread may call decode; the pool's lock guards its lists, and a
// helper is used by the one thread it was handed to. Helpers are started
// on the pool's own thread, which lives as long as the pool, because a
// helper dies with the thread that started it. The destructor kills and
// reaps every helper: the pool must outlive its callers' decodes.
class DecodeHelperPool {
public:
    struct Options {
        QString executable = besideProgram();
        // The display's profile, for the colour step the helper runs.
        QByteArray displayProfile;
        qint64 memoryBudget;
        int size = 2;
        // The time a helper may work on a file of up to 10 MB; a larger
        // one gets as much again for each further 10 MB.
        int boundMs;
        // Warm-up and sandbox; a cold disk or a sanitized build is slow.
        int startMs = 20000;
        Options();
    };
    explicit DecodeHelperPool(const Options& options = Options());
    ~DecodeHelperPool();

    // kavelo-decode beside the running program (the build tree, or a
    // relocated install), else where the package puts it.
    static QString besideProgram();
    // The pool decodes go through, process-wide; set once in main before
    // any thread decodes, and cleared before the pool is destroyed.
    static void install(DecodeHelperPool* pool);
    static DecodeHelperPool* installed();

    // Starts up to count helpers now, one after the other on the pool's
    // thread, so that the first pictures do not wait for a helper's start
    // (its warm-up decodes and sandbox take a tenth of a second or more).
    void startAhead(int count);

    enum class Outcome { Decoded, Failed, HelperEnded, Unavailable };
    struct Result {
        std::optional<DecodedPicture> picture;
        Outcome outcome = Outcome::Failed;
        QString reason;
    };
    // The file at path decoded in a helper, as PictureDecoder would decode
    // it (bound, limit, drawSize, shared and cancelled as there).
    Result decode(const QString& path, QSize bound, qint64 limit,
                  const std::function<QSize(QSize)>& drawSize, DecodeBudget* shared = nullptr,
                  const std::atomic_bool* cancelled = nullptr);

    // The helpers' processes now, busy or idle, and every one started; for
    // the tests.
    QList<pid_t> helperPids() const;
    QList<pid_t> startedPids() const;
    bool unavailable() const;

private:
    std::unique_ptr<HelperProcess> acquireHelper(QString& error);
    void giveBack(std::unique_ptr<HelperProcess> helper);
    // Under mutex_: a helper could not be started; from now on pictures
    // are decoded in process.
    void markBroken(const QString& reason);
    void launch();

    const Options options_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    // Guarded by mutex_.
    std::vector<std::unique_ptr<HelperProcess>> idle_;
    QList<pid_t> pids_;
    QList<pid_t> started_;
    int running_ = 0;
    int startingAhead_ = 0;
    bool broken_ = false;
    bool stopping_ = false;
    std::deque<std::packaged_task<std::unique_ptr<HelperProcess>()>> starts_;
    std::thread launcher_;
};
