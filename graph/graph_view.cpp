#include "graph_view.h"

#include <algorithm>
#include <cmath>

#include "axis_labels.h"
#include "graph_scales.h"
#include "numfmt.h"

namespace {

bool PositiveFinite(double v) {
    return v > 0 && std::isfinite(v);
}

std::string StripZeros(std::string s) {
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0')
            s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

// v with `digits` significant digits, trailing zeros of the fraction dropped.
std::string SigText(double v, int digits) {
    if (v == 0 || !std::isfinite(v)) return "0";
    const int e = static_cast<int>(std::floor(std::log10(std::fabs(v))));
    const int decimals = std::clamp(digits - 1 - e, 0, 12);
    return StripZeros(FormatFixed(v, decimals));
}

// Decimals that multiples of a 1-2-5 step need.
int StepDecimals(double step) {
    if (!PositiveFinite(step)) return 0;
    return std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 12);
}

} // namespace

double TAxisView::Coord(double v) const {
    return log_ ? std::log10(v) : v;
}

double TAxisView::Value(double u) const {
    return log_ ? std::pow(10.0, u) : u;
}

bool TAxisView::SetFull(double lo, double hi, bool log, double minSpan) {
    const bool ok = std::isfinite(lo) && std::isfinite(hi) && hi > lo && (!log || lo > 0);
    if (!ok) {
        valid_ = false;
        return false;
    }
    const double a = log ? std::log10(lo) : lo, b = log ? std::log10(hi) : hi;
    const bool same = valid_ && log == log_ && a == f0_ && b == f1_;
    log_ = log;
    f0_ = a;
    f1_ = b;
    minSpan_ = PositiveFinite(minSpan) ? minSpan : 0;
    valid_ = true;
    if (!same) {
        Reset();
    } else {
        Take(u0_, u1_);
    }
    return true;
}

void TAxisView::Reset() {
    u0_ = f0_;
    u1_ = f1_;
}

bool TAxisView::IsFull() const {
    const double eps = 1e-12 * (f1_ - f0_);
    return !valid_ || (u0_ <= f0_ + eps && u1_ >= f1_ - eps);
}

double TAxisView::ToPixel(double v, int W) const {
    if (!valid_ || W <= 0 || (log_ && !(v > 0))) return 0;
    return W * (Coord(v) - u0_) / (u1_ - u0_);
}

double TAxisView::FromPixel(double x, int W) const {
    if (!valid_ || W <= 0) return Value(u0_);
    return Value(u0_ + (x / W) * (u1_ - u0_));
}

bool TAxisView::Take(double a, double b) {
    if (!valid_ || !std::isfinite(a) || !std::isfinite(b)) return false;
    if (a > b) std::swap(a, b);
    const double full = f1_ - f0_;
    // Never narrower than a millionth of the full range, whatever the minimum span says.
    if (b - a < 1e-6 * full) {
        const double c = 0.5 * (a + b);
        a = c - 0.5e-6 * full;
        b = c + 0.5e-6 * full;
    }
    if (b - a >= full) {
        a = f0_;
        b = f1_;
    } else {
        double va = Value(a), vb = Value(b);
        if (vb - va < minSpan_) {
            if (minSpan_ >= FullHi() - FullLo()) {
                a = f0_;
                b = f1_;
            } else {
                const double c = 0.5 * (va + vb);
                va = std::max(c - 0.5 * minSpan_, FullLo());
                vb = va + minSpan_;
                if (vb > FullHi()) {
                    vb = FullHi();
                    va = vb - minSpan_;
                }
                a = Coord(va);
                b = Coord(vb);
            }
        }
        if (a < f0_) {
            b += f0_ - a;
            a = f0_;
        }
        if (b > f1_) {
            a -= b - f1_;
            b = f1_;
        }
        a = std::max(a, f0_);
    }
    const double eps = 1e-12 * full;
    const bool changed = std::fabs(a - u0_) > eps || std::fabs(b - u1_) > eps;
    u0_ = a;
    u1_ = b;
    return changed;
}

bool TAxisView::ZoomSpan(double x0, double x1, int W) {
    if (!valid_ || W <= 0 || std::fabs(x1 - x0) < 3) return false;
    const double span = u1_ - u0_;
    const double a = u0_ + (std::min(x0, x1) / W) * span;
    const double b = u0_ + (std::max(x0, x1) / W) * span;
    return Take(a, b);
}

