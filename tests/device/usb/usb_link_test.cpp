// The link's whole stack on the emulated USB bus, on the real clock:
// TADC -> Tft_FIFO -> D2XX stand-in -> libftdi1/libusb -> usbdevfs -> emulated chip -> unit.
#include "emulated_ftdi.h"

#include "ad7177.h"
#include "d2xx/d2xx_virtual.h"
#include "tables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace usbemul;
using namespace std::chrono_literals;

namespace {

constexpr double AMP_V = 2.0;
constexpr double FREQ_HZ = 1234.5;

class UsbLink : public ::testing::TestWithParam<TShape> {
protected:
    void SetUp() override {
        // Nothing but the emulated bus: no simulated unit on a socket.
        setenv("KALVEX_UNIT_SOCKET", "/nonexistent/kalvex-unit.sock", 1);
        Tft_FIFO::Hooks = TLinkHooks{};
    }
    void TearDown() override {
        Adc.reset();
        EXPECT_EQ(d2xx::OpenHandleCount(), 0);
    }
    TChipConfig Unit(double speed = 1.0, THolder holder = THolder::None) const {
        TChipConfig c;
        c.shape = GetParam();
        c.holder = holder;
        c.unit = CheckableUnit(speed);
        return c;
    }
    static TChipConfig SerialAdapter(THolder holder = THolder::SerialDriver) {
        TChipConfig c;
        c.holder = holder;
        c.product = "USB Serial Converter";
        c.serial = "A9XZ0042";
        c.unit.reset();
        return c;
    }
    // The opening sequence of a measurement, as the window runs it.
    bool OpenUnit(int rate) {
        std::string name, version;
        return Adc->OpenDevice() && Adc->CheckResponse() && Adc->SetFilterSinc3() &&
               Adc->SetRate(rate) && Adc->GetUnitName(name) && name == Adc->GetModelName() &&
               Adc->GetVersion(version);
    }
    // Polls ReadSamples as the window's acquisition step does until total codes came, a read
    // failed, or the limit passed. True when every read succeeded.
    bool Acquire(std::vector<uint32_t>& codes, size_t total, int block,
                 std::chrono::milliseconds limit) {
        codes.assign(total, 0);
        size_t have = 0;
        const auto end = TClock::now() + limit;
        while (have < total && TClock::now() < end) {
            int n = 0;
            const int want = static_cast<int>(std::min<size_t>(block, total - have));
            if (!Adc->ReadSamples(codes.data() + have, n, want)) {
                codes.resize(have + static_cast<size_t>(n));
                return false;
            }
            have += static_cast<size_t>(n);
            if (n == 0) std::this_thread::sleep_for(500us);
        }
        codes.resize(have);
        return true;
    }
    // Codes checked against the noise-free sine, computed from its definition.
    static void ExpectSine(const std::vector<uint32_t>& codes, int rate) {
        const double period = SamplePeriodMs(rate, 1) / 1000.0;
        size_t bad = 0;
        for (size_t k = 0; k < codes.size(); ++k) {
            const double ref = ReferenceCode(AMP_V, FREQ_HZ, period, static_cast<long long>(k));
            if (std::abs(static_cast<double>(codes[k]) - ref) > 2.0 && bad++ < 3)
                ADD_FAILURE() << "sample " << k << ": " << codes[k] << " vs " << ref;
        }
        EXPECT_EQ(bad, 0u);
    }
    static std::vector<std::string> Lines(const TEmulatedChip& chip) {
        std::vector<std::string> out;
        for (const TWireCommand& c : chip.Commands())
            out.push_back(c.line);
        return out;
    }

    void BesideSerialAdapter(THolder unitHolder);

    TUsbBench Bus;
    std::unique_ptr<TADC> Adc = std::make_unique<TADC>();
};

} // namespace

TEST_P(UsbLink, FullBlockArrivesWithEveryCodeRight) {
    // 262 144 samples at 10 ksps, the unit running 10 times faster than real time.
    TEmulatedChip& chip = Bus.Plug(Unit(10.0));
    ASSERT_TRUE(OpenUnit(13));
    ASSERT_TRUE(Adc->StartConvert(0, 262144));
    std::vector<uint32_t> codes;
    EXPECT_TRUE(Acquire(codes, 262144, 64, 60s));
    EXPECT_EQ(codes.size(), 262144u);
    ExpectSine(codes, 13);
    EXPECT_TRUE(Adc->StopConvert());
    Adc->CloseDevice();

    // The wire saw the measurement's commands in this order (anything may come between).
    const std::vector<std::string> want = {"?", "S3", "FD", "U?", "V?", "A040000", "AX"};
    const std::vector<std::string> seen = Lines(chip);
    size_t at = 0;
    for (const std::string& line : seen)
        if (at < want.size() && line == want[at]) ++at;
    EXPECT_EQ(at, want.size()) << "missing " << (at < want.size() ? want[at] : "");
}

