// What is drawn over the graphs: the readout marker, the harmonics of the largest line and
// the second marker on the spectrum, the time cursors on the waveform, their readouts (top
// right) and the span being dragged. Drawn at every paint of a box and into the printout,
// never into the screen bitmaps, so a marker moves without a redraw of the traces.
#include <QFont>
#include <QPolygon>
#include <algorithm>
#include <cmath>

#include "graph_fft.h"
#include "markers.h"
#include "signal_stats.h"
#include "ui_font.h"

namespace {

// A click snaps to the largest bin within this many pixels either side.
constexpr int SNAP_PIXELS = 5;

const QColor kMarker1(0, 150, 0);
const QColor kMarker2(200, 0, 200);
const QColor kHarmonic(230, 120, 0);
const QColor kSpanFill(0, 120, 215, 48);
const QColor kSpanEdge(0, 120, 215);

QFont OverlayFont(double scale) {
    QFont f(QString::fromUtf8(FORM_FONT_FAMILY));
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(12 * scale))));
    return f;
}

// A triangle pointing down with its tip at (x, y), and a caption above it.
void Triangle(QPainter& p, int x, int y, double scale, const QColor& c, bool filled,
              const QString& caption) {
    const int s = std::max(3, static_cast<int>(std::lround(6 * scale)));
    p.setFont(OverlayFont(scale * 0.9));
    const QFontMetrics fm(p.font());
    // The triangle and its caption stay inside the graph at the top.
    const int tipY = std::max(y - 1, 2 * s + fm.height());
    QPolygon tri;
    tri << QPoint(x, tipY) << QPoint(x - s, tipY - 2 * s) << QPoint(x + s, tipY - 2 * s);
    p.setPen(QPen(c, std::max(1.0, scale)));
    p.setBrush(filled ? QBrush(c) : QBrush(Qt::white));
    p.drawPolygon(tri);
    if (caption.isEmpty()) return;
    p.drawText(x - fm.horizontalAdvance(caption) / 2, tipY - 2 * s - fm.descent() - 1, caption);
}

// Lines of text in a framed white box at the top right corner.
void ReadoutBox(QPainter& p, int W, double scale, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    p.setFont(OverlayFont(scale));
    const QFontMetrics fm(p.font());
    int w = 0;
    for (const std::string& l : lines)
        w = std::max(w, fm.horizontalAdvance(QString::fromStdString(l)));
    const int pad = std::max(2, static_cast<int>(std::lround(4 * scale)));
    const int lh = fm.height();
    const QRect r(W - w - 3 * pad, pad, w + 2 * pad, lh * static_cast<int>(lines.size()) + pad);
    p.setPen(QPen(Qt::black, std::max(1.0, scale * 0.5)));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.setPen(Qt::black);
    for (size_t i = 0; i < lines.size(); i++)
        p.drawText(r.left() + pad, r.top() + pad / 2 + fm.ascent() + lh * static_cast<int>(i),
                   QString::fromStdString(lines[i]));
}

} // namespace

bool TGraph_FFT::BinX(int W, int bin, int& x) const {
    const TSignalData& sig = *pSigData;
    if (pFFTSetting == nullptr || !(sig.deltaF > 0) || bin < 1) return false;
    const double f = static_cast<double>(bin) * sig.deltaF;
    if (pFFTSetting->fLogGraph == 1) {
        const TLogAxis ax = TraceLogAxis(FreqS(), FreqE());
        if (!ax.valid || f < FreqS() * (1 - 1e-6) || f > FreqE() * (1 + 1e-6)) return false;
        x = LogX(W, f, ax);
        return true;
    }
    const double lo = FreqCustom() ? FreqView.Lo() : 0.0;
    if (!(FreqE() > 0) || f < lo || f > FreqE() * (1 + 1e-6)) return false;
    x = LinAxisX(W, f);
    return true;
}

std::vector<std::string> TGraph_FFT::MarkerReadout() const {
    const TSignalData& sig = *pSigData;
    const int bins = BlockBinCount(sig);
    if (Marker2Bin < 1 || Marker2Bin >= bins || CursorBin < 1 || CursorBin >= bins) return {};
    const double df = (Marker2Bin - CursorBin) * static_cast<double>(sig.deltaF);
    const double ddb = static_cast<double>(SigdB[static_cast<size_t>(Marker2Bin)]) -
                       SigdB[static_cast<size_t>(CursorBin)];
    return {DeltaFreqText(df), DeltadBText(ddb)};
}

std::vector<std::string> TGraph_FFT::CursorReadout() const {
    if (!CursorOn[0] || !CursorOn[1] || pFFTSetting == nullptr) return {};
    const TSignalData& d = BlockCount(*pSigData) > 0 ? *pSigData : *pRefData;
    const int n = BlockCount(d);
    if (n == 0 || !(d.periodMs > 0)) return {};
    const auto sample = [&](double t) {
        return static_cast<int>(std::clamp(std::round(t / d.periodMs), 0.0, n - 1.0));
    };
    const int a = sample(CursorMs[0]), b = sample(CursorMs[1]);
    const bool volts = pFFTSetting->fSig_Volt == 1;
    const double dv =
        volts ? WaveVolt(d.pCode[b], d.pCode[a]) : static_cast<double>(d.pCode[b]) - d.pCode[a];
    const double dt = CursorMs[1] - CursorMs[0];
    return {DeltaTimeText(dt), InverseTimeText(dt), DeltaLevelText(dv, volts)};
}

