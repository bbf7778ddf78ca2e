#include "graph_scales.h"

#include <algorithm>
#include <cmath>

#include "signal_stats.h"
#include "tables.h"

namespace {

// Far outside any bitmap, yet safe for every integer product the drawing code forms.
constexpr double PIXEL_LIMIT = 1 << 22;

bool PositiveFinite(double v) {
    return v > 0 && std::isfinite(v);
}

} // namespace

float FreqScaleValue(int32_t index) {
    return static_cast<float>(FreqScaleHz(index));
}

int TruncPixel(double v) {
    if (!(v > -PIXEL_LIMIT)) return std::isnan(v) ? 0 : -static_cast<int>(PIXEL_LIMIT);
    if (v > PIXEL_LIMIT) v = PIXEL_LIMIT;
    int i = static_cast<int>(v); // truncates toward zero
    // A position that is a whole number in exact arithmetic (hi at H / 6 for H = 300) must not
    // lose a pixel to a rounding error of the double computation.
    const double rest = v - i, eps = 1e-9 * (1 + std::fabs(v));
    if (rest > 0 && 1 - rest < eps) ++i;
    if (rest < 0 && 1 + rest < eps) --i;
    return i;
}

TLogAxis TraceLogAxis(float fS, float fE) {
    TLogAxis ax;
    if (!PositiveFinite(fS) || !PositiveFinite(fE)) return ax;
    ax.a = std::log10(static_cast<double>(fS));
    ax.b = std::log10(static_cast<double>(fE));
    if (ax.a == ax.b) return ax;
    ax.k = static_cast<float>(1.0 / (ax.b - ax.a));
    ax.valid = true;
    return ax;
}

TLogAxis GridLogAxis(float fS, float fE) {
    TLogAxis ax;
    if (!PositiveFinite(fS) || !PositiveFinite(fE)) return ax;
    const auto a = static_cast<float>(std::log10(static_cast<double>(fS)));
    const auto b = static_cast<float>(std::log10(static_cast<double>(fE)));
    ax.a = a;
    ax.b = b;
    if (a == b) return ax;
    ax.k = 1.0f / (b - a);
    ax.valid = true;
    return ax;
}

int LogX(int W, double f, const TLogAxis& ax) {
    if (!ax.valid) return 0;
    return TruncPixel(W * (std::log10(f) - ax.a) * static_cast<double>(ax.k));
}

int LinX(int W, double f, float fE) {
    if (!PositiveFinite(fE)) return 0;
    const auto p = static_cast<float>(W * f);
    return TruncPixel(static_cast<double>(p) / static_cast<double>(fE));
}

TdBAxis MakedBAxis(const TFFTSetting& s) {
    TdBAxis ax;
    ax.D = int64_t{s.index_dB_min} - s.index_dB_max;
    ax.F = static_cast<float>(dBScaleValue(s.index_dB_min));
    ax.T = s.fAbsoGraph == 1 ? static_cast<float>(dBScaleValue(s.index_dB_max)) : 0.0f;
    ax.valid = ax.D >= 1;
    return ax;
}

int dBY(int H, float d, const TdBAxis& ax) {
    if (!ax.valid) return 0;
    if (!(d > ax.F)) d = ax.F; // at or below the floor, and NaN
    const auto num = static_cast<float>(H * (static_cast<double>(ax.T) - d));
    return TruncPixel(static_cast<double>(num) / (10.0 * static_cast<double>(ax.D)));
}

int WaveY(int H, double v, double base, double span) {
    if (span == 0 || !std::isfinite(span)) return H / 2;
    return TruncPixel(H * (1.0 - (v - base) / span));
}

double NextLogTick(double f) {
    if (!PositiveFinite(f)) return HUGE_VAL;
    const double g = f < 1 ? 10 * f : f;
    const double e = std::trunc(std::log10(g));
    const double p = std::pow(10.0, e);
    const double m = g / p;
    // Ticks come back rounded to float: a tick just below its decimal value still counts as
    // that tick, so the relative margin keeps the sequence moving.
    double M = 10;
    for (double t : {1.5, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0}) {
        if (t > m * (1 + 1e-5)) {
            M = t;
            break;
        }
    }
    const double r = M * p;
    return f < 1 ? r * 0.1 : r;
}

