// The spectrum graph: one block on a logarithmic or linear axis, the reference overlay, the
// printed variant and the grids.
#include "graph_fft.h"

#include <algorithm>
#include <cmath>

#include "signal_stats.h"

void TGraph_FFT::ToDecibels(const float* spectrum, int n, float* target) const {
    const TdBAxis ax = MakedBAxis(*pFFTSetting);
    const bool abso = pFFTSetting->fAbsoGraph == 1;
    // A redraw for a new view keeps the data: the levels of the last conversion into this
    // target still hold when nothing they depend on has changed.
    TdBKey& key = target == RefdB.data() ? RefdBKey : SigdBKey;
    const TdBKey now{spectrum, n, ax.F, abso, SpecMax, true};
    if (ViewRedraw && key == now) return;
    ::ToDecibels(spectrum, n, target, ax.F, abso, SpecMax);
    key = target == RefdB.data() || target == SigdB.data() ? now : TdBKey{};
}

void TGraph_FFT::DrawdBLines(TGraphBitmap& b, int64_t n) {
    const QRgb sub = ColorRefToRgb(pFFTSetting->PenColorSubAxis);
    DrawGridLines(b, dBGridLines(b.Height(), n), false, sub, sub);
}

void TGraph_FFT::DrawLinFreqLines(TGraphBitmap& b, float fE) {
    if (FreqCustom()) {
        DrawViewFreqLines(b, false);
        return;
    }
    const QRgb sub = ColorRefToRgb(pFFTSetting->PenColorSubAxis);
    DrawGridLines(b, LinFreqGridLines(b.Width(), fE), true, sub, sub);
}

void TGraph_FFT::DrawLogFreqLines(TGraphBitmap& b) {
    if (FreqCustom()) {
        DrawViewFreqLines(b, true);
        return;
    }
    DrawGridLines(b, LogFreqGridLines(b.Width(), FreqS(), FreqE()), true,
                  ColorRefToRgb(pFFTSetting->PenColorSubAxis),
                  ColorRefToRgb(pFFTSetting->PenColorMainAxis));
}

void TGraph_FFT::DrawLinGrid(TGraphBitmap& b) {
    DrawdBLines(b, MakedBAxis(*pFFTSetting).D);
    DrawLinFreqLines(b, FreqE());
}

void TGraph_FFT::DrawLogGrid(TGraphBitmap& b) {
    DrawdBLines(b, LogGriddBDivisions(MakedBAxis(*pFFTSetting).D));
    DrawLogFreqLines(b);
}

void TGraph_FFT::DrawLogTrace(TGraphBitmap& b, const float* dB, int j, int k, QRgb colour,
                              TPenMode mode) {
    const TLogAxis ax = TraceLogAxis(FreqS(), FreqE());
    const TdBAxis dax = MakedBAxis(*pFFTSetting);
    if (!ax.valid || !dax.valid) return; // a degenerate axis has no place for a trace
    const int W = b.Width(), H = b.Height();
    const double df = DrawDeltaF;
    const auto X = [&](int i) { return LogX(W, i * df, ax); };
    TTraceDraw t(b.Image, colour, mode, b.PenWidth, &b == &SpecBitmap ? &TraceScratch : nullptr);
    // x grows with the bin, and thousands of high bins share a column: the logarithms are
    // taken only where a column may end (a galloping search), not once per bin.
    int i = j, x = X(j);
    while (true) {
        t.Point(x, dBY(H, dB[i], dax));
        if (i >= k) break;
        int next = i + 1, nx = X(next);
        if (nx == x) {
            int lo = next, step = 1, hi = k;
            while (lo < k) {
                const int probe = lo + step < k ? lo + step : k;
                if (X(probe) != x) {
                    hi = probe;
                    break;
                }
                lo = probe;
                step *= 2;
            }
            if (lo < hi) {
                while (hi - lo > 1) { // X(lo) == x, X(hi) != x
                    const int mid = lo + (hi - lo) / 2;
                    (X(mid) == x ? lo : hi) = mid;
                }
            }
            for (int m = next; m <= lo; m++)
                t.Point(x, dBY(H, dB[m], dax));
            if (lo >= k) break;
            next = lo + 1;
            nx = X(next);
        }
        i = next;
        x = nx;
    }
}

