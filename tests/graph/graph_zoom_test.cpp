// Zoom, pan, the automatic frequency range, markers and cursors on the graph object: where
// traces, markers and labels land, checked against positions and values worked out in the
// test from the definitions (double precision; tolerances stated per check).
#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <random>

#include "graph_fixture.h"
#include "signal_stats.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kMarker1 = 0x009600;

// Column of the highest red pixel of the spectrum bitmap (the strongest line); -1 if none.
int TopRedColumn(const QImage& img) {
    for (int y = 0; y < img.height(); y++)
        for (int x = 0; x < img.width(); x++)
            if (Px(img, x, y) == kRed) return x;
    return -1;
}

double LogPixel(double f, double lo, double hi, int W) {
    return W * (std::log10(f) - std::log10(lo)) / (std::log10(hi) - std::log10(lo));
}

// A spectrum of 512 bins, 1 Hz apart, noise at 1e-6 V and lines at the given bins.
void Lines(TGraphWindow& w, std::initializer_list<std::pair<int, float>> lines) {
    TSignalData& d = w.Rec->SigData;
    d.ad_dnum = 1024;
    d.deltaF = 1.0f;
    for (int i = 0; i < 512; i++)
        w.Rec->Spectrum[static_cast<size_t>(i)] = 1e-6f * (1.0f + 0.1f * static_cast<float>(i % 3));
    for (const auto& [bin, v] : lines)
        w.Rec->Spectrum[static_cast<size_t>(bin)] = v;
}

// Drag with the left button in a box (0 spectrum, 1 waveform) from x0 to x1.
void Drag(TGraphWindow& w, int box, int x0, int x1, Qt::KeyboardModifiers m = Qt::NoModifier) {
    w.Graph->MousePress(box, x0, 50, Qt::LeftButton, m);
    w.Graph->MouseMove(box, (x0 + x1) / 2, 50);
    w.Graph->MouseMove(box, x1, 50);
    w.Graph->MouseRelease(box, x1, 50);
}

void Click(TGraphWindow& w, int box, int x, Qt::MouseButton b = Qt::LeftButton,
           Qt::KeyboardModifiers m = Qt::NoModifier) {
    w.Graph->MousePress(box, x, 50, b, m);
    w.Graph->MouseRelease(box, x, 50);
}

double NumberIn(const std::string& s) {
    const size_t eq = s.find('=');
    return std::stod(s.substr(eq + 1));
}

} // namespace

