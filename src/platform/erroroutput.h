// Holding back what the process writes to standard error, the libraries in it included, while it tries
// something whose failure it explains better itself (connecting to the display).
#pragma once

namespace platform {

// From construction on, everything written to standard error is kept aside. Pass() writes it out after all,
// Drop() forgets it; either ends the hold, and the destructor passes what is still held. When the system
// allows no hold, everything goes out as usual.
class TErrorOutputHold
{
public:
    TErrorOutputHold();
    TErrorOutputHold(const TErrorOutputHold&) = delete;
    TErrorOutputHold& operator=(const TErrorOutputHold&) = delete;
    ~TErrorOutputHold();

    void Pass();
    // Safe to call from a handler that ends the process right after.
    void Drop();

private:
    void Restore();
    int saved_ = -1; // the real standard error
    int held_ = -1;  // where it went meanwhile
};

} // namespace platform
