// kalvex-unitsim as a real process, reached through the stand-in's socket back-end.
#include "ad7177.h"
#include "d2xx/d2xx_virtual.h"
#include "signal_model.h"

#include "unit_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The simulator at the path the build gives.
class TSimProcess : public TUnitProcess {
public:
    TSimProcess(const std::string& socket, std::vector<std::string> extra)
        : TUnitProcess(KALVEX_UNITSIM_PATH, socket, std::move(extra)) {}
};

class DeviceSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        Path = "/tmp/kalvex-test-" + std::to_string(getpid()) + ".sock";
        ::unlink(Path.c_str());
        ::setenv("KALVEX_UNIT_SOCKET", Path.c_str(), 1);
        Tft_FIFO::Hooks = TLinkHooks{};
    }
    void TearDown() override {
        ::unsetenv("KALVEX_UNIT_SOCKET");
        ::unlink(Path.c_str());
    }
    // Polls as the program's acquisition step does, with a bound on the wall time.
    bool Acquire(TADC& adc, std::vector<uint32_t>& codes, size_t total, int block) {
        codes.assign(total, 0);
        size_t have = 0;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (have < total && std::chrono::steady_clock::now() < giveUp) {
            int n = 0;
            if (!adc.ReadSamples(codes.data() + have, n, block)) {
                codes.resize(have + static_cast<size_t>(n));
                return false;
            }
            have += static_cast<size_t>(n);
            if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        codes.resize(have);
        return have == total;
    }
    std::string Path;
};

} // namespace

TEST_F(DeviceSocketTest, NoUnitListeningIsNotFound) {
    TADC adc;
    EXPECT_EQ(d2xx::UnitSocketPath(), Path);
    EXPECT_FALSE(adc.OpenDevice());
    EXPECT_FALSE(adc.IsOpen());
    EXPECT_EQ(d2xx::OpenHandleCount(), 0);
}

TEST_F(DeviceSocketTest, MeasurementFromTheUnitProcess) {
    TSimProcess unit(Path, {"--speed", "20", "--seed", "7", "--version", "9.87"});
    ASSERT_TRUE(unit.Running());
    TADC adc;
    ASSERT_TRUE(adc.OpenDevice());
    ASSERT_TRUE(adc.CheckResponse());
    ASSERT_TRUE(adc.SetFilterSinc5());
    ASSERT_TRUE(adc.SetRate(12));
    std::string name, version;
    ASSERT_TRUE(adc.GetUnitName(name));
    EXPECT_EQ(name, adc.GetModelName());
    ASSERT_TRUE(adc.GetVersion(version));
    EXPECT_EQ(version, "9.87");
    ASSERT_TRUE(adc.StartConvert(1, 2048));
    std::vector<uint32_t> codes;
    ASSERT_TRUE(Acquire(adc, codes, 2048, 32));
    TSignalGenerator reference(DefaultChannelSignal(1), 0.2, 7 * 1000003u, false); // Sinc5
    for (size_t i = 0; i < codes.size(); ++i)
        ASSERT_EQ(codes[i], reference.Next()) << i;
    EXPECT_TRUE(adc.StopConvert());
    // Stopped early this time: the next opening still gets its answer.
    ASSERT_TRUE(adc.StartConvert(0, 0x10000));
    ASSERT_TRUE(Acquire(adc, codes, 64, 64));
    EXPECT_TRUE(adc.StopConvert());
    ASSERT_TRUE(adc.OpenDevice());
    EXPECT_TRUE(adc.CheckResponse());
    adc.CloseDevice();
    EXPECT_EQ(d2xx::OpenHandleCount(), 0);
}

// A program killed mid-block leaves the unit streaming; the next one opens it at once.
TEST_F(DeviceSocketTest, AHostKilledMidBlockLeavesAUnitTheNextOneOpensAtOnce) {
    TSimProcess unit(Path, {});
    ASSERT_TRUE(unit.Running());
    for (int rate : {0, 13}) {
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE("rate " + std::to_string(rate) + " round " + std::to_string(round));
            {
                TADC adc;
                ASSERT_TRUE(adc.OpenDevice());
                ASSERT_TRUE(adc.CheckResponse());
                ASSERT_TRUE(adc.SetFilterSinc3());
                ASSERT_TRUE(adc.SetRate(rate));
                ASSERT_TRUE(adc.StartConvert(0, 0x40000));
                std::vector<uint32_t> codes;
                ASSERT_TRUE(Acquire(adc, codes, 2, 1));
            } // the link closes without "AX", as when the program is killed
            {
                // The unit is still streaming for whoever comes next.
                Tft_FIFO raw;
                ASSERT_TRUE(raw.Open());
                uint8_t buf[64];
                uint32_t got = 0;
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
                while (got == 0 && std::chrono::steady_clock::now() < giveUp) {
                    ASSERT_TRUE(raw.ReadAvailable(buf, sizeof buf, got));
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
                EXPECT_GT(got, 0u);
            }
            TADC next;
            ASSERT_TRUE(next.OpenDevice());
            EXPECT_TRUE(next.CheckResponse()) << "at the first try";
            ASSERT_TRUE(next.SetFilterSinc3());
            ASSERT_TRUE(next.SetRate(13));
            std::string name, version;
            ASSERT_TRUE(next.GetUnitName(name) && next.GetVersion(version));
            EXPECT_EQ(name, next.GetModelName());
            ASSERT_TRUE(next.StartConvert(1, 1024));
            std::vector<uint32_t> codes;
            EXPECT_TRUE(Acquire(next, codes, 1024, 64));
            // Left streaming again when this link closes: the next round starts as the first.
        }
    }
}

TEST_F(DeviceSocketTest, DroppedLinkAndSplitReplies) {
    TSimProcess unit(Path, {"--speed", "20", "--drop-after", "500", "--split-at", "1"});
    ASSERT_TRUE(unit.Running());
    TADC adc;
    ASSERT_TRUE(adc.OpenDevice());
    EXPECT_TRUE(adc.CheckResponse());
    ASSERT_TRUE(adc.StartConvert(0, 4096));
    std::vector<uint32_t> codes;
    EXPECT_FALSE(Acquire(adc, codes, 4096, 64));
    EXPECT_LE(codes.size(), 500u);
    EXPECT_FALSE(adc.CheckResponse());
    EXPECT_EQ(d2xx::OpenHandleCount(), 0);
}
