// The graph object in a window stand-in: layout, bitmaps, drawings, readouts and labels.
#include <gtest/gtest.h>

#include <QPainter>
#include <climits>
#include <cstdio>

#include "graph_fixture.h"
#include "numfmt.h"
#include "signal_stats.h"
#include "ui_font.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xFF0000, kGrey = 0x808080, kSilver = 0xC0C0C0;

// A 1024-sample block at 10 ksps: the first half at +1.0 V, the second at -0.5 V.
// Volts of a code, written from the converter's definition.
double CodeVolts(uint32_t code) {
    return (static_cast<double>(code) - 2147483648.0) * 2.5 / 2147483647.0;
}

// 1024 samples: the first half `high`, the second `low`, converted as a measured block is.
void StepBlock(TMeasureRecord& r, uint32_t high = 0x80001000u, uint32_t low = 0x7FFFF800u) {
    TSignalData& d = r.SigData;
    d.ad_dnum = 1024;
    d.spsSel = 13;
    d.sinc3 = 1;
    for (int i = 0; i < 1024; i++)
        r.CodeBuf[static_cast<size_t>(i)] = i < 512 ? high : low;
    ConvertCodes(d);
}

// A spectrum of 512 bins, 1 Hz apart: every bin at -120 dBV, one line at 0 dBV.
void LineSpectrum(TSignalData& d, float* spectrum, int line) {
    d.ad_dnum = 1024;
    d.deltaF = 1.0f;
    for (int i = 0; i < 512; i++)
        spectrum[i] = 1e-6f;
    spectrum[line] = 1.0f;
}

QImage SpectrumImage(const TGraphWindow& w) {
    return w.Graph->SpecBitmap.Image;
}
QImage Wave(const TGraphWindow& w) {
    return w.Graph->WaveBitmap.Image;
}

} // namespace

TEST(GraphObject, LayoutOfAn800x600Window) {
    TGraphWindow w;
    w.Redraw();
    EXPECT_EQ(w.PaintBox3->geometry(), QRect(76, 16, 584, 227));
    EXPECT_EQ(w.PaintBox1->geometry(), QRect(76, 268, 584, 227));
    EXPECT_FALSE(w.PaintBox3->isHidden());
    EXPECT_EQ(w.Graph->SpecBitmap.Image.size(), QSize(582, 225));
    EXPECT_EQ(w.Graph->WaveBitmap.Image.size(), QSize(582, 225));
    for (size_t i = 37; i < 43; i++)
        EXPECT_FALSE(w.Labels[i]->isHidden()) << i;

    w.Rec->FFTSetting.fWaveGraph = 0;
    w.Redraw();
    EXPECT_EQ(w.PaintBox1->geometry(), QRect(76, 16, 584, 480));
    EXPECT_TRUE(w.PaintBox3->isHidden());
    EXPECT_EQ(w.Graph->SpecBitmap.Image.size(), QSize(582, 478));
    EXPECT_EQ(w.Graph->WaveBitmap.Image.size(), QSize(582, 225)) << "kept while hidden";
    for (size_t i = 37; i < 43; i++)
        EXPECT_TRUE(w.Labels[i]->isHidden()) << i;
}

TEST(GraphObject, PaintBoxFramesAndCopiesTheBitmap) {
    TGraphWindow w;
    w.Redraw();
    w.Graph->SpecBitmap.Image.setPixel(0, 0, qRgb(1, 2, 3));
    w.Graph->SpecBitmap.Image.setPixel(581, 224, qRgb(4, 5, 6));
    const QImage shown = w.PaintBox1->Render();
    EXPECT_EQ(Px(shown, 0, 0), 0u);
    EXPECT_EQ(Px(shown, 583, 226), 0u);
    EXPECT_EQ(Px(shown, 1, 1), 0x010203u);
    EXPECT_EQ(Px(shown, 582, 225), 0x040506u);
    // Blank until painted again.
    w.Graph->ClearGraphs();
    const QImage blank = w.PaintBox1->Render();
    EXPECT_EQ(Px(blank, 1, 1), kWhite);
    EXPECT_EQ(Px(blank, 0, 100), 0u);
}

