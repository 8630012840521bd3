#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <functional>
#include <optional>

// The decode helper's side of the socket (the kavelo-decode executable):
// takes its setup, warms the decoders up, puts up the sandbox, says Ready,
// then decodes one picture per Decode message from the descriptor that
// comes with it, asking the program for the drawn size and for each claim
// on the shared budget, and hands the pixels back: the program copies them
// out of the helper's memory, or where it may not, out of a memfd. Ends when
// the program closes the socket, or at once on anything out of protocol.
// Single-threaded; it owns everything in its process.
struct HelperHooks {
    // For the test build of the helper only: called once a Decode message
    // arrived, inside the sandbox, with the picture's descriptor; a reason
    // returned fails that decode with it.
    std::function<std::optional<QByteArray>(int picture)> beforeDecode;
    // Also for the test build only: where the helper says a picture's rows
    // lie, given where they do.
    std::function<quintptr(quintptr rows)> rowsAt;
};

// socket: the helper's end, set up by the program. Returns the exit status.
int runDecodeHelper(int socket, const HelperHooks& hooks = {});
