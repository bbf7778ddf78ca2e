#include "figures.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tables.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kOffset = CODE_OF_ZERO_VOLT;
constexpr double kVoltPerCode = VOLT_PER_CODE;
constexpr double kFullScaleVrms = FULL_SCALE_VOLT / 1.41421356237309504880; // a full-scale sine
constexpr double kSpan = 2.0 * FULL_SCALE_VOLT; // the input range, volts
constexpr double kMaxBits = 32.0;

bool IsPow2(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

double Window(int window, int i, int n) {
    const double x = (i + 0.5) / n;
    switch (window) {
    case 1:
        return 0.5 * (1.0 - std::cos(2.0 * kPi * x));
    case 2:
        return 0.54 - 0.46 * std::cos(2.0 * kPi * x);
    case 3: {
        const double t = (i + 0.5 - n / 2.0) / n;
        return (0.54 + 0.46 * std::cos(2.0 * kPi * t)) * std::sin(4.0 * kPi * t) / (4.0 * kPi * t);
    }
    default:
        return 1.0;
    }
}

// Tables of one complex transform size, kept between calls of the same size.
struct TFftPlan {
    int m = 0;
    std::vector<int> rev;
    std::vector<double> twr, twi; // e^{-2 pi i j / m}, j < m/2
    std::vector<double> rtr, rti; // e^{-2 pi i k / (2m)}, k <= m
};

// The window of one kind and size with its sum of squares, kept between calls.
struct TWindowTable {
    int window = -1, n = 0;
    std::vector<double> w;
    double sumW2 = 0.0;
};

const TWindowTable& WindowFor(int window, int n) {
    thread_local TWindowTable t;
    if (t.window == window && t.n == n) return t;
    t.window = window;
    t.n = n;
    t.w.resize(static_cast<size_t>(n));
    t.sumW2 = 0.0;
    for (int i = 0; i < n; ++i) {
        const double w = Window(window, i, n);
        t.w[static_cast<size_t>(i)] = w;
        t.sumW2 += w * w;
    }
    return t;
}

const TFftPlan& PlanFor(int m) {
    thread_local TFftPlan plan;
    if (plan.m == m) return plan;
    plan.m = m;
    plan.rev.assign(static_cast<size_t>(m), 0);
    int bits = 0;
    while ((1 << bits) < m)
        ++bits;
    for (int i = 0; i < m; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            if (i & (1 << b)) r |= 1 << (bits - 1 - b);
        plan.rev[static_cast<size_t>(i)] = r;
    }
    plan.twr.resize(static_cast<size_t>(m / 2 + 1));
    plan.twi.resize(static_cast<size_t>(m / 2 + 1));
    for (int j = 0; j <= m / 2; ++j) {
        plan.twr[static_cast<size_t>(j)] = std::cos(2.0 * kPi * j / m);
        plan.twi[static_cast<size_t>(j)] = -std::sin(2.0 * kPi * j / m);
    }
    plan.rtr.resize(static_cast<size_t>(m + 1));
    plan.rti.resize(static_cast<size_t>(m + 1));
    for (int k = 0; k <= m; ++k) {
        plan.rtr[static_cast<size_t>(k)] = std::cos(kPi * k / m);
        plan.rti[static_cast<size_t>(k)] = -std::sin(kPi * k / m);
    }
    return plan;
}

// In-place forward complex transform (negative exponent), m a power of two.
void ComplexFft(const TFftPlan& p, std::vector<double>& re, std::vector<double>& im) {
    const int m = p.m;
    for (int i = 0; i < m; ++i) {
        const int r = p.rev[static_cast<size_t>(i)];
        if (r > i) {
            std::swap(re[static_cast<size_t>(i)], re[static_cast<size_t>(r)]);
            std::swap(im[static_cast<size_t>(i)], im[static_cast<size_t>(r)]);
        }
    }
    double* xr = re.data();
    double* xi = im.data();
    for (int len = 2; len <= m; len *= 2) {
        const int half = len / 2;
        const int step = m / len;
        for (int s = 0; s < m; s += len) {
            for (int j = 0; j < half; ++j) {
                const double wr = p.twr[static_cast<size_t>(j * step)];
                const double wi = p.twi[static_cast<size_t>(j * step)];
                const int a = s + j, b = a + half;
                const double tr = xr[b] * wr - xi[b] * wi;
                const double ti = xr[b] * wi + xi[b] * wr;
                xr[b] = xr[a] - tr;
                xi[b] = xi[a] - ti;
                xr[a] += tr;
                xi[a] += ti;
            }
        }
    }
}

double Db10(double ratio) {
    return 10.0 * std::log10(ratio);
}

double CappedBits(double spanOverNoise) {
    if (!(spanOverNoise > 0.0) || std::isinf(spanOverNoise)) return kMaxBits;
    return std::min(kMaxBits, std::log2(spanOverNoise));
}

struct TRange {
    int lo = 0, hi = -1; // inclusive; empty when hi < lo
    bool Contains(int k) const { return k >= lo && k <= hi; }
    bool Touches(const TRange& o) const { return lo <= o.hi && o.lo <= hi; }
};

} // namespace

