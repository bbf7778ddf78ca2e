// The print's text block names the spectrum scale and its units.
#include <gtest/gtest.h>

#include <algorithm>

#include "myprint.h"

namespace {

bool Has(const std::vector<std::string>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

} // namespace

TEST(PrintScale, TextLinesFollowTheScale) {
    TFFTSetting fft;
    TFileSetting file;
    TPrintData d;
    d.pFFTSetting = &fft;
    d.pFileSetting = &file;
    d.PeakdBText = "-3.01";
    const auto rms = PrintTextLines(d);
    EXPECT_TRUE(Has(rms, "dB表示：絶対値表示[dBV]"));
    EXPECT_TRUE(Has(rms, "窓関数による減衰の補正計算：有り"));
    EXPECT_TRUE(Has(rms, "ピーク値[dBV]：-3.01"));
    d.spectrumScale = 1;
    const auto tone = PrintTextLines(d);
    EXPECT_EQ(tone.size(), rms.size());
    EXPECT_TRUE(Has(tone, "スペクトル表示：トーン振幅[Vrms]"));
    EXPECT_FALSE(Has(tone, "窓関数による減衰の補正計算：有り"));
    EXPECT_TRUE(Has(tone, "ピーク値[dBV]：-3.01"));
    d.spectrumScale = 2;
    const auto density = PrintTextLines(d);
    EXPECT_TRUE(Has(density, "スペクトル表示：雑音密度[V/√Hz]"));
    EXPECT_TRUE(Has(density, "dB表示：絶対値表示[dBV/√Hz]"));
    EXPECT_TRUE(Has(density, "ピーク値[dBV/√Hz]：-3.01"));
    fft.fAbsoGraph = 0;
    const auto rel = PrintTextLines(d);
    EXPECT_TRUE(Has(rel, "dB表示：相対値表示"));
    EXPECT_TRUE(Has(rel, "ピーク値[dB]：-3.01"));
}
