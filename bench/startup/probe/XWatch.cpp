#include "XWatch.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> Reply<T> Own(T* p)
{
    return Reply<T>(p, &std::free);
}

} // namespace

XWatch::XWatch()
{
    int screenIndex = 0;
    m_conn.reset(xcb_connect(nullptr, &screenIndex));
    if (xcb_connection_has_error(m_conn.get()))
        throw std::runtime_error("cannot connect to the X display (DISPLAY)");
    const xcb_setup_t* setup = xcb_get_setup(m_conn.get());
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenIndex; ++i)
        xcb_screen_next(&it);
    m_root = it.data->root;

    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(m_conn.get(), &xcb_damage_id);
    if (!ext || !ext->present)
        throw std::runtime_error("the X server has no DAMAGE extension");
    m_damageEvent = ext->first_event;
    // The extension refuses requests until the version has been negotiated.
    Own(xcb_damage_query_version_reply(m_conn.get(), xcb_damage_query_version(m_conn.get(), 1, 1), nullptr));

    m_netActive = Atom("_NET_ACTIVE_WINDOW");
    m_netWmName = Atom("_NET_WM_NAME");
    m_utf8 = Atom("UTF8_STRING");

    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_conn.get(), m_root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_conn.get());
}

int XWatch::Fd() const
{
    return xcb_get_file_descriptor(m_conn.get());
}

xcb_atom_t XWatch::Atom(const char* name)
{
    auto reply = Own(xcb_intern_atom_reply(
        m_conn.get(), xcb_intern_atom(m_conn.get(), 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

void XWatch::Track(xcb_window_t window)
{
    if (m_damage.count(window))
        return;
    const xcb_damage_damage_t damage = xcb_generate_id(m_conn.get());
    xcb_damage_create(m_conn.get(), damage, window, XCB_DAMAGE_REPORT_LEVEL_BOUNDING_BOX);
    m_damage[window] = damage;
    // The keyboard focus arriving is the moment the program is activated; the window manager's
    // _NET_ACTIVE_WINDOW may be set a little later.
    const uint32_t mask = XCB_EVENT_MASK_FOCUS_CHANGE;
    xcb_change_window_attributes(m_conn.get(), window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_conn.get());
}

std::string XWatch::Title(xcb_window_t window)
{
    for (const auto& [property, type] :
         {std::pair{m_netWmName, m_utf8},
          std::pair{xcb_atom_t(XCB_ATOM_WM_NAME), xcb_atom_t(XCB_ATOM_STRING)}}) {
        auto reply = Own(xcb_get_property_reply(
            m_conn.get(), xcb_get_property(m_conn.get(), 0, window, property, type, 0, 1024), nullptr));
        if (reply && xcb_get_property_value_length(reply.get()) > 0)
            return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                               size_t(xcb_get_property_value_length(reply.get())));
    }
    return {};
}

xcb_window_t XWatch::ActiveWindow()
{
    auto reply = Own(xcb_get_property_reply(
        m_conn.get(), xcb_get_property(m_conn.get(), 0, m_root, m_netActive, XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    if (!reply || xcb_get_property_value_length(reply.get()) < int(sizeof(xcb_window_t)))
        return 0;
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
}

std::optional<XWatch::Event> XWatch::Next()
{
    while (auto ev = Own(xcb_poll_for_event(m_conn.get()))) {
        const Clock::time_point now = Clock::now();
        const uint8_t type = ev->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            auto* create = reinterpret_cast<xcb_create_notify_event_t*>(ev.get());
            // Top-level windows of a program are created on the root before the window manager
            // reparents them; override-redirect ones (menus, tooltips) are not main windows.
            if (create->parent == m_root && !create->override_redirect)
                Track(create->window);
        } else if (type == m_damageEvent + XCB_DAMAGE_NOTIFY) {
            auto* damage = reinterpret_cast<xcb_damage_notify_event_t*>(ev.get());
            // Re-arm, so that every later drawing is reported as well.
            xcb_damage_subtract(m_conn.get(), damage->damage, XCB_NONE, XCB_NONE);
            xcb_flush(m_conn.get());
            return Event{Event::Kind::Painted, damage->drawable, damage->area, damage->geometry, now};
        } else if (type == XCB_FOCUS_IN) {
            auto* focus = reinterpret_cast<xcb_focus_in_event_t*>(ev.get());
            if (focus->detail != XCB_NOTIFY_DETAIL_POINTER && m_damage.count(focus->event))
                return Event{Event::Kind::Activated, focus->event, {}, {}, now};
        } else if (type == XCB_PROPERTY_NOTIFY) {
            auto* prop = reinterpret_cast<xcb_property_notify_event_t*>(ev.get());
            if (prop->window == m_root && prop->atom == m_netActive) {
                if (const xcb_window_t active = ActiveWindow())
                    return Event{Event::Kind::Activated, active, {}, {}, now};
            }
        }
    }
    if (xcb_connection_has_error(m_conn.get()))
        throw std::runtime_error("the X connection broke");
    return std::nullopt;
}