double FoldBin(double pos, int n) {
    double m = std::fmod(pos, static_cast<double>(n));
    if (m < 0.0) m += n;
    return m > n / 2.0 ? n - m : m;
}

int FigureHalfWidth(int window) {
    switch (window) {
    case 0:
        return 1;
    case 3:
        return 6;
    default:
        return 3;
    }
}

bool FigurePowerSpectrum(const uint32_t* codes, int n, int window, std::vector<double>& power) {
    if (!codes || n < 4 || !IsPow2(n) || window < 0 || window > 3) return false;
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += codes[i];
    const double meanCode = sum / n;

    const int m = n / 2;
    const TFftPlan& plan = PlanFor(m);
    const TWindowTable& win = WindowFor(window, n);
    std::vector<double> re(static_cast<size_t>(m)), im(static_cast<size_t>(m));
    for (int j = 0; j < m; ++j) {
        const size_t a = static_cast<size_t>(2 * j), b = a + 1;
        re[static_cast<size_t>(j)] = (codes[a] - meanCode) * kVoltPerCode * win.w[a];
        im[static_cast<size_t>(j)] = (codes[b] - meanCode) * kVoltPerCode * win.w[b];
    }
    const double sumW2 = win.sumW2;
    ComplexFft(plan, re, im);

    // Untangle the two interleaved real halves: X[k] = E[k] + e^{-2 pi i k / n} O[k].
    power.assign(static_cast<size_t>(m), 0.0);
    const double scale = 2.0 / (static_cast<double>(n) * sumW2);
    for (int k = 1; k < m; ++k) {
        const size_t a = static_cast<size_t>(k), b = static_cast<size_t>(m - k);
        const double er = 0.5 * (re[a] + re[b]), ei = 0.5 * (im[a] - im[b]);
        const double orr = 0.5 * (im[a] + im[b]), oi = -0.5 * (re[a] - re[b]);
        const double wr = plan.rtr[a], wi = plan.rti[a];
        const double xr = er + wr * orr - wi * oi;
        const double xi = ei + wr * oi + wi * orr;
        power[a] = scale * (xr * xr + xi * xi);
    }
    return true;
}