TEST(GraphZoom, WaveformZoomDrawsTheSamplesOfTheView) {
    TGraphWindow w;
    w.Rec->FFTSetting.fSig_Volt = 1;
    w.Rec->FFTSetting.fDCCut_SigGraph = 0;
    FillSig(*w.Rec, 65536, 13, 1.0, 1000.0); // 6.5536 s at 10 ksps: a solid band
    w.Redraw();
    const int W = w.Graph->WaveBitmap.Width(), H = w.Graph->WaveBitmap.Height();
    EXPECT_GT(CountInColumn(w.Graph->WaveBitmap.Image, 300, kRed), H / 3);
    // Drag 100 .. 101 pixels is a click (a cursor, no zoom); 100 .. 110 zooms.
    Drag(w, 1, 101, 103);
    EXPECT_FALSE(w.Graph->TimeZoomed());
    Drag(w, 1, 101, 111);
    ASSERT_TRUE(w.Graph->TimeZoomed());
    // The block's span is 65536 times the 32-bit period 0.1f ms (relative error 1.5e-8).
    const double span = 65536 * static_cast<double>(0.1f);
    EXPECT_NEAR(w.Graph->TimeView.Lo(), 100.0 / W * span, 1e-9 * span);
    EXPECT_NEAR(w.Graph->TimeView.Hi(), 110.0 / W * span, 1e-9 * span);
    // Zoom further around the middle with the wheel, to about three cycles.
    while (w.Graph->TimeView.Hi() - w.Graph->TimeView.Lo() > 3.0)
        w.Graph->MouseWheel(1, W / 2 + 1, 120);
    const double t0 = w.Graph->TimeView.Lo(), t1 = w.Graph->TimeView.Hi();
    // Every column holds the trace where the definition puts it: the samples of
    // v = sin(2 pi 1000 t) 0.1 ms apart joined by straight lines, the axis 1.5 times the
    // block's range around its centre; within 2 pixels.
    const double top = w.Rec->SigData.VoltMax, bottom = w.Rec->SigData.VoltMin;
    const double vspan = (top - bottom) * 1.5, base = (top + bottom) / 2 - vspan / 2;
    const QImage img = w.Graph->WaveBitmap.Image;
    int checked = 0;
    for (int x = 2; x < W - 2; x += 7) {
        const double t = t0 + (x + 0.5) / W * (t1 - t0); // ms
        const double i = std::floor(t / 0.1), r = t / 0.1 - i;
        const double v =
            (1 - r) * std::sin(2 * M_PI * i * 0.1) + r * std::sin(2 * M_PI * (i + 1) * 0.1);
        const double y = H * (1 - (v - base) / vspan);
        int best = H;
        for (int yy = 0; yy < H; yy++)
            if (Px(img, x, yy) == kRed) best = std::min(best, std::abs(yy - static_cast<int>(y)));
        EXPECT_LE(best, 2) << "x " << x;
        // A thin trace: no band any more.
        EXPECT_LT(CountInColumn(img, x, kRed), H / 4) << "x " << x;
        ++checked;
    }
    EXPECT_GT(checked, 50);
    // The time labels follow; a double click gives the whole block back.
    EXPECT_EQ(w.Labels[41]->text().toStdString(), ZoomTimeText(t0, t1 - t0));
    EXPECT_EQ(w.Labels[42]->text().toStdString(), ZoomTimeText(t1, t1 - t0));
    w.Graph->MouseDoubleClick(1, 10);
    EXPECT_FALSE(w.Graph->TimeZoomed());
    EXPECT_EQ(w.Labels[41]->text(), "0");
    EXPECT_EQ(w.Labels[42]->text(), "6.554s");
}

TEST(GraphZoom, PanMovesTheTimeViewAndStopsAtTheBlock) {
    TGraphWindow w;
    FillSig(*w.Rec, 1024, 13, 1.0, 100.0);
    w.Redraw();
    const int W = w.Graph->WaveBitmap.Width();
    Drag(w, 1, 1, 1 + W / 4); // the first quarter
    ASSERT_TRUE(w.Graph->TimeZoomed());
    const double span = w.Graph->TimeView.Hi() - w.Graph->TimeView.Lo();
    // Shift + drag to the left by 100 pixels: the view moves right by 100 / W of its span.
    Drag(w, 1, 300, 200, Qt::ShiftModifier);
    EXPECT_NEAR(w.Graph->TimeView.Lo(), 100.0 / W * span, 1e-9);
    EXPECT_NEAR(w.Graph->TimeView.Hi() - w.Graph->TimeView.Lo(), span, 1e-9);
    // A middle drag far to the left ends at the end of the block.
    w.Graph->MousePress(1, 500, 50, Qt::MiddleButton, Qt::NoModifier);
    w.Graph->MouseMove(1, -20000, 50);
    w.Graph->MouseRelease(1, -20000, 50);
    const double end = 1024 * static_cast<double>(0.1f); // the 32-bit period
    EXPECT_NEAR(w.Graph->TimeView.Hi(), end, 1e-9);
    EXPECT_NEAR(w.Graph->TimeView.Lo(), end - span, 1e-9);
}

