#include <gtest/gtest.h>

#include <string>

#include "readout_text.h"
#include "tables.h"

TEST(AnalysisText, RmsUnitsAtStrictThresholds) {
    EXPECT_EQ(RmsText(0.05f), (TValueText{"50.000", "mVrms"}));
    EXPECT_EQ(RmsText(0.2f), (TValueText{"0.200", "Vrms"}));
    EXPECT_EQ(RmsText(2e-7f), (TValueText{"200.000", "nVrms"}));
    EXPECT_EQ(RmsText(0.0f), (TValueText{"0.000", "nVrms"}));
    // Float nearest 0.1 lies above 0.1, nearest 0.001 above, nearest 1e-6 below.
    EXPECT_EQ(RmsText(0.1f), (TValueText{"0.100", "Vrms"}));
    EXPECT_EQ(RmsText(0.001f), (TValueText{"1.000", "mVrms"}));
    EXPECT_EQ(RmsText(1e-6f), (TValueText{"1000.000", "nVrms"}));
}

TEST(AnalysisText, PeakVoltUnitsAtInclusiveThresholds) {
    EXPECT_EQ(PeakVoltText(1.0f), (TValueText{"1.000", "Vrms"}));
    EXPECT_EQ(PeakVoltText(0.999f), (TValueText{"999.000", "mVrms"}));
    EXPECT_EQ(PeakVoltText(0.0000015f), (TValueText{"1.500", "uVrms"}));
    EXPECT_EQ(PeakVoltText(0.0000009f), (TValueText{"900.000", "nVrms"}));
    EXPECT_EQ(PeakVoltText(0.001f), (TValueText{"1.000", "mVrms"}));
    EXPECT_EQ(PeakVoltText(0.000001f), (TValueText{"1000.000", "nVrms"}));
}

TEST(AnalysisText, PeakDbHzAndLabel) {
    EXPECT_EQ(PeakdBText(-3.0103f), "-3.01");
    EXPECT_EQ(PeakdBText(-0.001f), "0.00");
    EXPECT_EQ(PeakHzText(6554, 0.152587890625f), "1000.061");
    EXPECT_EQ(PeakHzText(1, 9.765625f), "9.766");
}

// Slow rates: 5 sps and 262144 samples resolve 1.9e-5 Hz; no non-zero frequency reads as 0,
// and every one keeps three significant digits.
TEST(AnalysisText, SmallFrequenciesKeepTheirDigits) {
    EXPECT_EQ(HzText(1000.0 / (200.0 * 262144)), "0.0000191");
    EXPECT_EQ(HzText(0.0048828125), "0.00488");
    EXPECT_EQ(HzText(0.0999), "0.0999");
    EXPECT_EQ(HzText(0.1), "0.100");
    EXPECT_EQ(HzText(0), "0.000");
    for (int32_t sps = 0; sps < RATE_COUNT; sps++) {
        for (uint8_t sinc3 : {uint8_t{0}, uint8_t{1}}) {
            for (int n = MIN_DATA_COUNT; n <= MAX_DATA_COUNT; n *= 2) {
                const double df = 1000.0 / (static_cast<double>(SamplePeriodMs(sps, sinc3)) * n);
                for (int bin : {1, 2, 7, n / 2 - 1}) {
                    const double hz = bin * static_cast<double>(static_cast<float>(df));
                    const double shown = std::stod(PeakHzText(bin, static_cast<float>(df)));
                    EXPECT_NEAR(shown / hz, 1.0, 5e-3) << sps << " " << n << " " << bin;
                }
                const std::string t =
                    DeltaFStatusText(true, SamplePeriodMs(sps, sinc3), n, TFFTSetting{});
                const double shown = std::stod(t.substr(t.find("= ") + 2));
                EXPECT_NEAR(shown / df, 1.0, 5e-3) << t;
            }
        }
    }
}

