// The axis view (pixel mapping, zoom, pan, reset), the automatic frequency range, the labels
// and grid of a zoomed axis and the readout texts, against values worked out by hand or
// from the definitions in double.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "graph_view.h"

namespace {

// Pixel of v on a view lo..hi of W pixels, from the definition.
double RefPixel(double v, double lo, double hi, int W, bool log) {
    if (log) return W * (std::log10(v) - std::log10(lo)) / (std::log10(hi) - std::log10(lo));
    return W * (v - lo) / (hi - lo);
}

} // namespace

TEST(AxisView, MapsPixelsBothWaysOnLinearAndLogAxes) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (bool log : {false, true}) {
        TAxisView v;
        ASSERT_TRUE(v.SetFull(0.01, 5000, log, 0));
        EXPECT_TRUE(v.IsFull());
        for (int k = 0; k < 200; k++) {
            const double f = log ? 0.01 * std::pow(5e5, u(gen)) : 0.01 + u(gen) * 4999.99;
            const double x = v.ToPixel(f, 700);
            EXPECT_NEAR(x, RefPixel(f, 0.01, 5000, 700, log), 1e-9);
            EXPECT_NEAR(v.FromPixel(x, 700), f, 1e-9 * f);
        }
        EXPECT_NEAR(v.ToPixel(0.01, 700), 0, 1e-9);
        EXPECT_NEAR(v.ToPixel(5000, 700), 700, 1e-9);
    }
}

TEST(AxisView, ZoomSpanShowsTheDraggedValues) {
    TAxisView v;
    ASSERT_TRUE(v.SetFull(0, 1000, false, 1));
    EXPECT_FALSE(v.ZoomSpan(100, 102, 500)) << "a 2-pixel drag is a click";
    ASSERT_TRUE(v.ZoomSpan(300, 100, 500)); // either direction
    EXPECT_NEAR(v.Lo(), 200, 1e-9);
    EXPECT_NEAR(v.Hi(), 600, 1e-9);
    EXPECT_FALSE(v.IsFull());
    // A logarithmic axis zooms by ratios: 0.1 .. 1000 Hz over 400 pixels, drag 100..300.
    TAxisView g;
    ASSERT_TRUE(g.SetFull(0.1, 1000, true, 0));
    ASSERT_TRUE(g.ZoomSpan(100, 300, 400));
    EXPECT_NEAR(g.Lo(), 1.0, 1e-12);
    EXPECT_NEAR(g.Hi(), 100.0, 1e-9);
}

TEST(AxisView, WheelZoomKeepsTheValueUnderThePointer) {
    for (bool log : {false, true}) {
        TAxisView v;
        ASSERT_TRUE(v.SetFull(1, 10000, log, 0));
        const double x = 137;
        const double before = v.FromPixel(x, 600);
        ASSERT_TRUE(v.ZoomAt(x, 600, 0.5));
        EXPECT_NEAR(v.FromPixel(x, 600), before, 1e-9 * before);
        // Half the mapped span.
        const double span = log ? std::log10(v.Hi() / v.Lo()) : v.Hi() - v.Lo();
        EXPECT_NEAR(span, log ? 2.0 : 4999.5, 1e-9);
        // Zooming out far beyond the data gives the full range back.
        v.ZoomAt(x, 600, 100);
        EXPECT_TRUE(v.IsFull());
        EXPECT_DOUBLE_EQ(v.Lo(), 1);
        EXPECT_NEAR(v.Hi(), 10000, 1e-9);
    }
}

