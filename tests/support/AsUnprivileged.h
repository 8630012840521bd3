#pragma once

#include <sys/types.h>

// Root ignores permission bits, and CI runs the tests as root: for the
// stretch of a check the process takes the identity of "nobody". Run by an
// ordinary user, the bits already apply and nothing changes.
class AsUnprivileged {
public:
    AsUnprivileged();
    ~AsUnprivileged();
    AsUnprivileged(const AsUnprivileged&) = delete;
    AsUnprivileged& operator=(const AsUnprivileged&) = delete;

    // False when root could not drop its privileges: skip the check.
    bool active() const { return active_; }

private:
    bool active_ = false;
    bool dropped_ = false;
};