TEST(AnalysisText, ResolutionAndWindowStatus) {
    const float ad = 0.1f; // 10 ksps
    TFFTSetting fft;
    EXPECT_EQ(DeltaFStatusText(false, ad, 65536, fft), "");
    EXPECT_EQ(DeltaFStatusText(true, ad, 65536, fft),
              "Δｆ= 0.153Hz / 絶対値[dBV] 表示 / 窓関数=ハニング窓(補正あり)");
    fft.fAbsoGraph = 0;
    fft.whichWindowFunc = 0;
    EXPECT_EQ(DeltaFStatusText(true, ad, 1024, fft),
              "Δｆ= 9.766Hz / 相対値[dB] 表示 / 窓関数=矩形波窓(補正なし)");
    fft.fWinFuncAdjust = 0;
    fft.whichWindowFunc = 2;
    EXPECT_EQ(DeltaFStatusText(true, ad, 1024, fft),
              "Δｆ= 9.766Hz / 相対値[dB] 表示 / 窓関数=ハミング窓");
    fft.fWinFuncAdjust = 1;
    fft.whichWindowFunc = 3;
    EXPECT_EQ(DeltaFStatusText(true, ad, 1024, fft),
              "Δｆ= 9.766Hz / 相対値[dB] 表示 / 窓関数=フラットトップ窓(補正あり)");
    fft.whichWindowFunc = 7;
    EXPECT_EQ(DeltaFStatusText(true, ad, 1024, fft), "Δｆ= 9.766Hz / 相対値[dB] 表示");
    // No samples (a block dropped after a level failure): no division by zero.
    EXPECT_EQ(DeltaFStatusText(true, ad, 0, fft), "Δｆ= 0.000Hz / 相対値[dB] 表示");
}

TEST(AnalysisText, CodeStatistics) {
    EXPECT_EQ(CodeStatsText(2147483700u, 2147483600u, 99.96),
              "最大値：2147483700 / 最小値：2147483600 / pp値：100 digit / 標準偏差：100.0 digit");
    EXPECT_EQ(CodeStatsText(5u, 5u, 100.0),
              "最大値：5 / 最小値：5 / pp値：0 digit / 標準偏差：100 digit");
    EXPECT_EQ(CodeStatsText(4294967295u, 0u, 12.34),
              "最大値：4294967295 / 最小値：0 / pp値：4294967295 digit / 標準偏差：12.3 digit");
}

TEST(AnalysisText, VoltUnitsByIntegerPart) {
    EXPECT_EQ(VoltUnitText(2500000.0), "2.500 V");
    EXPECT_EQ(VoltUnitText(1500.0), "1.500 mV");
    EXPECT_EQ(VoltUnitText(0.25), "250.000 nV");
    EXPECT_EQ(VoltUnitText(-3.2), "-3.200 uV");
    EXPECT_EQ(VoltUnitText(999.9999), "1000.000 uV");
    EXPECT_EQ(VoltUnitText(0.9999), "999.900 nV");
}

TEST(AnalysisText, VoltStatisticsSeparators) {
    EXPECT_EQ(VoltStatsText(1500.0, -0.25, 1.0),
              "最大値：1.500 mV　/最小値：-250.000 nV　/p-p値：1.500 mV / 標準偏差：1.000 uV");
    // Codes mode and volts mode of the same block; the deviation is cut to whole codes.
    EXPECT_EQ(LevelStatsText(0, 0x80000000u, 0x80000000u, 0.0),
              "最大値：2147483648 / 最小値：2147483648 / pp値：0 digit / 標準偏差：0.0 digit");
    EXPECT_EQ(LevelStatsText(1, 0x80000000u, 0x80000000u, 859.9),
              "最大値：0.000 nV　/最小値：0.000 nV　/p-p値：0.000 nV / 標準偏差：1.000 uV");
    EXPECT_EQ(LevelStatsText(1, 0xFFFFFFFFu, 0u, 0.5),
              "最大値：2.500 V　/最小値：-2.500 V　/p-p値：5.000 V / 標準偏差：0.000 nV");
}