TEST(GraphObject, EmptyGrids) {
    TGraphWindow w;
    w.Redraw();
    const QImage s = SpectrumImage(w), v = Wave(w);
    // dB lines every 15 pixels (15 divisions on 225), vertical log lines in two colours.
    for (int i = 1; i < 15; i++)
        EXPECT_GT(CountInRow(s, 15 * i, kSilver), 400) << i;
    EXPECT_LT(CountInRow(s, 16, kSilver), 100) << "no dB line between";
    const TGridLines g = LogFreqGridLines(582, 0.1f, 5000.0f);
    for (int i = 0; i < g.count; i++)
        EXPECT_EQ(Px(s, g.pos[i], 7), g.major[i] ? kGrey : kSilver) << g.pos[i];
    // Waveform: centre line and the majors at a third of the height, 19 silver time lines.
    EXPECT_EQ(CountInRow(v, 112, kGrey), 582 - 19);
    EXPECT_EQ(Px(v, 5, 37), kGrey);
    EXPECT_EQ(Px(v, 5, 187), kGrey);
    const TGridLines t = WaveTimeGridLines(582, 6553.6f);
    for (int i = 0; i < t.count; i++)
        EXPECT_EQ(CountInColumn(v, t.pos[i], kSilver), 225) << i;
    EXPECT_EQ(t.pos[9], 290) << "10 * float(span / 20) falls just short of span / 2";
    EXPECT_FLOAT_EQ(w.Graph->TimeSpan, 6553.6f);
}

TEST(GraphWave, OneBlockLandsOnTheMajorLines) {
    TGraphWindow w;
    w.Rec->FFTSetting.fSig_Volt = 1;
    w.Rec->FFTSetting.fDCCut_SigGraph = 0;
    StepBlock(*w.Rec); // +4096 and -2048 codes
    w.Graph->DrawWave(0);
    const QImage v = Wave(w);
    const double step = CodeVolts(0x80000001u);
    EXPECT_NEAR(w.Graph->WaveSpan, 1.5 * 6144 * step, 1e-12 * step);
    EXPECT_NEAR(w.Graph->WaveBase, 1024 * step - 0.75 * 6144 * step, 1e-12 * step);
    EXPECT_FLOAT_EQ(w.Graph->TimeSpan, 102.4f);
    EXPECT_EQ(Px(v, 100, 37), kRed);
    EXPECT_EQ(Px(v, 100, 187), kGrey);
    EXPECT_EQ(Px(v, 400, 187), kRed);
    // The step between sample 511 (x 290) and 512 (x 291).
    EXPECT_EQ(CountInColumn(v, 290, kRed) + CountInColumn(v, 291, kRed), 151);

    // Mean removal keeps the shape; the centre is (max + min) / 2 - mean = 0.
    w.Rec->FFTSetting.fDCCut_SigGraph = 1;
    w.Graph->DrawWave(0);
    EXPECT_EQ(Px(Wave(w), 100, 37), kRed);
    EXPECT_NEAR(w.Graph->VoltTop, 3072 * step, 1e-12 * step); // the mean is +1024 codes
    // Codes: the same picture, the range in codes.
    w.Rec->FFTSetting.fSig_Volt = 0;
    w.Graph->DrawWave(0);
    EXPECT_EQ(Px(Wave(w), 100, 37), kRed);
}

// A quiet signal near full scale keeps its shape in volts: a step of 50 codes (58 nV) on
// 1.25 V, below a float's 119 nV there, lands on the same lines as in codes. Its cursors read
// the step from the codes.
TEST(GraphWave, QuietSignalOnALargeLevelKeepsItsShapeInVolts) {
    TGraphWindow w;
    w.Rec->FFTSetting.fSig_Volt = 1;
    for (uint8_t dcCut : {uint8_t{0}, uint8_t{1}}) {
        w.Rec->FFTSetting.fDCCut_SigGraph = dcCut;
        StepBlock(*w.Rec, 0xC0000000u + 50, 0xC0000000u);
        ASSERT_EQ(w.Rec->VoltBuf[0], w.Rec->VoltBuf[1023]) << "the floats cannot tell them apart";
        w.Graph->UpdateScales();
        w.Graph->DrawWave(0);
        const QImage v = Wave(w);
        EXPECT_EQ(Px(v, 100, 37), kRed) << int(dcCut);
        EXPECT_EQ(Px(v, 400, 187), kRed) << int(dcCut);
        EXPECT_LE(CountInRow(v, 112, kRed), 1) << "no flat centre line, only the step's riser";
        const double step = CodeVolts(0xC0000000u + 50) - CodeVolts(0xC0000000u);
        EXPECT_NEAR(w.Graph->VoltTop - w.Graph->VoltBottom, step, 1e-6 * step);
    }
    w.Graph->SetTimeCursor(0, 10.0); // sample 100, high
    w.Graph->SetTimeCursor(1, 80.0); // sample 800, low
    const std::vector<std::string> r = w.Graph->CursorReadout();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[2], "ΔV=-58.21nV");
}

TEST(GraphWave, ConstantBlockIsACentreLine) {
    TGraphWindow w;
    w.Rec->FFTSetting.fSig_Volt = 1;
    StepBlock(*w.Rec, 0x80001000u, 0x80001000u);
    w.Graph->DrawWave(0);
    EXPECT_EQ(CountInRow(Wave(w), 112, kRed), 582);
    EXPECT_EQ(CountColour(Wave(w), kRed), 582);
}

