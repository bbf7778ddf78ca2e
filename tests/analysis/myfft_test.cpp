#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "myfft.h"
#include "signal_stats.h"

namespace {

struct Work {
    std::vector<float> input = std::vector<float>(DATA_BUF_LEN);
    std::vector<float> data = std::vector<float>(DATA_BUF_LEN);
    std::vector<float> table = std::vector<float>(DATA_BUF_LEN);
    std::vector<int32_t> index = std::vector<int32_t>(FFT_WORK_INDEX_LEN);
    std::vector<float> volts = std::vector<float>(DATA_BUF_LEN);
    std::vector<float> spectrum = std::vector<float>(SPEC_BUF_LEN, -1.0f);
    TSignalData sig;
    bool Spectrum(TmyFFT& fft, const TFFTSetting& set, int n) {
        sig.ad_dnum = n;
        sig.pVolt = volts.data();
        sig.pSpectrum = spectrum.data();
        return CalcSpectrum(fft, set, sig, {input.data(), data.data(), table.data(), index.data()});
    }
};

class MsgSeam : public TDialogSeam {
public:
    std::vector<std::string> shown;
    bool askYesNo(const std::string&, const std::string&, TMsgIcon) override { return true; }
    bool askOkCancel(const std::string&, const std::string&, TMsgIcon) override { return true; }
    void showMessage(const std::string& c, const std::string& t, TMsgIcon) override {
        shown.push_back(c + "|" + t);
    }
    std::optional<std::string> getSaveFileName(const std::string&, const std::string&) override {
        return {};
    }
    std::optional<std::string> getOpenFileName(const std::string&, const std::string&) override {
        return {};
    }
    std::optional<int32_t> getColor(int32_t) override { return {}; }
};

} // namespace

// Layout and accuracy against the definition (in double) at every size: every bin up to 8192
// samples, a spread of bins including the largest above.
TEST(AnalysisFFT, RealFFTMatchesDirectDftAtEverySize) {
    Work w;
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> uni(-1.0f, 1.0f);
    for (int n = MIN_DATA_COUNT; n <= MAX_DATA_COUNT; n *= 2) {
        std::vector<float> x(static_cast<size_t>(n));
        for (auto& v : x)
            v = uni(rng);
        std::copy(x.begin(), x.end(), w.data.begin());
        ASSERT_TRUE(TmyFFT::RealFFT(n, 1, w.table.data(), w.index.data(), w.data.data()));
        const float* a = w.data.data();
        std::vector<double> cs(static_cast<size_t>(n)), sn(static_cast<size_t>(n));
        for (int j = 0; j < n; j++) {
            cs[static_cast<size_t>(j)] = std::cos(2 * std::numbers::pi * j / n);
            sn[static_cast<size_t>(j)] = std::sin(2 * std::numbers::pi * j / n);
        }
        const int half = n / 2;
        std::vector<int> bins;
        std::uniform_int_distribution<int> pick(1, half - 1);
        for (int k = 1; k < half; k++)
            if (n <= 8192 || k < 40 || k >= half - 20 || pick(rng) < 200) bins.push_back(k);
        int ours = 1;
        for (int k = 1; k < half; k++)
            if (std::hypot(a[2 * k], a[2 * k + 1]) > std::hypot(a[2 * ours], a[2 * ours + 1]))
                ours = k;
        bins.push_back(ours);
        double sum = 0, alt = 0;
        for (int j = 0; j < n; j++) {
            sum += x[static_cast<size_t>(j)];
            alt += (j % 2 ? -1.0 : 1.0) * x[static_cast<size_t>(j)];
        }
        double largest = std::max(std::fabs(sum), std::fabs(alt));
        double worst = std::max(std::fabs(a[0] - sum), std::fabs(a[1] - alt));
        for (int k : bins) {
            double re = 0, im = 0;
            for (size_t j = 0, idx = 0; j < x.size(); j++, idx = (idx + k) & (x.size() - 1)) {
                re += x[j] * cs[idx];
                im += x[j] * sn[idx];
            }
            largest = std::max(largest, std::hypot(re, im));
            worst = std::max(worst, std::hypot(a[2 * k] - re, a[2 * k + 1] - im));
        }
        EXPECT_LT(worst / largest, 1e-5) << "n = " << n;
    }
    w.data[0] = 7.0f;
    for (int n : {0, 3, 1000, 1500, MAX_DATA_COUNT * 2})
        EXPECT_FALSE(TmyFFT::RealFFT(n, 1, w.table.data(), w.index.data(), w.data.data()));
    EXPECT_EQ(w.data[0], 7.0f);
}

