// Harmonics in the channel text and the converter noise that grows with the rate.
#include "signal_model.h"
#include "sim_options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

double Volts(uint32_t code) {
    return (static_cast<double>(code) - 2147483648.0) * 2.5 / 2147483647.0;
}

// Amplitude of the component at f Hz in n samples of period periodS, by correlation with a
// sine and a cosine in double (whole numbers of cycles, so the other lines cancel).
double Amplitude(TSignalGenerator& g, int n, double periodS, double f) {
    double s = 0, c = 0;
    for (int k = 0; k < n; ++k) {
        const double v = Volts(g.Next());
        const double a = 2 * std::numbers::pi * f * k * periodS;
        s += v * std::sin(a);
        c += v * std::cos(a);
    }
    return 2.0 * std::hypot(s, c) / n;
}

double NoiseRms(TSignalGenerator& g, int n) {
    double sum = 0, sum2 = 0;
    for (int k = 0; k < n; ++k) {
        const double v = Volts(g.Next());
        sum += v;
        sum2 += v * v;
    }
    const double mean = sum / n;
    return std::sqrt(sum2 / n - mean * mean);
}

} // namespace

TEST(SimHarmonics, ParsedRelativeToThePrecedingSine) {
    auto s = ParseChannelSignal("sine=1000:1.0,h2=-100,h3=-110,noise=4e-6,sine=50:0.5,h2=-20");
    ASSERT_TRUE(s);
    ASSERT_EQ(s->sines.size(), 5u);
    EXPECT_DOUBLE_EQ(s->sines[1].freqHz, 2000.0);
    EXPECT_NEAR(s->sines[1].ampPeakV, 1e-5, 1e-15);
    EXPECT_DOUBLE_EQ(s->sines[2].freqHz, 3000.0);
    EXPECT_NEAR(s->sines[2].ampPeakV, std::pow(10.0, -5.5), 1e-15);
    EXPECT_DOUBLE_EQ(s->sines[4].freqHz, 100.0);
    EXPECT_NEAR(s->sines[4].ampPeakV, 0.05, 1e-12);
    EXPECT_DOUBLE_EQ(s->noiseRmsV, 4e-6);
    for (const char* bad :
         {"h2=-100", "noise=1e-6,h3=-90", "sine=1000:1,h1=-10", "sine=1000:1,h10=-10",
          "sine=1000:1,h2=", "sine=1000:1,h2=x", "density=-1", "floor=-1e-6", "density=abc"})
        EXPECT_FALSE(ParseChannelSignal(bad)) << bad;
    // The description reads back to the same signal.
    auto d = ParseChannelSignal("sine=1000:1,h2=-100,density=4e-8,floor=1e-6");
    ASSERT_TRUE(d);
    auto back = ParseChannelSignal(DescribeChannelSignal(*d));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->sines.size(), 2u);
    EXPECT_DOUBLE_EQ(back->densityVrtHz, 4e-8);
    EXPECT_DOUBLE_EQ(back->floorRmsV, 1e-6);
}

// The 2nd harmonic 60 dB down reads 1 mV of a 1 V sine, the 3rd 80 dB down 0.1 mV (tolerance
// 1e-8 V: the codes' rounding). 10000 samples at 10 ksps: whole cycles of every line.
TEST(SimHarmonics, GeneratedAtTheirLevels) {
    auto s = ParseChannelSignal("sine=1000:1.0,h2=-60,h3=-80");
    ASSERT_TRUE(s);
    for (double f : {1000.0, 2000.0, 3000.0}) {
        TSignalGenerator g(*s, 0.1, 1);
        const double want = f == 1000.0 ? 1.0 : f == 2000.0 ? 1e-3 : 1e-4;
        EXPECT_NEAR(Amplitude(g, 10000, 1e-4, f), want, 1e-8) << f;
    }
}

// sqrt(noise^2 + floor^2 + density^2 * bw * rate / 2) from the definition, bw 0.55 (Sinc3)
// or 0.44 (Sinc5+Sinc1); relative tolerance 1e-12.
TEST(SimRateNoise, RmsFollowsTheRateAndFilter) {
    TChannelSignal s;
    s.densityVrtHz = 40e-9;
    for (double periodMs : {0.1, 1.0, 200.0})
        for (bool sinc3 : {true, false}) {
            const double rate = 1000.0 / periodMs;
            const double want = 40e-9 * std::sqrt((sinc3 ? 0.55 : 0.44) * rate / 2);
            EXPECT_NEAR(ChannelNoiseRms(s, periodMs, sinc3), want, want * 1e-12);
        }
    s.floorRmsV = 1e-6;
    s.noiseRmsV = 0.5e-6;
    const double want = std::sqrt(0.25e-12 + 1e-12 + 1600e-18 * 0.55 * 5000);
    EXPECT_NEAR(ChannelNoiseRms(s, 0.1, true), want, want * 1e-12);
    // A fixed noise alone stays exactly what it was, for either filter.
    TChannelSignal fixed;
    fixed.noiseRmsV = 3e-6;
    EXPECT_EQ(ChannelNoiseRms(fixed, 0.1, true), 3e-6);
    EXPECT_EQ(ChannelNoiseRms(fixed, 200.0, false), 3e-6);
}