TEST(GraphWave, TwoBlocksShareTheLongerTimeAxis) {
    TGraphWindow w;
    w.Rec->FFTSetting.fSig_Volt = 1;
    w.Rec->FFTSetting.fDCCut_SigGraph = 0;
    StepBlock(*w.Rec);
    TSignalData& r = w.Rec->RefData;
    r.ad_dnum = 2048;
    r.spsSel = 13;
    for (size_t i = 0; i < 2048; i++)
        w.Rec->RefCodeBuf[i] = 0x80001000u; // the measurement's upper level
    ConvertCodes(r);
    w.Graph->DrawWaveWithRef();
    const QImage v = Wave(w);
    EXPECT_FLOAT_EQ(w.Graph->TimeSpan, 204.8f);
    // The measurement ends in the middle; the reference (grey, mask) runs along its upper level.
    EXPECT_EQ(Px(v, 400, 187), kGrey) << "grid only: the measurement ended at x 290";
    EXPECT_EQ(Px(v, 400, 37), kGrey);
    EXPECT_EQ(Px(v, 100, 37), kRed & kGrey) << "mask: reference AND measurement";
    // With the reference left out the measurement alone sets range and time.
    r.ad_dnum = 0;
    w.Graph->DrawWaveWithRef();
    EXPECT_FLOAT_EQ(w.Graph->TimeSpan, 102.4f);
    EXPECT_EQ(Px(Wave(w), 400, 187), kRed);
}

// Rightmost column holding colour c; -1 when none.
int LastColumnWith(const QImage& img, uint32_t c) {
    for (int x = img.width() - 1; x >= 0; x--)
        if (CountInColumn(img, x, c) > 0) return x;
    return -1;
}

// A block being collected (16 384 of 65 536 samples at 10 ksps) keeps the whole block's time
// axis, its samples at their times from the left; the complete block looks as without it.
TEST(GraphWave, LiveBlockKeepsTheWholeTimeAxis) {
    TGraphWindow w;
    w.Rec->FFTSetting.fSig_Volt = 1;
    w.Rec->FFTSetting.fWaveGraph = 1;
    const int full = 65536, part = 16384;
    const double periodMs = 0.1;
    FillSig(*w.Rec, part, 13, 0.5, 3.0);
    const int W = w.Graph->WaveBitmap.Width();
    const auto endText = [](double ms) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.3fs", ms / 1000);
        return std::string(buf);
    };
    w.Graph->LiveBlockSamples = full;
    w.Graph->DrawWave(0);
    w.Graph->UpdateScales();
    const QImage live = Wave(w);
    EXPECT_EQ(w.Graph->LabelTimeE->text().toStdString(), endText(full * periodMs)); // 6.554s
    EXPECT_NEAR(w.Graph->TimeSpan, full * periodMs, 1e-3);
    // Sample i at W * i * T / (N T): the last one at a quarter of the width, within a pixel.
    EXPECT_NEAR(LastColumnWith(live, kRed), W * (part - 1.0) / full, 1.0);
    // The time grid of the whole block.
    const TGridLines t = WaveTimeGridLines(W, static_cast<float>(full * periodMs));
    EXPECT_EQ(CountInColumn(live, t.pos[15], kSilver), live.height()) << "right of the trace";
    // Without the live span the same samples fill the width, the end reads their own span.
    w.Graph->LiveBlockSamples = 0;
    w.Graph->DrawWave(0);
    w.Graph->UpdateScales();
    EXPECT_EQ(w.Graph->LabelTimeE->text().toStdString(), endText(part * periodMs)); // 1.638s
    EXPECT_GE(LastColumnWith(Wave(w), kRed), W - 2);
    // The complete block: the same picture and text with and without the live count.
    FillSig(*w.Rec, full, 13, 0.5, 3.0);
    w.Graph->DrawWave(0);
    w.Graph->UpdateScales();
    const QImage done = Wave(w);
    const std::string doneText = w.Graph->LabelTimeE->text().toStdString();
    w.Graph->LiveBlockSamples = full;
    w.Graph->DrawWave(0);
    w.Graph->UpdateScales();
    EXPECT_EQ(Wave(w), done);
    EXPECT_EQ(w.Graph->LabelTimeE->text().toStdString(), doneText);
    EXPECT_EQ(doneText, endText(full * periodMs));
}

