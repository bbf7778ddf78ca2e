// The USB back-end's own rules, without a bus: how an IN transfer's packets are unwrapped and in
// which order the chips on the bus are tried.
#include "d2xx/backend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using d2xx::AppendFtdiPayload;
using d2xx::TUsbChip;
using d2xx::UsbOpenOrder;

namespace {

// A transfer as a chip sends it: each payload piece behind its own two status bytes.
std::string Packets(const std::vector<std::string>& payloads) {
    std::string wire;
    for (const auto& p : payloads)
        wire += std::string("\x31\x60", 2) + p;
    return wire;
}

std::string Unwrap(const std::string& wire, size_t maxPacket, size_t limit = 1u << 20) {
    std::string out = "<";
    AppendFtdiPayload(reinterpret_cast<const uint8_t*>(wire.data()), wire.size(), maxPacket, out,
                      limit);
    return out;
}

TUsbChip Chip(bool bound, std::string serial = {}) {
    TUsbChip c;
    c.driverBound = bound;
    c.serial = std::move(serial);
    return c;
}

} // namespace

TEST(FtdiPayload, StatusBytesLeadEveryPacketOfATransfer) {
    // Full-speed and high-speed packets, a short last packet, status-only packets.
    for (const size_t mps : {size_t{64}, size_t{512}}) {
        const std::string full(mps - 2, 'a');
        const std::string wire = Packets({full, full, "OK\r"});
        EXPECT_EQ(Unwrap(wire, mps), "<" + full + full + "OK\r") << mps;
        EXPECT_EQ(Unwrap(Packets({""}), mps), "<") << mps;
        EXPECT_EQ(Unwrap(Packets({full, ""}), mps), "<" + full) << mps;
    }
    // A record split over a packet boundary comes out whole.
    const std::string first = std::string(58, 'x') + "1234";
    EXPECT_EQ(Unwrap(Packets({first, "5678\r"}), 64), "<" + first + "5678\r");
    // A transfer cut after one status byte brings nothing more.
    EXPECT_EQ(Unwrap(Packets({std::string(62, 'y')}) + "\x31", 64), "<" + std::string(62, 'y'));
}

TEST(FtdiPayload, StopsAtTheQueueLimit) {
    EXPECT_EQ(Unwrap(Packets({"abcdef", "ghij"}), 8, 5), "<abcd");
    EXPECT_EQ(Unwrap(Packets({"abcdef"}), 8, 1), "<");
}

TEST(UsbOpenOrder, FreeChipsFirstThenTheSerialDriversInBusOrder) {
    EXPECT_EQ(UsbOpenOrder({}, ""), std::vector<size_t>{});
    // An adapter in front held by the serial driver does not hide a free unit behind it.
    EXPECT_EQ(UsbOpenOrder({Chip(true), Chip(false)}, ""), (std::vector<size_t>{1, 0}));
    EXPECT_EQ(UsbOpenOrder({Chip(false), Chip(true)}, ""), (std::vector<size_t>{0, 1}));
    EXPECT_EQ(UsbOpenOrder({Chip(true), Chip(false), Chip(true), Chip(false)}, ""),
              (std::vector<size_t>{1, 3, 0, 2}));
}

TEST(UsbOpenOrder, APinnedSerialLeavesOnlyThatChip) {
    const std::vector<TUsbChip> chips = {Chip(false, "A1"), Chip(true, "KX7"), Chip(false, "")};
    EXPECT_EQ(UsbOpenOrder(chips, "KX7"), std::vector<size_t>{1});
    EXPECT_EQ(UsbOpenOrder(chips, "KX"), std::vector<size_t>{}); // whole serial numbers only
    EXPECT_EQ(UsbOpenOrder(chips, "nope"), std::vector<size_t>{});
}

TEST(UsbOpenOrder, SerialIsPinnedThroughTheEnvironment) {
    ::setenv("KALVEX_UNIT_SERIAL", "KX000002", 1);
    EXPECT_EQ(d2xx::PinnedUnitSerial(), "KX000002");
    ::unsetenv("KALVEX_UNIT_SERIAL");
    EXPECT_EQ(d2xx::PinnedUnitSerial(), "");
}
