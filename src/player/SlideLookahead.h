#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class SlideListModel;
class SlideStepper;

// The entries the next steps will present, found with the stepper's own
// advance rule on the list as it is now: up to ahead entries in the current
// direction from NextIndex, then up to behind more in the other direction,
// which a turn shows. Entries present() would skip are passed over; each
// path appears once.
QStringList upcomingSlides(const SlideStepper& state, const SlideListModel& list, int ahead,
                           int behind, const std::function<bool(const QString&)>& presentable);
