#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "myfft.h"

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
