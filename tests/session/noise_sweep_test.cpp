// The noise table: one row's figures against the definitions on seeded noise (RMS, peak to
// peak, bits, and the density against a direct DFT), the duration estimate, the table's CSV,
// and whole sweeps through the simulated unit on the test's clock: rows in order, a stop, a
// lost link, a block out of range and a missing unit.
#include "measure_session.h"
#include "noise_sweep.h"
#include "virtual_unit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>
#include <sstream>
#include <vector>

namespace {

constexpr double kVoltPerCode = 2.5 / 2147483647.0;

std::vector<uint32_t> NoiseCodes(int n, double rmsV, double dcV, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> g(0.0, rmsV);
    std::vector<uint32_t> codes(static_cast<size_t>(n));
    for (auto& c : codes)
        c = static_cast<uint32_t>(std::llround(2147483648.0 + (dcV + g(rng)) / kVoltPerCode));
    return codes;
}

// One-sided periodogram density of the mean-removed codes, rectangular window, by a direct
// DFT: mean over bins lo..n/2-1 of 2 |X_k|^2 / (n^2 delta f), square-rooted.
double DirectDensity(const std::vector<uint32_t>& codes, double fs, int lo) {
    const int n = static_cast<int>(codes.size());
    double mean = 0.0;
    for (uint32_t c : codes)
        mean += c;
    mean /= n;
    double sum = 0.0;
    for (int k = lo; k <= n / 2 - 1; ++k) {
        double re = 0.0, im = 0.0;
        for (int j = 0; j < n; ++j) {
            const double x = (codes[static_cast<size_t>(j)] - mean) * kVoltPerCode;
            const double a = 2.0 * std::numbers::pi * k * j / n;
            re += x * std::cos(a);
            im -= x * std::sin(a);
        }
        sum += 2.0 * (re * re + im * im) / (static_cast<double>(n) * n);
    }
    const double deltaF = fs / n;
    return std::sqrt(sum / (n / 2 - lo) / deltaF);
}

std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        EXPECT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\r');
        line.pop_back();
        std::vector<std::string> f;
        std::stringstream ls(line);
        std::string item;
        while (std::getline(ls, item, ','))
            f.push_back(item);
        if (!line.empty() && line.back() == ',') f.push_back("");
        rows.push_back(f);
    }
    return rows;
}

} // namespace

TEST(NoiseRow, FiguresFollowTheirDefinitions) {
    const std::vector<uint32_t> codes = NoiseCodes(4096, 5e-6, 0.3, 11);
    const TNoiseRow row = NoiseRowOf(codes.data(), 4096, 13, 1, 1);
    // Reference from the codes, in double.
    double mean = 0.0;
    for (uint32_t c : codes)
        mean += c;
    mean /= 4096;
    double ss = 0.0;
    for (uint32_t c : codes)
        ss += (c - mean) * (c - mean);
    const double rmsCodes = std::sqrt(ss / 4096);
    const auto [lo, hi] = std::minmax_element(codes.begin(), codes.end());
    const double pp = static_cast<double>(*hi - *lo);
    EXPECT_NEAR(row.rmsCodes, rmsCodes, 1e-9 * rmsCodes);
    EXPECT_NEAR(row.rmsUv, rmsCodes * kVoltPerCode * 1e6, 1e-9);
    EXPECT_DOUBLE_EQ(row.ppCodes, pp);
    EXPECT_NEAR(row.ppUv, pp * kVoltPerCode * 1e6, 1e-9);
    EXPECT_NEAR(row.effectiveBits, std::log2(5.0 / (rmsCodes * kVoltPerCode)), 1e-9);
    EXPECT_NEAR(row.noiseFreeBits, std::log2(5.0 / (pp * kVoltPerCode)), 1e-9);
    EXPECT_NEAR(row.meanV, 0.3, 1e-6);
    EXPECT_EQ(row.rateText, "10ksps");
    EXPECT_EQ(row.count, 4096);
    // White noise of 5 uV at 10 ksps: 5e-6 / sqrt(5000) V/sqrt(Hz), within the scatter of
    // about 2000 bins (Hanning).
    EXPECT_NEAR(row.densityVrtHz, 5e-6 / std::sqrt(5000.0), 0.05 * 5e-6 / std::sqrt(5000.0));
}

TEST(NoiseRow, DensityMatchesADirectDft) {
    const std::vector<uint32_t> codes = NoiseCodes(512, 2e-6, -1.0, 5);
    // Rectangular window (half-width 1): bins 2 .. n/2-1, 1 ksps.
    const TNoiseRow row = NoiseRowOf(codes.data(), 512, 10, 1, 0);
    const double ref = DirectDensity(codes, 1000.0, 2);
    EXPECT_NEAR(row.densityVrtHz, ref, 1e-9 * ref);
}

