// Test hooks of the D2XX stand-in: an in-process device that takes the place of every real
// and socket device while it is attached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace d2xx {

// The unit side of a virtual link. Called only from inside the D2XX calls.
class TVirtualDevice {
public:
    virtual ~TVirtualDevice() = default;
    // Bytes the host wrote.
    virtual void HostWrite(const uint8_t* data, size_t n) = 0;
    // Appends everything the unit has sent since the last call.
    virtual void Collect(std::string& out) = 0;
    // False once the link is down: every call then fails with FT_IO_ERROR.
    virtual bool Connected() const = 0;
};

// While a device is attached, FT_Open(0) opens it and nothing else is looked for.
void AttachVirtualDevice(std::shared_ptr<TVirtualDevice> device);
void DetachVirtualDevice();

// Where the simulated unit is looked for: $KALVEX_UNIT_SOCKET, else
// $XDG_RUNTIME_DIR/kalvex-unit.sock, else /tmp/kalvex-unit-<uid>.sock.
std::string UnitSocketPath();

// Handles currently open (for leak checks in tests).
int OpenHandleCount();

} // namespace d2xx
