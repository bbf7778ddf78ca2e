#include "axis_labels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "graph_view.h"
#include "numfmt.h"
#include "tables.h"

namespace {

constexpr std::array<const char*, FREQ_LABEL_COUNT> kLogLabelsWide{
    "0.1Hz", "2", "5", "1Hz", "2", "5", "10Hz", "2", "5", "100Hz", "2", "5", "1kHz", "2.5", "5"};
constexpr std::array<const char*, FREQ_LABEL_COUNT> kLogLabelsNarrow{
    "0.1Hz", "0.2Hz", "0.5Hz", "1Hz",   "2Hz",  "5Hz",    "10Hz", "20Hz",
    "50Hz",  "100Hz", "200Hz", "500Hz", "1kHz", "2.5kHz", "5kHz"};

// Labels of the fixed linear axis 0 .. fE: the 1-2-5 ticks of a linear view over the whole
// range (the unit on the end label only). Every end of the frequency scale is a multiple of its
// step, so the labels are evenly spaced. Empty for an index outside the scale.
std::vector<TAxisTick> LinFixedTicks(int32_t e) {
    const double fE = FreqScaleHz(e);
    if (!(fE > 0)) return {};
    std::vector<TAxisTick> t = FreqAxisTicks(0.0, fE, false);
    if (t.size() > FREQ_LABEL_COUNT) t.clear();
    return t;
}

bool dBLabelsPlaceable(const TFFTSetting& s) {
    return s.index_dB_min >= 3 && s.index_dB_min > s.index_dB_max && s.index_dB_max >= 0 &&
           s.index_dB_min < DB_LABEL_COUNT;
}

int Trunc(double v) {
    return TruncPixel(v);
}

// A label left of a box, 2 pixels clear of it, but never beyond the window's left edge (a
// ten-digit code is as wide as the margin; GraphBoxLeft widens the margin for wider ones).
int LeftOfBox(int L, int w) {
    return std::max(0, L - w - 2);
}

} // namespace

int GraphBoxLeft(int widestLeftLabel) {
    return std::max(GRAPH_BOX_LEFT, widestLeftLabel);
}

int LinLabelCount(int32_t indexFreqE) {
    return static_cast<int>(LinFixedTicks(indexFreqE).size());
}

int FreqLabelTexts(const TFFTSetting& s, TFreqTexts& out) {
    if (s.fLogGraph == 1) {
        const bool wide = int64_t{s.index_FreqE} - s.index_FreqS > 3;
        const auto& list = wide ? kLogLabelsWide : kLogLabelsNarrow;
        for (size_t i = 0; i < list.size(); i++)
            out[i] = list[i];
        return FREQ_LABEL_COUNT;
    }
    const std::vector<TAxisTick> t = LinFixedTicks(s.index_FreqE);
    for (size_t i = 0; i < t.size(); i++)
        out[i] = t[i].text;
    return static_cast<int>(t.size());
}

std::string dBLabelText(int i, const TFFTSetting& s) {
    std::string t = std::to_string(dBScaleValue(i));
    if (i == s.index_dB_max || i == s.index_dB_min) t += s.fAbsoGraph == 1 ? "dBV" : "dB";
    return t;
}

std::string FormatTimeSpan(float t) {
    const double d = t;
    if (d < 1) return FormatFixed(d * 1000, 0) + "us";
    if (d < 1000) return FormatFixed(d, 2) + "ms";
    return FormatFixed(d * 0.001, 3) + "s";
}

