// Zoom and pan of both graphs: the views' full ranges, the mouse gestures and the redraw
// after a change. Gestures: left drag a span to zoom in, Shift + left drag or a middle drag
// to pan, the wheel zooms around the pointer, a double click shows the full range. A click
// without a drag: on the spectrum the readout marker (plain) or the second marker (Ctrl, or
// the right button); on the waveform cursor 1 (plain) or cursor 2 (Ctrl, or the right button).
#include <cmath>

#include "graph_fft.h"
#include "signal_stats.h"

namespace {

// Pixels a press may move and still count as a click.
constexpr int CLICK_SLOP = 3;
// Zoom factor of one wheel notch (120 eighths of a degree).
constexpr double WHEEL_FACTOR = 0.8;

} // namespace

bool TGraph_FFT::FreqCustom() const {
    return FreqView.Valid() && (FreqAuto || !FreqView.IsFull());
}

void TGraph_FFT::UpdateFreqView() {
    if (pFFTSetting == nullptr) return;
    const bool log = pFFTSetting->fLogGraph == 1;
    const TSignalData& d = BlockBinCount(*pSigData) > 0 ? *pSigData : *pRefData;
    TFreqRange r;
    FreqAuto = pExtSetting != nullptr && pExtSetting->freqAuto == 1 && BlockBinCount(d) > 0 &&
               AutoFreqRange(d.deltaF, d.periodMs, log, r);
    if (!FreqAuto) {
        r.lo = log ? FreqScaleValue(pFFTSetting->index_FreqS) : 0.0;
        r.hi = FreqScaleValue(pFFTSetting->index_FreqE);
    }
    const double df = BlockBinCount(d) > 0 && d.deltaF > 0 ? d.deltaF : 0.0;
    FreqView.SetFull(r.lo, r.hi, log, 8 * df);
}

void TGraph_FFT::ConnectBoxes() {
    const auto hook = [this](TPaintBox* box, int which) {
        if (box == nullptr) return;
        BoxConnections.push_back(QObject::connect(
            box, &TPaintBox::MousePressed, box,
            [this, which](int x, int y, Qt::MouseButton b, Qt::KeyboardModifiers m) {
                MousePress(which, x, y, b, m);
            }));
        BoxConnections.push_back(
            QObject::connect(box, &TPaintBox::MouseMoved, box,
                             [this, which](int x, int y) { MouseMove(which, x, y); }));
        BoxConnections.push_back(
            QObject::connect(box, &TPaintBox::MouseReleased, box,
                             [this, which](int x, int y) { MouseRelease(which, x, y); }));
        BoxConnections.push_back(QObject::connect(
            box, &TPaintBox::WheelTurned, box,
            [this, which](int x, int, int delta) { MouseWheel(which, x, delta); }));
        BoxConnections.push_back(
            QObject::connect(box, &TPaintBox::DoubleClicked, box,
                             [this, which](int x, int) { MouseDoubleClick(which, x); }));
        if (which == 0)
            BoxConnections.push_back(QObject::connect(
                box, &TPaintBox::KeyPressed, box, [this](int key, Qt::KeyboardModifiers m) {
                    const int dir = key == Qt::Key_Right ? 1 : key == Qt::Key_Left ? -1 : 0;
                    if (dir != 0 && OnSpectrumStep) OnSpectrumStep(dir, !(m & Qt::ShiftModifier));
                }));
    };
    hook(SpecBox, 0);
    hook(WaveBox, 1);
    if (SpecBox)
        SpecBox->SetOverlay([this](QPainter& p) {
            DrawSpecOverlay(p, SpecBitmap.Width(), SpecBitmap.Height(), 1.0, false);
        });
    if (WaveBox)
        WaveBox->SetOverlay([this](QPainter& p) {
            DrawWaveOverlay(p, WaveBitmap.Width(), WaveBitmap.Height(), 1.0, false);
        });
}

void TGraph_FFT::ViewChanged(int box) {
    if (pFFTSetting == nullptr || pADSetting == nullptr) return;
    bool data = BlockCount(*pSigData) > 0, ref = BlockCount(*pRefData) > 0;
    if (ShownBlocks) ShownBlocks(data, ref);
    if (!data && !ref) return;
    const int which = data ? 0 : 1;
    ViewRedraw = true;
    if (box != 1) {
        if (data && ref)
            DrawSpectrumWithRef();
        else
            DrawSpectrum(which);
    }
    if (box != 0 && pFFTSetting->fWaveGraph == 1) {
        if (data && ref)
            DrawWaveWithRef();
        else
            DrawWave(which);
    }
    ViewRedraw = false;
    SetFreqLabelTexts();
    PlaceFreqLabels();
    if (pFFTSetting != nullptr && pFFTSetting->fWaveGraph == 1) {
        SetTimeLabelTexts();
        PlaceTimeLabels();
    }
}

