// The waveform graph: one block, both blocks on one time axis, the printed variant and the
// grid.
#include "graph_fft.h"

#include <algorithm>
#include <cmath>

#include "tables.h"

namespace {

constexpr QRgb kSilver = 0xFFC0C0C0u;

} // namespace

void TGraph_FFT::DrawVoltLines(TGraphBitmap& b, int count, bool print) {
    if (count < 2) return;
    const int W = b.Width(), H = b.Height();
    const QRgb main = ColorRefToRgb(pFFTSetting->PenColorMainAxis);
    {
        // The centre line keeps whatever width the canvas has.
        QPainter p(&b.Image);
        p.setPen(QPen(QColor(main), b.PenWidth));
        p.drawLine(0, H / 2, W, H / 2);
    }
    b.PenWidth = print ? 5 : 1;
    DrawGridLines(b, WaveVoltGridLines(H, count), false,
                  ColorRefToRgb(pFFTSetting->PenColorSubAxis), main);
}

void TGraph_FFT::DrawTimeLines(TGraphBitmap& b, float span, bool print) {
    b.PenWidth = print ? 5 : 1;
    DrawGridLines(b, WaveTimeGridLines(b.Width(), span), true, kSilver, kSilver);
}

// A time axis of another length resets the view and drops the cursors: their times belonged
// to other data.
void TGraph_FFT::SetTimeFull(double span, double minSpan) {
    const bool same = TimeView.Valid() && TimeView.FullLo() == 0 && TimeView.FullHi() == span;
    TimeView.SetFull(0, span, false, minSpan);
    if (!same) CursorOn = {};
}

float TGraph_FFT::WaveAxisSpan(const TSignalData& d) const {
    if (LiveBlockSamples <= BlockCount(d) || !(d.periodMs > 0)) return BlockSpanMs(d);
    return d.periodMs * static_cast<float>(std::min(LiveBlockSamples, DATA_BUF_LEN));
}

void TGraph_FFT::DrawEmptyWaveGrid() {
    DrawVoltLines(WaveBitmap, 5, false);
    const float span = SamplePeriodMs(pADSetting->spsSel, pADSetting->sinc3) *
                       static_cast<float>(pFFTSetting->DataCountMax);
    DrawTimeLines(WaveBitmap, span, false);
    TimeSpan = span;
    SetTimeFull(span, 0);
}

// One trace: sample i at x = trunc(W * (i * period / span)), or at (W * i) / n when period is
// 0 (a block drawn alone fills the width). A zoomed time axis draws the samples inside the
// view only (one more on either side, so the trace reaches the edges), with a dot on every
// sample when they are at least 6 pixels apart.
void TGraph_FFT::DrawWaveTrace(TGraphBitmap& b, const TSignalData& d, QRgb colour, TPenMode mode,
                               double period, double span) {
    const int n = BlockCount(d);
    if (n == 0) return;
    const int W = b.Width(), H = b.Height();
    const bool volts = pFFTSetting->fSig_Volt == 1;
    double base = WaveBase, height = WaveSpan;
    if (!volts) {
        // Codes near 2^31 lose up to 128 codes as floats: the mapping uses the exact range.
        height = static_cast<double>(CodeMax - CodeMin) * 1.5;
        base = CodeMax * 0.5 + CodeMin * 0.5 - height * 0.5;
    }
    const double dc = volts ? WaveDcCode(d, pFFTSetting->fDCCut_SigGraph == 1) : 0.0;
    const bool spread = period > 0 && span > 0;
    TTraceDraw t(b.Image, colour, mode, b.PenWidth,
                 &b == &SpecBitmap || &b == &WaveBitmap ? &TraceScratch : nullptr);
    const double per = d.periodMs;
    if (TimeZoomed() && per > 0) {
        const double t0 = TimeView.Lo(), t1 = TimeView.Hi();
        const int i0 = static_cast<int>(std::clamp(std::floor(t0 / per) - 1, 0.0, n - 1.0));
        const int i1 = static_cast<int>(std::clamp(std::ceil(t1 / per) + 1, 0.0, n - 1.0));
        const auto X = [&](int i) { return TruncPixel(W * ((i * per - t0) / (t1 - t0))); };
        const auto Y = [&](int i) {
            const double v = volts ? WaveVolt(d.pCode[i], dc) : d.pCode[i];
            return WaveY(H, v, base, height);
        };
        for (int i = i0; i <= i1; i++)
            t.Point(X(i), Y(i));
        t.Finish();
        if ((t1 - t0) / per * 6 > W) return;
        QPainter p(&b.Image);
        p.setCompositionMode(PenModeComposition(mode == TPenMode::Xor ? TPenMode::Copy : mode));
        const int r = b.PenWidth + 1;
        for (int i = i0; i <= i1; i++)
            p.fillRect(X(i) - r, Y(i) - r, 2 * r + 1, 2 * r + 1, QColor(colour));
        return;
    }
    for (int i = 0; i < n; i++) {
        const int x = spread ? TruncPixel(W * (i * period / span))
                             : static_cast<int>((static_cast<int64_t>(W) * i) / n);
        const double v = volts ? WaveVolt(d.pCode[i], dc) : d.pCode[i];
        t.Point(x, WaveY(H, v, base, height));
    }
}

