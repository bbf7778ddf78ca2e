// Label texts, screen placement with thinning, and printed positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "axis_labels.h"

namespace {

TFFTSetting Axis(int s, int e, uint8_t log = 1) {
    TFFTSetting st;
    st.fLogGraph = log;
    st.index_FreqS = s;
    st.index_FreqE = e;
    return st;
}

template <size_t N> std::array<TLabelSize, N> Sizes(int w, int h) {
    std::array<TLabelSize, N> a;
    a.fill({w, h});
    return a;
}

} // namespace

TEST(GraphLabelTexts, FrequencyLists) {
    TFreqTexts t;
    EXPECT_EQ(FreqLabelTexts(Axis(0, 14), t), 15);
    EXPECT_EQ(t[1], "2");
    EXPECT_EQ(t[13], "2.5");
    FreqLabelTexts(Axis(9, 12), t);
    EXPECT_EQ(t[10], "200Hz") << "E - S = 3 takes the narrow list";
    t.fill("keep");
    EXPECT_EQ(FreqLabelTexts(Axis(0, 7, 0), t), 5);
    EXPECT_EQ(t[4], "20Hz");
    EXPECT_EQ(t[5], "keep");
    EXPECT_EQ(FreqLabelTexts(Axis(0, 13, 0), t), 6);
    EXPECT_EQ(t[5], "2.5kHz");
    t.fill("keep");
    EXPECT_EQ(FreqLabelTexts(Axis(0, 15, 0), t), 0);
    EXPECT_EQ(FreqLabelTexts(Axis(0, -1, 0), t), 0);
    EXPECT_EQ(t[0], "keep");
}

// The linear axis 0 .. fE of every end index: 0, then multiples of the largest 1-2-5 step at
// most fE / 4, up to fE; the digits the step needs, kHz from 2 kHz, the unit on the end only.
TEST(GraphLabelTexts, LinearAxisAtEveryEndIndex) {
    const double kEnd[FREQ_LABEL_COUNT] = {0.1, 0.2, 0.5, 1,   2,    5,    10,  20,
                                           50,  100, 200, 500, 1000, 2500, 5000};
    for (int e = 0; e < FREQ_LABEL_COUNT; e++) {
        const double fE = kEnd[e];
        double step = 0;
        for (int k = -4; k <= 4; k++)
            for (double m : {1.0, 2.0, 5.0})
                if (m * std::pow(10.0, k) <= fE / 4 * (1 + 1e-12)) step = m * std::pow(10.0, k);
        const int parts = static_cast<int>(std::lround(fE / step));
        ASSERT_NEAR(parts * step, fE, 1e-9 * fE) << "the end is a tick";
        const double unit = fE >= 2000 ? 1000 : 1;
        const int dec = std::max(0, static_cast<int>(std::ceil(-std::log10(step / unit) - 1e-9)));
        TFreqTexts t;
        ASSERT_EQ(FreqLabelTexts(Axis(0, e, 0), t), parts + 1) << "end index " << e;
        EXPECT_EQ(LinLabelCount(e), parts + 1);
        EXPECT_TRUE(parts + 1 >= 3 && parts + 1 <= 10);
        for (int i = 0; i <= parts; i++) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.*f", dec, i * step / unit);
            std::string want = buf;
            if (want.find('.') != std::string::npos) {
                while (want.back() == '0')
                    want.pop_back();
                if (want.back() == '.') want.pop_back();
            }
            if (i == parts) want += unit > 1 ? "kHz" : "Hz";
            EXPECT_EQ(t[static_cast<size_t>(i)], want) << "end index " << e << ", label " << i;
        }
    }
    // The lists of the ends from 10 Hz on, as the axis has always read.
    const std::vector<std::vector<std::string>> kept{{"0", "2", "4", "6", "8", "10Hz"},
                                                     {"0", "5", "10", "15", "20Hz"},
                                                     {"0", "10", "20", "30", "40", "50Hz"},
                                                     {"0", "20", "40", "60", "80", "100Hz"},
                                                     {"0", "50", "100", "150", "200Hz"},
                                                     {"0", "100", "200", "300", "400", "500Hz"},
                                                     {"0", "200", "400", "600", "800", "1000Hz"},
                                                     {"0", "0.5", "1", "1.5", "2", "2.5kHz"},
                                                     {"0", "1", "2", "3", "4", "5kHz"}};
    for (int e = 6; e < FREQ_LABEL_COUNT; e++) {
        TFreqTexts t;
        const auto& want = kept[static_cast<size_t>(e - 6)];
        ASSERT_EQ(FreqLabelTexts(Axis(0, e, 0), t), static_cast<int>(want.size()));
        for (size_t i = 0; i < want.size(); i++)
            EXPECT_EQ(t[i], want[i]);
    }
    TFreqTexts t;
    FreqLabelTexts(Axis(0, 0, 0), t);
    EXPECT_EQ(t[1], "0.02");
    EXPECT_EQ(t[5], "0.1Hz");
}

