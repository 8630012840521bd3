#include "player/SlideLookahead.h"

#include "show/SlideListModel.h"
#include "show/SlideStepper.h"

namespace {
// onlyNew: count only paths not already in into.
void collect(SlideStepper walker, const SlideListModel& list, int wanted, bool onlyNew,
             const std::function<bool(const QString&)>& presentable, QStringList& into) {
    const int count = list.count();
    if (walker.NextIndex < 0 || walker.NextIndex >= count)
        walker.NextIndex = 0;
    for (int tried = 0, found = 0; tried < count && found < wanted; ++tried) {
        const QString path = list.entry(walker.NextIndex);
        walker.advance(count);
        if (!presentable(path))
            continue;
        const bool known = into.contains(path);
        if (!known)
            into.append(path);
        if (!known || !onlyNew)
            ++found;
    }
}
} // namespace

QStringList upcomingSlides(const SlideStepper& state, const SlideListModel& list, int ahead,
                           int behind, const std::function<bool(const QString&)>& presentable) {
    QStringList paths;
    collect(state, list, ahead, false, presentable, paths);
    // A turn presents NextIndex again, then walks the other way: the entries
    // it shows after that are the ones not already wanted.
    SlideStepper turned = state;
    turned.turn();
    collect(turned, list, behind, true, presentable, paths);
    return paths;
}