TEST(GraphZoom, SpectrumZoomPutsTheLineWhereTheViewSays) {
    TGraphWindow w;
    w.Rec->FFTSetting.whichWindowFunc = 0;
    const double df = 10000.0 / 65536;
    FillSig(*w.Rec, 65536, 13, 1.0, 6554 * df); // on bin 6554, 1000.061 Hz
    w.Redraw();
    const int W = w.Graph->SpecBitmap.Width();
    const double f = 6554 * df;
    EXPECT_NEAR(TopRedColumn(w.Graph->SpecBitmap.Image), LogPixel(f, 0.1, 5000, W), 1.0);
    // Logarithmic: drag over the pixels of 500 Hz .. 2 kHz.
    const int a = static_cast<int>(LogPixel(500, 0.1, 5000, W)),
              b = static_cast<int>(LogPixel(2000, 0.1, 5000, W));
    Drag(w, 0, a + 1, b + 1);
    ASSERT_TRUE(w.Graph->FreqCustom());
    const double lo = std::pow(10.0, -1 + std::log10(50000.0) * a / W);
    const double hi = std::pow(10.0, -1 + std::log10(50000.0) * b / W);
    // The axis starts at 0.1 Hz as a 32-bit float: 1.5e-8 relative.
    EXPECT_NEAR(w.Graph->FreqView.Lo(), lo, 1e-7 * lo);
    EXPECT_NEAR(w.Graph->FreqView.Hi(), hi, 1e-7 * hi);
    EXPECT_NEAR(TopRedColumn(w.Graph->SpecBitmap.Image), LogPixel(f, lo, hi, W), 1.0);
    // The labels: start and end of the view, with their units, both shown.
    EXPECT_EQ(w.Labels[0]->text().toStdString(), FreqAxisText(lo, true));
    EXPECT_FALSE(w.Labels[0]->isHidden());
    const size_t last = w.Graph->ViewTicks.size() - 1;
    EXPECT_EQ(w.Labels[last]->text().toStdString(), FreqAxisText(hi, true));
    EXPECT_FALSE(w.Labels[last]->isHidden());
    for (size_t i = last + 1; i < FREQ_LABEL_COUNT; i++)
        EXPECT_TRUE(w.Labels[i]->isHidden()) << i;
    // The mouse maps back to the bins of the view: f = lo (hi / lo)^(x / width), its bin
    // trunc(f / delta f) (delta f as the 32-bit float of the block); within one bin.
    const int x = static_cast<int>(LogPixel(f, lo, hi, W + 2));
    const double fx = lo * std::pow(hi / lo, static_cast<double>(x) / (W + 2));
    const double dff = static_cast<double>(w.Rec->SigData.deltaF);
    EXPECT_NEAR(w.Graph->XToBin(W + 2, x), std::trunc(fx / dff), 1.0);
    EXPECT_NEAR(w.Graph->XToBin(W + 2, x), 6554, 16) << "one pixel holds 15.6 bins here";
    // Linear, 900 .. 1100 Hz of 0 .. 5 kHz.
    w.Graph->MouseDoubleClick(0, 5);
    EXPECT_FALSE(w.Graph->FreqCustom());
    w.Rec->FFTSetting.fLogGraph = 0;
    w.Redraw();
    ASSERT_TRUE(w.Graph->FreqView.ZoomSpan(900.0 / 5000 * W, 1100.0 / 5000 * W, W));
    w.Graph->ViewChanged();
    const double l0 = w.Graph->FreqView.Lo(), l1 = w.Graph->FreqView.Hi();
    EXPECT_NEAR(l0, 900, 1e-9);
    EXPECT_NEAR(l1, 1100, 1e-9);
    EXPECT_NEAR(TopRedColumn(w.Graph->SpecBitmap.Image), W * (f - l0) / (l1 - l0), 1.0);
    EXPECT_EQ(w.Labels[0]->text(), "900");
    EXPECT_EQ(w.Labels[w.Graph->ViewTicks.size() - 1]->text(), "1100Hz");
}