bool SpectralFigures(const double* power, size_t bins, const TFiguresInput& in, TFigures& out) {
    TFigures f;
    const int n = in.n;
    const bool usable = power && n >= 64 && IsPow2(n) && in.deltaF > 0.0 && in.window >= 0 &&
                        in.window <= 3 && bins >= static_cast<size_t>(n / 2);
    if (usable) {
        const double* s = power;
        const int b = FigureHalfWidth(in.window);
        const int last = n / 2 - 1;
        int peak = b + 1;
        for (int k = b + 2; k <= last; ++k)
            if (s[k] > s[peak]) peak = k;
        const TRange fund{std::max(b + 1, peak - b), std::min(last, peak + b)};
        double p1 = 0.0, moment = 0.0;
        for (int k = fund.lo; k <= fund.hi; ++k) {
            p1 += s[k];
            moment += k * s[k];
        }
        if (p1 > 0.0) {
            f.spectral = true;
            const double meanBin = moment / p1;
            f.fundamental_hz = meanBin * in.deltaF;
            f.fundamental_vrms = std::sqrt(p1);
            f.fundamental_dbfs = 20.0 * std::log10(f.fundamental_vrms / kFullScaleVrms);

            std::vector<TRange> taken{fund};
            double ph = 0.0;
            for (int h = 2; h <= 6; ++h) {
                const double pos = FoldBin(h * meanBin, n);
                const int centre = static_cast<int>(std::lround(pos));
                const TRange r{centre - b, std::min(last, centre + b)};
                if (r.lo <= b || r.hi < r.lo) continue;
                if (std::any_of(taken.begin(), taken.end(),
                                [&](const TRange& t) { return t.Touches(r); }))
                    continue;
                double p = 0.0;
                for (int k = r.lo; k <= r.hi; ++k)
                    p += s[k];
                taken.push_back(r);
                ph += p;
                f.harmonics.push_back({h, pos * in.deltaF, std::sqrt(p), Db10(p / p1)});
            }

            auto inComponent = [&](int k) {
                return std::any_of(taken.begin(), taken.end(),
                                   [&](const TRange& t) { return t.Contains(k); });
            };
            const double bandHi =
                in.bandHiHz < 0.0 ? std::numeric_limits<double>::infinity() : in.bandHiHz;
            double pn = 0.0, pBand = 0.0;
            int noiseBins = 0;
            int spur = -1;
            for (int k = b + 1; k <= last; ++k) {
                const double v = s[k];
                if (!fund.Contains(k) && (spur < 0 || v > s[spur])) spur = k;
                if (inComponent(k)) continue;
                pn += v;
                ++noiseBins;
                const double hz = k * in.deltaF;
                if (hz >= in.bandLoHz && hz <= bandHi) pBand += v;
            }
            double ps = 0.0;
            if (spur >= 0)
                for (int k = std::max(b + 1, spur - b); k <= std::min(last, spur + b); ++k)
                    if (!fund.Contains(k)) ps += s[k];

            f.snr_db = Db10(p1 / pn);
            f.thd_db = Db10(ph / p1);
            f.sinad_db = Db10(p1 / (pn + ph));
            f.sfdr_db = Db10(p1 / ps);
            f.enob_bits =
                (f.sinad_db - 1.76 + 20.0 * std::log10(kFullScaleVrms / f.fundamental_vrms)) / 6.02;
            f.noise_density_v_rthz = noiseBins > 0 ? std::sqrt(pn / (noiseBins * in.deltaF)) : 0.0;
            f.band_noise_v = std::sqrt(pBand);
        }
    }
    // Only the spectral part is this function's; the code figures stay as they are.
    out.spectral = f.spectral;
    out.fundamental_hz = f.fundamental_hz;
    out.fundamental_vrms = f.fundamental_vrms;
    out.fundamental_dbfs = f.fundamental_dbfs;
    out.snr_db = f.snr_db;
    out.thd_db = f.thd_db;
    out.sinad_db = f.sinad_db;
    out.sfdr_db = f.sfdr_db;
    out.enob_bits = f.enob_bits;
    out.harmonics = std::move(f.harmonics);
    out.noise_density_v_rthz = f.noise_density_v_rthz;
    out.band_noise_v = f.band_noise_v;
    return out.spectral;
}

bool ComputeFigures(const TFiguresInput& in, TFigures& out) {
    if (!in.codes || in.n < 1 || in.window < 0 || in.window > 3) return false;
    TFigures f;
    const int n = in.n;

    uint64_t sum = 0;
    uint32_t lo = in.codes[0], hi = in.codes[0];
    for (int i = 0; i < n; ++i) {
        sum += in.codes[i];
        lo = std::min(lo, in.codes[i]);
        hi = std::max(hi, in.codes[i]);
    }
    f.mean_code = static_cast<double>(sum) / n;
    double ss = 0.0;
    for (int i = 0; i < n; ++i) {
        const double d = in.codes[i] - f.mean_code;
        ss += d * d;
    }
    f.noise_rms_code = std::sqrt(ss / n);
    f.noise_pp_code = static_cast<double>(hi - lo);
    f.mean_v = (f.mean_code - kOffset) * kVoltPerCode;
    f.noise_rms_v = f.noise_rms_code * kVoltPerCode;
    f.noise_pp_v = f.noise_pp_code * kVoltPerCode;
    f.effective_bits = CappedBits(kSpan / f.noise_rms_v);
    f.noise_free_bits = CappedBits(kSpan / f.noise_pp_v);

    std::vector<double> s;
    if (n >= 64 && in.deltaF > 0.0 && FigurePowerSpectrum(in.codes, n, in.window, s))
        SpectralFigures(s.data(), s.size(), in, f);
    out = std::move(f);
    return true;
}