TEST(NoiseRow, ShortBlocksHaveNoDensityAndQuietOnesAreCapped) {
    const std::vector<uint32_t> codes(32, 0x80000000u);
    const TNoiseRow row = NoiseRowOf(codes.data(), 32, 0, 1, 1);
    EXPECT_EQ(row.densityVrtHz, 0.0);
    EXPECT_EQ(row.rmsCodes, 0.0);
    EXPECT_TRUE(std::isfinite(row.effectiveBits));
    EXPECT_TRUE(std::isfinite(row.noiseFreeBits));
}

TEST(SweepEstimate, SamplesTimesPeriodPlusOverhead) {
    TSweepPlan plan;
    plan.count = 1024;
    plan.points = {{0, 1}}; // 5 sps: 204.8 s
    EXPECT_NEAR(SweepDurationSeconds(plan, 0.0), 204.8, 1e-9);
    EXPECT_NEAR(SweepDurationSeconds(plan), 204.8 + SWEEP_BLOCK_OVERHEAD_S, 1e-9);
    EXPECT_EQ(SweepEstimateText(plan), "所要時間の目安: 約 3 分 26 秒");

    plan.points = SweepPoints({0, 13}, {1, 0});
    ASSERT_EQ(plan.points.size(), 4u);
    EXPECT_EQ(plan.points[1], (TSweepPoint{0, 0}));
    EXPECT_EQ(plan.points[2], (TSweepPoint{13, 1}));
    EXPECT_NEAR(SweepDurationSeconds(plan, 0.0), 2 * 204.8 + 2 * 0.1024, 1e-6); // float periods

    EXPECT_EQ(DurationText(0.2), "約 1 秒");
    EXPECT_EQ(DurationText(59.0), "約 59 秒");
    EXPECT_EQ(DurationText(7501.0), "約 2 時間 5 分");
    EXPECT_EQ(DurationText(-3.0), "約 0 秒");
}

TEST(NoiseTableCsv, HeaderAndFullPrecisionRows) {
    TNoiseRow a;
    a.spsSel = 2;
    a.sinc3 = 0;
    a.rateText = "16.66sps";
    a.count = 2048;
    a.rmsUv = 1.0 / 3.0;
    a.rmsCodes = 287.12345678901234;
    a.ppUv = 2.2;
    a.ppCodes = 1900;
    a.effectiveBits = 23.5;
    a.noiseFreeBits = 20.75;
    a.densityVrtHz = 1.234567890123e-8;
    a.meanV = -1e-7;
    TNoiseRow b = a;
    b.levelError = true;
    const auto rows = CsvRows(NoiseTableCsv({a, b}));
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_EQ(rows[0].size(), 13u);
    EXPECT_EQ(rows[0][0], "rate_index");
    EXPECT_EQ(rows[0][10], "density_v_per_rthz");
    ASSERT_EQ(rows[1].size(), 13u);
    EXPECT_EQ(rows[1][0], "2");
    EXPECT_EQ(rows[1][1], "16.66sps");
    EXPECT_EQ(rows[1][2], "sinc5");
    EXPECT_EQ(rows[1][3], "2048");
    EXPECT_EQ(std::strtod(rows[1][4].c_str(), nullptr), 1.0 / 3.0);
    EXPECT_EQ(std::strtod(rows[1][5].c_str(), nullptr), 287.12345678901234);
    EXPECT_EQ(std::strtod(rows[1][10].c_str(), nullptr), 1.234567890123e-8);
    EXPECT_EQ(rows[1][12], "0");
    // A block out of range has no figures.
    ASSERT_EQ(rows[2].size(), 13u);
    EXPECT_EQ(rows[2][4], "");
    EXPECT_EQ(rows[2][12], "1");
}

namespace {

class SweepTest : public DeviceLinkTest {
protected:
    // Drives the sweep as the window's poll does, the unit's time passing between steps.
    void Run(TNoiseSweep& sweep, int stopAfterRows = -1) {
        for (int i = 0; i < 2000000; ++i) {
            const TNoiseSweep::TStep step = sweep.Step();
            if (step == TNoiseSweep::TStep::Finished) return;
            if (step == TNoiseSweep::TStep::Row &&
                static_cast<int>(sweep.Rows().size()) == stopAfterRows) {
                sweep.Stop();
                return;
            }
            if (step == TNoiseSweep::TStep::Waiting) Advance(1.0);
        }
        FAIL() << "the sweep did not end";
    }
    TUnitConfig QuietCh1(double rmsV) {
        TUnitConfig c;
        c.channels[1] = TChannelSignal{};
        c.channels[1].dcV = 0.001;
        c.channels[1].noiseRmsV = rmsV;
        return c;
    }
};

} // namespace