TEST(GraphZoom, AutomaticRangeShowsTheLowLinesOfASlowRate) {
    TGraphWindow w;
    w.Graph->SetExtSetting(&w.Rec->ExtSetting);
    w.Rec->FFTSetting.whichWindowFunc = 0;
    const double df = 5.0 / 1024;          // 5 sps
    FillSig(*w.Rec, 1024, 0, 1.0, 2 * df); // 0.0098 Hz, below the fixed axis' 0.1 Hz
    w.Redraw();
    const int W = w.Graph->SpecBitmap.Width(), H = w.Graph->SpecBitmap.Height();
    // Fixed 0.1 Hz .. 5 kHz: the line is not on the graph, the trace lies at the floor.
    int high = 0;
    for (int y = 0; y < H * 3 / 4; y++)
        high += CountInRow(w.Graph->SpecBitmap.Image, y, kRed);
    EXPECT_EQ(high, 0);
    w.Rec->ExtSetting.freqAuto = 1;
    w.Redraw();
    ASSERT_TRUE(w.Graph->FreqCustom());
    EXPECT_DOUBLE_EQ(w.Graph->FreqView.Lo(), 0.002);
    EXPECT_DOUBLE_EQ(w.Graph->FreqView.Hi(), 2.5);
    EXPECT_NEAR(TopRedColumn(w.Graph->SpecBitmap.Image), LogPixel(2 * df, 0.002, 2.5, W), 1.0);
    EXPECT_EQ(w.Labels[0]->text(), "0.002Hz");
    EXPECT_EQ(w.Labels[w.Graph->ViewTicks.size() - 1]->text(), "2.5Hz");
    EXPECT_EQ(w.Rec->FFTSetting.index_FreqS, 0) << "the fixed indices stay";
    EXPECT_EQ(w.Rec->FFTSetting.index_FreqE, 14);
    // Linear: 0 .. 2.5 Hz.
    w.Rec->FFTSetting.fLogGraph = 0;
    w.Redraw();
    EXPECT_NEAR(TopRedColumn(w.Graph->SpecBitmap.Image), W * 2 * df / 2.5, 1.0);
    EXPECT_EQ(w.Labels[0]->text(), "0");
    EXPECT_EQ(w.Labels[w.Graph->ViewTicks.size() - 1]->text(), "2.5Hz");
    // Without a block the fixed range is kept.
    w.Rec->SigData.ad_dnum = 0;
    w.Redraw();
    EXPECT_FALSE(w.Graph->FreqCustom());
}