TEST(GraphWave, PrintUsesFivePixelLinesAndKeepsTheWidth) {
    TGraphWindow w;
    w.Rec->FFTSetting.fSig_Volt = 1;
    w.Rec->FFTSetting.fDCCut_SigGraph = 0;
    StepBlock(*w.Rec);
    TGraphBitmap bmp(600, 300);
    w.Rec->SigData.ad_dnum = 0;
    w.Graph->PrintWave(bmp);
    EXPECT_EQ(bmp.PenWidth, 5);
    // Centre line 1 pixel (the fresh canvas's width), the two majors 5 each.
    EXPECT_EQ(CountInColumn(bmp.Image, 7, kGrey), 1 + 5 + 5);
    StepBlock(*w.Rec);
    w.Graph->PrintWave(bmp);
    EXPECT_EQ(CountInColumn(bmp.Image, 100, kRed), 5);
    EXPECT_EQ(CountInColumn(bmp.Image, 500, kRed), 5);
    // The spectrum drawn next on the same bitmap inherits the width.
    LineSpectrum(w.Rec->SigData, w.Rec->Spectrum.data(), 100);
    w.Graph->PrintSpectrum(bmp);
    EXPECT_EQ(CountInColumn(bmp.Image, 300, kRed), 5) << "the -120 dB floor line";
}

TEST(GraphSpectrum, LogAxisTraceWhereTheMappingsPutIt) {
    TGraphWindow w;
    LineSpectrum(w.Rec->SigData, w.Rec->Spectrum.data(), 100);
    w.Graph->DrawSpectrum(0);
    const QImage s = SpectrumImage(w);
    const TLogAxis ax = TraceLogAxis(0.1f, 5000.0f);
    const int x100 = LogX(582, 100, ax);
    EXPECT_EQ(Px(s, x100, 0), kRed);
    EXPECT_EQ(Px(s, LogX(582, 50, ax), 180), kRed) << "-120 dBV on a 0..-150 axis";
    EXPECT_FLOAT_EQ(w.Graph->SigdB[100], 0.0f);
    EXPECT_NEAR(w.Graph->SigdB[5], -120.0f, 1e-3);
    // Bin 1 (1 Hz) enters from the left edge, nothing right of bin 511.
    EXPECT_EQ(CountInColumn(s, LogX(582, 1, ax) - 1, kRed), 0);
    EXPECT_EQ(CountInColumn(s, LogX(582, 600, ax), kRed), 0);
}

TEST(GraphSpectrum, LinearAxisAndRelativeMode) {
    TGraphWindow w;
    w.Rec->FFTSetting.fLogGraph = 0;
    w.Rec->FFTSetting.index_FreqE = 12; // 1 kHz
    w.Rec->FFTSetting.fAbsoGraph = 0;
    LineSpectrum(w.Rec->SigData, w.Rec->Spectrum.data(), 100);
    w.Rec->Spectrum[100] = 0.5f; // relative: still the 0 dB line
    w.Graph->DrawSpectrum(0);
    const QImage s = SpectrumImage(w);
    EXPECT_EQ(Px(s, LinX(582, 300, 1000), dBY(225, -113.98f, MakedBAxis(w.Rec->FFTSetting))), kRed);
    EXPECT_EQ(CountInColumn(s, LinX(582, 600, 1000), kRed), 0) << "no bins beyond 511";
    EXPECT_EQ(Px(s, LinX(582, 200, 1000), 5), kSilver) << "200 Hz grid line (100 Hz step)";
}

