#include "platform/compositor.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

namespace platform {
namespace {

// A compositing manager owns the selection _NET_WM_CM_S<screen> while it runs (EWMH).
constexpr const char* kSelectionPrefix = "_NET_WM_CM_S";
// Any version with selection events will do.
constexpr std::uint32_t kXFixesMajor = 1;
constexpr std::uint32_t kXFixesMinor = 0;

class X11CompositorWatch final : public CompositorWatch
{
public:
    X11CompositorWatch(xcb_connection_t* connection, int screen) : connection_(connection)
    {
        const std::string name = kSelectionPrefix + std::to_string(screen);
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
            nullptr);
        if (atom) {
            selection_ = atom->atom;
            std::free(atom);
        }
        SubscribeToOwnerChanges(RootOf(screen));
        active_ = QueryOwner() != XCB_NONE;
    }

    ~X11CompositorWatch() override { xcb_disconnect(connection_); }

    bool Active() const override { return active_; }
    int Descriptor() const override { return xfixesEvent_ >= 0 ? xcb_get_file_descriptor(connection_) : -1; }

    bool Update() override
    {
        const bool before = active_;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            if ((event->response_type & ~0x80) == xfixesEvent_ + XCB_XFIXES_SELECTION_NOTIFY) {
                const auto* notify = reinterpret_cast<xcb_xfixes_selection_notify_event_t*>(event);
                if (notify->selection == selection_)
                    active_ = notify->owner != XCB_NONE;
            }
            std::free(event);
        }
        return active_ != before;
    }

private:
    xcb_window_t RootOf(int screen) const
    {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
        for (int i = 0; it.rem > 0 && i < screen; ++i)
            xcb_screen_next(&it);
        return it.rem > 0 ? it.data->root : XCB_NONE;
    }

    xcb_window_t QueryOwner() const
    {
        if (selection_ == XCB_NONE)
            return XCB_NONE;
        xcb_get_selection_owner_reply_t* reply =
            xcb_get_selection_owner_reply(connection_, xcb_get_selection_owner(connection_, selection_), nullptr);
        const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
        std::free(reply);
        return owner;
    }

    void SubscribeToOwnerChanges(xcb_window_t root)
    {
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection_, &xcb_xfixes_id);
        if (!extension || !extension->present || root == XCB_NONE || selection_ == XCB_NONE)
            return;
        // The extension answers no request before its version has been asked.
        std::free(xcb_xfixes_query_version_reply(
            connection_, xcb_xfixes_query_version(connection_, kXFixesMajor, kXFixesMinor), nullptr));
        xcb_xfixes_select_selection_input(connection_, root, selection_,
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        xcb_flush(connection_);
        xfixesEvent_ = extension->first_event;
    }

    xcb_connection_t* const connection_;
    xcb_atom_t selection_ = XCB_NONE;
    int xfixesEvent_ = -1;
    bool active_ = false;
};

} // namespace

std::unique_ptr<CompositorWatch> WatchX11Compositor(const std::string& display)
{
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(display.empty() ? nullptr : display.c_str(), &screen);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::make_unique<X11CompositorWatch>(connection, screen);
}

} // namespace platform