// 5 sps on the fixed linear axis 0 .. 0.5 Hz (end index 2): labels every 0.1 Hz at their
// places, the line at 0.2 Hz where W * f / fE says, the print and a zoomed view labelled too.
TEST(GraphZoom, FixedLinearAxisOfASlowRate) {
    TGraphWindow w;
    w.Graph->SetExtSetting(&w.Rec->ExtSetting);
    TFFTSetting& s = w.Rec->FFTSetting;
    s.fLogGraph = 0;
    s.index_FreqS = 0;
    s.index_FreqE = 2;
    s.whichWindowFunc = 0;
    const double df = 5.0 / 1024;
    FillSig(*w.Rec, 1024, 0, 1.0, 41 * df); // 0.2002 Hz, on bin 41
    w.Redraw();
    ASSERT_FALSE(w.Graph->FreqCustom());
    const int W = w.Graph->SpecBitmap.Width();
    EXPECT_NEAR(TopRedColumn(w.Graph->SpecBitmap.Image), W * 41 * df / 0.5, 1.0);
    const char* want[] = {"0", "0.1", "0.2", "0.3", "0.4", "0.5Hz"};
    const QRect box = w.PaintBox1->geometry();
    for (int i = 0; i < 6; i++) {
        const QLabel* l = w.Labels[static_cast<size_t>(i)];
        EXPECT_EQ(l->text().toStdString(), want[i]);
        EXPECT_FALSE(l->isHidden()) << i;
        // Centred on the tick (the inner ones), within the 5 pixels of the even spacing.
        if (i > 0 && i < 5) {
            EXPECT_NEAR(l->x() + l->width() / 2, box.x() + box.width() * i / 5.0, 5.0) << i;
        }
    }
    EXPECT_TRUE(w.Labels[6]->isHidden());
    EXPECT_EQ(w.Labels[0]->x(), box.x());
    EXPECT_EQ(w.Labels[5]->x() + w.Labels[5]->width(), box.x() + box.width());
    // The print writes the same labels under the rectangle.
    QImage page(1200, 800, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        w.Graph->PrintFreqLabels(p, 2.0f, {200, 100, 1000, 600});
    }
    for (int i = 0; i < 6; i++) {
        // From the left edge, the right edge less twice the width, or centred on the tick.
        const int lw = w.Labels[static_cast<size_t>(i)]->width();
        const int x0 = i == 0 ? 200 : i == 5 ? 1000 - 2 * lw : 200 + 800 * i / 5 - lw;
        const int x1 = x0 + 30;
        int dark = 0;
        for (int y = 605; y < 650; y++)
            for (int x = x0; x < x1; x++)
                dark += Px(page, x, y) != 0xFFFFFF;
        EXPECT_GT(dark, 10) << "label " << i;
    }
    // Zoomed to 0.1 .. 0.3 Hz: the view's labels, the line where the view puts it.
    w.Graph->FreqView.ZoomSpan(W * 0.2, W * 0.6, W);
    w.Graph->ViewChanged();
    ASSERT_TRUE(w.Graph->FreqCustom());
    const double lo = w.Graph->FreqView.Lo(), hi = w.Graph->FreqView.Hi();
    EXPECT_NEAR(lo, 0.1, 0.5 / W);
    EXPECT_NEAR(hi, 0.3, 0.5 / W);
    EXPECT_NEAR(TopRedColumn(w.Graph->SpecBitmap.Image), W * (41 * df - lo) / (hi - lo), 1.0);
    const size_t n = w.Graph->ViewTicks.size();
    ASSERT_GE(n, 3u);
    int shown = 0;
    for (size_t i = 0; i < n; i++)
        shown += !w.Labels[i]->isHidden();
    EXPECT_GE(shown, 3);
    EXPECT_TRUE(w.Labels[n - 1]->text().endsWith("Hz"));
}