TEST(AxisView, PanFollowsThePointerAndStopsAtTheData) {
    TAxisView v;
    ASSERT_TRUE(v.SetFull(0, 100, false, 0));
    ASSERT_TRUE(v.ZoomSpan(0, 100, 400)); // 0 .. 25
    EXPECT_FALSE(v.Pan(50, 400)) << "already at the start";
    ASSERT_TRUE(v.Pan(-80, 400)); // content moves left: the view moves right by 5
    EXPECT_NEAR(v.Lo(), 5, 1e-12);
    EXPECT_NEAR(v.Hi(), 30, 1e-12);
    v.Pan(-100000, 400);
    EXPECT_NEAR(v.Lo(), 75, 1e-9);
    EXPECT_NEAR(v.Hi(), 100, 1e-9) << "clamped, the span kept";
    v.Reset();
    EXPECT_TRUE(v.IsFull());
    // Centring keeps the span; near an end the view stops there.
    ASSERT_TRUE(v.ZoomSpan(0, 40, 400)); // 0 .. 10
    ASSERT_TRUE(v.CentreOn(50));
    EXPECT_NEAR(v.Lo(), 45, 1e-12);
    EXPECT_NEAR(v.Hi(), 55, 1e-12);
    v.CentreOn(99);
    EXPECT_NEAR(v.Lo(), 90, 1e-12);
    EXPECT_NEAR(v.Hi(), 100, 1e-12);
    TAxisView g;
    ASSERT_TRUE(g.SetFull(0.1, 1000, true, 0));
    ASSERT_TRUE(g.ZoomSpan(100, 200, 400)); // 1 .. 10: one decade
    ASSERT_TRUE(g.CentreOn(100));           // 31.6 .. 316
    EXPECT_NEAR(g.Lo(), std::sqrt(10.0) * 10, 1e-9);
    EXPECT_NEAR(g.Hi(), std::sqrt(10.0) * 100, 1e-9);
    EXPECT_FALSE(g.CentreOn(-1));
}

TEST(AxisView, MinimumSpanAndFullRangeChanges) {
    TAxisView v;
    ASSERT_TRUE(v.SetFull(0, 1000, false, 10));
    v.ZoomSpan(500, 504, 1000); // 4 units asked for
    EXPECT_NEAR(v.Hi() - v.Lo(), 10, 1e-9);
    EXPECT_NEAR(0.5 * (v.Lo() + v.Hi()), 502, 1e-9) << "widened around its centre";
    v.Reset();
    v.ZoomSpan(0, 4, 1000);
    EXPECT_NEAR(v.Lo(), 0, 1e-12) << "and kept inside the data";
    EXPECT_NEAR(v.Hi(), 10, 1e-9);
    // The same full range keeps the zoom; another one resets it.
    ASSERT_TRUE(v.SetFull(0, 1000, false, 10));
    EXPECT_FALSE(v.IsFull());
    ASSERT_TRUE(v.SetFull(0, 2000, false, 10));
    EXPECT_TRUE(v.IsFull());
    // Unusable ranges leave an unusable view, which changes nothing.
    EXPECT_FALSE(v.SetFull(0, 10, true, 0)) << "0 on a log axis";
    EXPECT_FALSE(v.Valid());
    EXPECT_FALSE(v.ZoomSpan(0, 100, 100));
    EXPECT_FALSE(v.SetFull(5, 5, false, 0));
    EXPECT_FALSE(v.SetFull(NAN, 5, false, 0));
    EXPECT_FALSE(TAxisView{}.Pan(10, 100));
}

TEST(AxisView, AnyGestureSequenceStaysInsideTheData) {
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> x(-2000, 2000), f(1e-3, 1e3);
    for (bool log : {false, true}) {
        TAxisView v;
        ASSERT_TRUE(v.SetFull(0.5, 5000, log, 0));
        for (int k = 0; k < 20000; k++) {
            switch (k % 4) {
            case 0:
                v.ZoomAt(x(gen), 600, f(gen));
                break;
            case 1:
                v.Pan(x(gen), 600);
                break;
            case 2:
                v.ZoomSpan(x(gen), x(gen), 600);
                break;
            default:
                v.CentreOn(f(gen));
                break;
            }
            ASSERT_GE(v.Lo(), 0.5 * (1 - 1e-12));
            ASSERT_LE(v.Hi(), 5000 * (1 + 1e-12));
            const double span = log ? std::log10(v.Hi() / v.Lo()) : v.Hi() - v.Lo();
            const double full = log ? 4.0 : 4999.5;
            ASSERT_GE(span, 0.99e-6 * full) << k;
            ASSERT_TRUE(std::isfinite(v.ToPixel(1000, 600)));
        }
    }
}