void TGraph_FFT::DrawWaveOne(TGraphBitmap& b, int which) {
    const TSignalData& d = Block(which);
    b.Image.fill(Qt::white);
    DrawVoltLines(b, 5, false);
    const float span = WaveAxisSpan(d);
    DrawTimeLines(b, span, false);
    TimeSpan = span;
    SetTimeFull(span, 8.0 * d.periodMs);
    if (&b == &WaveBitmap) WaveDrawn = true;
    const QRgb colour =
        ColorRefToRgb(which == 1 ? pFFTSetting->PenColorRefGraph : pFFTSetting->PenColorGraph);
    if (pFFTSetting->fSig_Volt == 1) {
        SetVoltRange(VoltRangeOne(d, pFFTSetting->fDCCut_SigGraph == 1));
        WaveSpan = (VoltTop - VoltBottom) * 1.5;
        WaveBase = (VoltTop + VoltBottom) * 0.5 - WaveSpan * 0.5;
    } else {
        SetCodeRange(CodeRangeOne(d));
        WaveSpan = static_cast<float>(CodeMax - CodeMin) * 1.5f;
        WaveBase = static_cast<float>(CodeMax * 0.5 + CodeMin * 0.5 - WaveSpan * 0.5);
    }
    // A block drawn alone fills the width; one being collected starts at the left.
    const bool partial = span != BlockSpanMs(d);
    DrawWaveTrace(b, d, colour, TPenMode::Copy, partial ? d.periodMs : 0, partial ? span : 0);
}

void TGraph_FFT::DrawWaveTwo(TGraphBitmap& b, bool print) {
    const TSignalData &sig = *pSigData, &ref = *pRefData;
    b.Image.fill(Qt::white);
    DrawVoltLines(b, 5, print);
    const float Sm = BlockSpanMs(sig), Sr = BlockSpanMs(ref);
    const float T = Sm > Sr ? Sm : Sr;
    DrawTimeLines(b, T, print);
    TimeSpan = T;
    const double per = BlockCount(sig) > 0 ? sig.periodMs : ref.periodMs;
    SetTimeFull(T, 8.0 * per);
    if (&b == &WaveBitmap) WaveDrawn = true;
    b.PenWidth = print ? 5 : 1;
    if (pFFTSetting->fSig_Volt == 1) {
        SetVoltRange(VoltRangeBoth(sig, ref, pFFTSetting->fDCCut_SigGraph == 1));
        WaveSpan = (VoltTop - VoltBottom) * 1.5;
        WaveBase = (VoltTop + VoltBottom) * 0.5 - WaveSpan * 0.5;
    } else {
        SetCodeRange(CodeRangeBoth(sig, ref));
        WaveSpan = static_cast<float>(CodeMax - CodeMin) * 1.5f;
        WaveBase = static_cast<float>(CodeMax * 0.5 + CodeMin * 0.5 - WaveSpan * 0.5);
    }
    DrawWaveTrace(b, sig, ColorRefToRgb(pFFTSetting->PenColorGraph), TPenMode::Copy, sig.periodMs,
                  T);
    DrawWaveTrace(b, ref, ColorRefToRgb(pFFTSetting->PenColorRefGraph), TPenMode::Mask,
                  ref.periodMs, T);
}

void TGraph_FFT::DrawWave(int which) {
    if (pFFTSetting == nullptr || pADSetting == nullptr) return;
    DrawWaveOne(WaveBitmap, which == 1 ? 1 : 0);
    PaintWave();
}

void TGraph_FFT::DrawWaveWithRef() {
    if (pFFTSetting == nullptr || pADSetting == nullptr) return;
    DrawWaveTwo(WaveBitmap, false);
    PaintWave();
}

void TGraph_FFT::PrintWave(TGraphBitmap& bitmap) {
    if (pFFTSetting == nullptr || pADSetting == nullptr) return;
    DrawWaveTwo(bitmap, true);
    const double scale = static_cast<double>(bitmap.Width()) / std::max(1, WaveBitmap.Width());
    QPainter p(&bitmap.Image);
    DrawWaveOverlay(p, bitmap.Width(), bitmap.Height(), scale, true);
}

void TGraph_FFT::DrawGridLines(TGraphBitmap& b, const TGridLines& g, bool vertical, QRgb minor,
                               QRgb major) {
    const int W = b.Width(), H = b.Height();
    QPainter p(&b.Image);
    for (int i = 0; i < g.count; i++) {
        p.setPen(QPen(QColor(g.major[i] ? major : minor), b.PenWidth));
        const int v = g.pos[i];
        if (vertical)
            p.drawLine(v, 0, v, H);
        else
            p.drawLine(0, v, W, v);
    }
}