TEST(GraphLabelTexts, dBTimeAndVolt) {
    TFFTSetting s;
    s.index_dB_max = 2;
    s.index_dB_min = 17;
    EXPECT_EQ(dBLabelText(2, s), "0dBV");
    EXPECT_EQ(dBLabelText(17, s), "-150dBV");
    EXPECT_EQ(dBLabelText(3, s), "-10");
    s.fAbsoGraph = 0;
    EXPECT_EQ(dBLabelText(2, s), "0dB");

    EXPECT_EQ(FormatTimeSpan(102.4f), "102.40ms");
    EXPECT_EQ(FormatTimeSpan(0.5f), "500us");
    EXPECT_EQ(FormatTimeSpan(6553.6f), "6.554s");
    EXPECT_EQ(FormatTimeSpan(1000.0f), "1.000s");
    EXPECT_EQ(FormatTimeSpan(999.999f), "1000.00ms");

    struct Case {
        float top, bottom;
        const char *max, *zero, *min, *unit;
    };
    for (const Case& c : {Case{0.05f, -0.05f, "50.0", "0.0", "-50.0", "[mV]"},
                          Case{0.001f, -0.001f, "1.00", "0.00", "-1.00", "[mV]"},
                          Case{0.1f, -0.1f, "0.10", "0.00", "-0.10", "[V]"},
                          Case{3e-6f, 1e-6f, "3.00", "2.00", "1.00", "[uV]"},
                          Case{5e-7f, 0, "500.00", "250.00", "0.00", "[nV]"}}) {
        const TVoltTexts v = VoltLabelTexts(c.top, c.bottom);
        EXPECT_EQ(v.text[VL_MAX], c.max);
        EXPECT_EQ(v.text[VL_ZERO], c.zero);
        EXPECT_EQ(v.text[VL_MIN], c.min);
        EXPECT_EQ(v.text[VL_UNIT], c.unit);
    }
    const TVoltTexts c = CodeLabelTexts(2147483848u, 2147483448u);
    EXPECT_EQ(c.text[VL_ZERO], "2147483648");
    EXPECT_EQ(c.text[VL_UNIT], "[digit]");
}

TEST(GraphLabelTexts, TimeAxisEndIsTheLongerBlock) {
    TADSetting ad; // 10 ksps
    TFFTSetting s; // 65536 samples
    std::vector<uint32_t> c(2048);
    std::vector<float> v(2048);
    TSignalData none, a, b;
    a.pCode = b.pCode = c.data();
    a.pVolt = b.pVolt = v.data();
    a.ad_dnum = 1024;
    b.ad_dnum = 2048;
    EXPECT_FLOAT_EQ(TimeAxisSpan(none, none, ad, s), 6553.6f);
    EXPECT_FLOAT_EQ(TimeAxisSpan(a, none, ad, s), 102.4f);
    EXPECT_FLOAT_EQ(TimeAxisSpan(a, b, ad, s), 204.8f);
}