void TGraph_FFT::DrawDragSpan(QPainter& p, int box, int H) const {
    if (Drag.box != box || !Drag.moved || Drag.pan) return;
    const int a = std::min(Drag.x0, Drag.x) - 1, b = std::max(Drag.x0, Drag.x) - 1;
    p.fillRect(QRect(a, 0, b - a + 1, H), kSpanFill);
    p.setPen(kSpanEdge);
    p.drawLine(a, 0, a, H);
    p.drawLine(b, 0, b, H);
}

void TGraph_FFT::DrawSpecOverlay(QPainter& p, int W, int H, double scale, bool print) const {
    if (pFFTSetting == nullptr) return;
    p.save();
    if (!print) DrawDragSpan(p, 0, H);
    const TSignalData& sig = *pSigData;
    const int bins = BlockBinCount(sig), n = BlockCount(sig);
    const TdBAxis dax = MakedBAxis(*pFFTSetting);
    if ((SpecDrawn || print) && bins > 0 && dax.valid) {
        const auto yOf = [&](int bin) { return dBY(H, SigdB[static_cast<size_t>(bin)], dax); };
        int x = 0;
        // Harmonics of the largest line, each with its number.
        size_t had = 0;
        for (int h = 2; h <= 6 && PeakBin >= 1 && PeakBin < bins; h++) {
            const std::vector<int> hb = HarmonicBins(PeakBin, n, h);
            if (hb.size() == had) continue;
            had = hb.size();
            const int bin = hb.back();
            if (bin >= 1 && bin < bins && BinX(W, bin, x))
                Triangle(p, x, yOf(bin), scale * 0.8, kHarmonic, false, QString::number(h));
        }
        if (Marker2Bin >= 1 && Marker2Bin < bins && BinX(W, Marker2Bin, x))
            Triangle(p, x, yOf(Marker2Bin), scale, kMarker2, true, QStringLiteral("M2"));
        if (CursorBin >= 1 && CursorBin < bins && BinX(W, CursorBin, x))
            Triangle(p, x, yOf(CursorBin), scale, kMarker1, true, QStringLiteral("M1"));
        ReadoutBox(p, W, scale, MarkerReadout());
    }
    p.restore();
}

void TGraph_FFT::DrawWaveOverlay(QPainter& p, int W, int H, double scale, bool print) const {
    if (pFFTSetting == nullptr) return;
    p.save();
    if (!print) DrawDragSpan(p, 1, H);
    if ((WaveDrawn || print) && TimeView.Valid() &&
        (BlockCount(*pSigData) > 0 || BlockCount(*pRefData) > 0)) {
        p.setFont(OverlayFont(scale));
        const QFontMetrics fm(p.font());
        for (size_t i = 0; i < 2; i++) {
            if (!CursorOn[i]) continue;
            const double px = TimeView.ToPixel(CursorMs[i], W);
            if (px < -1 || px > W + 1) continue;
            const int x = TruncPixel(px);
            const QColor c = i == 0 ? kMarker1 : kMarker2;
            p.setPen(QPen(c, std::max(1.0, scale), Qt::DashLine));
            p.drawLine(x, 0, x, H);
            p.setPen(c);
            p.drawText(x + 3, fm.ascent() + 1, QString::number(i + 1));
        }
        ReadoutBox(p, W, scale, CursorReadout());
    }
    p.restore();
}

int TGraph_FFT::SnapBin(int width, int x) const {
    const int bin = XToBin(width, x);
    if (bin < 1) return bin;
    const int lo = XToBin(width, x - SNAP_PIXELS), hi = XToBin(width, x + SNAP_PIXELS);
    const int radius = std::max({0, bin - lo, hi - bin});
    const int snapped = SnapToPeak(pSigData->pSpectrum, BlockCount(*pSigData), bin, radius);
    return snapped >= 1 ? snapped : bin;
}

void TGraph_FFT::PeakNext(const TSignalData& sig, TPeakEdits& edits, QLabel* labelPeakVolt,
                          int dir) {
    const int n = BlockCount(sig);
    if (BlockBinCount(sig) == 0 || (dir != 1 && dir != -1)) return;
    const float floor = SpectrumMedian(sig.pSpectrum, n);
    const int b = NextLineBin(sig.pSpectrum, n, CursorBin, dir, floor);
    if (b == CursorBin || b < 1) return;
    CursorBin = ClampBin(b, n);
    WriteReadouts(sig, CursorBin, edits, labelPeakVolt);
    // A zoomed spectrum follows a marker that leaves it.
    const double f = CursorBin * static_cast<double>(sig.deltaF);
    if (FreqCustom() && !FreqView.IsFull() && (f < FreqView.Lo() || f > FreqView.Hi()) &&
        FreqView.CentreOn(f))
        ViewChanged(0);
}