void TGraph_FFT::DrawLinTrace(TGraphBitmap& b, const float* dB, int first, int last, QRgb colour,
                              TPenMode mode) {
    const float fE = FreqE();
    const TdBAxis dax = MakedBAxis(*pFFTSetting);
    if (!(fE > 0) || !dax.valid) return;
    const int W = b.Width(), H = b.Height();
    TTraceDraw t(b.Image, colour, mode, b.PenWidth, &b == &SpecBitmap ? &TraceScratch : nullptr);
    for (int i = first; i <= last; i++)
        t.Point(LinAxisX(W, static_cast<double>(i) * DrawDeltaF), dBY(H, dB[i], dax));
}

int TGraph_FFT::LinFirstBin() const {
    if (!FreqCustom() || !(DrawDeltaF > 0)) return 1;
    const double f = std::floor(FreqView.Lo() / DrawDeltaF);
    return f > 1 ? static_cast<int>(std::min<double>(f, BinCount)) : 1;
}

int TGraph_FFT::LinAxisX(int W, double f) const {
    if (FreqCustom()) return TruncPixel(FreqView.ToPixel(f, W));
    return LinX(W, f, FreqE());
}

void TGraph_FFT::DrawViewFreqLines(TGraphBitmap& b, bool log) {
    const TViewGrid g = FreqViewGrid(FreqView, b.Width(), TGridLines::CAPACITY);
    TGridLines lines;
    for (size_t i = 0; i < g.pos.size(); i++)
        lines.Add(g.pos[i], g.major[i]);
    const QRgb sub = ColorRefToRgb(pFFTSetting->PenColorSubAxis);
    DrawGridLines(b, lines, true, sub, log ? ColorRefToRgb(pFFTSetting->PenColorMainAxis) : sub);
}

bool TGraph_FFT::TakeSpectrumBlock(const TSignalData& d) {
    DrawDeltaF = d.deltaF;
    BinCount = BlockBinCount(d);
    if (BinCount == 0) return false;
    SpecMax = SpectrumMax(d.pSpectrum, BinCount);
    return true;
}

QRgb TGraph_FFT::TraceColour(int which) const {
    return ColorRefToRgb(which == 1 ? pFFTSetting->PenColorRefGraph : pFFTSetting->PenColorGraph);
}

bool TGraph_FFT::DrawLogSpectrum(TGraphBitmap& b, int which) {
    const TSignalData& d = Block(which);
    if (!TakeSpectrumBlock(d)) return false;
    int j = 0, k = 0;
    const bool any = LogBinRange(DrawDeltaF, BinCount, FreqS(), FreqE(), j, k);
    ToDecibels(d.pSpectrum, BinCount, SigdB.data());
    b.Image.fill(Qt::white);
    DrawLogGrid(b);
    const QRgb colour = TraceColour(which);
    if (any) DrawLogTrace(b, SigdB.data(), j, k, colour, TPenMode::Copy);
    if (&b == &SpecBitmap) SpecDrawn = true;
    return true;
}

bool TGraph_FFT::DrawLinSpectrum(TGraphBitmap& b, int which) {
    const TSignalData& d = Block(which);
    if (!TakeSpectrumBlock(d)) return false;
    const int last = LinLastBin(DrawDeltaF, BinCount, FreqE());
    ToDecibels(d.pSpectrum, BinCount, SigdB.data());
    b.Image.fill(Qt::white);
    DrawLinGrid(b);
    const QRgb colour = TraceColour(which);
    const int first = LinFirstBin();
    if (last >= 2 && last > first)
        DrawLinTrace(b, SigdB.data(), first, last, colour, TPenMode::Copy);
    if (&b == &SpecBitmap) SpecDrawn = true;
    return true;
}

