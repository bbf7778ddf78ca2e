// The analysis window's figures table and code histogram for synthetic blocks, checked
// against figures computed here from their definitions.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTabWidget>
#include <QTableWidget>
#include <algorithm>
#include <cmath>
#include <random>
#include <set>

#include "form_analysis.h"
#include "histogram_plot.h"
#include "numfmt.h"

namespace {

constexpr double kZero = 2147483648.0;
constexpr double kVoltPerCode = 2.5 / 2147483647.0;
constexpr double kPi = 3.14159265358979323846;

uint32_t CodeOf(double volts) {
    return static_cast<uint32_t>(std::llround(kZero + volts / kVoltPerCode));
}

// The table as the user reads it: the row whose name starts with prefix.
struct TRowText {
    std::string name, value, unit;
};
TRowText Row(const TFormAnalysis& form, const std::string& prefix) {
    const QTableWidget* t = form.FiguresTable;
    for (int r = 0; r < t->rowCount(); ++r) {
        const std::string name = t->item(r, 0)->text().toStdString();
        if (name.rfind(prefix, 0) == 0)
            return {name, t->item(r, 1)->text().toStdString(), t->item(r, 2)->text().toStdString()};
    }
    ADD_FAILURE() << "no row " << prefix;
    return {};
}

// The value of a row in volts (its unit's prefix applied) or as the number it shows.
double Value(const TRowText& r) {
    const auto v = ParseDouble(r.value);
    EXPECT_TRUE(v.has_value()) << r.name << ": " << r.value;
    double scale = 1.0;
    if (r.unit.rfind("mV", 0) == 0) scale = 1e-3;
    if (r.unit.rfind("µV", 0) == 0) scale = 1e-6;
    if (r.unit.rfind("nV", 0) == 0) scale = 1e-9;
    return v.value_or(NAN) * scale;
}

// Statistics of codes straight from their definitions.
struct TCodeRef {
    double mean = 0, sigma = 0, pp = 0;
    uint64_t missing = 0;
};
TCodeRef CodeReference(const std::vector<uint32_t>& c) {
    TCodeRef r;
    long double sum = 0;
    for (uint32_t x : c)
        sum += x;
    r.mean = static_cast<double>(sum / c.size());
    long double ss = 0;
    for (uint32_t x : c)
        ss += (x - static_cast<long double>(r.mean)) * (x - static_cast<long double>(r.mean));
    r.sigma = std::sqrt(static_cast<double>(ss / c.size()));
    const auto [lo, hi] = std::minmax_element(c.begin(), c.end());
    r.pp = static_cast<double>(*hi - *lo);
    const std::set<uint32_t> seen(c.begin(), c.end());
    r.missing = (static_cast<uint64_t>(*hi) - *lo + 1) - seen.size();
    return r;
}

// 4096 samples at 10 ksps: 0.1 V DC, a 1 V tone on bin 41, its 2nd harmonic at 1 mV and
// Gaussian noise of 50 uV RMS (seed 12345). noise receives the noise samples.
TAnalysisBlock ToneBlock(std::vector<double>* noise = nullptr) {
    TAnalysisBlock b;
    const int n = 4096;
    b.periodMs = 0.1;
    b.window = 1;
    std::mt19937 rng(12345);
    std::normal_distribution<double> g(0.0, 50e-6);
    for (int i = 0; i < n; ++i) {
        const double e = g(rng);
        if (noise) noise->push_back(e);
        const double v = 0.1 + 1.0 * std::sin(2 * kPi * 41 * i / n) +
                         1e-3 * std::sin(2 * kPi * 82 * i / n + 0.3) + e;
        b.codes.push_back(CodeOf(v));
    }
    return b;
}

double MeanSquare(const std::vector<double>& x) {
    double s = 0;
    for (double e : x)
        s += e * e;
    return s / static_cast<double>(x.size());
}

TFormAnalysis& Shown(TFormAnalysis& form, TAnalysisBlock b) {
    form.ShowBlock(std::move(b));
    form.show();
    return form;
}

} // namespace