// 1 V peak on bin 64: rectangular, Hanning without and with correction.
TEST(AnalysisFFT, SineOnABinGivesItsRmsValue) {
    Work w;
    TmyFFT fft;
    const int n = 1024, k = 64;
    for (int i = 0; i < n; i++)
        w.volts[static_cast<size_t>(i)] =
            static_cast<float>(std::sin(2 * std::numbers::pi * k * i / n + 0.3));
    TFFTSetting set;
    set.whichWindowFunc = 0;
    ASSERT_TRUE(w.Spectrum(fft, set, n));
    EXPECT_NEAR(w.spectrum[k], 0.70710678, 1e-5);
    w.spectrum[k] = 0;
    EXPECT_LT(*std::max_element(w.spectrum.begin(), w.spectrum.begin() + n / 2), 1e-5);

    set.whichWindowFunc = 1;
    set.fWinFuncAdjust = 0;
    ASSERT_TRUE(w.Spectrum(fft, set, n));
    EXPECT_NEAR(w.spectrum[k], 0.35355339, 1e-5);
    EXPECT_NEAR(w.spectrum[k + 1], 0.1767767, 1e-5);
    EXPECT_LT(w.spectrum[k - 2], 1e-5);
    set.fWinFuncAdjust = 1;
    ASSERT_TRUE(w.Spectrum(fft, set, n));
    EXPECT_NEAR(w.spectrum[k], 0.35355339 * 1.632993162, 1e-5);
}

// Constant 0.5 V with the mean kept and removed, at both ends of the size range.
TEST(AnalysisFFT, DcInputAndMeanRemoval) {
    Work w;
    TmyFFT fft;
    for (int n : {MIN_DATA_COUNT, MAX_DATA_COUNT}) {
        std::fill(w.volts.begin(), w.volts.begin() + n, 0.5f);
        TFFTSetting set;
        set.fDCCut_FFT = 0;
        set.whichWindowFunc = 0;
        ASSERT_TRUE(w.Spectrum(fft, set, n));
        EXPECT_NEAR(w.spectrum[0], 0.5f, 1e-6);
        EXPECT_LT(*std::max_element(w.spectrum.begin() + 1, w.spectrum.begin() + n / 2), 1e-6);
        set.fDCCut_FFT = 1;
        set.whichWindowFunc = 3;
        ASSERT_TRUE(w.Spectrum(fft, set, n));
        EXPECT_LT(*std::max_element(w.spectrum.begin(), w.spectrum.begin() + n / 2), 1e-6);
        EXPECT_EQ(w.spectrum[static_cast<size_t>(n / 2)], -1.0f) << "wrote past N/2 bins";
    }
}

// The window kept between calls must follow changes of kind, size and correction flag.
TEST(AnalysisFFT, KeptWindowFollowsKindSizeAndFlag) {
    Work w;
    TmyFFT shared;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> uni(-1.0f, 1.0f);
    for (auto& v : w.input)
        v = uni(rng);
    std::vector<float> fresh(DATA_BUF_LEN);
    using Fn = bool (TmyFFT::*)(int, const float*, uint8_t, float*);
    const Fn han = &TmyFFT::WindowHanning, ham = &TmyFFT::WindowHamming;
    const Fn flat = &TmyFFT::WindowFlatTop;
    struct Step {
        Fn fn;
        int n;
        uint8_t adj;
    };
    for (Step s : {Step{han, 1024, 1}, Step{ham, 1024, 1}, Step{ham, 1024, 0}, Step{ham, 2048, 0},
                   Step{flat, 2048, 0}, Step{han, 1024, 1}}) {
        TmyFFT once;
        ASSERT_TRUE((shared.*s.fn)(s.n, w.input.data(), s.adj, w.data.data()));
        ASSERT_TRUE((once.*s.fn)(s.n, w.input.data(), s.adj, fresh.data()));
        EXPECT_TRUE(std::equal(fresh.begin(), fresh.begin() + s.n, w.data.begin()))
            << "n " << s.n << " adj " << int{s.adj};
    }
}

