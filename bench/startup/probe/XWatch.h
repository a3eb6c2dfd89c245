#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <xcb/damage.h>
#include <xcb/xcb.h>

// Watches an X display from outside a program: which top-level windows it creates, when each is
// drawn into (DAMAGE extension, so no cooperation of the program is needed) and which window the
// window manager makes active (the focus arriving, or _NET_ACTIVE_WINDOW, whichever comes first).
class XWatch
{
public:
    using Clock = std::chrono::steady_clock;

    struct Event
    {
        enum class Kind { Painted, Activated } kind;
        xcb_window_t window = 0;
        xcb_rectangle_t area{};     // Painted: the drawn area inside the window
        xcb_rectangle_t geometry{}; // Painted: the window's own size
        Clock::time_point at;
    };

    XWatch(); // connects to DISPLAY; throws std::runtime_error without DAMAGE or a display
    int Fd() const;
    // The next event already received, without blocking.
    std::optional<Event> Next();
    std::string Title(xcb_window_t window);

private:
    void Track(xcb_window_t window);
    xcb_atom_t Atom(const char* name);
    xcb_window_t ActiveWindow();

    struct Disconnect
    {
        void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
    };
    std::unique_ptr<xcb_connection_t, Disconnect> m_conn;
    xcb_window_t m_root = 0;
    uint8_t m_damageEvent = 0;
    xcb_atom_t m_netActive = 0, m_netWmName = 0, m_utf8 = 0;
    std::map<xcb_window_t, xcb_damage_damage_t> m_damage;
};