TEST(AnalysisTable, ToneBlockFiguresMatchTheirDefinitions) {
    std::vector<double> noise;
    TAnalysisBlock block = ToneBlock(&noise);
    const TCodeRef ref = CodeReference(block.codes);
    const double noisePower = MeanSquare(noise);
    TFormAnalysis form;
    Shown(form, std::move(block));

    // From the codes (tolerance: half the last shown digit).
    EXPECT_NEAR(Value(Row(form, "平均コード")), ref.mean, 0.05 + 1e-6);
    EXPECT_NEAR(Value(Row(form, "ノイズ RMS（コード）")), ref.sigma, 0.005 + 1e-6);
    EXPECT_NEAR(Value(Row(form, "ノイズ p-p（コード）")), ref.pp, 0.5);
    EXPECT_NEAR(Value(Row(form, "平均電圧")), (ref.mean - kZero) * kVoltPerCode, 0.05e-3);
    EXPECT_NEAR(Value(Row(form, "実効ビット数")), std::log2(5.0 / (ref.sigma * kVoltPerCode)),
                0.005 + 1e-9);
    EXPECT_NEAR(Value(Row(form, "ノイズフリービット数")), std::log2(5.0 / (ref.pp * kVoltPerCode)),
                0.005 + 1e-9);

    // The tone: on its bin, so the window keeps all of it within its half-width.
    const double fundHz = 41 * 10000.0 / 4096;
    EXPECT_NEAR(Value(Row(form, "基本波周波数")), fundHz, 0.001);
    EXPECT_EQ(Row(form, "基本波振幅").unit, "mVrms");
    EXPECT_NEAR(Value(Row(form, "基本波振幅")), 1.0 / std::sqrt(2.0), 0.06e-3);
    EXPECT_NEAR(Value(Row(form, "基本波レベル")), 20 * std::log10(1.0 / 2.5), 0.006);
    // Harmonic power 5e-7 V^2 against 0.5 V^2: -60 dBc. The noise in its three bins is about
    // 0.3 % of its amplitude, and adds coherently: up to 0.05 dB.
    const TRowText h2 = Row(form, "第2高調波");
    EXPECT_NE(h2.name.find("200.20 Hz"), std::string::npos) << h2.name;
    EXPECT_NEAR(Value(h2), -60.0, 0.05);
    EXPECT_NEAR(Value(Row(form, "THD")), -60.0, 0.05);
    EXPECT_NEAR(Value(Row(form, "SFDR")), 60.0, 0.05);
    // SNR from the noise actually added; the statistics of 2048 bins allow 0.3 dB.
    const double snr = 10 * std::log10(0.5 / noisePower);
    EXPECT_NEAR(Value(Row(form, "SNR")), snr, 0.3);
    const double sinad = -10 * std::log10(std::pow(10, -snr / 10) + 1e-6);
    EXPECT_NEAR(Value(Row(form, "SINAD")), sinad, 0.08);
    const double enob =
        (sinad - 1.76 + 20 * std::log10((2.5 / std::sqrt(2.0)) / std::sqrt(0.5))) / 6.02;
    EXPECT_NEAR(Value(Row(form, "ENOB")), enob, 0.02);
    // White noise over 0..5 kHz: density sigma / sqrt(5000), within 5 %.
    const double density = std::sqrt(noisePower / 5000.0);
    EXPECT_NEAR(Value(Row(form, "ノイズ密度")), density, 0.05 * density);
    EXPECT_EQ(Row(form, "ノイズ密度").unit, "nV/√Hz");
    EXPECT_EQ(Row(form, "帯域ノイズ").name, "帯域ノイズ（全帯域）");
    EXPECT_NEAR(Value(Row(form, "帯域ノイズ")), std::sqrt(noisePower),
                0.05 * std::sqrt(noisePower));
}

TEST(AnalysisTable, BandNoiseCoversTheChosenBand) {
    std::vector<double> noise;
    TAnalysisBlock block = ToneBlock(&noise);
    block.bandLowHz = 1000;
    block.bandHighHz = 2000;
    const double noisePower = MeanSquare(noise);
    TFormAnalysis form;
    Shown(form, std::move(block));
    const TRowText band = Row(form, "帯域ノイズ");
    EXPECT_EQ(band.name, "帯域ノイズ（1000–2000 Hz）");
    // A fifth of the white noise's power; about 410 bins leave 10 % on the RMS.
    const double expected = std::sqrt(noisePower * 1000.0 / 5000.0);
    EXPECT_NEAR(Value(band), expected, 0.1 * expected);
}