TEST(AnalysisFFT, EmptyOrInvalidBlocksTouchNothing) {
    Work w;
    MsgSeam seam;
    TmyFFT fft(&seam);
    w.data[0] = 3.0f;
    EXPECT_FALSE(fft.DCCut(0, w.volts.data(), w.data.data()));
    EXPECT_EQ(seam.shown, std::vector<std::string>{"myFFT|ゼロ除算：TmyFFT::DCCut"});
    TmyFFT quiet;
    EXPECT_FALSE(quiet.DCCut(0, w.volts.data(), w.data.data()));
    EXPECT_FALSE(quiet.WindowFlatTop(MAX_DATA_COUNT + 1, w.volts.data(), 1, w.data.data()));
    EXPECT_EQ(w.data[0], 3.0f);
    for (int n : {0, 1500, MAX_DATA_COUNT * 2})
        EXPECT_FALSE(w.Spectrum(fft, TFFTSetting{}, n));
    EXPECT_EQ(w.spectrum[0], -1.0f);
    EXPECT_EQ(seam.shown.size(), 1u);
}

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kVoltPerCode = 2.5 / 2147483647.0;

// Window kind (whichWindowFunc) at sample i of n, from the definitions, in double.
double RefWindow(int kind, int i, int n) {
    const double pos = (i + 0.5) / n;
    switch (kind) {
    case 1:
        return 0.5 * (1 - std::cos(2 * kPi * pos));
    case 2:
        return 0.54 - 0.46 * std::cos(2 * kPi * pos);
    case 3: {
        const double t = pos - 0.5;
        return (0.54 + 0.46 * std::cos(2 * kPi * t)) * std::sin(4 * kPi * t) / (4 * kPi * t);
    }
    default:
        return 1;
    }
}

double RefWindowRms(int kind, int n) {
    double sq = 0;
    for (int i = 0; i < n; i++)
        sq += RefWindow(kind, i, n) * RefWindow(kind, i, n);
    return std::sqrt(sq / n);
}

// RMS over bins 1..n/2-1 of the scaled spectrum of y, by Parseval in double: the DC and
// Nyquist terms are taken out of the total power.
double RefSpectrumRms(const std::vector<double>& y) {
    const double n = static_cast<double>(y.size());
    double sq = 0, sum = 0, alt = 0;
    for (size_t i = 0; i < y.size(); i++) {
        sq += y[i] * y[i];
        sum += y[i];
        alt += (i % 2 ? -1.0 : 1.0) * y[i];
    }
    return std::sqrt((sq - sum * sum / n - alt * alt / n) / n);
}

} // namespace

// Every window against its formula, and the correction as the reciprocal of the window's RMS.
TEST(AnalysisFFT, WindowsFollowTheirDefinitions) {
    Work w;
    TmyFFT fft;
    std::fill(w.volts.begin(), w.volts.end(), 1.0f);
    using Fn = bool (TmyFFT::*)(int, const float*, uint8_t, float*);
    const Fn fns[] = {nullptr, &TmyFFT::WindowHanning, &TmyFFT::WindowHamming,
                      &TmyFFT::WindowFlatTop};
    std::vector<float> plain(DATA_BUF_LEN), corrected(DATA_BUF_LEN);
    for (int kind = 1; kind <= 3; kind++) {
        for (int n : {MIN_DATA_COUNT, 65536}) {
            ASSERT_TRUE((fft.*fns[kind])(n, w.volts.data(), 0, plain.data()));
            ASSERT_TRUE((fft.*fns[kind])(n, w.volts.data(), 1, corrected.data()));
            double worst = 0, sq = 0;
            for (int i = 0; i < n; i++) {
                const auto u = static_cast<size_t>(i);
                worst = std::max(worst, std::fabs(plain[u] - RefWindow(kind, i, n)));
                sq += double{corrected[u]} * corrected[u];
            }
            // Float storage and the float 2 pi of the definition: about 1e-7.
            EXPECT_LT(worst, 1e-6) << "kind " << kind << " n " << n;
            EXPECT_NEAR(std::sqrt(sq / n), 1.0, 5e-7) << "corrected RMS, kind " << kind;
            const double factor =
                double{corrected[static_cast<size_t>(n / 2)]} / plain[static_cast<size_t>(n / 2)];
            EXPECT_NEAR(factor * RefWindowRms(kind, n), 1.0, 5e-7) << "kind " << kind;
        }
    }
}