TEST(GraphLabelPlacement, dBThinning) {
    // 12-pixel labels: pitch 32 shows every label, pitch 6.67 every third.
    EXPECT_EQ(dBLabelStride(12, 32.0f), 1);
    EXPECT_EQ(dBLabelStride(12, 100.0f / 15), 3);
    EXPECT_EQ(dBLabelStride(12, 3.0f), 0);
    TFFTSetting s;
    s.index_dB_max = 2;
    s.index_dB_min = 17;
    std::array<TLabelPlace, DB_LABEL_COUNT> out;
    ASSERT_TRUE(PlacedBLabelsCalc(s, {76, 16, 584, 480}, Sizes<DB_LABEL_COUNT>(40, 12), out));
    int shown = 0;
    for (auto& p : out)
        shown += p.visible;
    EXPECT_EQ(shown, 16);
    EXPECT_EQ(out[2].top, 16 + 1 - 6);
    EXPECT_EQ(out[3].top, 32 - 6 + 16 + 1);
    EXPECT_EQ(out[2].left, 76 - 40 - 2);
    ASSERT_TRUE(PlacedBLabelsCalc(s, {76, 16, 584, 100}, Sizes<DB_LABEL_COUNT>(40, 12), out));
    shown = 0;
    for (auto& p : out)
        shown += p.visible;
    EXPECT_EQ(shown, 6); // j = 0, 3, 6, 9, 12, 15
    EXPECT_TRUE(out[17].visible);
    // Ends only: the two ends, whatever the count.
    ASSERT_TRUE(PlacedBLabelsCalc(s, {76, 16, 584, 40}, Sizes<DB_LABEL_COUNT>(40, 12), out));
    EXPECT_TRUE(out[2].visible && out[17].visible && !out[5].visible);
    // Ranges the placement does not handle leave the labels alone.
    s.index_dB_min = 2;
    EXPECT_FALSE(PlacedBLabelsCalc(s, {76, 16, 584, 100}, Sizes<DB_LABEL_COUNT>(40, 12), out));
}

TEST(GraphLabelPlacement, LogFrequencyLabelsAreThinnedLeftToRight) {
    std::array<TLabelPlace, FREQ_LABEL_COUNT> out;
    const TBoxRect box{76, 268, 584, 227};
    ASSERT_TRUE(PlaceFreqLabelsCalc(Axis(0, 14), box, Sizes<FREQ_LABEL_COUNT>(40, 12), out));
    EXPECT_EQ(out[0].left, 76);
    EXPECT_EQ(out[14].left, 76 + 584 - 20);
    EXPECT_EQ(out[0].top, 268 + 227 + 5);
    // 0.2 Hz would start at trunc(584 * 0.30103 * k + 76 - 20 + 1) = 94, not right of 76 + 20.
    EXPECT_FALSE(out[1].visible);
    EXPECT_EQ(out[1].left, 94);
    EXPECT_TRUE(out[2].visible);
    EXPECT_EQ(out[2].left, 143);
    EXPECT_FALSE(out[3].visible); // 1 Hz at 181 touches the 0.5 Hz label (143 + 40)
    EXPECT_TRUE(out[4].visible);
    EXPECT_TRUE(out[14].visible);
    ASSERT_TRUE(PlaceFreqLabelsCalc(Axis(3, 12), box, Sizes<FREQ_LABEL_COUNT>(20, 12), out));
    EXPECT_FALSE(out[2].visible || out[13].visible);
    EXPECT_EQ(out[3].left, 76);
    EXPECT_FALSE(PlaceFreqLabelsCalc(Axis(5, 5), box, Sizes<FREQ_LABEL_COUNT>(20, 12), out));
}

TEST(GraphLabelPlacement, LinearFrequencyAndWaveLabels) {
    std::array<TLabelPlace, FREQ_LABEL_COUNT> out;
    const TBoxRect box{76, 268, 584, 227};
    ASSERT_TRUE(PlaceFreqLabelsCalc(Axis(0, 14, 0), box, Sizes<FREQ_LABEL_COUNT>(20, 12), out));
    EXPECT_EQ(out[0].left, 76);
    EXPECT_EQ(out[5].left, 76 + 584 - 20);
    EXPECT_EQ(out[2].left, (584 / 5) * 2 + 76 - 10);
    EXPECT_TRUE(out[5].visible && !out[6].visible);
    EXPECT_FALSE(PlaceFreqLabelsCalc(Axis(0, 15, 0), box, Sizes<FREQ_LABEL_COUNT>(20, 12), out));

    std::array<TLabelPlace, VOLT_LABEL_COUNT> v;
    PlaceVoltLabelsCalc({76, 16, 584, 227}, Sizes<VOLT_LABEL_COUNT>(30, 12), v);
    EXPECT_EQ(v[VL_MAX].top, 16 + 37 - 6 + 1);
    EXPECT_EQ(v[VL_ZERO].top, 16 + 113 - 6);
    EXPECT_EQ(v[VL_MIN].top, 16 + 189 - 6);
    EXPECT_EQ(v[VL_UNIT].top, 16 - 6);
    EXPECT_EQ(v[VL_UNIT].left, 76 - 30 - 2);
    std::array<TLabelPlace, TIME_LABEL_COUNT> t;
    PlaceTimeLabelsCalc({76, 16, 584, 227}, Sizes<TIME_LABEL_COUNT>(50, 12), t);
    EXPECT_EQ(t[TL_END].left, 76 + 584 - 50);
    EXPECT_EQ(t[TL_END].top, 16 + 227 + 2);
}