bool TAxisView::ZoomAt(double x, int W, double factor) {
    if (!valid_ || W <= 0 || !PositiveFinite(factor)) return false;
    const double ux = u0_ + (x / W) * (u1_ - u0_);
    return Take(ux - (ux - u0_) * factor, ux + (u1_ - ux) * factor);
}

bool TAxisView::Pan(double dx, int W) {
    if (!valid_ || W <= 0 || !std::isfinite(dx)) return false;
    const double d = -dx / W * (u1_ - u0_);
    return Take(u0_ + d, u1_ + d);
}

bool TAxisView::CentreOn(double v) {
    if (!valid_ || !std::isfinite(v) || (log_ && !(v > 0))) return false;
    const double d = Coord(v) - 0.5 * (u0_ + u1_);
    return Take(u0_ + d, u1_ + d);
}

double FloorOneTwoFive(double v) {
    if (!PositiveFinite(v)) return 0;
    const double p = std::pow(10.0, std::floor(std::log10(v)));
    const double m = v / p;
    // A value a rounding error below 2 or 5 still counts as 2 or 5.
    if (m >= 5 * (1 - 1e-9)) return 5 * p;
    if (m >= 2 * (1 - 1e-9)) return 2 * p;
    if (m < 1 - 1e-9) return p / 2; // log10 rounded up
    return p;
}

bool AutoFreqRange(double deltaF, double periodMs, bool log, TFreqRange& out) {
    if (!PositiveFinite(deltaF) || !PositiveFinite(periodMs)) return false;
    const double hi = 500.0 / periodMs;
    const double lo = log ? FloorOneTwoFive(deltaF) : 0.0;
    if (!(hi > lo) || !std::isfinite(hi) || (log && !(lo > 0))) return false;
    out = {lo, hi};
    return true;
}

std::string FreqAxisText(double f, bool unit) {
    if (!unit) return SigText(std::fabs(f) >= 1000 ? f / 1000 : f, 3); // "1kHz", "2", "5"
    if (std::fabs(f) >= 1000) return SigText(f / 1000, 3) + "kHz";
    return SigText(f, 3) + "Hz";
}

std::vector<TAxisTick> FreqAxisTicks(double lo, double hi, bool log) {
    std::vector<TAxisTick> t;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo) || (log && !(lo > 0))) return t;
    if (log) {
        t.push_back({lo, FreqAxisText(lo, true)});
        const double tol = 1e-9;
        for (int e = static_cast<int>(std::floor(std::log10(lo))); e <= std::log10(hi); e++) {
            const double p = std::pow(10.0, e);
            for (double m : {1.0, 2.0, 5.0}) {
                const double v = m * p;
                if (v > lo * (1 + tol) && v < hi * (1 - tol))
                    t.push_back({v, FreqAxisText(v, m == 1.0)});
            }
        }
        t.push_back({hi, FreqAxisText(hi, true)});
        return t;
    }
    const bool kHz = hi >= 2000;
    const double unit = kHz ? 1000.0 : 1.0;
    const double step = FloorOneTwoFive((hi - lo) / 4);
    if (!(step > 0)) return t;
    const int dec = StepDecimals(step / unit);
    // The digits the step needs, trailing zeros dropped as in the fixed lists ("0.5", "1").
    const auto text = [&](double v) { return StripZeros(FormatFixed(v / unit, dec)); };
    t.push_back({lo, text(lo)});
    const double first = std::ceil(lo / step - 1e-9) * step;
    for (int i = 0; i < 64; i++) {
        const double v = first + i * step;
        if (v >= hi - step * 1e-6) break;
        if (v > lo + step * 1e-6) t.push_back({v, text(v)});
    }
    t.push_back({hi, text(hi) + (kHz ? "kHz" : "Hz")});
    return t;
}

double LinGridStep(double span) {
    if (!PositiveFinite(span)) return 0;
    double scale = 1;
    while (span * scale < 20 && scale < 1e12)
        scale *= 10;
    while (span * scale > 1e5 && scale > 1e-12)
        scale /= 10;
    return static_cast<double>(LinFreqStep(static_cast<float>(span * scale))) / scale;
}