TEST(GraphMarkers, ReadoutMarkerSnapNextPeakAndSecondMarker) {
    TGraphWindow w;
    Lines(w, {{100, 1.0f}, {300, 0.01f}, {305, 0.02f}});
    w.Graph->DrawSpectrum(0);
    w.Graph->ShowPeak(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
    ASSERT_EQ(w.Graph->CursorBin, 100);
    const int W = w.Graph->SpecBitmap.Width();
    // The readout marker: its filled triangle over the line's column (box = bitmap + 1).
    const QImage shown = w.PaintBox1->Render();
    const int x100 = static_cast<int>(LogPixel(100, 0.1, 5000, W)) + 1;
    EXPECT_GT(CountInColumn(shown, x100, kMarker1), 3);
    EXPECT_EQ(CountInColumn(shown, x100 + 20, kMarker1), 0);
    // Next peak: the next local maximum above the noise, not the next bin.
    w.Graph->PeakNext(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt, 1);
    EXPECT_EQ(w.Graph->CursorBin, 300);
    w.Graph->PeakNext(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt, 1);
    EXPECT_EQ(w.Graph->CursorBin, 305);
    EXPECT_EQ(w.PeakEdits.EditPeakHz->text(), "305.000");
    w.Graph->PeakNext(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt, 1);
    EXPECT_EQ(w.Graph->CursorBin, 305) << "nothing beyond";
    w.Graph->PeakNext(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt, -1);
    w.Graph->PeakNext(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt, -1);
    EXPECT_EQ(w.Graph->CursorBin, 100);
    // Zoomed in on 50 .. 150 Hz, the next line at 300 Hz moves the view: 300 Hz in its middle.
    ASSERT_TRUE(
        w.Graph->FreqView.ZoomSpan(LogPixel(50, 0.1, 5000, W), LogPixel(150, 0.1, 5000, W), W));
    w.Graph->ViewChanged();
    const double ratio = w.Graph->FreqView.Hi() / w.Graph->FreqView.Lo();
    w.Graph->PeakNext(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt, 1);
    EXPECT_NEAR(w.Graph->FreqView.Lo(), 300 / std::sqrt(ratio), 1e-3);
    EXPECT_NEAR(w.Graph->FreqView.Hi(), 300 * std::sqrt(ratio), 1e-3);
    w.Graph->MouseDoubleClick(0, 5);
    w.Graph->PeakNext(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt, -1);
    ASSERT_EQ(w.Graph->CursorBin, 100);
    // A click a few pixels beside a line snaps to the largest bin within 5 pixels: at 300 Hz
    // a pixel holds about 6 bins.
    const int x303 = static_cast<int>(LogPixel(303, 0.1, 5000, W + 2));
    EXPECT_EQ(w.Graph->SnapBin(W + 2, x303), 305);
    // Ctrl + click: the second marker, with the differences to the readout marker.
    Click(w, 0, x303, Qt::LeftButton, Qt::ControlModifier);
    ASSERT_EQ(w.Graph->Marker2Bin, 305);
    const std::vector<std::string> r = w.Graph->MarkerReadout();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0], "Δf=205.000Hz");
    EXPECT_NEAR(NumberIn(r[1]), 20 * std::log10(0.02 / 1.0), 0.006);
    // A plain click goes to the window's handler; nothing else changes.
    int clicked = -1;
    w.Graph->OnSpectrumClick = [&](int x) { clicked = x; };
    Click(w, 0, 77);
    EXPECT_EQ(clicked, 77);
    EXPECT_EQ(w.Graph->Marker2Bin, 305);
}