// Reference part of an overlay. Without a drawn measurement the picture starts afresh (the
// bitmap may still hold anything, for a printout the waveform); without a largest line of
// the measurement the reference is its own 0 dB. False when there is no reference to draw.
bool TGraph_FFT::PrepareOverlay(TGraphBitmap& b, bool measurementDrawn, bool log) {
    if (!measurementDrawn) {
        b.Image.fill(Qt::white);
        if (log)
            DrawLogGrid(b);
        else
            DrawLinGrid(b);
    }
    const bool haveMax = measurementDrawn && SpecMax > 0;
    const TSignalData& ref = *pRefData;
    if (BlockCount(ref) == 0) return false;
    DrawDeltaF = ref.deltaF;
    BinCount = BlockBinCount(ref);
    if (BinCount == 0) return false;
    if (!haveMax) SpecMax = SpectrumMax(ref.pSpectrum, BinCount);
    ToDecibels(ref.pSpectrum, BinCount, RefdB.data());
    return true;
}

void TGraph_FFT::DrawLogSpectrumWithRef(TGraphBitmap& b, bool print) {
    const bool drawn = DrawLogSpectrum(b, 0);
    if (&b == &SpecBitmap) SpecDrawn = true;
    if (!PrepareOverlay(b, drawn, true)) return;
    int j = 0, k = 0;
    b.PenWidth = print ? 5 : 1;
    if (LogBinRange(DrawDeltaF, BinCount, FreqS(), FreqE(), j, k))
        DrawLogTrace(b, RefdB.data(), j, k, ColorRefToRgb(pFFTSetting->PenColorRefGraph),
                     TPenMode::Mask);
}

void TGraph_FFT::DrawLinSpectrumWithRef(TGraphBitmap& b, bool print) {
    const bool drawn = DrawLinSpectrum(b, 0);
    if (&b == &SpecBitmap) SpecDrawn = true;
    if (!PrepareOverlay(b, drawn, false)) return;
    const int last = LinLastBin(DrawDeltaF, BinCount, FreqE());
    b.PenWidth = print ? 5 : 1;
    const int first = LinFirstBin();
    if (last >= 2 && last > first)
        DrawLinTrace(b, RefdB.data(), first, last, ColorRefToRgb(pFFTSetting->PenColorRefGraph),
                     TPenMode::Xor);
}

void TGraph_FFT::DrawSpectrum(int which) {
    if (pFFTSetting == nullptr || pADSetting == nullptr) return;
    which = which == 1 ? 1 : 0;
    UpdateFreqView();
    if (pFFTSetting->fLogGraph == 1)
        DrawLogSpectrum(SpecBitmap, which);
    else
        DrawLinSpectrum(SpecBitmap, which);
    PaintSpectrum();
}

void TGraph_FFT::DrawSpectrumWithRef() {
    if (pFFTSetting == nullptr || pADSetting == nullptr) return;
    UpdateFreqView();
    if (pFFTSetting->fLogGraph == 1)
        DrawLogSpectrumWithRef(SpecBitmap, false);
    else
        DrawLinSpectrumWithRef(SpecBitmap, false);
    PaintSpectrum();
}

void TGraph_FFT::PrintSpectrum(TGraphBitmap& bitmap) {
    if (pFFTSetting == nullptr || pADSetting == nullptr) return;
    UpdateFreqView();
    if (pFFTSetting->fLogGraph == 1)
        DrawLogSpectrumWithRef(bitmap, true);
    else
        DrawLinSpectrumWithRef(bitmap, true);
    // Markers and readouts as the window shows them.
    const double scale = static_cast<double>(bitmap.Width()) / std::max(1, SpecBitmap.Width());
    QPainter p(&bitmap.Image);
    DrawSpecOverlay(p, bitmap.Width(), bitmap.Height(), scale, true);
}
