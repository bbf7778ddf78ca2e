#include "analysis_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "markers.h"
#include "numfmt.h"
#include "tables.h"

TAnalysisBlock AnalysisBlockOf(const TMeasureRecord& rec, bool valid,
                               const TSpectrumAverager* avg) {
    TAnalysisBlock b;
    const TSignalData& sig = rec.SigData;
    if (valid && sig.pCode && sig.ad_dnum > 0) {
        const int n = std::min<int>(sig.ad_dnum, DATA_BUF_LEN);
        b.codes.assign(sig.pCode, sig.pCode + n);
    }
    b.window = rec.FFTSetting.whichWindowFunc;
    b.periodMs = sig.periodMs;
    b.bandLowHz = rec.ExtSetting.bandLowHz;
    b.bandHighHz = rec.ExtSetting.bandHighHz;
    // avg's power average holds FigurePowerSpectrum of each block's codes under the window
    // whichWindowFunc had then (V^2 per bin, not the display's scale or window correction).
    // It belongs to the held block while the record's spectrum is avg's displayed average
    // (AverageBlockSpectrum copied it there); a block processed since (loaded, measured,
    // recomputed after a settings change) has its own spectrum and is taken alone.
    const int n = static_cast<int>(b.codes.size());
    if (avg && avg->Mode() != TAverageMode::Off && avg->Count() > 0 && n >= 4 && sig.pSpectrum &&
        avg->Bins() == n / 2 && avg->PowerResult().size() == static_cast<size_t>(n / 2) &&
        std::equal(avg->Result().begin(), avg->Result().end(), sig.pSpectrum)) {
        b.averagedPower = avg->PowerResult();
        b.averagedBlocks = avg->Count();
        b.peakHold = avg->Mode() == TAverageMode::PeakHold;
    }
    return b;
}

bool LineStandsOut(const std::vector<double>& power, int n, double bin, int halfWidth) {
    if (n < 4 || power.size() < static_cast<size_t>(n / 2)) return false;
    std::vector<float> amp(static_cast<size_t>(n / 2));
    for (size_t k = 0; k < amp.size(); ++k)
        amp[k] = static_cast<float>(std::sqrt(std::max(0.0, power[k])));
    const float floor = SpectrumMedian(amp.data(), n);
    const int centre = static_cast<int>(std::lround(bin));
    const int from = std::max(0, centre - halfWidth - 1);
    const int found = NextPeakBin(amp.data(), n, from, +1, floor);
    return found != from && std::abs(found - centre) <= halfWidth;
}

TAnalysisResult ComputeAnalysis(const TAnalysisBlock& block) {
    TAnalysisResult r;
    if (block.codes.empty()) return r;
    const int n = static_cast<int>(block.codes.size());
    TFiguresInput in;
    in.codes = block.codes.data();
    in.n = n;
    in.window = block.window;
    in.deltaF = block.periodMs > 0.0 ? 1000.0 / (block.periodMs * n) : 0.0;
    const bool wholeBand = block.bandLowHz == 0.0 && block.bandHighHz == 0.0;
    in.bandLoHz = wholeBand ? 0.0 : block.bandLowHz;
    in.bandHiHz = wholeBand || block.bandHighHz <= 0.0 ? -1.0 : block.bandHighHz;
    r.bandLowHz = in.bandLoHz;
    r.bandHighHz = in.bandHiHz;
    if (!ComputeFigures(in, r.figures)) return r;
    r.hasBlock = true;
    std::vector<double> power;
    if (block.averagedBlocks > 0 && block.averagedPower.size() == static_cast<size_t>(n / 2)) {
        power = block.averagedPower;
        SpectralFigures(power.data(), power.size(), in, r.figures);
        r.averagedBlocks = block.averagedBlocks;
        r.peakHold = block.peakHold;
    } else if (r.figures.spectral) {
        FigurePowerSpectrum(in.codes, n, in.window, power);
    }
    if (r.figures.spectral && !power.empty())
        r.fundamental = LineStandsOut(power, n, r.figures.fundamental_hz / in.deltaF,
                                      FigureHalfWidth(in.window));
    BuildCodeHistogram(in.codes, n, HISTOGRAM_MAX_BINS, r.histogram);
    return r;
}

std::string AveragedBlocksText(const TAnalysisResult& r) {
    if (!r.hasBlock || r.averagedBlocks <= 0) return {};
    return std::string(r.peakHold ? "スペクトル特性：ピーク保持 " : "スペクトル特性：平均 ") +
           std::to_string(r.averagedBlocks) + " ブロック";
}

std::string FigureNumber(double v, int decimals) {
    if (std::isnan(v)) return NOT_APPLICABLE;
    if (std::isinf(v)) return v > 0 ? "∞" : "-∞";
    return FormatFixed(v, decimals);
}

std::string SignificantNumber(double v, int sig) {
    if (!std::isfinite(v)) return FigureNumber(v, 0);
    if (v == 0.0) return "0";
    const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(v))));
    int decimals = std::max(0, sig - 1 - magnitude);
    // Rounding may carry into the next decade (9.9996 -> 10.000): one decimal fewer then.
    const std::string text = FormatFixed(v, decimals);
    const double rounded = std::fabs(ParseDouble(text).value_or(0.0));
    if (decimals > 0 && rounded >= std::pow(10.0, magnitude + 1)) --decimals;
    return FormatFixed(v, decimals);
}

