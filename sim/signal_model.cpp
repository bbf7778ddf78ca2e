#include "signal_model.h"

#include "numfmt.h"
#include "tables.h"

#include <cmath>
#include <numbers>

TChannelSignal DefaultChannelSignal(int ch) {
    TChannelSignal s;
    if (ch == 0) {
        s.sines = {{1000.0, 1.0, 0.0}, {2000.0, 0.001, 30.0}, {3000.0, 0.0003, 60.0}};
        s.noiseRmsV = 3e-6;
    } else {
        // A shorted input as a sigma-delta converter sees it: about 2 uV RMS at 10 ksps with
        // Sinc3, falling with the rate to the floor of 0.3 uV, so a noise table looks real.
        s.densityVrtHz = 3.77e-8;
        s.floorRmsV = 0.3e-6;
    }
    return s;
}

namespace {

std::vector<std::string_view> Split(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        size_t pos = text.find(sep, start);
        parts.push_back(text.substr(start, pos == std::string_view::npos ? pos : pos - start));
        if (pos == std::string_view::npos) return parts;
        start = pos + 1;
    }
}

} // namespace

std::optional<TChannelSignal> ParseChannelSignal(std::string_view text) {
    TChannelSignal s;
    if (text == "none") return s;
    // The sine the harmonics refer to: the last one given before them (not a harmonic).
    std::optional<TSine> base;
    for (std::string_view item : Split(text, ',')) {
        size_t eq = item.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        std::string_view key = item.substr(0, eq);
        std::string_view value = item.substr(eq + 1);
        if (key == "dc" || key == "noise") {
            auto v = ParseDouble(value);
            if (!v || (key == "noise" && *v < 0)) return std::nullopt;
            (key == "dc" ? s.dcV : s.noiseRmsV) = *v;
        } else if (key == "density" || key == "floor") {
            auto v = ParseDouble(value);
            if (!v || *v < 0) return std::nullopt;
            (key == "density" ? s.densityVrtHz : s.floorRmsV) = *v;
        } else if (key.size() == 2 && key[0] == 'h' && key[1] >= '2' && key[1] <= '9') {
            auto dBc = ParseDouble(value);
            if (!dBc || !base) return std::nullopt;
            const int order = key[1] - '0';
            s.sines.push_back(
                {base->freqHz * order, base->ampPeakV * std::pow(10.0, *dBc / 20.0), 0.0});
        } else if (key == "sine") {
            auto fields = Split(value, ':');
            if (fields.size() < 2 || fields.size() > 3) return std::nullopt;
            TSine sine;
            auto f = ParseDouble(fields[0]);
            auto a = ParseDouble(fields[1]);
            auto p = fields.size() == 3 ? ParseDouble(fields[2]) : std::optional<double>(0.0);
            if (!f || !a || !p || *f < 0) return std::nullopt;
            sine = {*f, *a, *p};
            s.sines.push_back(sine);
            base = sine;
        } else {
            return std::nullopt;
        }
    }
    return s;
}

std::string DescribeChannelSignal(const TChannelSignal& s) {
    std::string text = "dc=" + FormatGeneral(s.dcV);
    for (const TSine& sine : s.sines)
        text += ",sine=" + FormatGeneral(sine.freqHz) + ":" + FormatGeneral(sine.ampPeakV) + ":" +
                FormatGeneral(sine.phaseDeg);
    text += ",noise=" + FormatGeneral(s.noiseRmsV);
    if (s.densityVrtHz > 0.0) text += ",density=" + FormatGeneral(s.densityVrtHz);
    if (s.floorRmsV > 0.0) text += ",floor=" + FormatGeneral(s.floorRmsV);
    return text;
}

double ChannelNoiseRms(const TChannelSignal& s, double periodMs, bool sinc3) {
    if (s.densityVrtHz == 0.0 && s.floorRmsV == 0.0) return s.noiseRmsV;
    const double rate = periodMs > 0.0 ? 1000.0 / periodMs : 0.0;
    const double bw = (sinc3 ? SIM_SINC3_NOISE_BW : SIM_SINC5_NOISE_BW) * rate / 2.0;
    return std::sqrt(s.noiseRmsV * s.noiseRmsV + s.floorRmsV * s.floorRmsV +
                     s.densityVrtHz * s.densityVrtHz * bw);
}

uint32_t VoltToCode(double v) {
    double code = std::round(v / VOLT_PER_CODE) + CODE_OF_ZERO_VOLT;
    if (!(code > 0.0)) return 0; // also NaN
    if (code >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(code);
}

TSignalGenerator::TSignalGenerator(const TChannelSignal& signal, double periodMs, uint64_t seed,
                                   bool sinc3)
    : Signal(signal), PeriodS(periodMs / 1000.0),
      NoiseRms(ChannelNoiseRms(signal, periodMs, sinc3)), Rng(seed) {}

uint32_t TSignalGenerator::Next() {
    const double t = static_cast<double>(Index++) * PeriodS;
    double v = Signal.dcV;
    for (const TSine& s : Signal.sines)
        v += s.ampPeakV *
             std::sin(2.0 * std::numbers::pi * (std::fmod(s.freqHz * t, 1.0) + s.phaseDeg / 360.0));
    if (NoiseRms > 0.0) v += NoiseRms * Gauss(Rng);
    return VoltToCode(v);
}
