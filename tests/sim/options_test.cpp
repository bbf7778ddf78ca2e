// kalvex-unitsim's command line and the socket path rule.
#include "sim_options.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TSimOptions Parse(std::initializer_list<std::string_view> args) {
    return ParseSimOptions(args);
}

} // namespace

TEST(SimOptions, OptionsLand) {
    TSimOptions o =
        Parse({"--socket", "/tmp/u.sock", "--speed", "50", "--ch1", "sine=50:0.1", "--ng", "S3",
               "--full-scale-at", "7:low", "--split-at", "2", "--reply-delay", "150", "--once"});
    ASSERT_EQ(o.error, "");
    EXPECT_EQ(o.socketPath, "/tmp/u.sock");
    EXPECT_EQ(o.unit.speed, 50.0);
    ASSERT_EQ(o.unit.channels[1].sines.size(), 1u);
    EXPECT_EQ(o.unit.channels[0].sines.size(), 3u) << "CH0 keeps its default";
    const TUnitFaults& f = o.unit.faults;
    EXPECT_EQ(f.ngCommand, "S3");
    EXPECT_EQ(f.fullScaleAt, 7);
    EXPECT_FALSE(f.fullScaleHigh);
    EXPECT_EQ(f.splitAt, 2);
    EXPECT_EQ(f.replyDelayMs, 150.0);
    EXPECT_TRUE(o.once && !o.help);
    EXPECT_TRUE(Parse({"--full-scale-at", "3"}).unit.faults.fullScaleHigh);
}

TEST(SimOptions, RefusesBadInput) {
    for (auto args : std::vector<std::vector<std::string_view>>{{"--speed"},
                                                                {"--speed", "0"},
                                                                {"--speed", "fast"},
                                                                {"--seed", "-1"},
                                                                {"--no-cr-at", "1.5"},
                                                                {"--ch0", "sine=1"},
                                                                {"--full-scale-at", "x:low"},
                                                                {"--bogus"},
                                                                {"--reply-delay", "-3"}})
        EXPECT_NE(ParseSimOptions(args).error, "") << args[0];
}

TEST(SimOptions, SocketPathRule) {
    const char* oldXdg = std::getenv("XDG_RUNTIME_DIR");
    std::string keep = oldXdg ? oldXdg : "";
    ::setenv("KALVEX_UNIT_SOCKET", "/x/unit.sock", 1);
    ::setenv("XDG_RUNTIME_DIR", "/run/user/5", 1);
    EXPECT_EQ(DefaultUnitSocketPath(), "/x/unit.sock");
    ::unsetenv("KALVEX_UNIT_SOCKET");
    EXPECT_EQ(DefaultUnitSocketPath(), "/run/user/5/kalvex-unit.sock");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(DefaultUnitSocketPath(), "/tmp/kalvex-unit-" + std::to_string(getuid()) + ".sock");
    if (oldXdg) ::setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}