TViewGrid FreqViewGrid(const TAxisView& v, int W, int maxLines) {
    TViewGrid g;
    if (!v.Valid() || W <= 0) return g;
    const double lo = v.Lo(), hi = v.Hi();
    const auto add = [&](double f, bool major) {
        if (static_cast<int>(g.pos.size()) >= maxLines) return;
        g.pos.push_back(TruncPixel(v.ToPixel(f, W)));
        g.major.push_back(major);
    };
    if (v.IsLog()) {
        const double tol = 1e-9;
        for (int e = static_cast<int>(std::floor(std::log10(lo))); e <= std::log10(hi); e++) {
            const double p = std::pow(10.0, e);
            for (double m : {1.0, 1.5, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0}) {
                const double f = m * p;
                if (f > lo * (1 + tol) && f < hi * (1 - tol)) add(f, m == 1.0);
            }
        }
        return g;
    }
    const double step = LinGridStep(hi - lo);
    if (!(step > 0)) return g;
    for (double k = std::floor(lo / step) + 1; k * step < hi; k += 1) {
        if (static_cast<int>(g.pos.size()) >= maxLines) break;
        const double f = k * step;
        if (f > lo + step * 1e-6 && f < hi - step * 1e-6) add(f, false);
    }
    return g;
}

std::vector<TAxisLabelPlace> PlaceAxisLabels(const std::vector<double>& centre,
                                             const std::vector<int>& width, int left, int W,
                                             int gap) {
    const size_t n = std::min(centre.size(), width.size());
    std::vector<TAxisLabelPlace> out(n);
    if (n == 0) return out;
    out[0] = {left, true};
    if (n == 1) return out;
    const int lastLeft = left + W - width[n - 1];
    out[n - 1] = {lastLeft, true};
    int R = left + width[0];
    for (size_t i = 1; i + 1 < n; i++) {
        const int l = left + TruncPixel(centre[i]) - width[i] / 2;
        const bool shown = l > R + gap && l + width[i] + gap < lastLeft;
        out[i] = {l, shown};
        if (shown) R = l + width[i];
    }
    return out;
}

std::string ZoomTimeText(double t, double span) {
    if (!(t > 0) || !std::isfinite(t)) return "0";
    double factor = 0.001;
    int decimals = 3;
    const char* unit = "s";
    if (t < 1) {
        factor = 1000, decimals = 0, unit = "us";
    } else if (t < 1000) {
        factor = 1, decimals = 2, unit = "ms";
    }
    const double s = span * factor;
    if (PositiveFinite(s))
        decimals =
            std::max(decimals, std::clamp(static_cast<int>(std::ceil(-std::log10(s / 50))), 0, 6));
    return FormatFixed(t * factor, decimals) + unit;
}

std::string DeltaFreqText(double df) {
    if (std::fabs(df) >= 1000) return "Δf=" + FormatFixed(df / 1000, 3) + "kHz";
    return "Δf=" + FormatFixed(df, 3) + "Hz";
}

std::string DeltadBText(double ddb) {
    return "ΔdB=" + FormatFixed(ddb, 2) + "dB";
}

std::string DeltaTimeText(double dtMs) {
    const std::string s = FormatTimeSpan(static_cast<float>(std::fabs(dtMs)));
    return std::string("Δt=") + (dtMs < 0 ? "-" : "") + s;
}

std::string InverseTimeText(double dtMs) {
    if (!(std::fabs(dtMs) > 0) || !std::isfinite(dtMs)) return "1/Δt=---";
    const double f = 1000.0 / std::fabs(dtMs);
    if (f >= 1000) return "1/Δt=" + SigText(f / 1000, 4) + "kHz";
    return "1/Δt=" + SigText(f, 4) + "Hz";
}

std::string DeltaLevelText(double d, bool volts) {
    if (!volts) return "Δコード=" + FormatFixed(d, 0);
    const double a = std::fabs(d);
    if (a >= 1) return "ΔV=" + SigText(d, 4) + "V";
    if (a >= 1e-3) return "ΔV=" + SigText(d * 1e3, 4) + "mV";
    if (a >= 1e-6) return "ΔV=" + SigText(d * 1e6, 4) + "uV";
    return "ΔV=" + SigText(d * 1e9, 4) + "nV";
}