TFigureRow VoltRow(const std::string& name, double volts, const std::string& suffix) {
    const double a = std::fabs(volts);
    double scale = 1e-6;
    const char* prefix = "µ";
    if (!std::isfinite(a)) {
        scale = 1.0;
        prefix = "";
    } else if (a >= 0.9995) {
        scale = 1.0;
        prefix = "";
    } else if (a >= 0.9995e-3) {
        scale = 1e-3;
        prefix = "m";
    } else if (a >= 0.9995e-6 || a == 0.0) {
        scale = 1e-6;
        prefix = "µ";
    } else {
        scale = 1e-9;
        prefix = "n";
    }
    return {name, SignificantNumber(volts / scale, 4), std::string(prefix) + "V" + suffix};
}

namespace {

std::string HarmonicName(int order) {
    return "第" + std::to_string(order) + "高調波";
}

std::string BandName(const TAnalysisResult& r) {
    if (r.bandLowHz == 0.0 && r.bandHighHz < 0.0) return "帯域ノイズ（全帯域）";
    const std::string hi = r.bandHighHz < 0.0 ? "" : SignificantNumber(r.bandHighHz, 4);
    return "帯域ノイズ（" + SignificantNumber(r.bandLowHz, 4) + "–" + hi + " Hz）";
}

TFigureRow Blank(const std::string& name, const std::string& unit) {
    return {name, NOT_APPLICABLE, unit};
}

} // namespace

std::vector<TFigureRow> FigureRows(const TAnalysisResult& r) {
    const TFigures& f = r.figures;
    const bool tone = r.hasBlock && f.spectral && r.fundamental;
    const bool spectral = r.hasBlock && f.spectral;
    std::vector<TFigureRow> rows;
    auto number = [&](bool applies, const std::string& name, double v, int decimals,
                      const std::string& unit) {
        rows.push_back(applies ? TFigureRow{name, FigureNumber(v, decimals), unit}
                               : Blank(name, unit));
    };
    auto volts = [&](bool applies, const std::string& name, double v, const std::string& suffix,
                     const std::string& blankUnit) {
        rows.push_back(applies ? VoltRow(name, v, suffix) : Blank(name, blankUnit));
    };

    rows.push_back(tone ? TFigureRow{"基本波周波数", SignificantNumber(f.fundamental_hz, 6), "Hz"}
                        : Blank("基本波周波数", "Hz"));
    volts(tone, "基本波振幅", f.fundamental_vrms, "rms", "Vrms");
    number(tone, "基本波レベル", f.fundamental_dbfs, 2, "dBFS");
    number(tone, "SNR", f.snr_db, 2, "dB");
    number(tone, "THD", f.thd_db, 2, "dB");
    number(tone, "SINAD", f.sinad_db, 2, "dB");
    number(tone, "SFDR", f.sfdr_db, 2, "dB");
    number(tone, "ENOB", f.enob_bits, 2, "bit");
    for (int order = 2; order <= 6; ++order) {
        const auto h = std::find_if(f.harmonics.begin(), f.harmonics.end(),
                                    [&](const THarmonicFigure& x) { return x.order == order; });
        if (!tone || h == f.harmonics.end()) {
            rows.push_back(Blank(HarmonicName(order), "dBc"));
            continue;
        }
        rows.push_back({HarmonicName(order) + "（" + SignificantNumber(h->hz, 5) + " Hz）",
                        FigureNumber(h->dbc, 2), "dBc"});
    }
    volts(spectral, "ノイズ密度", f.noise_density_v_rthz, "/√Hz", "V/√Hz");
    volts(spectral, BandName(r), f.band_noise_v, "rms", "Vrms");

    const bool codes = r.hasBlock;
    volts(codes, "平均電圧", f.mean_v, "", "V");
    number(codes, "平均コード", f.mean_code, 1, "コード");
    volts(codes, "ノイズ RMS", f.noise_rms_v, "rms", "Vrms");
    number(codes, "ノイズ RMS（コード）", f.noise_rms_code, 2, "コード");
    volts(codes, "ノイズ p-p", f.noise_pp_v, "p-p", "Vp-p");
    number(codes, "ノイズ p-p（コード）", f.noise_pp_code, 0, "コード");
    number(codes, "実効ビット数", f.effective_bits, 2, "bit");
    number(codes, "ノイズフリービット数", f.noise_free_bits, 2, "bit");
    return rows;
}

std::vector<double> NiceTicks(double lo, double hi, int maxTicks) {
    std::vector<double> ticks;
    if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi) || maxTicks < 1) return ticks;
    const double raw = (hi - lo) / maxTicks;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    double step = decade * 10.0;
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * decade >= raw) {
            step = m * decade;
            break;
        }
    const double first = std::ceil(lo / step - 1e-9);
    const double last = std::floor(hi / step + 1e-9);
    for (double k = first; k <= last && static_cast<int>(ticks.size()) <= maxTicks; k += 1.0)
        ticks.push_back(k * step);
    return ticks;
}

double CodeVolts(double code) {
    return (code - CODE_OF_ZERO_VOLT) * VOLT_PER_CODE;
}

std::vector<std::string> HistogramSummaryLines(const TCodeHistogram& h) {
    const TFigureRow mean = VoltRow("", CodeVolts(h.mean));
    const TFigureRow sigma = VoltRow("", h.sigma * VOLT_PER_CODE);
    return {
        "サンプル数: " + std::to_string(h.samples),
        "平均: " + FormatFixed(h.mean, 1) + " コード（" + mean.value + " " + mean.unit + "）",
        "σ: " + SignificantNumber(h.sigma, 4) + " コード（" + sigma.value + " " + sigma.unit + "）",
        "ビン幅: " + std::to_string(h.codesPerBin) + " コード",
        "未出現コード: " + std::to_string(h.missingCodes),
    };
}
