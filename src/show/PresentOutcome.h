#pragma once

// What became of one slide-list entry the player tried to put on screen.
enum class PresentOutcome {
    // On screen, caption set.
    Shown,
    // Missing file or unsupported extension: nothing changed, no message.
    Skipped,
    // The picture could not be opened or laid out; the user has been told.
    Failed,
};