TEST(GraphMarkers, HarmonicMarkersFoldIntoTheSpectrum) {
    TGraphWindow w;
    w.Rec->FFTSetting.fLogGraph = 0;
    w.Rec->FFTSetting.index_FreqE = 11; // 0 .. 500 Hz
    Lines(w, {{200, 1.0f}});
    w.Graph->DrawSpectrum(0);
    w.Graph->ShowPeak(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
    // Harmonics of bin 200 in 1024 samples: 400, 600 -> 424, 800 -> 224, 1000 -> 24,
    // 1200 -> 176 (folded about 512).
    const QImage shown = w.PaintBox1->Render();
    const int W = w.Graph->SpecBitmap.Width();
    const uint32_t kHarm = 0xE67800;
    for (int bin : {400, 424, 224, 24, 176}) {
        const int x = static_cast<int>(W * bin / 500.0) + 1;
        int near = 0;
        for (int dx = -4; dx <= 4; dx++)
            near += CountInColumn(shown, x + dx, kHarm);
        EXPECT_GT(near, 3) << "bin " << bin;
    }
}

TEST(GraphMarkers, TimeCursorsReadDeltaTAndDeltaLevel) {
    TGraphWindow w;
    w.Rec->FFTSetting.fSig_Volt = 1;
    FillSig(*w.Rec, 1024, 13, 1.0, 100.0);
    w.Redraw();
    const int W = w.Graph->WaveBitmap.Width();
    // A click puts cursor 1 at the time under the pointer, Ctrl or the right button cursor 2.
    const double end = 1024 * static_cast<double>(0.1f); // the 32-bit period
    Click(w, 1, 101);
    EXPECT_NEAR(w.Graph->CursorMs[0], 100.0 / W * end, 1e-9);
    EXPECT_TRUE(w.Graph->CursorReadout().empty()) << "one cursor: no differences";
    Click(w, 1, 201, Qt::RightButton);
    EXPECT_NEAR(w.Graph->CursorMs[1], 200.0 / W * end, 1e-9);
    // Exact times: samples 10 and 35 (1.0 and 3.5 ms).
    w.Graph->SetTimeCursor(0, 1.0);
    w.Graph->SetTimeCursor(1, 3.5);
    const std::vector<std::string> r = w.Graph->CursorReadout();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0], "Δt=2.50ms");
    EXPECT_EQ(r[1], "1/Δt=400Hz");
    // Sample times as the block has them: the period is the 32-bit 0.1f ms.
    const double T = static_cast<double>(0.1f) / 1000;
    const double dv = std::sin(2 * M_PI * 100 * 35 * T) - std::sin(2 * M_PI * 100 * 10 * T);
    ASSERT_EQ(r[2].rfind("ΔV=", 0), 0u);
    ASSERT_NE(r[2].find("mV"), std::string::npos);
    EXPECT_NEAR(NumberIn(r[2]), dv * 1000, 0.06); // four digits: 221.2 mV
    // In codes: the difference of the codes, one code is 2.5 V / (2^31 - 1).
    w.Rec->FFTSetting.fSig_Volt = 0;
    const std::vector<std::string> c = w.Graph->CursorReadout();
    ASSERT_EQ(c[2].rfind("Δコード=", 0), 0u);
    EXPECT_NEAR(NumberIn(c[2]), dv / 2.5 * 2147483647.0, 1.0);
    // The cursors are drawn where their times are.
    const QImage shown = w.PaintBox3->Render();
    const int x = static_cast<int>(W * 3.5 / end) + 1;
    int magenta = 0;
    for (int dx = -1; dx <= 1; dx++)
        magenta += CountInColumn(shown, x + dx, 0xC800C8);
    EXPECT_GT(magenta, 20);
}

