// The D2XX stand-in's USB back-end on the emulated bus: which chip it takes, what it leaves
// alone, and what a purge drops. Runs under umockdev's preload library, like the bench itself.
#include "emulated_ftdi.h"

#include "d2xx/d2xx_virtual.h"
#include "d2xx/ftd2xx.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

using namespace usbemul;
using namespace std::chrono_literals;

namespace {

class FtdiBackendOnBus : public ::testing::TestWithParam<TShape> {
protected:
    void SetUp() override { ::setenv("KALVEX_UNIT_SOCKET", "/nonexistent/kalvex-unit.sock", 1); }
    void TearDown() override {
        ::unsetenv("KALVEX_UNIT_SERIAL");
        EXPECT_EQ(d2xx::OpenHandleCount(), 0);
    }
    TChipConfig Unit(THolder holder, std::string serial = "KX000001") const {
        TChipConfig c;
        c.shape = GetParam();
        c.holder = holder;
        c.serial = std::move(serial);
        return c;
    }
    TChipConfig Adapter(THolder holder) const {
        TChipConfig c = Unit(holder, "A9XZ0042");
        c.product = "USB Serial Converter";
        c.unit.reset();
        return c;
    }
    // Sends "?" and collects what comes back within the unit's reply time-out.
    static std::string Ask(FT_HANDLE h) {
        char q[] = "?\r";
        DWORD n = 0;
        if (FT_Write(h, q, 2, &n) != FT_OK) return "write failed";
        std::string got;
        const auto end = TClock::now() + 100ms;
        while (TClock::now() < end && got.size() < 3) {
            DWORD queued = 0;
            if (FT_GetQueueStatus(h, &queued) != FT_OK) return "lost";
            char buf[64];
            DWORD r = 0;
            if (queued > 0 && FT_Read(h, buf, std::min<DWORD>(queued, sizeof buf), &r) == FT_OK)
                got.append(buf, r);
            std::this_thread::sleep_for(200us);
        }
        return got;
    }

    TUsbBench Bus;
};

} // namespace

TEST_P(FtdiBackendOnBus, PinnedSerialPicksItsChipAndEveryDriverComesBack) {
    TEmulatedChip& adapter = Bus.Plug(Adapter(THolder::SerialDriver));
    TEmulatedChip& unit = Bus.Plug(Unit(THolder::SerialDriver, "KX000009"));
    ::setenv("KALVEX_UNIT_SERIAL", "KX000009", 1);
    FT_HANDLE h = nullptr;
    ASSERT_EQ(FT_Open(0, &h), FT_OK);
    EXPECT_EQ(unit.Driver(), "usbfs");
    EXPECT_EQ(adapter.Driver(), "ftdi_sio");
    EXPECT_EQ(adapter.DetachAttempts(), 0u);
    EXPECT_EQ(adapter.UrbsSubmitted(), 0u); // its serial number came from sysfs
    EXPECT_EQ(Ask(h), "OK\r");
    // Only the pinned chip counts: there is no second device.
    FT_HANDLE other = nullptr;
    EXPECT_NE(FT_Open(1, &other), FT_OK);
    EXPECT_EQ(FT_Close(h), FT_OK);
    EXPECT_EQ(unit.Driver(), "ftdi_sio");

    ::setenv("KALVEX_UNIT_SERIAL", "NOSUCHCHIP", 1);
    EXPECT_NE(FT_Open(0, &h), FT_OK);
    EXPECT_EQ(adapter.Driver(), "ftdi_sio");
    EXPECT_EQ(unit.Driver(), "ftdi_sio");
}

TEST_P(FtdiBackendOnBus, ChipsInFrontAreCountedWithoutBeingTouched) {
    TEmulatedChip& front = Bus.Plug(Adapter(THolder::SerialDriver));
    TEmulatedChip& back = Bus.Plug(Adapter(THolder::SerialDriver));
    FT_HANDLE h = nullptr;
    ASSERT_EQ(FT_Open(1, &h), FT_OK);
    // One of the two is open; the other was only counted: no request, no detach.
    TEmulatedChip& opened = front.Driver() == "usbfs" ? front : back;
    TEmulatedChip& counted = &opened == &front ? back : front;
    EXPECT_EQ(opened.Driver(), "usbfs");
    EXPECT_EQ(counted.Driver(), "ftdi_sio");
    EXPECT_EQ(counted.DetachAttempts(), 0u);
    EXPECT_EQ(counted.UrbsSubmitted(), 0u);
    EXPECT_EQ(FT_Close(h), FT_OK);
    EXPECT_EQ(opened.Driver(), "ftdi_sio");
    EXPECT_NE(FT_Open(2, &h), FT_OK);
}

TEST_P(FtdiBackendOnBus, FreeChipComesBeforeOneTheSerialDriverHolds) {
    for (bool adapterFirst : {true, false}) {
        TEmulatedChip* adapter = adapterFirst ? &Bus.Plug(Adapter(THolder::SerialDriver)) : nullptr;
        TEmulatedChip& unit = Bus.Plug(Unit(THolder::None));
        if (!adapterFirst) adapter = &Bus.Plug(Adapter(THolder::SerialDriver));
        FT_HANDLE h = nullptr;
        ASSERT_EQ(FT_Open(0, &h), FT_OK);
        EXPECT_EQ(Ask(h), "OK\r") << "adapter first: " << adapterFirst;
        EXPECT_EQ(FT_Close(h), FT_OK);
        EXPECT_EQ(adapter->DetachAttempts(), 0u);
        EXPECT_EQ(adapter->Driver(), "ftdi_sio");
        EXPECT_EQ(unit.Driver(), ""); // nothing bound before, nothing bound after
        adapter->Unplug();
        unit.Unplug();
    }
}

TEST_P(FtdiBackendOnBus, PurgeDropsEveryByteThatCameBeforeIt) {
    TEmulatedChip& unit = Bus.Plug(Unit(THolder::None));
    FT_HANDLE h = nullptr;
    ASSERT_EQ(FT_Open(0, &h), FT_OK);
    // Stale bytes on their way, the purge striking at varying points of their journey: still
    // in the chip, held by a transfer in flight (whole packets do not end a transfer), in the
    // stand-in's queue.
    const size_t payload = static_cast<size_t>(unit.MaxPacket()) - 2;
    for (int i = 0; i < 40; ++i) {
        DWORD queued = 0;
        ASSERT_EQ(FT_GetQueueStatus(h, &queued), FT_OK); // the caller is there: reading runs
        std::this_thread::sleep_for(3ms);
        unit.Inject(std::string(payload * static_cast<size_t>(1 + i % 3), 'z'));
        std::this_thread::sleep_for(std::chrono::microseconds(250 * (i % 4)));
        if (i % 5 == 4) {
            ASSERT_EQ(FT_GetQueueStatus(h, &queued), FT_OK);
        }
        ASSERT_EQ(FT_Purge(h, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
        ASSERT_EQ(Ask(h), "OK\r") << "round " << i;
    }
    EXPECT_EQ(FT_Close(h), FT_OK);
}

INSTANTIATE_TEST_SUITE_P(Shapes, FtdiBackendOnBus,
                         ::testing::Values(TShape::FT245R, TShape::FT232H), ShapeName);