TEST_P(UsbLink, StopReachesTheWireWhileStreaming) {
    // Rates where records come faster than the chip's latency timer, and a slow one.
    for (int rate : {10, 11, 13, 6}) {
        TEmulatedChip& chip = Bus.Plug(Unit(1.0));
        ASSERT_TRUE(OpenUnit(rate)) << rate;
        ASSERT_TRUE(Adc->StartConvert(0, 262144));
        std::vector<uint32_t> codes;
        const int block = rate == 13 ? 64 : rate == 11 ? 16 : rate == 10 ? 8 : 1;
        EXPECT_TRUE(Acquire(codes, 1u << 20, block, 400ms)) << rate;
        EXPECT_FALSE(codes.empty()) << rate;
        const auto click = TClock::now();
        ASSERT_TRUE(Adc->StopConvert());
        auto ax = chip.CommandAfter("AX", click);
        for (int i = 0; i < 100 && !ax; ++i) {
            std::this_thread::sleep_for(5ms);
            ax = chip.CommandAfter("AX", click);
        }
        ASSERT_TRUE(ax) << rate;
        const double ms = std::chrono::duration<double, std::milli>(ax->at - click).count();
        std::printf("stop -> AX on the wire, %s, %s: %.2f ms\n",
                    GetParam() == TShape::FT245R ? "FT245R" : "FT232H", RateText(rate, 1).c_str(),
                    ms);
        EXPECT_LT(ms, 150.0) << RateText(rate, 1);
        Adc->CloseDevice();
        chip.Unplug();
    }
}

TEST_P(UsbLink, TimeOutLosesNoByteAndKeepsTheLink) {
    // The chip holds back short packets: at 200 records/s a 4096-byte transfer takes over two
    // seconds to fill, longer than the link's IN time-out, so transfers time out with data.
    TEmulatedChip& chip = Bus.Plug(Unit(2.0));
    ASSERT_TRUE(OpenUnit(6)); // 100 sps, twice as fast
    chip.HoldShortPackets(true);
    ASSERT_TRUE(Adc->StartConvert(0, 500));
    std::vector<uint32_t> codes, rest;
    EXPECT_TRUE(Acquire(codes, 500, 1, 3s));
    EXPECT_GT(chip.CancelledWithData(), 0u) << "no transfer timed out with data: nothing proven";
    // The last packet's worth comes once the chip lets short packets go again.
    chip.HoldShortPackets(false);
    EXPECT_TRUE(Acquire(rest, 500 - codes.size(), 1, 2s));
    codes.insert(codes.end(), rest.begin(), rest.end());
    EXPECT_EQ(codes.size(), 500u);
    ExpectSine(codes, 6);
    EXPECT_TRUE(Adc->CheckResponse()); // still the same link
}

TEST_P(UsbLink, NoUsbTrafficWhileNoMeasurementRuns) {
    TEmulatedChip& chip = Bus.Plug(Unit(10.0));
    ASSERT_TRUE(OpenUnit(13));
    auto quiet = [&](const char* when) {
        std::this_thread::sleep_for(1s); // settle
        const uint64_t before = chip.UrbsSubmitted();
        std::this_thread::sleep_for(700ms);
        EXPECT_EQ(chip.UrbsSubmitted(), before) << "URBs submitted while idle, " << when;
    };
    quiet("after opening");
    ASSERT_TRUE(Adc->StartConvert(0, 1024));
    std::vector<uint32_t> codes;
    EXPECT_TRUE(Acquire(codes, 1024, 64, 10s));
    EXPECT_EQ(codes.size(), 1024u);
    quiet("after a measurement");
}

// The unit and an unrelated serial adapter, plugged in either order: the unit is found, and
// whatever the serial driver held is back with it once the link closes.
void UsbLink::BesideSerialAdapter(THolder unitHolder) {
    for (bool adapterFirst : {true, false}) {
        SCOPED_TRACE(adapterFirst ? "adapter plugged first" : "unit plugged first");
        TEmulatedChip* adapter = nullptr;
        if (adapterFirst) adapter = &Bus.Plug(SerialAdapter());
        TEmulatedChip& unit = Bus.Plug(Unit(1.0, unitHolder));
        if (!adapterFirst) adapter = &Bus.Plug(SerialAdapter());
        EXPECT_TRUE(OpenUnit(13));
        Adc->CloseDevice();
        EXPECT_EQ(adapter->Driver(), "ftdi_sio");
        EXPECT_EQ(unit.Driver(), unitHolder == THolder::SerialDriver ? "ftdi_sio" : "");
        adapter->Unplug();
        unit.Unplug();
    }
}

