#include "seams/DisplayColourProfile.h"

#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace {
struct Freer {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, Freer>;
} // namespace

QByteArray displayColourProfile(qsizetype maxBytes) {
    // Wayland compositors manage the monitor's colours themselves.
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return {};
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    static constexpr char name[] = "_ICC_PROFILE";
    const Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr));
    if (!screen || !atom || atom->atom == XCB_ATOM_NONE)
        return {};
    // Asks for one byte more than allowed, to tell a larger profile apart.
    const Reply<xcb_get_property_reply_t> property(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, screen->root, atom->atom,
                                                XCB_ATOM_CARDINAL, 0, quint32(maxBytes / 4 + 1)),
                               nullptr));
    if (!property || property->format != 8 || property->bytes_after > 0)
        return {};
    const int length = xcb_get_property_value_length(property.get());
    if (length <= 0 || length > maxBytes)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(property.get())), length);
}