TEST(AutoRange, FromDeltaFRoundedDownToHalfTheRate) {
    EXPECT_DOUBLE_EQ(FloorOneTwoFive(0.00488), 0.002);
    EXPECT_DOUBLE_EQ(FloorOneTwoFive(0.152587890625), 0.1);
    EXPECT_DOUBLE_EQ(FloorOneTwoFive(0.3), 0.2);
    EXPECT_DOUBLE_EQ(FloorOneTwoFive(7), 5);
    EXPECT_DOUBLE_EQ(FloorOneTwoFive(50), 50);
    EXPECT_DOUBLE_EQ(FloorOneTwoFive(0.1), 0.1);
    EXPECT_EQ(FloorOneTwoFive(0), 0);
    EXPECT_EQ(FloorOneTwoFive(-1), 0);
    TFreqRange r;
    // 5 sps, 1024 samples: delta f = 5 / 1024 Hz, half the rate 2.5 Hz.
    ASSERT_TRUE(AutoFreqRange(5.0 / 1024, 200, true, r));
    EXPECT_DOUBLE_EQ(r.lo, 0.002);
    EXPECT_DOUBLE_EQ(r.hi, 2.5);
    ASSERT_TRUE(AutoFreqRange(5.0 / 1024, 200, false, r));
    EXPECT_EQ(r.lo, 0);
    // 10 ksps, 65 536 samples.
    ASSERT_TRUE(AutoFreqRange(10000.0 / 65536, 0.1, true, r));
    EXPECT_DOUBLE_EQ(r.lo, 0.1);
    EXPECT_NEAR(r.hi, 5000, 1e-9);
    EXPECT_FALSE(AutoFreqRange(0, 0.1, true, r));
    EXPECT_FALSE(AutoFreqRange(1, 0, true, r));
    EXPECT_FALSE(AutoFreqRange(1000, 1, true, r)) << "delta f above half the rate";
}

TEST(ViewLabels, LogarithmicTicksAtOneTwoFive) {
    const std::vector<TAxisTick> t = FreqAxisTicks(0.002, 2.5, true);
    std::vector<std::string> texts;
    for (const auto& k : t)
        texts.push_back(k.text);
    const std::vector<std::string> want{"0.002Hz", "0.005", "0.01Hz", "0.02", "0.05", "0.1Hz",
                                        "0.2",     "0.5",   "1Hz",    "2",    "2.5Hz"};
    EXPECT_EQ(texts, want);
    EXPECT_DOUBLE_EQ(t[1].value, 0.005);
    EXPECT_EQ(FreqAxisTicks(1000, 5000, true).back().text, "5kHz");
    EXPECT_EQ(FreqAxisText(1234.5, true), "1.23kHz");
    EXPECT_EQ(FreqAxisText(0.00244, true), "0.00244Hz");
    EXPECT_TRUE(FreqAxisTicks(0, 5, true).empty());
    EXPECT_TRUE(FreqAxisTicks(5, 5, false).empty());
}

TEST(ViewLabels, LinearTicksInHzOrKHz) {
    std::vector<std::string> texts;
    for (const auto& k : FreqAxisTicks(0, 2.5, false))
        texts.push_back(k.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"0", "0.5", "1", "1.5", "2", "2.5Hz"}));
    texts.clear();
    for (const auto& k : FreqAxisTicks(1000, 3000, false))
        texts.push_back(k.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"1", "1.5", "2", "2.5", "3kHz"}));
    // A narrow zoom keeps the digits its step needs.
    const std::vector<TAxisTick> z = FreqAxisTicks(999.93, 1000.27, false);
    EXPECT_EQ(z.front().text, "999.93");
    EXPECT_EQ(z[1].text, "999.95");
    EXPECT_EQ(z[2].text, "1000");
    EXPECT_EQ(z.back().text, "1000.27Hz");
    ASSERT_EQ(z.size(), 9u); // the ends and 999.95 .. 1000.25 in steps of 0.05
    for (size_t i = 1; i + 1 < z.size(); i++)
        EXPECT_NEAR(std::remainder(z[i].value, 0.05), 0, 1e-6) << z[i].value;
}