TEST_P(UsbLink, FindsAFreeUnitBesideASerialAdapter) {
    // The unit's udev rule keeps the serial driver off it; the adapter has its driver.
    BesideSerialAdapter(THolder::None);
}

TEST_P(UsbLink, FindsTheUnitWhenTheSerialDriverHoldsBoth) {
    // A stock system: the serial driver binds every chip with the maker's ids.
    BesideSerialAdapter(THolder::SerialDriver);
}

TEST_P(UsbLink, PinnedSerialNumberPicksTheUnit) {
    TEmulatedChip& unit = Bus.Plug(Unit(1.0, THolder::SerialDriver));
    TEmulatedChip& adapter = Bus.Plug(SerialAdapter());
    setenv("KALVEX_UNIT_SERIAL", unit.Config().serial.c_str(), 1);
    EXPECT_TRUE(OpenUnit(13));
    Adc->CloseDevice();
    unsetenv("KALVEX_UNIT_SERIAL");
    // Reading its serial number is all the adapter may see: no data, no detach.
    EXPECT_EQ(adapter.BulkSubmitted(), 0u);
    EXPECT_TRUE(adapter.Commands().empty());
    EXPECT_EQ(adapter.DetachAttempts(), 0u);
    EXPECT_EQ(adapter.Driver(), "ftdi_sio");
    EXPECT_EQ(unit.Driver(), "ftdi_sio");
}

TEST_P(UsbLink, NeverTouchesADeviceThatAnotherProgramClaimed) {
    for (bool busyFirst : {true, false}) {
        TEmulatedChip* busy = nullptr;
        if (busyFirst) busy = &Bus.Plug(SerialAdapter(THolder::OtherProgram));
        TEmulatedChip& unit = Bus.Plug(Unit(1.0));
        if (!busyFirst) busy = &Bus.Plug(SerialAdapter(THolder::OtherProgram));
        EXPECT_TRUE(OpenUnit(13)) << "busy first: " << busyFirst;
        Adc->CloseDevice();
        EXPECT_EQ(busy->BulkSubmitted(), 0u);
        EXPECT_TRUE(busy->Commands().empty());
        EXPECT_EQ(busy->DetachAttempts(), 0u);
        EXPECT_EQ(busy->Driver(), "usbfs");
        busy->Unplug();
        unit.Unplug();
    }
}

TEST_P(UsbLink, UnplugMidBlockFailsUntilReopenedAfterReplug) {
    TEmulatedChip& chip = Bus.Plug(Unit(1.0));
    ASSERT_TRUE(OpenUnit(13));
    ASSERT_TRUE(Adc->StartConvert(0, 262144));
    std::vector<uint32_t> codes;
    EXPECT_TRUE(Acquire(codes, 1u << 20, 64, 200ms));
    EXPECT_FALSE(codes.empty());
    chip.Unplug();
    // Reads go on failing from now on: the link is lost, not merely quiet.
    EXPECT_FALSE(Acquire(codes, 1u << 20, 64, 3s));
    uint32_t dest[64];
    int n = 7;
    EXPECT_FALSE(Adc->ReadSamples(dest, n, 64));
    EXPECT_EQ(n, 0);
    EXPECT_FALSE(Adc->StopConvert());
    EXPECT_FALSE(Adc->CheckResponse());
    Adc->CloseDevice();
    EXPECT_EQ(d2xx::OpenHandleCount(), 0);

    // No device: the open fails; plugged back in: the next open works, with no restart.
    EXPECT_FALSE(Adc->OpenDevice());
    chip.Replug();
    ASSERT_TRUE(OpenUnit(13));
    ASSERT_TRUE(Adc->StartConvert(0, 1024));
    EXPECT_TRUE(Acquire(codes, 1024, 64, 10s));
    EXPECT_EQ(codes.size(), 1024u);
    ExpectSine(codes, 13);
    Adc->CloseDevice();
}

INSTANTIATE_TEST_SUITE_P(Shapes, UsbLink, ::testing::Values(TShape::FT245R, TShape::FT232H),
                         ShapeName);