TEST(AnalysisTable, DashesWhereAFigureDoesNotApply) {
    const char* tone[] = {"基本波周波数", "基本波振幅", "基本波レベル", "SNR",       "THD",
                          "SINAD",        "SFDR",       "ENOB",         "第2高調波", "第6高調波"};
    TFormAnalysis form;
    form.show();
    // No block at all.
    for (const char* name : {"SNR", "平均コード", "実効ビット数"})
        EXPECT_EQ(Row(form, name).value, "—") << name;

    // A silent block: one code throughout.
    TAnalysisBlock silent;
    silent.periodMs = 0.1;
    silent.codes.assign(1024, 0x80000005u);
    form.ShowBlock(silent);
    for (const char* name : tone)
        EXPECT_EQ(Row(form, name).value, "—") << name;
    EXPECT_EQ(Row(form, "ノイズ密度").value, "—");
    EXPECT_EQ(Row(form, "平均コード").value, "2147483653.0");
    EXPECT_EQ(Row(form, "ノイズ RMS").value, "0");
    EXPECT_EQ(Row(form, "実効ビット数").value, "32.00");

    // Noise alone: no line stands out, yet the noise density applies.
    TAnalysisBlock quiet;
    quiet.periodMs = 0.1;
    std::mt19937 rng(7);
    std::normal_distribution<double> g(0.0, 10.0);
    for (int i = 0; i < 8192; ++i)
        quiet.codes.push_back(static_cast<uint32_t>(std::llround(kZero + g(rng))));
    const TCodeRef ref = CodeReference(quiet.codes);
    form.ShowBlock(quiet);
    for (const char* name : tone)
        EXPECT_EQ(Row(form, name).value, "—") << name;
    const double density = ref.sigma * kVoltPerCode / std::sqrt(5000.0);
    EXPECT_NEAR(Value(Row(form, "ノイズ密度")), density, 0.05 * density);

    // A count that is no power of two: no spectrum, the code figures stay.
    TAnalysisBlock odd = ToneBlock();
    odd.codes.resize(3000);
    form.ShowBlock(odd);
    for (const char* name : tone)
        EXPECT_EQ(Row(form, name).value, "—") << name;
    EXPECT_EQ(Row(form, "ノイズ密度").value, "—");
    EXPECT_NE(Row(form, "平均コード").value, "—");
}

TEST(AnalysisWindow, ComputesOnlyWhenShown) {
    TFormAnalysis form;
    form.ShowBlock(ToneBlock());
    EXPECT_TRUE(form.Pending());
    EXPECT_EQ(Row(form, "SNR").value, "—") << "nothing computed while hidden";
    form.show();
    EXPECT_FALSE(form.Pending());
    EXPECT_NE(Row(form, "SNR").value, "—");
    form.hide();
    form.ShowBlock(TAnalysisBlock{});
    EXPECT_TRUE(form.Pending());
    EXPECT_FALSE(form.Result().hasBlock);
    EXPECT_EQ(form.windowTitle().toStdString(), "解析");
    ASSERT_EQ(form.Tabs->count(), 2);
    EXPECT_EQ(form.Tabs->tabText(0).toStdString(), "特性");
    EXPECT_EQ(form.Tabs->tabText(1).toStdString(), "ヒストグラム");
}

TEST(AnalysisHistogram, GroupsWideRangesAndCountsMissingCodes) {
    TFormAnalysis form;
    // Narrow: 41 codes around a DC level with every third code left out: one code per bar.
    TAnalysisBlock narrow;
    narrow.periodMs = 0.1;
    for (int i = 0; i < 1024; ++i) {
        const uint32_t c = 0x81000000u + static_cast<uint32_t>((i * 7) % 41);
        narrow.codes.push_back(c % 3 == 0 ? c + 1 : c);
    }
    TCodeRef ref = CodeReference(narrow.codes);
    Shown(form, narrow);
    const TCodeHistogram& h = form.HistogramView->Histogram();
    EXPECT_EQ(h.codesPerBin, 1u);
    EXPECT_EQ(h.missingCodes, ref.missing);
    EXPECT_GT(ref.missing, 0u);
    EXPECT_NEAR(h.mean, ref.mean, 1e-9);
    EXPECT_NEAR(h.sigma, ref.sigma, 1e-9);

    // Wide: Gaussian noise of 3000 codes (seed 99): bars of the smallest power of two that
    // keeps the aligned groups within the view's bars.
    TAnalysisBlock wide;
    wide.periodMs = 0.1;
    std::mt19937 rng(99);
    std::normal_distribution<double> g(0.0, 3000.0);
    for (int i = 0; i < 16384; ++i)
        wide.codes.push_back(static_cast<uint32_t>(std::llround(kZero + 12345.0 + g(rng))));
    ref = CodeReference(wide.codes);
    const auto [lo, hi] = std::minmax_element(wide.codes.begin(), wide.codes.end());
    uint64_t width = 1;
    while ((*hi - (*lo - *lo % width)) / width + 1 > static_cast<uint64_t>(HISTOGRAM_MAX_BINS))
        width *= 2;
    form.ShowBlock(wide);
    const TCodeHistogram& w = form.HistogramView->Histogram();
    EXPECT_EQ(w.codesPerBin, width);
    EXPECT_GT(width, 1u);
    EXPECT_EQ(w.missingCodes, ref.missing);
    uint64_t total = 0;
    for (uint32_t c : w.counts)
        total += c;
    EXPECT_EQ(total, wide.codes.size());
    const std::vector<std::string> lines = HistogramSummaryLines(w);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "未出現コード: " + std::to_string(ref.missing)),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "ビン幅: " + std::to_string(width) + " コード"),
              lines.end());
}

