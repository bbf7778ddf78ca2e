// The simulated unit's protocol engine on a clock driven by hand.
#include "unit_engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
}

namespace {

// The unit's output cut into whole records (8 hex digits and CR) and the other lines.
struct Stream {
    int records = 0;
    std::vector<std::string> lines; // replies, in order
    std::vector<int> recordsBefore; // records that preceded each reply
    bool clean = true;              // nothing but whole records and lines
};

Stream Parse(const std::string& s) {
    Stream out;
    size_t p = 0;
    while (p < s.size()) {
        const bool record = p + 9 <= s.size() && s[p + 8] == '\r' &&
                            s.find_first_not_of("0123456789ABCDEF", p) == p + 8;
        if (record) {
            ++out.records;
            p += 9;
            continue;
        }
        const size_t cr = s.find('\r', p);
        if (cr == std::string::npos) {
            out.clean = false;
            break;
        }
        out.lines.push_back(s.substr(p, cr - p));
        out.recordsBefore.push_back(out.records);
        p = cr + 1;
    }
    return out;
}

} // namespace

TEST(SimEngine, OnlyStopOrTheCountEndsAConversion) {
    Unit u;
    u.Say("A000000\r"); // 10 ksps until "AX"
    ASSERT_TRUE(u.Engine.Converting());
    // Other commands are answered in the stream, between two records; the stream goes on.
    u.Engine.Receive("?\r", 2, u.Now + MS / 2);
    u.Engine.Receive("U?\r", 3, u.Now + MS / 2);
    u.Engine.Receive("A100400\r", 8, u.Now + MS / 2); // busy: refused
    u.Engine.Receive("S5\rF0\r", 6, u.Now + MS / 2);  // for the next conversion
    Stream s = Parse(u.Run(2 * MS));
    ASSERT_TRUE(s.clean);
    EXPECT_EQ(s.lines, (std::vector<std::string>{"OK", "ZR4410QM", "NG", "OK", "OK"}));
    EXPECT_EQ(s.records, 20);
    EXPECT_EQ(s.recordsBefore.front(), 7) << "the reply is due 0.2 ms after its command";
    EXPECT_TRUE(u.Engine.Converting());
    EXPECT_EQ(Parse(u.Run(10 * MS)).records, 100) << "still at its own rate";

    // "AX": what was due before it still comes, nothing after; a second one is harmless.
    u.Engine.Receive("AX\r", 3, u.Now + MS);
    u.Engine.Receive("AX\r", 3, u.Now + MS);
    EXPECT_FALSE(u.Engine.ConvertingAt(u.Now + MS));
    s = Parse(u.Run(50 * MS));
    EXPECT_EQ(s.records, 10);
    EXPECT_TRUE(s.lines.empty());
    EXPECT_FALSE(u.Engine.Converting());
    EXPECT_EQ(u.Say("?\r"), "OK\r");

    // The next conversion uses what was set while streaming: Sinc5, 5 sps.
    u.Engine.Receive("A000003\r", 8, u.Now);
    EXPECT_TRUE(u.Engine.ConvertingAt(u.Now + 599 * MS));
    EXPECT_FALSE(u.Engine.ConvertingAt(u.Now + 600 * MS)) << "past its count";
    EXPECT_EQ(Parse(u.Run(599 * MS)).records, 2);
    EXPECT_EQ(Parse(u.Run(10'000 * MS)).records, 1);
    EXPECT_FALSE(u.Engine.Converting());

    // A stop and a new start before anyone looked: the old run's records come first.
    u.Say("FD\r");
    u.Engine.Receive("A000000\r", 8, u.Now);
    u.Engine.Receive("AX\rA000002\r", 11, u.Now + MS);
    s = Parse(u.Run(10 * MS));
    EXPECT_EQ(s.records, 12);
    EXPECT_TRUE(s.lines.empty()) << "the new start is no busy refusal";
}

TEST(SimEngine, WhatNobodyCollectsIsLostAndTimeMovesOn) {
    Unit u;
    u.Say("F7\r");                           // 200 sps, 5 ms a record
    u.Engine.Receive("A000064\r", 8, u.Now); // 100 records, 500 ms
    EXPECT_EQ(Parse(u.Run(50 * MS)).records, 10);
    u.Engine.Receive("?\r", 2, u.Now);
    u.Now += 200 * MS;
    u.Engine.Discard(u.Now);
    EXPECT_EQ(u.Engine.RecordsSent(), 50);
    EXPECT_TRUE(u.Engine.Converting());
    Stream s = Parse(u.Run(25 * MS));
    EXPECT_EQ(s.records, 5) << "on schedule, not in a burst";
    EXPECT_TRUE(s.lines.empty()) << "the reply went with the host";
    u.Now += 10'000 * MS;
    u.Engine.Discard(u.Now);
    EXPECT_FALSE(u.Engine.Converting()) << "the count ran out meanwhile";
    EXPECT_EQ(u.Engine.RecordsSent(), 100);
    EXPECT_EQ(u.Say("?\r"), "OK\r");

    // A stream until "AX", left for an hour, is where the clock says: no backlog, no gap.
    u.Say("FD\r");
    u.Engine.Receive("A000000\r", 8, u.Now);
    u.Now += 3'600'000 * MS;
    u.Engine.Discard(u.Now);
    // (the rate table's period is a float, a hair above 0.1 ms)
    EXPECT_NEAR(static_cast<double>(u.Engine.RecordsSent()), 36'000'000, 1);
    EXPECT_EQ(Parse(u.Run(MS)).records, 10);
}

TEST(SimEngine, FloodOfCommandsIsBounded) {
    Unit u;
    std::string flood(100'000, '\r');
    u.Engine.Receive(flood.data(), flood.size(), 0);
    std::string out = u.Run(10'000 * MS);
    EXPECT_LE(out.size(), 3u * 1024);
    EXPECT_EQ(u.Say("?\r"), "OK\r");
}
