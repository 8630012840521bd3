#include "show/SlideStepper.h"

#include "show/SlideListModel.h"

const QString SlideStepper::Forwards = QStringLiteral("Forwards");
const QString SlideStepper::Backwards = QStringLiteral("Backwards");

void SlideStepper::advance(int count) {
    if (isForwards()) {
        ++NextIndex;
        if (NextIndex == count)
            NextIndex = 0;
    } else {
        --NextIndex;
        if (NextIndex < 0)
            NextIndex = count - 1;
    }
}

PresentOutcome SlideStepper::step(const SlideListModel& list, const Presenter& present) {
    // Bounded by the list's length, so a list of nothing but missing or
    // unsupported files cannot hold the window's thread forever.
    for (int tried = 0; tried < list.count(); ++tried) {
        // Entries removed in the explorer may leave the position behind the
        // end; the show then starts over rather than wandering outside.
        if (NextIndex < 0 || NextIndex >= list.count())
            NextIndex = 0;
        switch (present(list.entry(NextIndex))) {
        case PresentOutcome::Shown:
            advance(list.count());
            return PresentOutcome::Shown;
        case PresentOutcome::Failed:
            return PresentOutcome::Failed;
        case PresentOutcome::Skipped:
            advance(list.count());
            break;
        }
    }
    return PresentOutcome::Skipped;
}
