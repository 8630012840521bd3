#pragma once

#include "show/PresentOutcome.h"

#include <QString>
#include <functional>

class SlideListModel;

// The show's position and direction, and the rule that walks the slide
// list with wrap-around. One stepper lives for the whole run: the player
// window is destroyed when it is closed, and the next show goes on where
// this one stopped.
class SlideStepper {
public:
    using Presenter = std::function<PresentOutcome(const QString& path)>;

    static const QString Forwards;
    static const QString Backwards;

    // Position of the entry the next step presents, counted from 0.
    int NextIndex = 0;
    // Anything other than exactly "Forwards" walks backwards.
    QString Direction = Forwards;

    bool isForwards() const { return Direction == Forwards; }
    void turn() { Direction = isForwards() ? Backwards : Forwards; }

    // One move in the current direction through a list of count entries,
    // wrapping at either end.
    void advance(int count);

    // One step: presents the entry at NextIndex, passing over entries that
    // present reports Skipped, and moves on after a Shown one. A Failed
    // entry keeps its place so the next step tries it again. The list is
    // read afresh for every entry, since the user may change it between
    // steps. Returns Shown or Failed for the entry that ended the step, or
    // Skipped when nothing could be presented: the list is empty, or every
    // entry was tried once.
    PresentOutcome step(const SlideListModel& list, const Presenter& present);
};