// A block without signal (every code at 0 V) gives the empty grid and reads the floor, in
// both dB modes; an empty block draws nothing. A printout whose measurement draws no trace
// never shows what the bitmap held before (the waveform printed just before it).
TEST(GraphSpectrum, SilentBlockReadsTheFloorAndEmptyBlockKeepsThePicture) {
    TGraphWindow w;
    w.Graph->ClearGraphs();
    const QImage grid = SpectrumImage(w);
    FillSig(*w.Rec, 1024, 13, 0.0, 0);
    ASSERT_EQ(w.Rec->CodeBuf[5], 0x80000000u);
    for (uint8_t abso : {uint8_t{1}, uint8_t{0}}) {
        w.Rec->FFTSetting.fAbsoGraph = abso;
        LineSpectrum(w.Rec->SigData, w.Rec->Spectrum.data(), 100);
        w.Graph->DrawSpectrum(0);
        w.Graph->ShowPeak(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
        ASSERT_EQ(w.PeakEdits.EditPeakdB->text(), "0.00");
        FillSig(*w.Rec, 1024, 13, 0.0, 0);
        w.Graph->DrawSpectrum(0);
        EXPECT_EQ(SpectrumImage(w), grid) << "abso " << int{abso};
        w.Graph->ShowPeak(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
        EXPECT_EQ(w.PeakEdits.EditPeakdB->text(), "-150.00") << "abso " << int{abso};
        EXPECT_EQ(w.Graph->PeakBin, 1);
    }
    LineSpectrum(w.Rec->SigData, w.Rec->Spectrum.data(), 100);
    w.Graph->DrawSpectrum(0);
    const QImage line = SpectrumImage(w);
    w.Rec->SigData.ad_dnum = 0;
    w.Graph->DrawSpectrum(0);
    EXPECT_EQ(SpectrumImage(w), line);

    for (int n : {1024, 0}) {
        FillSig(*w.Rec, 1024, 13, 0.0, 0);
        w.Rec->SigData.ad_dnum = n;
        TGraphBitmap page(582, 225), fresh(582, 225);
        fresh.Image.fill(Qt::black);
        fresh.PenWidth = 5;
        w.Graph->PrintWave(page);
        w.Graph->PrintSpectrum(page);
        w.Graph->PrintSpectrum(fresh);
        EXPECT_EQ(page.Image, fresh.Image) << "n " << n;
        // At most the 5-pixel floor line, half of it below the bottom edge.
        EXPECT_EQ(CountColour(page.Image.copy(0, 0, 582, 222), kRed), 0) << "n " << n;
        EXPECT_EQ(CountColour(page.Image, 0), 0) << "n " << n;
    }
}

TEST(GraphSpectrum, OverlayMasksOnTheLogAxisAndXorsOnTheLinearOne) {
    TGraphWindow w;
    LineSpectrum(w.Rec->SigData, w.Rec->Spectrum.data(), 100);
    LineSpectrum(w.Rec->RefData, w.Rec->RefSpectrum.data(), 250);
    w.Graph->DrawSpectrumWithRef();
    QImage s = SpectrumImage(w);
    const TLogAxis ax = TraceLogAxis(0.1f, 5000.0f);
    EXPECT_EQ(Px(s, LogX(582, 50, ax), 180), kRed & kGrey) << "both on the floor line: AND";
    EXPECT_EQ(Px(s, LogX(582, 250, ax), 0), kGrey) << "reference alone over white";

    w.Rec->FFTSetting.fLogGraph = 0;
    w.Rec->FFTSetting.index_FreqE = 12;
    w.Graph->DrawSpectrumWithRef();
    s = SpectrumImage(w);
    EXPECT_EQ(Px(s, LinX(582, 50, 1000), 180), kRed ^ kGrey) << "both on the floor line: XOR";
    EXPECT_EQ(Px(s, LinX(582, 250, 1000), 0), kWhite ^ kGrey);
    EXPECT_EQ(Px(s, LinX(582, 200, 1000), 100), kSilver) << "the grid is left alone";
}

TEST(GraphSpectrum, OverlayWithoutMeasurementStartsAfresh) {
    TGraphWindow w;
    w.Rec->FFTSetting.fAbsoGraph = 0;
    LineSpectrum(w.Rec->RefData, w.Rec->RefSpectrum.data(), 200);
    w.Rec->RefSpectrum[200] = 0.25f;
    w.Graph->SpecBitmap.Image.fill(Qt::black);
    w.Graph->DrawSpectrumWithRef();
    const QImage s = SpectrumImage(w);
    EXPECT_EQ(CountColour(s, 0), 0) << "old picture gone";
    EXPECT_EQ(Px(s, LogX(582, 200, TraceLogAxis(0.1f, 5000.0f)), 0), kGrey)
        << "the reference is its own 0 dB";
}

TEST(GraphSpectrum, DegenerateLogAxisDrawsNoTraceAndNoFrequencyLines) {
    TGraphWindow w;
    w.Rec->FFTSetting.index_FreqS = w.Rec->FFTSetting.index_FreqE = 9;
    LineSpectrum(w.Rec->SigData, w.Rec->Spectrum.data(), 100);
    w.Redraw();
    EXPECT_EQ(CountColour(SpectrumImage(w), kRed), 0);
    EXPECT_EQ(CountInRow(SpectrumImage(w), 7, kSilver), 0);
    EXPECT_EQ(w.Graph->XToBin(584, 100), -1);
}

TEST(GraphPeak, LargestLineAndStepping) {
    TGraphWindow w;
    w.Rec->FFTSetting.whichWindowFunc = 0; // rectangular: a sine on a bin keeps its level
    FillSig(*w.Rec, 65536, 13, 1.0, 6554 * 0.152587890625, 0, 0.001, 3);
    w.Redraw();
    w.Graph->ShowPeak(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
    EXPECT_EQ(w.Graph->PeakBin, 6554);
    EXPECT_EQ(w.PeakEdits.EditPeakHz->text(), "1000.061");
    EXPECT_EQ(w.PeakEdits.PeakVoltUnit, "mVrms");
    EXPECT_NEAR(w.PeakEdits.EditPeakVolt->text().toDouble(), 707.1, 0.5);
    EXPECT_NEAR(w.PeakEdits.EditPeakdB->text().toDouble(), -3.01, 0.01);
    w.Graph->PeakForward(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
    EXPECT_EQ(w.Graph->CursorBin, 6555);
    w.Graph->PeakBack(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
    w.Graph->PeakBack(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
    EXPECT_EQ(w.Graph->CursorBin, 6553);
    EXPECT_EQ(w.PeakEdits.EditPeakHz->text(), "999.908");
}

TEST(GraphPeak, EndsOfTheBinRangeAndMousePresses) {
    TGraphWindow w;
    LineSpectrum(w.Rec->SigData, w.Rec->Spectrum.data(), 100);
    w.Rec->Spectrum[300] = 1.0f; // a tie: the lower bin wins
    w.Graph->DrawSpectrum(0);
    w.Graph->ShowPeak(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
    EXPECT_EQ(w.Graph->PeakBin, 100);
    EXPECT_EQ(w.PeakEdits.EditPeakVolt->text(), "1.000");
    w.Graph->ShowBin(511, w.PeakEdits, w.LabelPeakVolt);
    w.Graph->PeakForward(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
    EXPECT_EQ(w.Graph->CursorBin, 511);
    w.Graph->ShowBin(1, w.PeakEdits, w.LabelPeakVolt);
    w.Graph->PeakBack(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
    EXPECT_EQ(w.Graph->CursorBin, 1);
    EXPECT_EQ(w.PeakEdits.EditPeakVolt->text(), "1000.000") << "float 1e-6 lies below 1e-6";
    EXPECT_EQ(w.PeakEdits.PeakVoltUnit, "nVrms");
    // Presses outside the bins are clamped; no bin under the mouse changes nothing.
    w.Graph->ShowBin(99999, w.PeakEdits, w.LabelPeakVolt);
    EXPECT_EQ(w.Graph->CursorBin, 511);
    w.Graph->ShowBin(-1, w.PeakEdits, w.LabelPeakVolt);
    EXPECT_EQ(w.Graph->CursorBin, 511);
    EXPECT_EQ(w.Graph->XToBin(584, 583), 511) << "5 kHz is beyond the last bin";
    EXPECT_EQ(w.Graph->XToBin(584, 0), 1) << "0.1 Hz is below the first bin";
    w.Rec->FFTSetting.fLogGraph = 0;
    EXPECT_EQ(w.Graph->XToBin(584, 58), 496) << "linear: 58 * 5000 / 584 = 496.6 Hz";
    // Without a measurement nothing happens and nothing is read.
    w.Rec->SigData.ad_dnum = 0;
    w.Graph->ShowBin(5, w.PeakEdits, w.LabelPeakVolt);
    w.Graph->ShowPeak(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
    EXPECT_EQ(w.Graph->CursorBin, 511);
    EXPECT_EQ(w.Graph->XToBin(584, 100), -1);
}

TEST(GraphLabels, TextsAndPlacesOnTheWindow) {
    TGraphWindow w;
    w.Redraw();
    const auto& L = w.Labels;
    EXPECT_EQ(L[15 + 2]->text(), "0dBV");
    EXPECT_EQ(L[15 + 17]->text(), "-150dBV");
    // 15 divisions on 227 pixels: the label height decides the thinning.
    const int stride = dBLabelStride(L[15 + 2]->height(), 227.0f / 15);
    for (int j = 0; j <= 15; j++)
        EXPECT_EQ(L[static_cast<size_t>(15 + 2 + j)]->isHidden(), !dBLabelShown(j, 15, stride));
    EXPECT_TRUE(L[15 + 18]->isHidden());
    EXPECT_TRUE(L[15 + 1]->isHidden());
    EXPECT_EQ(L[0]->x(), 76);
    EXPECT_EQ(L[0]->y(), 268 + 227 + 5);
    EXPECT_EQ(L[14]->x(), 76 + 584 - L[14]->width() / 2);
    EXPECT_EQ(L[37]->text(), "2147483848");
    EXPECT_EQ(L[42]->text(), "6.554s");
    EXPECT_EQ(L[42]->x(), 76 + 584 - L[42]->width());
    EXPECT_EQ(L[38]->y(), 16 + 113 - L[38]->height() / 2);
    EXPECT_GE(L[37]->x(), 0) << "ten digits fill the margin";
    EXPECT_LE(L[37]->x() + L[37]->width(), 76);
    EXPECT_EQ(w.Graph->GetCodeMax(), 2147483848u);

    FillSig(*w.Rec, 1024, 13, 0.05, 100, 0, 0, 1);
    w.Rec->FFTSetting.fSig_Volt = 1;
    w.Redraw();
    EXPECT_EQ(L[42]->text(), "102.40ms");
    EXPECT_EQ(L[40]->text(), "[mV]");
    EXPECT_EQ(L[37]->text().toStdString(), FormatFixed(w.Graph->VoltTop * 1000.0, 1));
}

// Every shown label lies inside the window, off both graphs and clear of every other shown
// label, for codes and volts, both frequency axes, short and long blocks, and a font too wide
// for the usual margin (which then moves the graphs right).
TEST(GraphLabels, NoLabelIsCutOrOverlaps) {
    for (int px : {12, 17}) {
        TGraphWindow w;
        w.Main.setFont(FormFont(px));
        TFFTSetting& s = w.Rec->FFTSetting;
        const int ranges[][2] = {{0, 14}, {1, 14}, {9, 12}, {11, 14}, {4, 8}};
        for (int codes : {1, 0}) {
            for (int log : {1, 0}) {
                for (const auto& r : ranges) {
                    for (int n : {0, 1024, 2048}) { // 2048: a slow rate, a span in seconds
                        s.fSig_Volt = static_cast<uint8_t>(1 - codes);
                        s.fLogGraph = static_cast<uint8_t>(log);
                        s.index_FreqS = r[0];
                        s.index_FreqE = log == 1 ? r[1] : std::max(r[1], 6);
                        w.Rec->SigData.ad_dnum = 0;
                        if (n > 0) FillSig(*w.Rec, n, n > 1024 ? 0 : 13, 2.2, 1.3, 0, 1e-3);
                        w.Redraw();
                        std::vector<QRect> shown;
                        for (QLabel* l : w.Labels)
                            if (!l->isHidden()) shown.push_back(l->geometry());
                        const std::string at =
                            "px " + std::to_string(px) + " codes " + std::to_string(codes) +
                            " log " + std::to_string(log) + " " + std::to_string(r[0]) + ".." +
                            std::to_string(r[1]) + " n " + std::to_string(n);
                        for (size_t i = 0; i < shown.size(); i++) {
                            EXPECT_TRUE(QRect(0, 0, 800, 600).contains(shown[i])) << at;
                            EXPECT_FALSE(shown[i].intersects(w.PaintBox1->geometry())) << at;
                            EXPECT_FALSE(shown[i].intersects(w.PaintBox3->geometry())) << at;
                            for (size_t j = 0; j < i; j++)
                                EXPECT_FALSE(shown[i].intersects(shown[j]))
                                    << at << " " << shown[i].x() << "," << shown[i].y() << " "
                                    << shown[j].x() << "," << shown[j].y();
                        }
                        EXPECT_EQ(w.PaintBox1->geometry().right(), 76 + 584 - 1) << at;
                        if (px == 12) {
                            EXPECT_EQ(w.PaintBox1->x(), 76) << at;
                        }
                    }
                }
            }
        }
    }
}

TEST(GraphLabels, PrintedLabelsGoWhereTheRectangleSays) {
    TGraphWindow w;
    w.Redraw();
    QImage page(1200, 800, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter p(&page);
        const TPrintRect r{200, 100, 1000, 600};
        w.Graph->PrintFreqLabels(p, 2.0f, r);
        w.Graph->PrintdBLabels(p, 2.0f, r);
        w.Graph->PrintVoltLabels(p, 2.0f, r);
        w.Graph->PrintTimeLabels(p, 2.0f, r);
    }
    const auto dark = [&](int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                n += Px(page, x, y) != kWhite;
        return n;
    };
    EXPECT_GT(dark(200, 610, 260, 650), 10) << "0.1Hz under the left end";
    EXPECT_GT(dark(0, 80, 200, 120), 10) << "0dBV left of the top";
    EXPECT_EQ(dark(200, 100, 1000, 600), 0) << "nothing inside the graph";
}

// Both graphs of a large noisy block against QPainter drawing every segment of the same
// points over the same grid.
TEST(GraphRendering, EqualsEverySegmentWithQPainter) {
    TGraphWindow w;
    TFFTSetting& s = w.Rec->FFTSetting;
    s.fSig_Volt = 1;
    FillSig(*w.Rec, 262144, 13, 0.5, 1000, 0.1, 0.01, 5);
    const TSignalData& d = w.Rec->SigData;
    const auto drawAll = [](QImage img, const std::vector<QPoint>& p) {
        std::vector<QLine> l;
        for (size_t i = 1; i < p.size(); i++)
            l.emplace_back(p[i - 1], p[i]);
        QPainter painter(&img);
        painter.setPen(QColor(255, 0, 0));
        painter.drawLines(l.data(), static_cast<int>(l.size()));
        return img;
    };
    for (int log : {1, 0}) {
        s.fLogGraph = static_cast<uint8_t>(log);
        w.Graph->ClearGraphs();
        const QImage grid = SpectrumImage(w);
        w.Graph->DrawSpectrum(0);
        std::vector<QPoint> p;
        const TdBAxis dax = MakedBAxis(s);
        int j = 1, k = 0;
        if (log == 1)
            LogBinRange(d.deltaF, 131072, 0.1f, 5000.0f, j, k);
        else
            k = LinLastBin(d.deltaF, 131072, 5000.0f);
        for (int i = j; i <= k; i++) {
            const double f = static_cast<double>(i) * d.deltaF;
            p.emplace_back(log == 1 ? LogX(582, f, TraceLogAxis(0.1f, 5000.0f))
                                    : LinX(582, f, 5000),
                           dBY(225, w.Graph->SigdB[static_cast<size_t>(i)], dax));
        }
        EXPECT_GT(p.size(), 100000u);
        EXPECT_EQ(SpectrumImage(w), drawAll(grid, p)) << "log " << log;
    }
    // The empty grid of a block of the same length is the grid under the trace.
    s.DataCountMax = d.ad_dnum;
    w.Graph->ClearGraphs();
    const QImage grid = Wave(w);
    w.Graph->DrawWave(0);
    std::vector<QPoint> p;
    double mean = 0.0; // the DC cut: the codes' mean
    for (int i = 0; i < d.ad_dnum; i++)
        mean += d.pCode[i];
    mean /= d.ad_dnum;
    for (int i = 0; i < d.ad_dnum; i++)
        p.emplace_back(static_cast<int>((582LL * i) / d.ad_dnum),
                       WaveY(225, (d.pCode[i] - mean) * (2.5 / 2147483647.0), w.Graph->WaveBase,
                             w.Graph->WaveSpan));
    EXPECT_EQ(Wave(w), drawAll(grid, p));
}

// Settings no dialog produces and blocks with odd contents: nothing may crash or read outside
// the arrays (the sanitizer build runs this too).
TEST(GraphRobustness, OutOfRangeSettingsAndOddBlocks) {
    TGraphWindow w(300, 200);
    TFFTSetting& s = w.Rec->FFTSetting;
    FillSig(*w.Rec, 1024, 13, 0.1, 100);
    FillRef(*w.Rec, 2048, 0, 0.1, 0.3);
    w.Rec->Spectrum[7] = NAN;
    w.Rec->VoltBuf[9] = INFINITY;
    const int settings[][6] = {{-3, 40, -5, 30, 1, 1},
                               {14, 0, 20, 2, 0, 0},
                               {7, 7, 9, 9, 1, 0},
                               {0, 14, 2, 17, 0, 1},
                               {0, 14, 2, INT_MAX, 1, 1},
                               {0, 14, INT_MIN, INT_MAX, 0, 0},
                               {0, 14, INT_MAX, INT_MIN, 1, 0},
                               {INT_MIN, INT_MAX, -1, 1, 1, 1}};
    for (const auto& v : settings) {
        s.index_FreqS = v[0];
        s.index_FreqE = v[1];
        s.index_dB_max = v[2];
        s.index_dB_min = v[3];
        s.fLogGraph = static_cast<uint8_t>(v[4]);
        s.fSig_Volt = static_cast<uint8_t>(v[5]);
        s.DataCountMax = v[0] == INT_MIN ? INT_MAX : -v[0] * 1000;
        w.Redraw();
        w.Graph->DrawSpectrum(1);
        w.Graph->ShowPeak(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
        w.Graph->ShowBin(w.Graph->XToBin(w.PaintBox1->width(), 5), w.PeakEdits, w.LabelPeakVolt);
        w.Graph->PeakForward(w.Rec->SigData, w.PeakEdits, w.LabelPeakVolt);
        TGraphBitmap bmp(50, 30);
        w.Graph->PrintWave(bmp);
        w.Graph->PrintSpectrum(bmp);
        QImage page(200, 200, QImage::Format_RGB32);
        QPainter p(&page);
        w.Graph->PrintFreqLabels(p, 1.5f, {10, 10, 150, 150});
        w.Graph->PrintdBLabels(p, 1.5f, {10, 10, 150, 150});
        EXPECT_GE(w.Graph->CursorBin, 1);
        EXPECT_LE(w.Graph->CursorBin, 511);
    }
    // A window too small for the graphs still gets bitmaps.
    w.Main.resize(100, 100);
    w.Redraw();
    EXPECT_GE(w.Graph->SpecBitmap.Width(), 1);
}