namespace {

float LinStepFromTen(float fE) {
    static constexpr std::array<std::pair<float, float>, 10> kSteps{{{16000, 2000},
                                                                     {10000, 1000},
                                                                     {5000, 500},
                                                                     {2000, 200},
                                                                     {1000, 100},
                                                                     {500, 50},
                                                                     {200, 20},
                                                                     {100, 10},
                                                                     {50, 5},
                                                                     {20, 2}}};
    for (const auto& [atLeast, step] : kSteps)
        if (fE >= atLeast) return step;
    return 1;
}

} // namespace

float LinFreqStep(float fE) {
    if (!(fE > 0) || fE >= 10) return LinStepFromTen(fE);
    // Below 10 Hz the steps of the decades above repeat: 0.5 for 5 Hz, 0.01 for 0.1 Hz.
    double scale = 1;
    while (fE * scale < 10 && scale < 1e50)
        scale *= 10;
    return static_cast<float>(LinStepFromTen(static_cast<float>(fE * scale)) / scale);
}

int64_t LogGriddBDivisions(int64_t D) {
    if (D > 3) return D;
    if (D == 2) return 8;
    if (D == 3) return 6;
    return D == 1 ? 10 : 0;
}

TGridLines dBGridLines(int H, int64_t n) {
    TGridLines g;
    if (n < 2 || n - 1 > TGridLines::CAPACITY) return g;
    for (int64_t i = 1; i < n; i++)
        g.Add(static_cast<int>((i * H) / n), false);
    return g;
}

TGridLines LinFreqGridLines(int W, float fE) {
    TGridLines g;
    if (!PositiveFinite(fE)) return g;
    const float step = LinFreqStep(fE);
    // Multiples of the step, none within a rounding error of the end (steps of 0.01 Hz do not
    // add up exactly in floats).
    for (int i = 1; g.count < TGridLines::CAPACITY; i++) {
        const float f = static_cast<float>(i) * step;
        if (!(f < fE - 1e-3f * step)) break;
        g.Add(LinX(W, f, fE), false);
    }
    return g;
}

TGridLines LogFreqGridLines(int W, float fS, float fE) {
    TGridLines g;
    const TLogAxis ax = GridLogAxis(fS, fE);
    if (!ax.valid) return g;
    float f = fS;
    while (fE > f && g.count < TGridLines::CAPACITY) {
        f = static_cast<float>(NextLogTick(f));
        if (!(fE > f)) break;
        const float p = 10.0f * f;
        const bool major = p == 1.0f || p == 10.0f || p == 100.0f || p == 1000.0f ||
                           p == 10000.0f || p == 100000.0f;
        g.Add(LogX(W, f, ax), major);
    }
    return g;
}

TGridLines WaveVoltGridLines(int H, int count) {
    TGridLines g;
    if (count < 2) return g;
    const float step = static_cast<float>(H / count) * (1.0f / 3.0f);
    const int lines = static_cast<int>(count * 1.5);
    for (int i = 1; i <= lines; i++) {
        const bool major = i == count;
        const double d = static_cast<float>(i) * step;
        g.Add(TruncPixel(H * 0.5 - d), major);
        g.Add(TruncPixel(d + H * 0.5), major);
    }
    return g;
}

TGridLines WaveTimeGridLines(int W, float span) {
    TGridLines g;
    if (!PositiveFinite(span)) return g;
    const float d = span / 20;
    for (int i = 1; i <= 19; i++)
        g.Add(TruncPixel(W * static_cast<double>(static_cast<float>(i) * d) / span), false);
    return g;
}

