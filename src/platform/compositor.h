// Whether a compositing manager draws the desktop. Only then do the see-through pixels of a window show
// what lies behind it; without one they come out black, and a shaped window must rely on its shape.
#pragma once

#include <memory>
#include <string>

namespace platform {

class CompositorWatch
{
public:
    virtual ~CompositorWatch() = default;
    // True while a compositing manager runs.
    virtual bool Active() const = 0;
    // Becomes readable when the answer may have changed; -1 when this watch cannot follow changes.
    virtual int Descriptor() const = 0;
    // Takes in what arrived on the descriptor without waiting; true when Active() changed.
    virtual bool Update() = 0;
};

// Watches the compositing-manager selection of the X display `display` (empty: $DISPLAY) on the screen
// the name gives. Null when no X server answers there.
std::unique_ptr<CompositorWatch> WatchX11Compositor(const std::string& display = {});

} // namespace platform