TEST_F(SweepTest, OneRowPerRateAndFilterInOrder) {
    Attach(QuietCh1(4e-6));
    TMeasureSession session(*Adc);
    TSweepPlan plan;
    plan.ch = 1;
    plan.count = 2048;
    plan.points = SweepPoints({13, 10}, {1, 0});
    TNoiseSweep sweep(session, plan, TFFTSetting{});
    Run(sweep);
    EXPECT_EQ(sweep.State(), TNoiseSweep::TState::Done);
    ASSERT_EQ(sweep.Rows().size(), 4u);
    const char* rates[] = {"10ksps", "10ksps", "1ksps", "1ksps"};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const TNoiseRow& r = sweep.Rows()[i];
        EXPECT_EQ(r.rateText, rates[i]);
        EXPECT_EQ(r.sinc3, i % 2 == 0 ? 1 : 0);
        EXPECT_FALSE(r.levelError);
        // The unit's 4 uV of white noise on 1 mV, within the scatter of 2048 samples.
        EXPECT_NEAR(r.rmsUv, 4.0, 0.4);
        EXPECT_NEAR(r.meanV, 0.001, 1e-6);
        const double fs = i < 2 ? 10000.0 : 1000.0;
        EXPECT_NEAR(r.densityVrtHz, 4e-6 / std::sqrt(fs / 2), 0.15 * 4e-6 / std::sqrt(fs / 2));
        EXPECT_GT(r.ppUv, 4.0 * r.rmsUv);
    }
    // The filter and rate of each block went to the unit, on channel 1, and every block ended.
    const std::string& w = Unit->Wire;
    const size_t a = w.find("S3\r"), b = w.find("S5\r", a), c = w.find("FA\r", b);
    EXPECT_TRUE(a != std::string::npos && b != std::string::npos && c != std::string::npos) << w;
    EXPECT_EQ(w.rfind("AX\r") + 3, w.size());
    EXPECT_EQ(session.State(), TMeasureSession::TState::Idle);
}

TEST_F(SweepTest, StopKeepsTheRowsTaken) {
    Attach(QuietCh1(2e-6));
    TMeasureSession session(*Adc);
    TSweepPlan plan;
    plan.ch = 1;
    plan.points = SweepPoints({13, 12, 11}, {1});
    TNoiseSweep sweep(session, plan, TFFTSetting{});
    Run(sweep, 1);
    EXPECT_EQ(sweep.State(), TNoiseSweep::TState::Stopped);
    EXPECT_EQ(sweep.Rows().size(), 1u);
    EXPECT_EQ(sweep.Step(), TNoiseSweep::TStep::Finished);
    EXPECT_EQ(sweep.Rows().size(), 1u);

    // A stop while the second block streams: "AX", nothing more.
    TNoiseSweep again(session, plan, TFFTSetting{});
    for (int i = 0; i < 100000 && again.Rows().empty(); ++i)
        if (again.Step() == TNoiseSweep::TStep::Waiting) Advance(1.0);
    ASSERT_EQ(again.Rows().size(), 1u);
    again.Step(); // the second block starts
    ASSERT_TRUE(session.Streaming());
    Unit->Wire.clear();
    again.Stop();
    EXPECT_EQ(again.State(), TNoiseSweep::TState::Stopped);
    EXPECT_NE(Unit->Wire.find("AX\r"), std::string::npos);
    EXPECT_FALSE(session.Streaming());
}

TEST_F(SweepTest, FullScaleBlocksAreMarkedAndTheSweepGoesOn) {
    TUnitConfig c = QuietCh1(2e-6);
    c.faults.fullScaleAt = 100; // in every conversion
    Attach(c);
    TMeasureSession session(*Adc);
    TSweepPlan plan;
    plan.ch = 1;
    plan.points = SweepPoints({13, 12}, {1});
    TNoiseSweep sweep(session, plan, TFFTSetting{});
    Run(sweep);
    EXPECT_EQ(sweep.State(), TNoiseSweep::TState::Done);
    ASSERT_EQ(sweep.Rows().size(), 2u);
    for (const TNoiseRow& r : sweep.Rows()) {
        EXPECT_TRUE(r.levelError);
        EXPECT_EQ(r.rmsUv, 0.0);
    }
    EXPECT_EQ(sweep.Rows()[1].rateText, "5ksps");
}

TEST_F(SweepTest, ALostLinkOrNoUnitEndsTheSweep) {
    TUnitConfig c = QuietCh1(2e-6);
    c.faults.dropAfter = 1500;
    Attach(c);
    {
        TMeasureSession session(*Adc);
        TSweepPlan plan;
        plan.points = SweepPoints({13, 12}, {1});
        TNoiseSweep sweep(session, plan, TFFTSetting{});
        Run(sweep);
        EXPECT_EQ(sweep.State(), TNoiseSweep::TState::Failed);
        EXPECT_TRUE(sweep.LinkLost());
        EXPECT_EQ(sweep.Rows().size(), 1u);
    }
    d2xx::DetachVirtualDevice();
    TMeasureSession session(*Adc);
    TSweepPlan plan;
    plan.points = SweepPoints({13}, {1});
    TNoiseSweep sweep(session, plan, TFFTSetting{});
    Run(sweep);
    EXPECT_EQ(sweep.State(), TNoiseSweep::TState::Failed);
    EXPECT_EQ(sweep.FailReason(), TStartResult::NotFound);
    EXPECT_TRUE(sweep.Rows().empty());
}