TVoltTexts VoltLabelTexts(double top, double bottom) {
    const double m = std::max(std::fabs(top), std::fabs(bottom));
    double factor = 1e9;
    int decimals = 2;
    const char* unit = "[nV]";
    if (m > 0.1) {
        factor = 1, decimals = 2, unit = "[V]";
    } else if (m > 0.01) {
        factor = 1000, decimals = 1, unit = "[mV]";
    } else if (m > 0.001) {
        factor = 1000, decimals = 2, unit = "[mV]";
    } else if (m > 0.0001) {
        factor = 1000, decimals = 3, unit = "[mV]";
    } else if (m > 0.00001) {
        factor = 1e6, decimals = 1, unit = "[uV]";
    } else if (m > 0.000001) {
        factor = 1e6, decimals = 2, unit = "[uV]";
    }
    TVoltTexts v;
    v.text[VL_MAX] = FormatFixed(static_cast<double>(top) * factor, decimals);
    v.text[VL_ZERO] = FormatFixed((static_cast<double>(top) + bottom) * 0.5 * factor, decimals);
    v.text[VL_MIN] = FormatFixed(static_cast<double>(bottom) * factor, decimals);
    v.text[VL_UNIT] = unit;
    return v;
}

TVoltTexts CodeLabelTexts(uint32_t codeMax, uint32_t codeMin) {
    TVoltTexts v;
    v.text[VL_MAX] = FormatFixed(codeMax, 0);
    v.text[VL_ZERO] = FormatFixed(codeMax * 0.5 + codeMin * 0.5, 0);
    v.text[VL_MIN] = FormatFixed(codeMin, 0);
    v.text[VL_UNIT] = "[digit]";
    return v;
}

float TimeAxisSpan(const TSignalData& sig, const TSignalData& ref, const TADSetting& ad,
                   const TFFTSetting& s) {
    const bool hasSig = BlockCount(sig) > 0, hasRef = BlockCount(ref) > 0;
    if (hasSig && hasRef) return std::max(BlockSpanMs(sig), BlockSpanMs(ref));
    if (hasSig) return BlockSpanMs(sig);
    if (hasRef) return BlockSpanMs(ref);
    return SamplePeriodMs(ad.spsSel, ad.sinc3) * static_cast<float>(s.DataCountMax);
}

int dBLabelStride(double hd, float pitch) {
    const double p = pitch;
    if (1.5 * hd < p) return 1;
    if (0.7 * hd < p) return 2;
    if (hd < 2 * p) return 3;
    if (hd < 3 * p) return 4;
    return 0;
}

bool dBLabelShown(int j, int D, int stride) {
    if (stride == 0) return j == 0 || j == D;
    return j % stride == 0;
}

bool PlaceFreqLabelsCalc(const TFFTSetting& s, const TBoxRect& box,
                         const std::array<TLabelSize, FREQ_LABEL_COUNT>& size,
                         std::array<TLabelPlace, FREQ_LABEL_COUNT>& out) {
    const int S = s.index_FreqS, E = s.index_FreqE, top = box.T + box.H + 5;
    if (s.fLogGraph == 1) {
        const TLogAxis ax = GridLogAxis(FreqScaleValue(S), FreqScaleValue(E));
        if (!ax.valid) return false;
        // The start label reserves 20 pixels, or its own width when wider; an inner label is
        // shown only clear of the label before it and of the end label.
        const int endLeft = box.L + box.W - size[static_cast<size_t>(E)].w / 2;
        int R = box.L + 20;
        for (int i = 0; i < FREQ_LABEL_COUNT; i++) {
            const int w = size[static_cast<size_t>(i)].w;
            TLabelPlace& p = out[static_cast<size_t>(i)];
            p.top = top;
            if (i == S || i == E) {
                p.visible = true;
                if (i == S) {
                    p.left = box.L;
                    R = box.L + std::max(20, w - 1);
                } else {
                    p.left = endLeft;
                }
            } else if (i < S || i > E) {
                p.visible = false;
            } else {
                const double lg = std::log10(static_cast<double>(FreqScaleValue(i)));
                p.left = Trunc((lg - ax.a) * box.W * static_cast<double>(ax.k) + box.L - w / 2 + 1);
                p.visible = p.left > R && p.left + w < endLeft;
                if (p.visible) R = p.left + w;
            }
        }
        return true;
    }
    const int n = LinLabelCount(E);
    if (n == 0) return false;
    for (int i = 0; i < FREQ_LABEL_COUNT; i++) {
        const int w = size[static_cast<size_t>(i)].w;
        TLabelPlace& p = out[static_cast<size_t>(i)];
        p.top = top;
        p.visible = i < n;
        if (i == 0)
            p.left = box.L;
        else if (i == n - 1)
            p.left = box.L + box.W - w;
        else if (i < n)
            p.left = (box.W / (n - 1)) * i + box.L - w / 2;
    }
    return true;
}

