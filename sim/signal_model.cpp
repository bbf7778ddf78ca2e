#include "signal_model.h"

#include "numfmt.h"

#include <cmath>
#include <numbers>

TChannelSignal DefaultChannelSignal(int ch) {
    TChannelSignal s;
    if (ch == 0) {
        s.sines = {{1000.0, 1.0, 0.0}, {2000.0, 0.001, 30.0}, {3000.0, 0.0003, 60.0}};
        s.noiseRmsV = 3e-6;
    } else {
        s.noiseRmsV = 2e-6;
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
    for (std::string_view item : Split(text, ',')) {
        size_t eq = item.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        std::string_view key = item.substr(0, eq);
        std::string_view value = item.substr(eq + 1);
        if (key == "dc" || key == "noise") {
            auto v = ParseDouble(value);
            if (!v || (key == "noise" && *v < 0)) return std::nullopt;
            (key == "dc" ? s.dcV : s.noiseRmsV) = *v;
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
    return text + ",noise=" + FormatGeneral(s.noiseRmsV);
}

uint32_t VoltToCode(double v) {
    double code = std::round(v * 2147483647.0 / 2.5) + 2147483648.0;
    if (!(code > 0.0)) return 0; // also NaN
    if (code >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(code);
}

TSignalGenerator::TSignalGenerator(const TChannelSignal& signal, double periodMs, uint64_t seed)
    : Signal(signal), PeriodS(periodMs / 1000.0), Rng(seed) {}

uint32_t TSignalGenerator::Next() {
    const double t = static_cast<double>(Index++) * PeriodS;
    double v = Signal.dcV;
    for (const TSine& s : Signal.sines)
        v += s.ampPeakV *
             std::sin(2.0 * std::numbers::pi * (std::fmod(s.freqHz * t, 1.0) + s.phaseDeg / 360.0));
    if (Signal.noiseRmsV > 0.0) v += Signal.noiseRmsV * Gauss(Rng);
    return VoltToCode(v);
}
