#include "ui/keyboard_move.h"

#include <QtGui/qguiapplication_platform.h>
#include <QCursor>
#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifdef VEMILO_WITH_XCB
#include <xcb/xcb.h>
#endif

namespace vemilo::ui {

#if defined(VEMILO_WITH_XCB) && QT_CONFIG(xcb)

namespace {

// _NET_WM_MOVERESIZE's direction for a move driven by the keyboard, and its source for a request
// made by an application (EWMH).
constexpr uint32_t kMoveByKeyboard = 10;
constexpr uint32_t kFromApplication = 1;

xcb_atom_t atomNamed(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

}  // namespace

bool startKeyboardMove(QWidget& window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) return false;
    const xcb_atom_t moveResize = atomNamed(connection, "_NET_WM_MOVERESIZE");
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (moveResize == XCB_ATOM_NONE || !screen) return false;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = static_cast<xcb_window_t>(window.winId());
    message.type = moveResize;
    // The pointer's place in device pixels: the manager starts the move from there.
    const QPoint pointer = QCursor::pos() * window.devicePixelRatio();
    message.data.data32[0] = static_cast<uint32_t>(pointer.x());
    message.data.data32[1] = static_cast<uint32_t>(pointer.y());
    message.data.data32[2] = kMoveByKeyboard;
    message.data.data32[3] = 0;  // no button
    message.data.data32[4] = kFromApplication;
    xcb_send_event(connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
    return true;
}

#else

bool startKeyboardMove(QWidget&) { return false; }

#endif

}  // namespace vemilo::ui
