// The emulated chip against plain libftdi1 calls, without the link's own back-end: the bench is
// proven on its own before it judges anything else.
#include "emulated_ftdi.h"

#include <gtest/gtest.h>

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <string>
#include <thread>

using namespace usbemul;

namespace {

// A libftdi context opened on the index-th vendor-0403 device, as an application would.
struct TFtdi {
    ftdi_context* ctx = ftdi_new();
    ~TFtdi() {
        if (open) ftdi_usb_close(ctx);
        ftdi_free(ctx);
    }
    int Open(const TEmulatedChip& chip) {
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(ctx->usb_ctx, &list);
        int r = -100;
        for (ssize_t i = 0; i < n; ++i) {
            if (libusb_get_device_address(list[i]) == chip.Address()) {
                r = ftdi_usb_open_dev(ctx, list[i]);
                break;
            }
        }
        if (n >= 0) libusb_free_device_list(list, 1);
        open = r == 0;
        return r;
    }
    // Reads until want bytes came or the deadline passed.
    std::string ReadFor(size_t want, std::chrono::milliseconds limit) {
        std::string got;
        unsigned char buf[4096];
        const auto end = TClock::now() + limit;
        while (got.size() < want && TClock::now() < end) {
            const int r = ftdi_read_data(ctx, buf, sizeof buf);
            if (r < 0) break;
            got.append(reinterpret_cast<char*>(buf), static_cast<size_t>(r));
        }
        return got;
    }
    int Write(const std::string& s) {
        return ftdi_write_data(ctx, reinterpret_cast<const unsigned char*>(s.data()),
                               static_cast<int>(s.size()));
    }
    bool open = false;
};

class LibftdiOnChip : public ::testing::TestWithParam<TShape> {
protected:
    TUsbBench Bus;
    TChipConfig Config(TUnitConfig unit = CheckableUnit()) const {
        TChipConfig c;
        c.shape = GetParam();
        c.unit = std::move(unit);
        return c;
    }
};

} // namespace

TEST_P(LibftdiOnChip, OpensAsTheRightChipAndAnswersCommands) {
    TEmulatedChip& chip = Bus.Plug(Config());
    TFtdi f;
    ASSERT_EQ(f.Open(chip), 0) << ftdi_get_error_string(f.ctx);
    EXPECT_EQ(f.ctx->type, GetParam() == TShape::FT245R ? TYPE_R : TYPE_232H);
    EXPECT_EQ(static_cast<int>(f.ctx->max_packet_size), chip.MaxPacket());
    EXPECT_EQ(chip.Driver(), "usbfs");

    ASSERT_EQ(ftdi_set_latency_timer(f.ctx, 2), 0);
    unsigned char latency = 0;
    ASSERT_EQ(ftdi_get_latency_timer(f.ctx, &latency), 0);
    EXPECT_EQ(latency, 2);
    EXPECT_EQ(chip.LatencyMs(), 2);

    ASSERT_EQ(f.Write("?\r"), 2);
    EXPECT_EQ(f.ReadFor(3, std::chrono::milliseconds(500)), "OK\r");
    ASSERT_EQ(f.Write("U?\r"), 3);
    EXPECT_EQ(f.ReadFor(9, std::chrono::milliseconds(500)), "ZR4410QM\r");
    ASSERT_EQ(chip.Commands().size(), 2u);
    EXPECT_EQ(chip.Commands()[1].line, "U?");

    // Nothing to say: the chip answers with its two status bytes alone, which libftdi strips.
    unsigned char buf[64];
    EXPECT_EQ(ftdi_read_data(f.ctx, buf, sizeof buf), 0);
}