TEST(GraphZoom, ThePrintShowsTheZoomedViewAndTheMarkers) {
    TGraphWindow w;
    w.Rec->FFTSetting.whichWindowFunc = 0;
    const double df = 10000.0 / 65536;
    FillSig(*w.Rec, 65536, 13, 1.0, 6554 * df);
    w.Redraw();
    w.Graph->ShowPeak(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
    const int W = w.Graph->SpecBitmap.Width();
    ASSERT_TRUE(w.Graph->FreqView.ZoomSpan(W * 0.7, W * 0.9, W));
    w.Graph->ViewChanged();
    const double lo = w.Graph->FreqView.Lo(), hi = w.Graph->FreqView.Hi();
    TGraphBitmap bmp(2 * W, 400);
    w.Graph->PrintSpectrum(bmp);
    // The line at its place on the wider bitmap, within 4 printer pixels.
    const double want = LogPixel(6554 * df, lo, hi, 2 * W);
    EXPECT_NEAR(TopRedColumn(bmp.Image), want, 4.0);
    EXPECT_GT(CountColour(bmp.Image, kMarker1), 20);
}

TEST(GraphZoom, GesturesOnAnEmptyGraphChangeNothing) {
    TGraphWindow w;
    w.Redraw();
    Drag(w, 0, 10, 200);
    Drag(w, 1, 10, 200);
    w.Graph->MouseWheel(0, 100, 120);
    EXPECT_FALSE(w.Graph->FreqCustom());
    EXPECT_FALSE(w.Graph->TimeZoomed());
    EXPECT_EQ(w.Labels[0]->text(), "0.1Hz");
}

TEST(GraphMarkers, SnapOnAZoomedAxis) {
    // A 1 kHz tone and a line 60 dB down on bin 13108 (2000.1 Hz), the view about 60 Hz ..
    // 4.5 kHz: about 80 bins to a pixel at 2 kHz. A Ctrl + click 4 pixels left of the line
    // puts the second marker on it.
    TGraphWindow w;
    const double df = 10000.0 / 65536;
    FillSig(*w.Rec, 65536, 13, 1.0, 1000.0);
    w.Rec->Spectrum[13108] = 1e-3f;
    w.Redraw();
    const int W = w.Graph->SpecBitmap.Width();
    ASSERT_TRUE(w.Graph->FreqView.ZoomSpan(W * 0.59, W * 0.98, W));
    w.Graph->ViewChanged();
    const double lo = w.Graph->FreqView.Lo(), hi = w.Graph->FreqView.Hi();
    const int x = static_cast<int>(LogPixel(13108 * df, lo, hi, W + 2)) - 4;
    EXPECT_GT(13108 - w.Graph->XToBin(W + 2, x), 250) << "the pointer is off the line";
    EXPECT_EQ(w.Graph->SnapBin(W + 2, x), 13108);
    w.Graph->ShowPeak(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
    Click(w, 0, x, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(w.Graph->Marker2Bin, 13108);
    // Seven pixels off is too far: the marker stays near the pointer.
    Click(w, 0, x - 3, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_LT(w.Graph->Marker2Bin, 13108 - 150);
}

TEST(GraphZoom, RandomGesturesOnOddSettingsNeverBreakTheGraph) {
    TGraphWindow w;
    w.Graph->SetExtSetting(&w.Rec->ExtSetting);
    std::mt19937 gen(3);
    std::uniform_int_distribution<int> px(-50, 700), pick(0, 9);
    FillSig(*w.Rec, 4096, 5, 0.5, 7.0, 0.0, 0.01);
    for (int round = 0; round < 40; round++) {
        TFFTSetting& s = w.Rec->FFTSetting;
        s.fLogGraph = static_cast<uint8_t>(round % 2);
        s.fSig_Volt = static_cast<uint8_t>((round / 2) % 2);
        s.index_FreqS = pick(gen) % 5;
        s.index_FreqE = round % 7 == 0 ? s.index_FreqS : 6 + pick(gen) % 9;
        w.Rec->ExtSetting.freqAuto = static_cast<uint8_t>((round / 4) % 2);
        if (round % 9 == 4) w.Rec->SigData.deltaF = 0; // a damaged block
        w.Redraw();
        for (int k = 0; k < 25; k++) {
            const int box = pick(gen) % 2;
            switch (pick(gen)) {
            case 0:
            case 1:
                Drag(w, box, px(gen), px(gen));
                break;
            case 2:
                Drag(w, box, px(gen), px(gen), Qt::ShiftModifier);
                break;
            case 3:
                w.Graph->MouseWheel(box, px(gen), pick(gen) < 5 ? 120 : -360);
                break;
            case 4:
                w.Graph->MouseDoubleClick(box, px(gen));
                break;
            case 5:
                Click(w, box, px(gen), Qt::RightButton);
                break;
            case 6:
                w.Graph->PeakNext(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt,
                                  pick(gen) < 5 ? 1 : -1);
                break;
            default:
                Click(w, box, px(gen), Qt::LeftButton, Qt::ControlModifier);
                break;
            }
        }
        (void)w.PaintBox1->Render();
        (void)w.PaintBox3->Render();
        TGraphBitmap bmp(300, 200);
        w.Graph->PrintSpectrum(bmp);
        w.Graph->PrintWave(bmp);
        if (w.Graph->FreqView.Valid()) {
            EXPECT_GE(w.Graph->FreqView.Lo(), w.Graph->FreqView.FullLo() * (1 - 1e-9));
            EXPECT_LE(w.Graph->FreqView.Hi(), w.Graph->FreqView.FullHi() * (1 + 1e-9));
        }
        if (round % 9 == 4) FillSig(*w.Rec, 4096, 5, 0.5, 7.0, 0.0, 0.01);
    }
}