int BlockCount(const TSignalData& d) {
    if (d.ad_dnum <= 0 || d.pVolt == nullptr || d.pCode == nullptr) return 0;
    return std::min(d.ad_dnum, DATA_BUF_LEN);
}

int BlockBinCount(const TSignalData& d) {
    if (d.pSpectrum == nullptr) return 0;
    return std::min(BlockCount(d) / 2, SPEC_BUF_LEN);
}

float BlockSpanMs(const TSignalData& d) {
    return d.periodMs * static_cast<float>(BlockCount(d));
}

double WaveDcCode(const TSignalData& d, bool dcCut) {
    const int n = BlockCount(d);
    if (!dcCut || n == 0) return CODE_OF_ZERO_VOLT;
    double sum = 0.0;
    for (int i = 0; i < n; i++)
        sum += d.pCode[i];
    return sum / n;
}

TVoltRange VoltRangeOne(const TSignalData& d, bool dcCut) {
    TVoltRange r;
    if (BlockCount(d) == 0) return r;
    const double dc = WaveDcCode(d, dcCut);
    const TCodeRange c = CodeRangeOne(d);
    r.top = WaveVolt(c.max, dc);
    r.bottom = WaveVolt(c.min, dc);
    return r;
}

TVoltRange VoltRangeBoth(const TSignalData& sig, const TSignalData& ref, bool dcCut) {
    const bool hasSig = BlockCount(sig) > 0, hasRef = BlockCount(ref) > 0;
    if (!hasSig) return VoltRangeOne(ref, dcCut);
    if (!hasRef) return VoltRangeOne(sig, dcCut);
    const TVoltRange s = VoltRangeOne(sig, dcCut), r = VoltRangeOne(ref, dcCut);
    return {std::max(s.top, r.top), std::min(s.bottom, r.bottom)};
}

TCodeRange CodeRangeOne(const TSignalData& d) {
    TCodeRange r;
    if (BlockCount(d) == 0) return r;
    r.max = GetCodeMax(d);
    r.min = GetCodeMin(d);
    return r;
}

TCodeRange CodeRangeBoth(const TSignalData& sig, const TSignalData& ref) {
    const bool hasSig = BlockCount(sig) > 0, hasRef = BlockCount(ref) > 0;
    if (!hasSig) return CodeRangeOne(ref);
    if (!hasRef) return CodeRangeOne(sig);
    const TCodeRange s = CodeRangeOne(sig), r = CodeRangeOne(ref);
    return {std::max(s.max, r.max), std::min(s.min, r.min)};
}

bool LogBinRange(float deltaF, int binCount, float fS, float fE, int& j, int& k) {
    if (!PositiveFinite(deltaF) || binCount < 2) return false;
    j = 1;
    while (j < binCount && static_cast<double>(j) * deltaF < fS)
        ++j;
    if (j >= binCount) return false;
    if (j > 1) --j;
    k = j;
    while (static_cast<double>(k) * deltaF < fE && k < binCount - 1)
        ++k;
    return k > j;
}

int LinLastBin(float deltaF, int binCount, float fE) {
    if (!PositiveFinite(deltaF) || !PositiveFinite(fE) || binCount < 1) return -1;
    const double last = std::trunc(static_cast<double>(fE) / deltaF);
    return last < binCount - 1 ? static_cast<int>(last) : binCount - 1;
}

int LogXToBin(int width, int x, float fS, float fE, float deltaF) {
    const TLogAxis ax = GridLogAxis(fS, fE);
    if (!ax.valid || width <= 0 || !PositiveFinite(deltaF)) return -1;
    const double e = ax.a + (x / static_cast<double>(ax.k)) / width;
    const auto f = static_cast<float>(std::pow(10.0, e));
    return TruncPixel(static_cast<double>(f) / deltaF);
}

int LinXToBin(int width, int x, float fE, float deltaF) {
    if (width <= 0 || !PositiveFinite(fE) || !PositiveFinite(deltaF)) return -1;
    const double f = static_cast<double>(x) * fE / width;
    return TruncPixel(f / deltaF);
}