TEST_P(LibftdiOnChip, StreamsEveryRecordAcrossPacketsAndTransfers) {
    // 2000 records at 10 ksps, sent 20 times faster than real time.
    TEmulatedChip& chip = Bus.Plug(Config(CheckableUnit(20.0)));
    TFtdi f;
    ASSERT_EQ(f.Open(chip), 0);
    ASSERT_EQ(ftdi_set_latency_timer(f.ctx, 2), 0);
    ASSERT_EQ(f.Write("FD\rA0007D0\r"), 11);
    std::string got = f.ReadFor(3 + 2000 * 9, std::chrono::seconds(10));
    ASSERT_EQ(got.size(), 3u + 2000 * 9);
    EXPECT_EQ(got.substr(0, 3), "OK\r");
    const double period = static_cast<double>(0.1f) / 1000.0;
    for (long long k = 0; k < 2000; ++k) {
        const std::string rec = got.substr(3 + static_cast<size_t>(k) * 9, 9);
        ASSERT_EQ(rec[8], '\r') << k;
        const double code = static_cast<double>(std::stoul(rec.substr(0, 8), nullptr, 16));
        ASSERT_NEAR(code, ReferenceCode(2.0, 1234.5, period, k), 2.0) << k;
    }
    EXPECT_FALSE(chip.Converting());
}

TEST_P(LibftdiOnChip, PurgeDropsWhatTheChipHeld) {
    TEmulatedChip& chip = Bus.Plug(Config());
    TFtdi f;
    ASSERT_EQ(f.Open(chip), 0);
    chip.Inject("stale bytes");
    ASSERT_EQ(ftdi_tcioflush(f.ctx), 0);
    EXPECT_GE(chip.Purges(), 1u);
    ASSERT_EQ(f.Write("V?\r"), 3);
    EXPECT_EQ(f.ReadFor(5, std::chrono::milliseconds(500)), "1.00\r");
}

TEST_P(LibftdiOnChip, TimedOutTransferKeepsTheBytesThatCame) {
    // A transfer cancelled by libusb's time-out still holds the packets that crossed the wire,
    // as a host controller hands them back; only the short packet that ends a transfer is late.
    Bus.Plug(Config(CheckableUnit(1.0)));
    libusb_context* usb = nullptr;
    ASSERT_EQ(libusb_init(&usb), 0);
    libusb_device_handle* h = libusb_open_device_with_vid_pid(
        usb, 0x0403, GetParam() == TShape::FT245R ? 0x6001 : 0x6014);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(libusb_claim_interface(h, 0), 0);
    // Latency 255 ms: a transfer ends only when its buffer is full.
    ASSERT_EQ(libusb_control_transfer(h, 0x40, 9, 255, 1, nullptr, 0, 100), 0);
    unsigned char cmd[] = "FD\rA0003E8\r"; // 1000 records at 10 ksps
    int done = 0;
    ASSERT_EQ(libusb_bulk_transfer(h, 0x02, cmd, 11, &done, 100), 0);
    const int packet = GetParam() == TShape::FT245R ? 64 : 512;
    std::string payload;
    int timedOutWithData = 0;
    unsigned char buf[4096];
    const auto end = TClock::now() + std::chrono::seconds(5);
    while (payload.size() < 3 + 9000 && TClock::now() < end) {
        int got = 0;
        const int r = libusb_bulk_transfer(h, 0x81, buf, sizeof buf, &got, 20);
        ASSERT_TRUE(r == 0 || r == LIBUSB_ERROR_TIMEOUT) << r;
        if (r == LIBUSB_ERROR_TIMEOUT && got > 0) ++timedOutWithData;
        for (int at = 0; at < got; at += packet) {
            const int n = std::min(packet, got - at);
            ASSERT_GE(n, 2);
            EXPECT_EQ(buf[at], 0x01);
            payload.append(reinterpret_cast<char*>(buf) + at + 2, static_cast<size_t>(n - 2));
        }
    }
    EXPECT_GT(timedOutWithData, 0);
    ASSERT_GE(payload.size(), 3u + 9000);
    EXPECT_EQ(payload.substr(0, 3), "OK\r");
    for (size_t k = 0; k < 1000; ++k)
        ASSERT_EQ(payload[3 + k * 9 + 8], '\r') << k;
    libusb_release_interface(h, 0);
    libusb_close(h);
    libusb_exit(usb);
}

