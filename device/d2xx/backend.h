// One open device behind a D2XX handle. Internal to the stand-in.
#pragma once

#include "d2xx_virtual.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace d2xx {

// The host's receive queue: bytes that arrived and were not read yet.
class TRxQueue {
public:
    static constexpr size_t CAPACITY = 4u << 20; // beyond this, arriving bytes are lost

    void Append(const char* data, size_t n);
    size_t Size() const { return Buf.size() - Head; }
    size_t Take(uint8_t* dst, size_t n);
    void Clear() {
        Buf.clear();
        Head = 0;
    }

private:
    std::string Buf;
    size_t Head = 0;
};

class TBackend {
public:
    virtual ~TBackend() = default;
    virtual bool Write(const uint8_t* data, size_t n) = 0;
    // Moves newly arrived bytes into rx; false once the link is gone.
    virtual bool Fill(TRxQueue& rx) = 0;
    // Drops what the device side still holds (the receive queue is the caller's).
    virtual bool Purge(uint32_t mask) = 0;
    virtual bool SetUSBParameters(uint32_t inSize, uint32_t outSize) = 0;
};

// Opens the index-th FTDI chip on USB (UsbOpenOrder), or tells how many there are
// (index < 0 → nullptr). The chips in front are counted without being opened.
std::unique_ptr<TBackend> OpenFtdiBackend(int index, int* count);
// Connects to the simulated unit; nullptr when nobody listens.
std::unique_ptr<TBackend> OpenSocketBackend(const std::string& path);
std::unique_ptr<TBackend> OpenVirtualBackend(std::shared_ptr<TVirtualDevice> device);

// The bytes of one bulk-IN transfer from an FTDI chip: every packet of maxPacket bytes (the
// last one may be shorter) starts with two modem-status bytes. Appends the rest to out, at
// most up to limit bytes in out.
void AppendFtdiPayload(const uint8_t* data, size_t n, size_t maxPacket, std::string& out,
                       size_t limit);

// What the open sequence learns of an FTDI chip before it claims it.
struct TUsbChip {
    bool driverBound = false; // a kernel driver (the serial-port driver) holds its interface
    std::string serial;       // read only while a serial number is pinned
};

// The order in which FT_Open counts the chips: while a serial number is pinned only that chip;
// chips no driver holds before the ones the serial-port driver holds; else as listed.
std::vector<size_t> UsbOpenOrder(const std::vector<TUsbChip>& chips, const std::string& pinned);

// The serial number the user pinned with $KALVEX_UNIT_SERIAL; empty when unset.
std::string PinnedUnitSerial();

} // namespace d2xx
