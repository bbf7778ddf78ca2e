// An FTDI USB FIFO chip on an emulated USB bus (umockdev): the chip's sysfs record and a usbdevfs
// ioctl handler, so that unmodified libusb, libftdi1 and the link's back-end talk to it as to a
// real chip. Behind the chip runs the simulated unit's protocol engine on the real clock.
// The program must run under umockdev's preload library (umockdev-wrapper).
#pragma once

#include "unit_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

namespace usbemul {

using TClock = std::chrono::steady_clock;

enum class TShape {
    FT245R, // 0403:6001, bcdDevice 0x0600, full speed, 64-byte packets
    FT232H, // 0403:6014, bcdDevice 0x0900, high speed, 512-byte packets
};

// Who holds interface 0 when the chip is plugged in.
enum class THolder {
    None,         // no kernel driver
    SerialDriver, // the kernel's serial driver ("ftdi_sio")
    OtherProgram, // another program has claimed it through usbfs
};

struct TChipConfig {
    TShape shape = TShape::FT245R;
    THolder holder = THolder::None;
    std::string manufacturer = "FTDI";
    std::string product = "ZR4410QM";
    std::string serial = "KX000001";
    // The unit behind the chip; none: a serial adapter with nothing on its other side.
    std::optional<TUnitConfig> unit = TUnitConfig{};
};

// One command line as the unit received it, and when its CR crossed the wire.
struct TWireCommand {
    std::string line;
    TClock::time_point at;
    int plug = 0; // which plugging of the chip (0 = the first)
};

class TUsbBench;

class TEmulatedChip {
public:
    ~TEmulatedChip();
    TEmulatedChip(const TEmulatedChip&) = delete;
    TEmulatedChip& operator=(const TEmulatedChip&) = delete;

    const TChipConfig& Config() const { return Cfg; }
    int MaxPacket() const;

    // Pulls the cable: pending IN transfers end with -ESHUTDOWN, every later call fails with
    // ENODEV, and a "remove" uevent goes out.
    void Unplug();
    // Plugs it in again under a new device number, with a freshly powered unit.
    void Replug();
    bool Plugged() const;

    // "ftdi_sio", "usbfs" (claimed, by us or by another program) or "" (no driver).
    std::string Driver() const;
    uint64_t UrbsSubmitted() const;
    uint64_t BulkSubmitted() const;
    // Reap calls: libusb polls the emulated node, which is always ready, so this counts its
    // polling (a real node wakes the host only on completion).
    uint64_t ReapCalls() const;
    // Attempts to take the interface from whoever holds it (detach, detach-and-claim).
    uint64_t DetachAttempts() const;
    std::vector<TWireCommand> Commands() const;
    // The first command equal to line after the given time, if any.
    std::optional<TWireCommand> CommandAfter(const std::string& line, TClock::time_point t) const;
    int LatencyMs() const;
    uint64_t Purges() const;       // control requests that cleared the chip's buffer to the host
    size_t MaxFifoBytes() const;   // the most bytes that ever waited in the chip for the host
    long long RecordsSent() const; // records the unit sent in its current run
    bool Converting() const;
    // While held, the chip sends full packets only: a transfer then ends only when its buffer is
    // full, and at a slow rate it outlasts the host's time-out with data inside.
    void HoldShortPackets(bool hold);
    // IN transfers the host cancelled (time-out) that carried payload.
    uint64_t CancelledWithData() const;
    // Bytes the chip has to send to the host before anything the unit says next.
    void Inject(const std::string& bytes);
    // CPU time of umockdev's handler thread so far (the emulation's own cost).
    int64_t HandlerCpuNs() const;
    std::string DevNode() const;
    int Address() const; // the device number on bus 1 (new on every plugging)

private:
    friend class TUsbBench;
    struct TUrb;
    struct TClient;
    struct TPlug;

    TEmulatedChip(TUsbBench& bench, TChipConfig config);
    void PlugIn();
    static int OnIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* plug);
    static void OnClientGone(void* client, void* pspec, void* plug);
    struct TResult {
        bool handled = false;
        long result = 0;
        int err = 0;
    };
    TResult Ioctl(TPlug& plug, UMockdevIoctlClient* client);
    int64_t NowNs() const;
    void Advance(TPlug& plug, int64_t nowNs);
    bool ProgressIn(TPlug& plug, int64_t nowNs);
    void Control(TPlug& plug, TUrb& urb, TClient& client);
    void BulkOut(TPlug& plug, const uint8_t* data, size_t n);
    std::string Descriptors() const;
    std::string StringDescriptor(int index) const;

    TUsbBench& Bench;
    TChipConfig Cfg;
    int Index;
    mutable std::mutex Mutex;
    std::condition_variable Wake;
    std::vector<std::unique_ptr<TPlug>> Plugs; // the last one is the current plugging
    std::vector<TWireCommand> Log;
    std::string LineSoFar;
    uint64_t Urbs = 0;
    uint64_t Bulks = 0;
    uint64_t Reaps = 0;
    uint64_t Detaches = 0;
    uint64_t Cancelled = 0;
    bool HoldShort = false;
    uint64_t PurgeCount = 0;
    size_t MaxFifo = 0;
    int64_t HandlerCpu = 0;
    TClock::time_point Epoch = TClock::now();
};

// The emulated USB bus: a umockdev testbed holding any number of chips.
class TUsbBench {
public:
    // Aborts the test program with a clear message when not run under umockdev's preload.
    TUsbBench();
    ~TUsbBench();
    TUsbBench(const TUsbBench&) = delete;
    TUsbBench& operator=(const TUsbBench&) = delete;

    // Plugs in a new chip (libusb lists the latest first).
    TEmulatedChip& Plug(TChipConfig config = {});

    // True when the program runs under umockdev's preload library.
    static bool Preloaded();
    // A program started without the preload runs itself again under umockdev-wrapper; returns
    // only when that cannot be done (its exit code then).
    static int RunPreloaded(int argc, char** argv);

private:
    friend class TEmulatedChip;
    UMockdevTestbed* Testbed = nullptr;
    std::vector<std::unique_ptr<TEmulatedChip>> Chips;
    int NextDevnum = 2;
};

// For parameterised test names.
std::string ShapeName(const ::testing::TestParamInfo<TShape>& info);

// A unit configuration whose codes are easy to check from the definition: one noise-free sine.
TUnitConfig CheckableUnit(double speed = 1.0);
// The code a noise-free sine of amplitude ampV and frequency freqHz gives at sample k with the
// given sample period, from the converter's definition (offset binary, +-2.5 V).
double ReferenceCode(double ampV, double freqHz, double periodS, long long k);

} // namespace usbemul
