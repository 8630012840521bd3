#pragma once

#include <QByteArray>

// The ICC profile of the monitor as the X11 desktop publishes it (the root
// window's _ICC_PROFILE, set by colord or xiccd), or empty: on Wayland, on
// X11 without one, or where it is larger than maxBytes. Call on the event
// thread once the application object exists.
QByteArray displayColourProfile(qsizetype maxBytes);