TEST_P(LibftdiOnChip, SerialDriverAndOtherProgramsAreModelled) {
    TChipConfig held = Config();
    held.holder = THolder::SerialDriver;
    TEmulatedChip& serial = Bus.Plug(held);
    TChipConfig other = Config();
    other.holder = THolder::OtherProgram;
    TEmulatedChip& busy = Bus.Plug(other);
    EXPECT_EQ(serial.Driver(), "ftdi_sio");
    EXPECT_EQ(busy.Driver(), "usbfs");

    {
        TFtdi f;
        f.ctx->module_detach_mode = DONT_DETACH_SIO_MODULE;
        EXPECT_EQ(f.Open(serial), -5); // the serial driver holds it
        TFtdi g;
        g.ctx->module_detach_mode = DONT_DETACH_SIO_MODULE;
        EXPECT_EQ(g.Open(busy), -5); // another program holds it
    }
    {
        // Detached for as long as we use it, given back afterwards.
        TFtdi f;
        ASSERT_EQ(f.Open(serial), 0);
        EXPECT_EQ(serial.Driver(), "usbfs");
        ASSERT_EQ(libusb_release_interface(f.ctx->usb_dev, 0), 0);
        EXPECT_EQ(serial.Driver(), "");
        EXPECT_EQ(libusb_attach_kernel_driver(f.ctx->usb_dev, 0), 0);
        EXPECT_EQ(serial.Driver(), "ftdi_sio");
        EXPECT_EQ(libusb_kernel_driver_active(f.ctx->usb_dev, 0), 1);
    }
    {
        // libusb's own detach-and-claim, and its re-attach on release.
        TFtdi f;
        f.ctx->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
        ASSERT_EQ(f.Open(serial), 0);
        EXPECT_EQ(serial.Driver(), "usbfs");
        ftdi_usb_close(f.ctx);
        f.open = false;
        EXPECT_EQ(serial.Driver(), "ftdi_sio");
    }
    {
        // A device that another program claimed refuses every way in.
        TFtdi f;
        EXPECT_LT(f.Open(busy), 0);
        TFtdi g;
        g.ctx->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
        EXPECT_LT(g.Open(busy), 0);
        EXPECT_EQ(busy.Driver(), "usbfs");
    }
}

TEST_P(LibftdiOnChip, UnplugEndsTransfersAndReplugComesBack) {
    TEmulatedChip& chip = Bus.Plug(Config(CheckableUnit(1.0)));
    TFtdi f;
    ASSERT_EQ(f.Open(chip), 0);
    ASSERT_EQ(f.Write("FA\rA000000\r"), 11); // 1 ksps until "AX"
    unsigned char buf[4096];
    std::thread pull([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        chip.Unplug();
    });
    int r = 0;
    const auto end = TClock::now() + std::chrono::seconds(5);
    while (r >= 0 && TClock::now() < end)
        r = ftdi_read_data(f.ctx, buf, sizeof buf);
    pull.join();
    EXPECT_LT(r, 0);
    EXPECT_FALSE(chip.Plugged());
    EXPECT_LT(f.Write("AX\r"), 0);
    ftdi_usb_close(f.ctx);
    f.open = false;

    chip.Replug();
    TFtdi g;
    ASSERT_EQ(g.Open(chip), 0);
    ASSERT_EQ(g.Write("?\r"), 2);
    EXPECT_EQ(g.ReadFor(3, std::chrono::milliseconds(500)), "OK\r");
    EXPECT_EQ(chip.Commands().back().plug, 1);
}

INSTANTIATE_TEST_SUITE_P(Shapes, LibftdiOnChip, ::testing::Values(TShape::FT245R, TShape::FT232H),
                         ShapeName);