// The samples carry that noise: 20000 samples, seed fixed, within 3 % (the RMS of 20000
// Gaussian samples has a relative spread of 0.5 %). 10 ksps reads sqrt(10) times 1 ksps.
TEST(SimRateNoise, SamplesCarryTheRateDependentNoise) {
    TChannelSignal s;
    s.densityVrtHz = 100e-9;
    for (double periodMs : {0.1, 1.0}) {
        TSignalGenerator g(s, periodMs, 5, true);
        const double want = ChannelNoiseRms(s, periodMs, true);
        EXPECT_NEAR(NoiseRms(g, 20000), want, 0.03 * want) << periodMs;
    }
    TSignalGenerator g3(s, 0.1, 5, true), g5(s, 0.1, 5, false);
    EXPECT_NEAR(NoiseRms(g3, 20000) / NoiseRms(g5, 20000), std::sqrt(0.55 / 0.44), 0.01);
}

TEST(SimRateNoise, OptionTurnsItOffWhateverTheOrder) {
    const auto on = ParseSimOptions({"--ch1", "noise=1e-6,density=5e-8,floor=2e-6"});
    ASSERT_TRUE(on.error.empty()) << on.error;
    EXPECT_DOUBLE_EQ(on.unit.channels[1].densityVrtHz, 5e-8);
    for (const auto& args :
         {std::vector<std::string_view>{"--no-rate-noise", "--ch1",
                                        "noise=1e-6,density=5e-8,floor=2e-6"},
          std::vector<std::string_view>{"--ch1", "noise=1e-6,density=5e-8", "--no-rate-noise"}}) {
        const auto off = ParseSimOptions(args);
        ASSERT_TRUE(off.error.empty()) << off.error;
        EXPECT_EQ(off.unit.channels[1].densityVrtHz, 0.0);
        EXPECT_EQ(off.unit.channels[1].floorRmsV, 0.0);
        EXPECT_DOUBLE_EQ(off.unit.channels[1].noiseRmsV, 1e-6);
    }
    const std::string help = SimHelpText();
    for (const char* k : {"hN=D", "density=D", "floor=V", "--no-rate-noise"})
        EXPECT_NE(help.find(k), std::string::npos) << k;
}

#include "tables.h"
#include "unit_engine.h"

// The unit sees its noise through the filter the host chose: the records of a conversion after
// "S5" carry the Sinc5+Sinc1 noise, after "S3" the Sinc3 noise (RMS within 5 % of
// ChannelNoiseRms over 4096 records, seed fixed).
TEST(SimRateNoise, UnitUsesTheSelectedFilter) {
    TUnitConfig c;
    c.speed = 1000.0;
    c.channels[0] = *ParseChannelSignal("density=1e-6");
    TUnitEngine unit(c);
    int64_t now = 0;
    auto say = [&](const std::string& line, int64_t waitNs) {
        unit.Receive(line.data(), line.size(), now);
        now += waitNs;
        std::string out;
        unit.Collect(now, out);
        return out;
    };
    for (const char* filter : {"S5\r", "S3\r"}) {
        const bool sinc3 = filter[1] == '3';
        ASSERT_EQ(say(filter, 1'000'000), "OK\r");
        ASSERT_EQ(say("F7\r", 1'000'000), "OK\r"); // 200 sps
        std::string out = say("A001000\r", 0);
        while (unit.Converting()) {
            now += 10'000'000;
            unit.Collect(now, out);
        }
        ASSERT_EQ(out.size(), 4096u * 9);
        double sum = 0, sum2 = 0;
        for (size_t k = 0; k < 4096; ++k) {
            const double v =
                Volts(static_cast<uint32_t>(std::stoul(out.substr(k * 9, 8), nullptr, 16)));
            sum += v;
            sum2 += v * v;
        }
        const double rms = std::sqrt(sum2 / 4096 - (sum / 4096) * (sum / 4096));
        const double want = ChannelNoiseRms(c.channels[0], SamplePeriodMs(7, sinc3 ? 1 : 0), sinc3);
        EXPECT_NEAR(rms, want, 0.05 * want) << filter;
    }
}
