#pragma once

#include "picture/DecodedPicture.h"

#include <QSize>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>

class DecodeBudget;

// One running decode helper, seen from the program: its process and its
// end of the socket. Used by one thread at a time (the pool hands it out);
// the destructor kills and reaps the process, so none outlives its object.
// The processor time a process has had, all its threads together, or one
// of its threads alone; -1 when it cannot be read.
qint64 processorMs(pid_t pid, pid_t thread = 0);

class HelperProcess {
public:
    // Starts executable, hands it the display profile and the memory
    // budget, and waits up to startMs for it to say its sandbox is set.
    // Must run on a thread that lives as long as the helper: the helper
    // dies with the thread that started it (PR_SET_PDEATHSIG).
    static std::unique_ptr<HelperProcess> start(const QString& executable,
                                                const QByteArray& displayProfile,
                                                qint64 memoryBudget, int startMs, QString& error);
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Whether its sandbox took its own namespaces (an empty root, no network).
    bool namespaced() const { return namespaced_; }

    struct Request {
        QSize bound;
        qint64 limit = 0;
        std::function<QSize(QSize)> drawSize;
        DecodeBudget* shared = nullptr;
        const std::atomic_bool* cancelled = nullptr;
        // The processor time the helper may spend on the picture, and the
        // longest it may make no progress at all; the time spent in the
        // program (waiting for budget, answering) is not counted.
        int boundMs = 2000;
    };
    enum class Outcome {
        Decoded,
        Failed, // the helper could not decode it; it stays in use
        Ended,  // killed or dead: the picture failed and the helper is gone
    };
    // Decodes the picture open for reading at fd (which the caller keeps).
    Outcome decode(int fd, const Request& request, std::optional<DecodedPicture>& picture,
                   QString& reason);

private:
    HelperProcess(pid_t pid, int socket);
    // Kills and reaps the process, once; why it ended, for the log.
    QString end();

    pid_t pid_;
    int socket_;
    bool namespaced_ = false;
};