// Every end index places its linear labels evenly: the first at the left edge, the last
// ending at the right edge, the inner ones centred on (W / parts) * i, which lies within
// parts pixels of the frequency's true position W * f / fE (the step divides the end).
TEST(GraphLabelPlacement, LinearLabelsOfEveryEndIndex) {
    const TBoxRect box{76, 268, 584, 227};
    const TPrintRect r{472, 1801, 4606, 3248};
    const float sc = 6.25f;
    std::array<TLabelSize, FREQ_LABEL_COUNT> size;
    for (size_t i = 0; i < size.size(); i++)
        size[i] = {18 + 4 * static_cast<int>(i), 12};
    for (int e = 0; e < FREQ_LABEL_COUNT; e++) {
        const int n = LinLabelCount(e), parts = n - 1;
        ASSERT_GE(n, 3) << "end index " << e;
        std::array<TLabelPlace, FREQ_LABEL_COUNT> out;
        std::array<TPrintPos, FREQ_LABEL_COUNT> pr;
        ASSERT_TRUE(PlaceFreqLabelsCalc(Axis(0, e, 0), box, size, out));
        ASSERT_TRUE(PrintFreqLabelPositions(Axis(0, e, 0), r, sc, size, pr));
        for (int i = 0; i < FREQ_LABEL_COUNT; i++) {
            const auto u = static_cast<size_t>(i);
            const int w = size[u].w;
            EXPECT_EQ(out[u].visible, i < n);
            EXPECT_EQ(pr[u].write, i < n);
            if (i >= n) continue;
            EXPECT_EQ(out[u].top, box.T + box.H + 5);
            EXPECT_EQ(pr[u].y, r.bottom + 31);
            if (i == 0) {
                EXPECT_EQ(out[u].left, box.L);
                EXPECT_EQ(pr[u].x, r.left);
            } else if (i == parts) {
                EXPECT_EQ(out[u].left, box.L + box.W - w);
                EXPECT_EQ(pr[u].x, r.right - static_cast<int>(w * 6.25));
            } else {
                const double trueX = box.L + box.W * static_cast<double>(i) / parts;
                EXPECT_EQ(out[u].left, (box.W / parts) * i + box.L - w / 2);
                EXPECT_NEAR(out[u].left + w / 2, trueX, parts);
                const double printX = r.left + (r.right - r.left) * static_cast<double>(i) / parts;
                EXPECT_EQ(pr[u].x, ((r.right - r.left) / parts) * i + r.left -
                                       static_cast<int>(w * 6.25 * 0.5));
                EXPECT_NEAR(pr[u].x + w * 6.25 * 0.5, printX, parts + 1);
            }
        }
    }
}