TEST(AnalysisHistogram, DrawsBarsAndTheGaussian) {
    TCodeHistogram empty;
    QImage blank(600, 400, QImage::Format_RGB32);
    blank.fill(Qt::white);
    {
        QPainter p(&blank);
        DrawCodeHistogram(p, blank.rect(), empty, 1.0); // no block: text only, no crash
    }
    TAnalysisBlock b;
    b.periodMs = 0.1;
    std::mt19937 rng(5);
    std::normal_distribution<double> g(0.0, 20.0);
    for (int i = 0; i < 4096; ++i)
        b.codes.push_back(static_cast<uint32_t>(std::llround(kZero + g(rng))));
    TFormAnalysis form;
    Shown(form, b);
    form.Tabs->setCurrentIndex(1);
    form.HistogramView->resize(640, 420);
    const QImage img = form.HistogramView->grab().toImage();
    int bars = 0, curve = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c == QColor(110, 150, 210)) ++bars;
            if (c.red() > 150 && c.green() < 90 && c.blue() < 90) ++curve;
        }
    EXPECT_GT(bars, 5000);
    EXPECT_GT(curve, 300);
    // Span and axis unit follow the data: 4 sigma either side; a span of about 0.2 uV in nV.
    const TCodeSpan s = HistogramSpan(form.HistogramView->Histogram());
    EXPECT_LE(s.lo, form.HistogramView->Histogram().mean - 80.0);
    EXPECT_GE(s.hi, form.HistogramView->Histogram().mean + 80.0);
    EXPECT_STREQ(VoltAxisUnit((s.hi - s.lo) * kVoltPerCode).name, "nV");
    EXPECT_STREQ(VoltAxisUnit(20e-6).name, "µV");
    EXPECT_STREQ(VoltAxisUnit(0.5).name, "mV");
    EXPECT_STREQ(VoltAxisUnit(20.0).name, "V");
}

TEST(AnalysisHistogram, AxisTicksAreRoundStepsInsideTheRange) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> start(-3e9, 3e9), width(-3.0, 9.5);
    for (int trial = 0; trial < 2000; ++trial) {
        const double lo = start(rng), hi = lo + std::pow(10.0, width(rng));
        const int maxTicks = 1 + trial % 8;
        const std::vector<double> t = NiceTicks(lo, hi, maxTicks);
        // A step is at most 2.5 times the range over maxTicks: from 3 ticks on, one lies inside.
        if (maxTicks >= 3) {
            ASSERT_FALSE(t.empty()) << lo << " " << hi;
        }
        ASSERT_LE(static_cast<int>(t.size()), maxTicks + 1);
        // The step: the smallest of 1, 2, 5 times a power of ten that is not below the range
        // over maxTicks.
        double step = INFINITY;
        for (int k = -12; k <= 12; ++k)
            for (double m : {1.0, 2.0, 5.0})
                if (m * std::pow(10.0, k) >= (hi - lo) / maxTicks)
                    step = std::min(step, m * std::pow(10.0, k));
        for (size_t i = 0; i < t.size(); ++i) {
            EXPECT_GE(t[i], lo - 1e-9 * std::fabs(lo));
            EXPECT_LE(t[i], hi + 1e-9 * std::fabs(hi));
            const double k = t[i] / step;
            EXPECT_NEAR(k, std::round(k), 1e-2) << t[i] << " / " << step; // 1 % of a step
            if (i > 0) {
                EXPECT_NEAR(t[i] - t[i - 1], step, 8e-15 * std::fabs(t[i]) + 1e-12 * step);
            }
        }
    }
    EXPECT_EQ(NiceTicks(0, 10, 5), (std::vector<double>{0, 2, 4, 6, 8, 10}));
    EXPECT_TRUE(NiceTicks(5, 5, 5).empty());
    EXPECT_TRUE(NiceTicks(5, 1, 5).empty());
}

TEST(AnalysisTable, NumbersKeepTheirDigitsAcrossADecade) {
    EXPECT_EQ(SignificantNumber(9.99996, 4), "10.00");
    EXPECT_EQ(SignificantNumber(0.0012345, 4), "0.001235");
    EXPECT_EQ(SignificantNumber(-707.1068, 4), "-707.1");
    const TFigureRow a = VoltRow("x", 0.70710678, "rms");
    EXPECT_EQ(a.value + " " + a.unit, "707.1 mVrms");
    const TFigureRow b = VoltRow("x", 0.99999, "");
    EXPECT_EQ(b.value + " " + b.unit, "1.000 V");
    const TFigureRow c = VoltRow("x", 7.0710678e-7, "/√Hz");
    EXPECT_EQ(c.value + " " + c.unit, "707.1 nV/√Hz");
    EXPECT_EQ(FigureNumber(-INFINITY, 2), "-∞");
}