bool PlacedBLabelsCalc(const TFFTSetting& s, const TBoxRect& box,
                       const std::array<TLabelSize, DB_LABEL_COUNT>& size,
                       std::array<TLabelPlace, DB_LABEL_COUNT>& out) {
    if (!dBLabelsPlaceable(s)) return false;
    const int Dtop = s.index_dB_max, D = s.index_dB_min - s.index_dB_max;
    const float p = static_cast<float>(box.H) / static_cast<float>(D);
    for (int i = 0; i < DB_LABEL_COUNT; i++) {
        const TLabelSize& sz = size[static_cast<size_t>(i)];
        TLabelPlace& pl = out[static_cast<size_t>(i)];
        pl.visible = false;
        pl.top = Trunc((i - Dtop) * static_cast<double>(p) - std::abs(sz.h / 2)) + box.T + 1;
        pl.left = LeftOfBox(box.L, sz.w);
    }
    const int stride = dBLabelStride(size[static_cast<size_t>(Dtop)].h, p);
    for (int j = 0; j <= D; j++)
        if (dBLabelShown(j, D, stride)) out[static_cast<size_t>(Dtop + j)].visible = true;
    return true;
}

void PlaceVoltLabelsCalc(const TBoxRect& box, const std::array<TLabelSize, VOLT_LABEL_COUNT>& size,
                         std::array<TLabelPlace, VOLT_LABEL_COUNT>& out) {
    const int L = box.L, T = box.T, H = box.H;
    const int tops[VOLT_LABEL_COUNT] = {
        T + H / 6 - size[VL_MAX].h / 2 + 1, T + H / 2 - size[VL_ZERO].h / 2,
        T + (5 * H) / 6 - size[VL_MIN].h / 2, T - size[VL_UNIT].h / 2};
    for (size_t i = 0; i < VOLT_LABEL_COUNT; i++)
        out[i] = {LeftOfBox(L, size[i].w), tops[i], true};
}

void PlaceTimeLabelsCalc(const TBoxRect& box, const std::array<TLabelSize, TIME_LABEL_COUNT>& size,
                         std::array<TLabelPlace, TIME_LABEL_COUNT>& out) {
    out[TL_START] = {box.L, box.T + box.H + 2, true};
    out[TL_END] = {box.L + box.W - size[TL_END].w, box.T + box.H + 2, true};
}