TEST(ViewLabels, GridLinesOfAZoomedAxis) {
    TAxisView v;
    ASSERT_TRUE(v.SetFull(0.002, 2.5, true, 0));
    const TViewGrid g = FreqViewGrid(v, 600, 96);
    // Ticks 1, 1.5, 2, 3, ... 9 times 10^-3 .. 10^0 strictly between the ends.
    std::vector<int> want;
    std::vector<bool> major;
    for (int e = -3; e <= 0; e++)
        for (double m : {1.0, 1.5, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0}) {
            const double f = m * std::pow(10.0, e);
            if (f > 0.002 * (1 + 1e-9) && f < 2.5 * (1 - 1e-9)) {
                want.push_back(static_cast<int>(RefPixel(f, 0.002, 2.5, 600, true) + 1e-9));
                major.push_back(m == 1.0);
            }
        }
    EXPECT_EQ(g.pos, want);
    EXPECT_EQ(g.major, major);
    // Linear: steps for small and large spans, the cap on lines.
    EXPECT_DOUBLE_EQ(LinGridStep(2.5), 0.2);
    EXPECT_DOUBLE_EQ(LinGridStep(5000), 500);
    EXPECT_DOUBLE_EQ(LinGridStep(0.34), 0.02);
    TAxisView l;
    ASSERT_TRUE(l.SetFull(0, 2.5, false, 0));
    const TViewGrid lg = FreqViewGrid(l, 500, 96);
    ASSERT_EQ(lg.pos.size(), 12u); // 0.2 .. 2.4
    EXPECT_EQ(lg.pos[0], 40);
    EXPECT_EQ(lg.pos[11], 480);
    EXPECT_EQ(FreqViewGrid(l, 500, 5).pos.size(), 5u);
}

TEST(ViewLabels, PlacementKeepsLabelsApartAndInside) {
    // Start at the left edge, the end right-aligned, an inner label centred when it fits.
    const auto p = PlaceAxisLabels({0, 100, 105, 300}, {30, 20, 20, 40}, 50, 300, 4);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].left, 50);
    EXPECT_TRUE(p[0].visible);
    EXPECT_EQ(p[1].left, 140);
    EXPECT_TRUE(p[1].visible);
    EXPECT_FALSE(p[2].visible) << "overlaps the one before";
    EXPECT_EQ(p[3].left, 310);
    EXPECT_TRUE(p[3].visible);
    const auto q = PlaceAxisLabels({0, 290, 300}, {30, 20, 40}, 0, 300, 4);
    EXPECT_FALSE(q[1].visible) << "runs into the end label";
    EXPECT_TRUE(PlaceAxisLabels({}, {}, 0, 100, 4).empty());
}

TEST(ViewTexts, ZoomedTimeLabelsCarryTheDigitsOfTheSpan) {
    EXPECT_EQ(ZoomTimeText(3275.25, 3.0), "3.27525s"); // 3 ms / 50 = 6e-5 s: 5 decimals
    EXPECT_EQ(ZoomTimeText(12.3456, 100), "12.35ms");  // as FormatTimeSpan
    EXPECT_EQ(ZoomTimeText(12.3456, 0.1), "12.346ms");
    EXPECT_EQ(ZoomTimeText(0.5, 0.2), "500us");
    EXPECT_EQ(ZoomTimeText(0, 1), "0");
    EXPECT_EQ(FreqAxisText(2000, false), "2");
    EXPECT_EQ(FreqAxisText(20, false), "20");
}

TEST(ViewTexts, MarkerAndCursorReadouts) {
    EXPECT_EQ(DeltaFreqText(12.2070312), "Δf=12.207Hz");
    EXPECT_EQ(DeltaFreqText(-2441.4), "Δf=-2.441kHz");
    EXPECT_EQ(DeltadBText(-45.3249), "ΔdB=-45.32dB");
    EXPECT_EQ(DeltaTimeText(12.34), "Δt=12.34ms");
    EXPECT_EQ(DeltaTimeText(-0.5), "Δt=-500us");
    EXPECT_EQ(DeltaTimeText(6554), "Δt=6.554s");
    EXPECT_EQ(InverseTimeText(12.34), "1/Δt=81.04Hz"); // 1000 / 12.34 = 81.037
    EXPECT_EQ(InverseTimeText(0.5), "1/Δt=2kHz");
    EXPECT_EQ(InverseTimeText(0), "1/Δt=---");
    EXPECT_EQ(DeltaLevelText(0.0012345, true), "ΔV=1.235mV"); // 1.2345 rounds half away
    EXPECT_EQ(DeltaLevelText(-2.5, true), "ΔV=-2.5V");
    EXPECT_EQ(DeltaLevelText(3.2e-7, true), "ΔV=320nV");
    EXPECT_EQ(DeltaLevelText(4.5e-5, true), "ΔV=45uV");
    EXPECT_EQ(DeltaLevelText(-1234, false), "Δコード=-1234");
}