TEST(GraphLabelPrint, ScaledPositions) {
    const TPrintRect r{472, 1801, 4606, 3248};
    const float s = 6.25f; // 600 dpi printer, 96 dpi screen
    std::array<TPrintPos, FREQ_LABEL_COUNT> f;
    ASSERT_TRUE(PrintFreqLabelPositions(Axis(0, 14), r, s, Sizes<FREQ_LABEL_COUNT>(20, 12), f));
    EXPECT_EQ(f[0].x, 472);
    EXPECT_EQ(f[0].y, 3248 + 31);
    EXPECT_EQ(f[14].x, 4606 - 125);
    EXPECT_TRUE(f[3].write);

    TFFTSetting d;
    d.index_dB_max = 2;
    d.index_dB_min = 17;
    std::array<TPrintPos, DB_LABEL_COUNT> db;
    ASSERT_TRUE(PrintdBLabelPositions(d, r, s, Sizes<DB_LABEL_COUNT>(40, 12), db));
    // Pitch 96.47 printer pixels, 75-pixel labels: 0.7 * 75 < 96.47 shows every other label.
    EXPECT_TRUE(db[2].write && !db[3].write && db[4].write);
    EXPECT_EQ(db[2].x, 472 - 262);
    EXPECT_EQ(db[2].y, 1801 - 37);
    // Ends only: the bottom label sits on the bottom edge.
    ASSERT_TRUE(PrintdBLabelPositions(d, {0, 0, 100, 60}, s, Sizes<DB_LABEL_COUNT>(40, 12), db));
    int written = 0;
    for (auto& p : db)
        written += p.write;
    EXPECT_EQ(written, 2);
    EXPECT_EQ(db[17].y, 60 - 37);

    std::array<TPrintPos, VOLT_LABEL_COUNT> v;
    PrintVoltLabelPositions({472, 118, 4606, 1565}, s, Sizes<VOLT_LABEL_COUNT>(30, 12), v);
    EXPECT_EQ(v[VL_UNIT].y, 118);
    EXPECT_EQ(v[VL_MIN].y, (5 * 1447) / 6 + 118 - 37);
    EXPECT_EQ(v[VL_MAX].x, 472 - 200);
    std::array<TPrintPos, TIME_LABEL_COUNT> t;
    PrintTimeLabelPositions({472, 118, 4606, 1565}, s, Sizes<TIME_LABEL_COUNT>(50, 12), t);
    EXPECT_EQ(t[TL_START].y, 1565 + 12);
    EXPECT_EQ(t[TL_END].x, 4606 - 325);
}

// Indices of any int value: the label calculations either leave the labels alone or place
// the labels of the indices they know, and never form an overflowing difference.
TEST(GraphLabelPlacement, AnyIndicesAreSafe) {
    const int32_t v[] = {INT32_MIN, -1, 0, 2, 3, 14, 17, 21, 22, INT32_MAX};
    std::array<TLabelPlace, DB_LABEL_COUNT> dbOut;
    std::array<TPrintPos, DB_LABEL_COUNT> dbPrint;
    std::array<TLabelPlace, FREQ_LABEL_COUNT> fOut;
    std::array<TPrintPos, FREQ_LABEL_COUNT> fPrint;
    TFreqTexts texts;
    for (int32_t a : v) {
        for (int32_t b : v) {
            TFFTSetting s;
            s.index_dB_max = a;
            s.index_dB_min = b;
            const bool known = a >= 0 && b >= 3 && b < DB_LABEL_COUNT && a < b;
            EXPECT_EQ(
                PlacedBLabelsCalc(s, {76, 16, 584, 227}, Sizes<DB_LABEL_COUNT>(40, 12), dbOut),
                known);
            EXPECT_EQ(PrintdBLabelPositions(s, {100, 100, 900, 500}, 4.0f,
                                            Sizes<DB_LABEL_COUNT>(40, 12), dbPrint),
                      known);
            for (int i = 0; i < DB_LABEL_COUNT; i++)
                EXPECT_FALSE(dBLabelText(i, s).empty());
            for (uint8_t log : {uint8_t{0}, uint8_t{1}}) {
                const TFFTSetting f = Axis(a, b, log);
                const int n = FreqLabelTexts(f, texts);
                EXPECT_TRUE(n == 0 || n == 5 || n == 6 || n == FREQ_LABEL_COUNT);
                const bool placed = PlaceFreqLabelsCalc(f, {76, 268, 584, 227},
                                                        Sizes<FREQ_LABEL_COUNT>(30, 12), fOut);
                const bool printed = PrintFreqLabelPositions(
                    f, {100, 100, 900, 500}, 4.0f, Sizes<FREQ_LABEL_COUNT>(30, 12), fPrint);
                EXPECT_EQ(placed, printed);
                if (log == 1 && placed) {
                    EXPECT_TRUE(a >= 0 && a < FREQ_LABEL_COUNT && b >= 0 && b < FREQ_LABEL_COUNT);
                }
            }
        }
    }
}