bool PrintFreqLabelPositions(const TFFTSetting& s, const TPrintRect& r, float scale,
                             const std::array<TLabelSize, FREQ_LABEL_COUNT>& size,
                             std::array<TPrintPos, FREQ_LABEL_COUNT>& out) {
    const double sc = scale;
    const int S = s.index_FreqS, E = s.index_FreqE, y = Trunc(5 * sc) + r.bottom;
    out.fill({});
    if (s.fLogGraph == 1) {
        const TLogAxis ax = GridLogAxis(FreqScaleValue(S), FreqScaleValue(E));
        if (!ax.valid) return false;
        // As on screen: clear of the start label's own width and of the end label.
        const int endX = r.right - Trunc(size[static_cast<size_t>(E)].w * sc);
        int R = Trunc(20 * sc) + r.left;
        for (int i = 0; i < FREQ_LABEL_COUNT; i++) {
            const int w = size[static_cast<size_t>(i)].w;
            TPrintPos& p = out[static_cast<size_t>(i)];
            p.y = y;
            if (i == S) {
                p = {r.left, y, true};
                R = r.left + std::max(Trunc(20 * sc), Trunc(w * sc) - 1);
            } else if (i == E) {
                p = {endX, y, true};
            } else if (i > S && i < E) {
                const double lg = std::log10(static_cast<double>(FreqScaleValue(i)));
                p.x = Trunc(r.left + (lg - ax.a) * (r.right - r.left) * static_cast<double>(ax.k) -
                            Trunc(w * sc * 0.5));
                p.write = p.x > R && p.x + Trunc(w * sc) < endX;
                if (p.write) R = p.x + Trunc(w * sc);
            }
        }
        return true;
    }
    const int n = LinLabelCount(E);
    if (n == 0) return false;
    for (int i = 0; i < n; i++) {
        const int w = size[static_cast<size_t>(i)].w;
        int x = ((r.right - r.left) / (n - 1)) * i + r.left - Trunc(w * sc * 0.5);
        if (i == 0) x = r.left;
        if (i == n - 1) x = r.right - Trunc(w * sc);
        out[static_cast<size_t>(i)] = {x, y, true};
    }
    return true;
}

bool PrintdBLabelPositions(const TFFTSetting& s, const TPrintRect& r, float scale,
                           const std::array<TLabelSize, DB_LABEL_COUNT>& size,
                           std::array<TPrintPos, DB_LABEL_COUNT>& out) {
    out.fill({});
    if (!dBLabelsPlaceable(s)) return false;
    const double sc = scale;
    const int Dtop = s.index_dB_max, Dbot = s.index_dB_min, D = Dbot - Dtop;
    const float p = static_cast<float>(r.bottom - r.top) / static_cast<float>(D);
    const int hd = Trunc(size[static_cast<size_t>(Dtop)].h * sc);
    const int stride = dBLabelStride(hd, p);
    for (int j = 0; j <= D; j++) {
        if (!dBLabelShown(j, D, stride)) continue;
        const TLabelSize& sz = size[static_cast<size_t>(Dtop + j)];
        const int half = std::abs(Trunc(sz.h * sc * 0.5));
        int y = Trunc(r.top + j * static_cast<double>(p) - half);
        if (stride == 0) y = (j == 0 ? r.top : r.bottom) - half;
        out[static_cast<size_t>(Dtop + j)] = {std::max(0, r.left - Trunc((sz.w + 2) * sc)), y,
                                              true};
    }
    return true;
}

void PrintVoltLabelPositions(const TPrintRect& r, float scale,
                             const std::array<TLabelSize, VOLT_LABEL_COUNT>& size,
                             std::array<TPrintPos, VOLT_LABEL_COUNT>& out) {
    const double sc = scale;
    const int G = r.bottom - r.top;
    const int ys[VOLT_LABEL_COUNT] = {G / 6 + r.top - Trunc(size[VL_MAX].h * sc * 0.5),
                                      G / 2 + r.top - Trunc(size[VL_ZERO].h * sc * 0.5),
                                      (5 * G) / 6 + r.top - Trunc(size[VL_MIN].h * sc * 0.5),
                                      r.top};
    for (size_t i = 0; i < VOLT_LABEL_COUNT; i++)
        out[i] = {std::max(0, r.left - Trunc((size[i].w + 2) * sc)), ys[i], true};
}

void PrintTimeLabelPositions(const TPrintRect& r, float scale,
                             const std::array<TLabelSize, TIME_LABEL_COUNT>& size,
                             std::array<TPrintPos, TIME_LABEL_COUNT>& out) {
    const double sc = scale;
    const int y = r.bottom + Trunc(2 * sc);
    out[TL_START] = {r.left, y, true};
    out[TL_END] = {r.right - Trunc((size[TL_END].w + 2) * sc), y, true};
}