// The whole step for each window setting against a direct DFT of the windowed block.
TEST(AnalysisFFT, SpectrumOfEachWindowSettingMatchesDirectDft) {
    Work w;
    TmyFFT fft;
    const int n = MIN_DATA_COUNT;
    std::mt19937 rng(31337);
    std::uniform_real_distribution<float> uni(-1.0f, 1.0f);
    for (int i = 0; i < n; i++)
        w.volts[static_cast<size_t>(i)] = uni(rng);
    for (int kind = 0; kind <= 3; kind++) {
        for (uint8_t adjust : {uint8_t{0}, uint8_t{1}}) {
            TFFTSetting set;
            set.fDCCut_FFT = 0;
            set.whichWindowFunc = kind;
            set.fWinFuncAdjust = adjust;
            ASSERT_TRUE(w.Spectrum(fft, set, n));
            const double corr = kind != 0 && adjust == 1 ? 1 / RefWindowRms(kind, n) : 1.0;
            std::vector<double> y(static_cast<size_t>(n));
            for (int i = 0; i < n; i++)
                y[static_cast<size_t>(i)] =
                    RefWindow(kind, i, n) * corr * w.volts[static_cast<size_t>(i)];
            double worst = 0, largest = 0;
            for (int k = 0; k < n / 2; k++) {
                double re = 0, im = 0;
                for (int j = 0; j < n; j++) {
                    const double ang = 2 * kPi * static_cast<double>((j * k) % n) / n;
                    re += y[static_cast<size_t>(j)] * std::cos(ang);
                    im += y[static_cast<size_t>(j)] * std::sin(ang);
                }
                const double ref = (k == 0 ? 1.0 : std::sqrt(2.0)) * std::hypot(re, im) / n;
                largest = std::max(largest, ref);
                worst = std::max(worst, std::fabs(w.spectrum[static_cast<size_t>(k)] - ref));
            }
            EXPECT_LT(worst / largest, 2e-5) << "window " << kind << " adjust " << int{adjust};
        }
    }
}

// 20 nV of noise on 1.25 V, about 17 codes, far below the float step of the volts (119 nV):
// with mean removal the RMS of the spectrum is the noise of the codes.
TEST(AnalysisFFT, NoiseOnADcLevelSurvivesTheMeanRemoval) {
    Work w;
    TmyFFT fft;
    const int n = 65536;
    std::vector<uint32_t> codes(DATA_BUF_LEN);
    std::mt19937 rng(4242);
    std::normal_distribution<double> noise(0.0, 2e-8 / kVoltPerCode);
    const double dc = 1.25 / kVoltPerCode + 2147483648.0;
    for (int i = 0; i < n; i++) {
        codes[static_cast<size_t>(i)] = static_cast<uint32_t>(std::llround(dc + noise(rng)));
        w.volts[static_cast<size_t>(i)] = CodeToVolt(codes[static_cast<size_t>(i)]);
    }
    double mean = 0;
    for (int i = 0; i < n; i++)
        mean += codes[static_cast<size_t>(i)];
    mean /= n;
    w.sig.pCode = codes.data();
    for (int kind = 0; kind <= 3; kind++) {
        TFFTSetting set;
        set.fDCCut_FFT = 1;
        set.whichWindowFunc = kind;
        set.fWinFuncAdjust = 1;
        ASSERT_TRUE(w.Spectrum(fft, set, n));
        const double corr = kind != 0 ? 1 / RefWindowRms(kind, n) : 1.0;
        std::vector<double> y(static_cast<size_t>(n));
        for (int i = 0; i < n; i++)
            y[static_cast<size_t>(i)] = RefWindow(kind, i, n) * corr *
                                        (codes[static_cast<size_t>(i)] - mean) * kVoltPerCode;
        const double ref = RefSpectrumRms(y);
        // Float spectrum and the float sum of 32767 squares: well inside 0.1 %.
        EXPECT_NEAR(CalcRms(w.spectrum.data(), n) / ref, 1.0, 1e-3) << "window " << kind;
        if (kind == 0) {
            double sq = 0;
            for (int i = 0; i < n; i++) {
                const double d = (codes[static_cast<size_t>(i)] - mean) * kVoltPerCode;
                sq += d * d;
            }
            // The code standard deviation in volts, less the Nyquist term's 1/N share.
            EXPECT_NEAR(CalcRms(w.spectrum.data(), n) / std::sqrt(sq / n), 1.0, 1e-3);
            EXPECT_LT(w.spectrum[0], 1e-9) << "mean removed";
        }
    }
    // Without mean removal the volts go in as they are.
    TFFTSetting keep;
    keep.fDCCut_FFT = 0;
    keep.whichWindowFunc = 0;
    ASSERT_TRUE(w.Spectrum(fft, keep, n));
    EXPECT_TRUE(std::equal(w.volts.begin(), w.volts.begin() + n, w.input.begin()));
    EXPECT_NEAR(w.spectrum[0], 1.25, 1e-6);
}
