// The simulated unit's protocol engine on a clock driven by hand.
#include "unit_engine.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t MS = 1'000'000;

struct Unit {
    explicit Unit(TUnitConfig c = {}) : Engine(std::move(c)) {}
    std::string Say(const std::string& wire, int64_t waitNs = MS) {
        Engine.Receive(wire.data(), wire.size(), Now);
        return Run(waitNs);
    }
    std::string Run(int64_t ns) {
        Now += ns;
        std::string out;
        Engine.Collect(Now, out);
        return out;
    }
    TUnitEngine Engine;
    int64_t Now = 0;
};

} // namespace

TEST(SimEngine, AnswersEveryCommand) {
    Unit u;
    EXPECT_EQ(u.Say("?\r"), "OK\r");
    EXPECT_EQ(u.Say("S5\r"), "OK\r");
    EXPECT_FALSE(u.Engine.Sinc3());
    EXPECT_EQ(u.Say("S3\r"), "OK\r");
    EXPECT_TRUE(u.Engine.Sinc3());
    for (char c : std::string("0123456789ABCD")) {
        EXPECT_EQ(u.Say(std::string("F") + c + "\r"), "OK\r") << c;
        EXPECT_EQ(u.Engine.RateIndex(), c <= '9' ? c - '0' : c - 'A' + 10);
    }
    EXPECT_EQ(u.Say("U?\r"), "ZR4410QM\r");
    EXPECT_EQ(u.Say("V?\r"), "1.00\r");
    EXPECT_EQ(u.Say("AX\r"), "");
    // Refused: unknown, out-of-range rate, lower-case digit, bad channel, bad count, too long.
    for (const char* bad :
         {"X\r", "FE\r", "Fa\r", "F\r", "A300400\r", "A10040\r", "A1004G0\r", "s3\r", "\r", "??\r"})
        EXPECT_EQ(u.Say(bad), "NG\r") << bad;
    EXPECT_EQ(u.Say(std::string(500, 'Z') + "\r?\r"), "NG\rOK\r");
    // Commands split over writes and LF after CR are fine.
    u.Say("U");
    EXPECT_EQ(u.Say("?\r\n"), "ZR4410QM\r");
    EXPECT_EQ(u.Engine.RateIndex(), 13);
}

TEST(SimEngine, RecordsArePacedAndCounted) {
    TUnitConfig c;
    c.speed = 2.0;
    Unit u(c);
    u.Say("F7\r"); // 200 sps: 5 ms a record, 2.5 ms at double speed
    u.Engine.Receive("A000004\r", 8, u.Now);
    EXPECT_EQ(u.Run(2 * MS), "");
    std::string first = u.Run(MS); // at 3 ms: one record
    ASSERT_EQ(first.size(), 9u);
    EXPECT_EQ(first[8], '\r');
    EXPECT_EQ(first.find_first_not_of("0123456789ABCDEF"), 8u);
    EXPECT_EQ(u.Run(100 * MS).size(), 27u) << "stops after the requested 4";
    EXPECT_FALSE(u.Engine.Converting());

    // Count 0 streams until "AX".
    u.Say("FD\r");
    u.Engine.Receive("A000000\r", 8, u.Now);
    EXPECT_EQ(u.Run(100 * MS + MS / 100).size(), 9u * 2000);
    EXPECT_EQ(u.Say("AX\r", 100 * MS), "");
    EXPECT_FALSE(u.Engine.Converting());

    // Any other command ends a conversion too, and is answered.
    u.Engine.Receive("A0FFFFF\r", 8, u.Now);
    u.Run(MS);
    EXPECT_EQ(u.Say("?\r", 50 * MS), "OK\r");
}

TEST(SimEngine, FloodOfCommandsIsBounded) {
    Unit u;
    std::string flood(100'000, '\r');
    u.Engine.Receive(flood.data(), flood.size(), 0);
    std::string out = u.Run(10'000 * MS);
    EXPECT_LE(out.size(), 3u * 1024);
    EXPECT_EQ(u.Say("?\r"), "OK\r");
}
