#include "myfft.h"

#include <cmath>
#include <cstring>

#include "tables.h"

namespace {

// Constants as the windows are defined: 2 pi and 4 pi in single precision.
constexpr float kTwoPiF = 6.2831855f;
constexpr float kFourPiF = 12.566371f;
constexpr double kHanningCorr = 1.632993162;
constexpr double kHammingCorr = 1.586302721;
constexpr double kFlatTopCorr = 2.228422982;
constexpr double kSqrt2 = 1.414213562;

bool IsPow2InRange(int n, int lo, int hi) {
    return n >= lo && n <= hi && (n & (n - 1)) == 0;
}

// Two complex values (re, im, re, im) per vector. Every lane does exactly the scalar
// operations of the butterflies, so the results equal the scalar ones.
typedef float v4sf __attribute__((vector_size(16)));
typedef int v4si __attribute__((vector_size(16)));

inline v4sf Load(const float* p) {
    v4sf v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(float* p, v4sf v) {
    std::memcpy(p, &v, sizeof v);
}
inline v4sf Splat(float x) {
    return v4sf{x, x, x, x};
}
// i * v: (-im, re) for both values.
inline v4sf TimesI(v4sf v) {
#if defined(__clang__)
    const v4sf sw = __builtin_shufflevector(v, v, 1, 0, 3, 2);
#else
    const v4sf sw = __builtin_shuffle(v, v4si{1, 0, 3, 2});
#endif
    return sw * v4sf{-1.0f, 1.0f, -1.0f, 1.0f};
}
// (wr + i wi) * v.
inline v4sf CMul(v4sf wr, v4sf wi, v4sf v) {
    return wr * v + wi * TimesI(v);
}

// Bit reversal of n floats taken as n/2 complex pairs; ip receives the table of offsets.
void bitrv2(int n, int32_t* ip, float* a) {
    ip[0] = 0;
    int l = n;
    int m = 1;
    while ((m << 3) < l) {
        l >>= 1;
        for (int j = 0; j < m; j++)
            ip[m + j] = ip[j] + l;
        m <<= 1;
    }
    const int m2 = 2 * m;
    auto swap2 = [a](int x, int y) {
        const float xr = a[x], xi = a[x + 1];
        a[x] = a[y];
        a[x + 1] = a[y + 1];
        a[y] = xr;
        a[y + 1] = xi;
    };
    if ((m << 3) == l) {
        for (int k = 0; k < m; k++) {
            for (int j = 0; j < k; j++) {
                int j1 = 2 * j + ip[k];
                int k1 = 2 * k + ip[j];
                swap2(j1, k1);
                j1 += m2;
                k1 += 2 * m2;
                swap2(j1, k1);
                j1 += m2;
                k1 -= m2;
                swap2(j1, k1);
                j1 += m2;
                k1 += 2 * m2;
                swap2(j1, k1);
            }
            const int j1 = 2 * k + m2 + ip[k];
            swap2(j1, j1 + m2);
        }
    } else {
        for (int k = 1; k < m; k++) {
            for (int j = 0; j < k; j++) {
                int j1 = 2 * j + ip[k];
                int k1 = 2 * k + ip[j];
                swap2(j1, k1);
                j1 += m2;
                k1 += m2;
                swap2(j1, k1);
            }
        }
    }
}

// cos(delta * j) and sin(delta * j) for j = first .. count-1, in double: j is split into a
// coarse part (library cos and sin) and a fine part below 256 (built by doubling: each round
// rotates the entries it has by the angle of their count), combined by the addition theorem.
// The error stays near 1e-15, far under the float rounding that follows, at 2 count / 256 + 2
// library calls instead of 2 count, and the loops carry no long dependency chains.
template <typename Sink> void ForEachCosSin(double delta, int first, int count, Sink&& sink) {
    constexpr int kMaxFine = 256;
    const int fine = count < kMaxFine ? count : kMaxFine;
    double fc[kMaxFine], fs[kMaxFine];
    const double c1 = std::cos(delta), s1 = std::sin(delta);
    fc[0] = 1.0;
    fs[0] = 0.0;
    if (fine > 1) {
        fc[1] = c1;
        fs[1] = s1;
    }
    for (int h = 2; h < fine; h *= 2) {
        const double hc = fc[h / 2] * fc[h / 2] - fs[h / 2] * fs[h / 2];
        const double hs = 2 * fs[h / 2] * fc[h / 2];
        const int end = 2 * h < fine ? 2 * h : fine;
        for (int f = h; f < end; f++) {
            fc[f] = fc[f - h] * hc - fs[f - h] * hs;
            fs[f] = fs[f - h] * hc + fc[f - h] * hs;
        }
    }
    for (int base = 0; base < count; base += fine) {
        const double cc = base ? std::cos(delta * base) : 1.0;
        const double cs = base ? std::sin(delta * base) : 0.0;
        const int end = count - base < fine ? count - base : fine;
        for (int f = base < first ? first - base : 0; f < end; f++)
            sink(base + f, cc * fc[f] - cs * fs[f], cs * fc[f] + cc * fs[f]);
    }
}

// Twiddle table of nw entries: cos and sin of multiples of atan(1) / (nw / 2).
void makewt(int nw, int32_t* ip, float* w) {
    ip[0] = nw;
    ip[1] = 1;
    if (nw > 2) {
        const int nwh = nw >> 1;
        const double delta = std::atan(1.0) / nwh;
        w[0] = 1;
        w[1] = 0;
        w[nwh] = static_cast<float>(std::cos(delta * nwh));
        w[nwh + 1] = w[nwh];
        if (nwh > 2) {
            // Even j only: pass j / 2 with the doubled step.
            ForEachCosSin(2 * delta, 1, nwh / 2, [&](int h, double x, double y) {
                const int j = 2 * h;
                w[j] = static_cast<float>(x);
                w[j + 1] = static_cast<float>(y);
                w[nw - j] = static_cast<float>(y);
                w[nw - j + 1] = static_cast<float>(x);
            });
            bitrv2(nw, ip + 2, w);
        }
    }
}

// Cosine table of the real-data step, nc entries, halved.
void makect(int nc, int32_t* ip, float* c) {
    ip[1] = nc;
    if (nc > 1) {
        const int nch = nc >> 1;
        const double delta = std::atan(1.0) / nch;
        const double c0 = std::cos(delta * nch);
        c[0] = static_cast<float>(c0);
        c[nch] = static_cast<float>(0.5 * c0);
        ForEachCosSin(delta, 1, nch, [&](int j, double x, double y) {
            c[j] = static_cast<float>(0.5 * x);
            c[nc - j] = static_cast<float>(0.5 * y);
        });
    }
}

void cft1st(int n, float* a, const float* w) {
    float x0r = a[0] + a[2];
    float x0i = a[1] + a[3];
    float x1r = a[0] - a[2];
    float x1i = a[1] - a[3];
    float x2r = a[4] + a[6];
    float x2i = a[5] + a[7];
    float x3r = a[4] - a[6];
    float x3i = a[5] - a[7];
    a[0] = x0r + x2r;
    a[1] = x0i + x2i;
    a[4] = x0r - x2r;
    a[5] = x0i - x2i;
    a[2] = x1r - x3i;
    a[3] = x1i + x3r;
    a[6] = x1r + x3i;
    a[7] = x1i - x3r;
    const float w1 = w[2];
    x0r = a[8] + a[10];
    x0i = a[9] + a[11];
    x1r = a[8] - a[10];
    x1i = a[9] - a[11];
    x2r = a[12] + a[14];
    x2i = a[13] + a[15];
    x3r = a[12] - a[14];
    x3i = a[13] - a[15];
    a[8] = x0r + x2r;
    a[9] = x0i + x2i;
    a[12] = x2i - x0i;
    a[13] = x0r - x2r;
    x0r = x1r - x3i;
    x0i = x1i + x3r;
    a[10] = w1 * (x0r - x0i);
    a[11] = w1 * (x0r + x0i);
    x0r = x3i + x1r;
    x0i = x3r - x1i;
    a[14] = w1 * (x0i - x0r);
    a[15] = w1 * (x0i + x0r);
    // The two butterflies of each further group of 16 run side by side: lanes 0-1 take the
    // elements j, j+2, j+4, j+6, lanes 2-3 the elements j+8 .. j+14.
    auto pair = [a](int x, int y) { return v4sf{a[x], a[x + 1], a[y], a[y + 1]}; };
    auto put = [a](int x, int y, v4sf v) {
        a[x] = v[0];
        a[x + 1] = v[1];
        a[y] = v[2];
        a[y + 1] = v[3];
    };
    int k1 = 0;
    for (int j = 16; j < n; j += 16) {
        k1 += 2;
        const int k2 = 2 * k1;
        const float wk2r = w[k1];
        const float wk2i = w[k1 + 1];
        const float wk1r = w[k2];
        const float wk1i = w[k2 + 1];
        const float wk3r = wk1r - 2 * wk2i * wk1i;
        const float wk3i = 2 * wk2i * wk1r - wk1i;
        const float wl1r = w[k2 + 2];
        const float wl1i = w[k2 + 3];
        const float wl3r = wl1r - 2 * wk2r * wl1i;
        const float wl3i = 2 * wk2r * wl1r - wl1i;
        const v4sf A = pair(j, j + 8), B = pair(j + 2, j + 10);
        const v4sf C = pair(j + 4, j + 12), D = pair(j + 6, j + 14);
        const v4sf x0 = A + B, x1 = A - B, x2 = C + D, x3 = C - D;
        const v4sf ix3 = TimesI(x3);
        put(j, j + 8, x0 + x2);
        put(j + 4, j + 12,
            CMul(v4sf{wk2r, wk2r, -wk2i, -wk2i}, v4sf{wk2i, wk2i, wk2r, wk2r}, x0 - x2));
        put(j + 2, j + 10,
            CMul(v4sf{wk1r, wk1r, wl1r, wl1r}, v4sf{wk1i, wk1i, wl1i, wl1i}, x1 + ix3));
        put(j + 6, j + 14,
            CMul(v4sf{wk3r, wk3r, wl3r, wl3r}, v4sf{wk3i, wk3i, wl3i, wl3i}, x1 - ix3));
    }
}

// Radix-4 butterflies over the elements j, j+l, j+2l, j+3l for j = from, from+4, .. < to,
// two complex values at a time; twiddles (1, 0) are skipped.
template <bool kPlain>
inline void Butterflies4(float* a, int from, int to, int l, float wk1r, float wk1i, float wk2r,
                         float wk2i, float wk3r, float wk3i) {
    const v4sf w1r = Splat(wk1r), w1i = Splat(wk1i), w2r = Splat(wk2r), w2i = Splat(wk2i);
    const v4sf w3r = Splat(wk3r), w3i = Splat(wk3i);
    for (int j = from; j < to; j += 4) {
        float* p0 = a + j;
        float* p1 = p0 + l;
        float* p2 = p1 + l;
        float* p3 = p2 + l;
        const v4sf A = Load(p0), B = Load(p1), C = Load(p2), D = Load(p3);
        const v4sf x0 = A + B, x1 = A - B, x2 = C + D, x3 = C - D;
        const v4sf ix3 = TimesI(x3);
        Store(p0, x0 + x2);
        if constexpr (kPlain) {
            Store(p2, x0 - x2);
            Store(p1, x1 + ix3);
            Store(p3, x1 - ix3);
        } else {
            Store(p2, CMul(w2r, w2i, x0 - x2));
            Store(p1, CMul(w1r, w1i, x1 + ix3));
            Store(p3, CMul(w3r, w3i, x1 - ix3));
        }
    }
}

void cftmdl(int n, int l, float* a, const float* w) {
    const int m = l << 2;
    Butterflies4<true>(a, 0, l, l, 1, 0, 1, 0, 1, 0);
    // Twiddle pi/4 for the second group: w1 = r(1 + i), w2 = i, w3 = r(-1 + i).
    const v4sf wk1r = Splat(w[2]);
    for (int j = m; j < l + m; j += 4) {
        float* p0 = a + j;
        float* p1 = p0 + l;
        float* p2 = p1 + l;
        float* p3 = p2 + l;
        const v4sf A = Load(p0), B = Load(p1), C = Load(p2), D = Load(p3);
        const v4sf x0 = A + B, x1 = A - B, x2 = C + D, x3 = C - D;
        const v4sf ix3 = TimesI(x3);
        Store(p0, x0 + x2);
        Store(p2, TimesI(x0 - x2));
        const v4sf y = x1 + ix3;
        Store(p1, wk1r * (y + TimesI(y)));
        const v4sf z = x1 - ix3;
        Store(p3, wk1r * (TimesI(z) - z));
    }
    int k1 = 0;
    const int m2 = 2 * m;
    for (int k = m2; k < n; k += m2) {
        k1 += 2;
        const int k2 = 2 * k1;
        const float wk2r = w[k1];
        const float wk2i = w[k1 + 1];
        float w1r = w[k2];
        float w1i = w[k2 + 1];
        float w3r = w1r - 2 * wk2i * w1i;
        float w3i = 2 * wk2i * w1r - w1i;
        Butterflies4<false>(a, k, l + k, l, w1r, w1i, wk2r, wk2i, w3r, w3i);
        w1r = w[k2 + 2];
        w1i = w[k2 + 3];
        w3r = w1r - 2 * wk2r * w1i;
        w3i = 2 * wk2r * w1r - w1i;
        Butterflies4<false>(a, k + m, l + k + m, l, w1r, w1i, -wk2i, wk2r, w3r, w3i);
    }
}

void cftfsub(int n, float* a, const float* w) {
    int l = 2;
    if (n > 8) {
        cft1st(n, a, w);
        l = 8;
        while ((l << 2) < n) {
            cftmdl(n, l, a, w);
            l <<= 2;
        }
    }
    if ((l << 2) == n && l >= 4) {
        Butterflies4<true>(a, 0, l, l, 1, 0, 1, 0, 1, 0);
    } else if ((l << 2) == n) {
        for (int j = 0; j < l; j += 2) {
            const int j1 = j + l;
            const int j2 = j1 + l;
            const int j3 = j2 + l;
            const float x0r = a[j] + a[j1];
            const float x0i = a[j + 1] + a[j1 + 1];
            const float x1r = a[j] - a[j1];
            const float x1i = a[j + 1] - a[j1 + 1];
            const float x2r = a[j2] + a[j3];
            const float x2i = a[j2 + 1] + a[j3 + 1];
            const float x3r = a[j2] - a[j3];
            const float x3i = a[j2 + 1] - a[j3 + 1];
            a[j] = x0r + x2r;
            a[j + 1] = x0i + x2i;
            a[j2] = x0r - x2r;
            a[j2 + 1] = x0i - x2i;
            a[j1] = x1r - x3i;
            a[j1 + 1] = x1i + x3r;
            a[j3] = x1r + x3i;
            a[j3 + 1] = x1i - x3r;
        }
    } else if (l >= 4) {
        for (int j = 0; j < l; j += 4) {
            const v4sf A = Load(a + j), B = Load(a + j + l);
            Store(a + j, A + B);
            Store(a + j + l, A - B);
        }
    } else {
        for (int j = 0; j < l; j += 2) {
            const int j1 = j + l;
            const float x0r = a[j] - a[j1];
            const float x0i = a[j + 1] - a[j1 + 1];
            a[j] += a[j1];
            a[j + 1] += a[j1 + 1];
            a[j1] = x0r;
            a[j1 + 1] = x0i;
        }
    }
}

// Real-data step: combines the pairs j and n - j with the halved cosine table; two pairs at
// a time while they fit.
void rftfsub(int n, float* a, int nc, const float* c) {
    const int m = n >> 1;
    const int ks = 2 * nc / m;
    int kk = 0;
    int j = 2;
    if (ks == 1) {
        const v4sf conj = {1.0f, -1.0f, 1.0f, -1.0f};
        for (; j + 2 < m; j += 4) {
            const int k = n - j - 2; // holds the pairs n - j - 2 and n - j
            const v4sf wkr =
                Splat(0.5f) - v4sf{c[nc - kk - 1], c[nc - kk - 1], c[nc - kk - 2], c[nc - kk - 2]};
            const v4sf wki = {c[kk + 1], c[kk + 1], c[kk + 2], c[kk + 2]};
            kk += 2;
            const v4sf xj = Load(a + j);
            const v4sf xk0 = Load(a + k);
#if defined(__clang__)
            const v4sf xk = __builtin_shufflevector(xk0, xk0, 2, 3, 0, 1);
#else
            const v4sf xk = __builtin_shuffle(xk0, v4si{2, 3, 0, 1});
#endif
            const v4sf y = CMul(wkr, wki, xj - xk * conj);
            Store(a + j, xj - y);
            const v4sf rk = xk + y * conj;
#if defined(__clang__)
            Store(a + k, __builtin_shufflevector(rk, rk, 2, 3, 0, 1));
#else
            Store(a + k, __builtin_shuffle(rk, v4si{2, 3, 0, 1}));
#endif
        }
    }
    for (; j < m; j += 2) {
        const int k = n - j;
        kk += ks;
        const float wkr = 0.5f - c[nc - kk];
        const float wki = c[kk];
        const float xr = a[j] - a[k];
        const float xi = a[j + 1] + a[k + 1];
        const float yr = wkr * xr - wki * xi;
        const float yi = wkr * xi + wki * xr;
        a[j] -= yr;
        a[j + 1] -= yi;
        a[k] += yr;
        a[k + 1] -= yi;
    }
}

} // namespace

TSpectrumWork SpectrumWorkOf(TMeasureRecord& rec) {
    return {rec.FFTInput.data(), rec.FFTData.data(), rec.FFTWorkTable.data(),
            rec.FFTWorkIndex.data()};
}

TmyFFT::TmyFFT(TDialogSeam* seam) : seam_(seam), win_(new float[MAX_DATA_COUNT]) {}

TmyFFT::~TmyFFT() = default;

bool TmyFFT::DCCut(int n, const float* input, float* output) {
    if (n <= 0) {
        if (seam_) seam_->showMessage("myFFT", "ゼロ除算：TmyFFT::DCCut", TMsgIcon::Warning);
        return false;
    }
    float sum = 0.0f;
    for (int i = 0; i < n; i++)
        sum += input[i];
    const float mean = sum / static_cast<float>(n);
    for (int i = 0; i < n; i++)
        output[i] = input[i] - mean;
    return true;
}

bool TmyFFT::DCCutCodes(int n, const uint32_t* codes, float* output) {
    if (n <= 0) {
        if (seam_) seam_->showMessage("myFFT", "ゼロ除算：TmyFFT::DCCut", TMsgIcon::Warning);
        return false;
    }
    // The sum of up to 2^18 codes below 2^32 is exact in 64 bits.
    uint64_t sum = 0;
    for (int i = 0; i < n; i++)
        sum += codes[i];
    const double mean = static_cast<double>(sum) / n;
    for (int i = 0; i < n; i++)
        output[i] = static_cast<float>((static_cast<double>(codes[i]) - mean) * VOLT_PER_CODE);
    return true;
}

bool TmyFFT::WindowHanning(int n, const float* input, uint8_t adjust, float* output) {
    return ApplyWindow(WinKind::Hanning, n, input, adjust, output);
}

bool TmyFFT::WindowHamming(int n, const float* input, uint8_t adjust, float* output) {
    return ApplyWindow(WinKind::Hamming, n, input, adjust, output);
}

bool TmyFFT::WindowFlatTop(int n, const float* input, uint8_t adjust, float* output) {
    return ApplyWindow(WinKind::FlatTop, n, input, adjust, output);
}

bool TmyFFT::ApplyWindow(WinKind kind, int n, const float* input, uint8_t adjust, float* output) {
    if (n <= 0 || n > MAX_DATA_COUNT) return false;
    const uint8_t adj = adjust == 1 ? 1 : 0;
    if (kind != winKind_ || n != winN_ || adj != winAdjust_) BuildWindow(kind, n, adj);
    const float* w = win_.get();
    for (int i = 0; i < n; i++)
        output[i] = w[i] * input[i];
    return true;
}

void TmyFFT::BuildWindow(WinKind kind, int n, uint8_t adjust) {
    float* w = win_.get();
    const double dn = n;
    double sum = 0.0, sumSq = 0.0;
    for (int i = 0; i < n; i++) {
        const double pos = i + 0.5;
        double v = 1.0;
        switch (kind) {
        case WinKind::Hanning:
            v = (1.0 - std::cos(double{kTwoPiF} * pos / dn)) * 0.5;
            if (adjust == 1) v *= kHanningCorr;
            break;
        case WinKind::Hamming:
            v = 0.54 - 0.46 * std::cos(double{kTwoPiF} * pos / dn);
            if (adjust == 1) v *= kHammingCorr;
            break;
        case WinKind::FlatTop: {
            const double t = static_cast<float>((pos - dn / 2) / dn);
            v = (0.54 + 0.46 * std::cos(double{kTwoPiF} * t)) * std::sin(double{kFourPiF} * t) /
                (double{kFourPiF} * t);
            if (adjust == 1) v *= kFlatTopCorr;
            break;
        }
        case WinKind::None:
            break;
        }
        w[i] = static_cast<float>(v);
        sum += w[i];
        sumSq += double{w[i]} * w[i];
    }
    winSum_ = sum;
    winSumSq_ = sumSq;
    winKind_ = kind;
    winN_ = n;
    winAdjust_ = adjust;
}

bool TmyFFT::RealFFT(int n, int dir, float* table, int32_t* index, float* a) {
    if (dir < 0 || !IsPow2InRange(n, 4, MAX_DATA_COUNT) || !table || !index || !a) return false;
    // Tables rebuilt at every call.
    index[0] = 0;
    index[1] = 0;
    const int nw = n >> 2;
    makewt(nw, index, table);
    const int nc = n >> 2;
    makect(nc, index, table + nw);
    if (n > 4) {
        bitrv2(n, index + 2, a);
        cftfsub(n, a, table);
        rftfsub(n, a, nc, table + nw);
    } else {
        cftfsub(n, a, table);
    }
    const float xi = a[0] - a[1];
    a[0] += a[1];
    a[1] = xi;
    return true;
}

void TmyFFT::Magnitude(int n, const float* a, float* spectrum) {
    if (n < 2) return;
    spectrum[0] = std::fabs(a[0]);
    const int half = n / 2;
    for (int k = 1; k < half; k++) {
        const double re = a[2 * k];
        const double im = a[2 * k + 1];
        spectrum[k] = static_cast<float>(std::sqrt(re * re + im * im));
    }
}

bool CalcSpectrum(TmyFFT& fft, const TFFTSetting& setting, TSignalData& data,
                  const TSpectrumWork& work, int32_t spectrumScale, double* powerFactor) {
    const int n = data.ad_dnum;
    const int32_t mode =
        spectrumScale == SPECTRUM_SCALE_TONE || spectrumScale == SPECTRUM_SCALE_DENSITY
            ? spectrumScale
            : SPECTRUM_SCALE_RMS;
    const double df = data.deltaF;
    if (mode == SPECTRUM_SCALE_DENSITY && !(df > 0.0 && std::isfinite(df))) return false;
    const bool dcCut = setting.fDCCut_FFT == 1;
    const bool fromCodes = dcCut && data.pCode != nullptr;
    if (!IsValidDataCount(n) || (!fromCodes && !data.pVolt) || !data.pSpectrum || !work.FFTInput ||
        !work.FFTData || !work.FFTWorkTable || !work.FFTWorkIndex)
        return false;
    float* in = work.FFTInput;
    float* a = work.FFTData;
    if (fromCodes) {
        if (!fft.DCCutCodes(n, data.pCode, in)) return false;
    } else if (dcCut) {
        if (!fft.DCCut(n, data.pVolt, in)) return false;
    } else {
        std::memcpy(in, data.pVolt, sizeof(float) * static_cast<size_t>(n));
    }
    // The tone and density scales take the plain window and scale by its sums instead.
    const uint8_t adjust = mode == SPECTRUM_SCALE_RMS ? setting.fWinFuncAdjust : 0;
    const double dn = n;
    double s1 = dn, s2 = dn; // the rectangular window's sums
    switch (setting.whichWindowFunc) {
    case 1:
        fft.WindowHanning(n, in, adjust, a);
        break;
    case 2:
        fft.WindowHamming(n, in, adjust, a);
        break;
    case 3:
        fft.WindowFlatTop(n, in, adjust, a);
        break;
    default:
        std::memcpy(a, in, sizeof(float) * static_cast<size_t>(n));
        break;
    }
    if (setting.whichWindowFunc >= 1 && setting.whichWindowFunc <= 3) {
        s1 = fft.WindowSum();
        s2 = fft.WindowSumSq();
    }
    TmyFFT::RealFFT(n, 1, work.FFTWorkTable, work.FFTWorkIndex, a);
    // Volts RMS per bin (scale 0): 1/N for DC, sqrt(2)/N for the rest; the other scales as
    // described with CalcSpectrum.
    double dcScale = 1.0 / dn;
    double scale = kSqrt2 / dn;
    double factor = 1.0;
    if (mode == SPECTRUM_SCALE_TONE) {
        dcScale = 1.0 / s1;
        scale = std::sqrt(2.0) / s1;
        factor = s1 * s1 / (dn * s2);
    } else if (mode == SPECTRUM_SCALE_DENSITY) {
        dcScale = 1.0 / std::sqrt(dn * df * s2);
        scale = std::sqrt(2.0 / (dn * df * s2));
        factor = df;
    }
    if (powerFactor) *powerFactor = factor;
    if (mode == SPECTRUM_SCALE_RMS) {
        a[0] = static_cast<float>(a[0] / dn);
        a[1] = static_cast<float>(a[1] / dn * kSqrt2);
    } else {
        a[0] = static_cast<float>(a[0] * dcScale);
        a[1] = static_cast<float>(a[1] * scale);
    }
    // Scaling and amplitudes in one pass over the data.
    float* spectrum = data.pSpectrum;
    spectrum[0] = std::fabs(a[0]);
    for (int k = 1; k < n / 2; k++) {
        const float re = static_cast<float>(a[2 * k] * scale);
        const float im = static_cast<float>(a[2 * k + 1] * scale);
        a[2 * k] = re;
        a[2 * k + 1] = im;
        spectrum[k] = static_cast<float>(std::sqrt(double{re} * re + double{im} * im));
    }
    return true;
}
