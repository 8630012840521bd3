#pragma once

#include <QString>
#include <QtGlobal>

// The walls a decode helper puts up around itself before it reads the first
// byte of a picture, each one layer of its own so one that a system lacks
// leaves the others standing:
//   no new privileges: nothing it might execute gains any (set-uid, file caps);
//   namespaces, where unprivileged user namespaces are allowed: no network,
//     and a root that is an empty read-only tmpfs, so no path leads anywhere;
//   an address-space limit of the memory budget and what the helper held
//     already (not in sanitized builds, whose shadow memory needs terabytes);
//   a seccomp filter of the calls decoding needs, on the descriptors it was
//     given: no open, no exec, no sockets, no ptrace.
// Runs in the helper only, on its one thread.
namespace Sandbox {
struct Layers {
    bool noNewPrivileges = false;
    bool namespaces = false;
    bool addressLimit = false;
    bool seccomp = false;
};

// Puts the walls up; socket is the one socket the helper may talk on.
// False, with why, when a wall the helper cannot do without (no new
// privileges, the filter) could not be set.
bool enter(int socket, qint64 memoryBudget, Layers& layers, QString& error);
} // namespace Sandbox