void TGraph_FFT::MousePress(int box, int x, int, Qt::MouseButton button,
                            Qt::KeyboardModifiers mods) {
    Drag = {};
    if (box == 0 ? !SpecDrawn : !WaveDrawn) return;
    Drag.box = box;
    Drag.x0 = Drag.x = x;
    Drag.button = button;
    Drag.mods = mods;
    Drag.pan =
        button == Qt::MiddleButton || (button == Qt::LeftButton && (mods & Qt::ShiftModifier));
}

void TGraph_FFT::MouseMove(int box, int x, int) {
    if (Drag.box != box) return;
    if (std::abs(x - Drag.x0) > CLICK_SLOP) Drag.moved = true;
    if (!Drag.moved) return;
    if (Drag.pan) {
        TAxisView& v = box == 0 ? FreqView : TimeView;
        const int W = box == 0 ? SpecBitmap.Width() : WaveBitmap.Width();
        const int dx = x - Drag.x;
        Drag.x = x;
        if (v.Pan(dx, W)) ViewChanged(box);
        return;
    }
    Drag.x = x;
    TPaintBox* b = box == 0 ? SpecBox.data() : WaveBox.data();
    if (b != nullptr) b->update(); // the span being dragged
}

void TGraph_FFT::MouseRelease(int box, int x, int) {
    if (Drag.box != box) return;
    const TDrag d = Drag;
    Drag = {};
    const bool second = (d.mods & Qt::ControlModifier) || d.button == Qt::RightButton;
    if (!d.moved) {
        if (d.pan || (d.button != Qt::LeftButton && d.button != Qt::RightButton)) return;
        if (box == 0) {
            if (second)
                SetMarker2(SnapBin(SpecBox ? SpecBox->width() : 0, x));
            else if (OnSpectrumClick)
                OnSpectrumClick(x);
        } else {
            SetTimeCursor(second ? 1 : 0, TimeView.FromPixel(x - 1, WaveBitmap.Width()));
        }
        return;
    }
    TPaintBox* b = box == 0 ? SpecBox.data() : WaveBox.data();
    if (d.pan || d.button != Qt::LeftButton) {
        if (b != nullptr) b->update();
        return;
    }
    TAxisView& v = box == 0 ? FreqView : TimeView;
    const int W = box == 0 ? SpecBitmap.Width() : WaveBitmap.Width();
    if (v.ZoomSpan(d.x0 - 1, x - 1, W))
        ViewChanged(box);
    else if (b != nullptr)
        b->update();
}

void TGraph_FFT::MouseWheel(int box, int x, int delta) {
    if ((box == 0 ? !SpecDrawn : !WaveDrawn) || delta == 0) return;
    TAxisView& v = box == 0 ? FreqView : TimeView;
    const int W = box == 0 ? SpecBitmap.Width() : WaveBitmap.Width();
    if (v.ZoomAt(x - 1, W, std::pow(WHEEL_FACTOR, delta / 120.0))) ViewChanged(box);
}

void TGraph_FFT::MouseDoubleClick(int box, int) {
    if (box == 0 ? !SpecDrawn : !WaveDrawn) return;
    TAxisView& v = box == 0 ? FreqView : TimeView;
    if (v.IsFull()) return;
    v.Reset();
    ViewChanged(box);
}

void TGraph_FFT::SetMarker2(int bin) {
    const int n = BlockCount(*pSigData);
    Marker2Bin = bin >= 1 && BlockBinCount(*pSigData) > 0 ? ClampBin(bin, n) : -1;
    if (SpecBox) SpecBox->update();
}

void TGraph_FFT::SetTimeCursor(int which, double tMs) {
    if (which < 0 || which > 1 || !std::isfinite(tMs)) return;
    CursorOn[static_cast<size_t>(which)] = true;
    CursorMs[static_cast<size_t>(which)] = tMs;
    if (WaveBox) WaveBox->update();
}
