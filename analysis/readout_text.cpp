#include "readout_text.h"

#include <algorithm>
#include <cmath>

#include "numfmt.h"
#include "signal_stats.h"
#include "tables.h"

namespace {

TValueText Scaled(double v, double factor, const char* unit) {
    return {FormatFixed(v * factor, 3), unit};
}

std::string CodeText(uint32_t c) {
    return std::to_string(c);
}

} // namespace

TValueText RmsText(float v) {
    const double d = v;
    if (d > 0.1) return Scaled(d, 1.0, "Vrms");
    if (d > 0.001) return Scaled(d, 1000.0, "mVrms");
    if (d > 1e-6) return Scaled(d, 1e6, "uVrms");
    return Scaled(d, 1e9, "nVrms");
}

TValueText PeakVoltText(float v) {
    const double d = v;
    if (d >= 1.0) return Scaled(d, 1.0, "Vrms");
    if (d >= 0.001) return Scaled(d, 1000.0, "mVrms");
    if (d >= 0.000001) return Scaled(d, 1000000.0, "uVrms");
    return Scaled(d, 1000000000.0, "nVrms");
}

std::string PeakdBText(float dB) {
    return FormatFixed(dB, 2);
}

std::string PeakdBUnit(uint8_t fAbsoGraph) {
    return fAbsoGraph == 1 ? "dBV" : "dB";
}

TValueText PeakVoltText(float v, int32_t spectrumScale) {
    if (spectrumScale != 2) return PeakVoltText(v);
    const double d = v;
    if (d >= 1.0) return Scaled(d, 1.0, "V/√Hz");
    if (d >= 0.001) return Scaled(d, 1000.0, "mV/√Hz");
    if (d >= 0.000001) return Scaled(d, 1000000.0, "uV/√Hz");
    return Scaled(d, 1000000000.0, "nV/√Hz");
}

std::string PeakdBUnit(uint8_t fAbsoGraph, int32_t spectrumScale) {
    return SpectrumdBUnitText(fAbsoGraph, spectrumScale);
}

std::string SpectrumUnitText(int32_t spectrumScale) {
    return spectrumScale == 2 ? "V/√Hz" : "Vrms";
}

std::string SpectrumdBUnitText(uint8_t fAbsoGraph, int32_t spectrumScale) {
    if (fAbsoGraph != 1) return "dB";
    return spectrumScale == 2 ? "dBV/√Hz" : "dBV";
}

std::string HzText(double hz) {
    int decimals = 3;
    const double m = std::fabs(hz);
    if (m > 0 && m < 0.1) {
        // Beyond 12 decimals lie only values no rate and sample count can give.
        const int more = 2 - static_cast<int>(std::floor(std::log10(m)));
        decimals = std::min(more, 12);
    }
    return FormatFixed(hz, decimals);
}

std::string PeakHzText(int bin, float deltaF) {
    return HzText(static_cast<double>(bin) * deltaF);
}

std::string DeltaFStatusText(bool dataValid, float periodMs, int32_t adDnum,
                             const TFFTSetting& fft) {
    if (!dataValid) return {};
    const double span = static_cast<double>(periodMs) * adDnum;
    std::string s = "Δｆ= ";
    s += HzText(span > 0 ? 1000.0 / span : 0.0);
    s += "Hz";
    s += " / ";
    s += fft.fAbsoGraph == 1 ? "絶対値[dBV] 表示" : "相対値[dB] 表示";
    const char* window = nullptr;
    switch (fft.whichWindowFunc) {
    case 0:
        s += " / 窓関数=矩形波窓(補正なし)";
        break;
    case 1:
        window = "窓関数=ハニング窓";
        break;
    case 2:
        window = "窓関数=ハミング窓";
        break;
    case 3:
        window = "窓関数=フラットトップ窓";
        break;
    default:
        break;
    }
    if (window) {
        s += " / ";
        s += window;
        if (fft.fWinFuncAdjust == 1) s += "(補正あり)";
    }
    return s;
}

std::string CodeStatsText(uint32_t maxCode, uint32_t minCode, double stdDev) {
    std::string s = "最大値：" + CodeText(maxCode);
    s += " / 最小値：" + CodeText(minCode);
    s += " / pp値：" + CodeText(maxCode - minCode) + " digit";
    s += " / 標準偏差：" + FormatFixed(stdDev, stdDev >= 100 ? 0 : 1) + " digit";
    return s;
}

std::string VoltUnitText(double x) {
    const double m = std::fabs(std::trunc(x));
    if (m >= 1000000) return FormatFixed(x * 0.000001, 3) + " V";
    if (m >= 1000) return FormatFixed(x * 0.001, 3) + " mV";
    if (m >= 1) return FormatFixed(x, 3) + " uV";
    return FormatFixed(x * 1000, 3) + " nV";
}

std::string VoltStatsText(double maxUv, double minUv, double stdUv) {
    std::string s = "最大値：" + VoltUnitText(maxUv);
    s += "　/最小値：" + VoltUnitText(minUv);
    s += "　/p-p値：" + VoltUnitText(maxUv - minUv);
    s += " / 標準偏差：" + VoltUnitText(stdUv);
    return s;
}

std::string LevelStatsText(uint8_t fSig_Volt, uint32_t maxCode, uint32_t minCode,
                           double stdDevCodes) {
    if (fSig_Volt != 1) return CodeStatsText(maxCode, minCode, stdDevCodes);
    // Whole codes; a negative or huge value cannot come from a block, but stays defined.
    const double whole = std::trunc(stdDevCodes);
    const uint32_t n = whole <= 0              ? 0u
                       : whole >= 4294967295.0 ? 0xFFFFFFFFu
                                               : static_cast<uint32_t>(whole);
    return VoltStatsText(CodeToMicroVolt(maxCode), CodeToMicroVolt(minCode),
                         CodeCountToMicroVolt(n));
}
